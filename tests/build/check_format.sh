#!/usr/bin/env bash
# Every C and C++ source follows .clang-format. Names each file that does not
# and shows how to fix it. Usage: check_format.sh SOURCE_DIR
set -euo pipefail
cd "$1"

# The style file is written for clang-format 14; others lay some lines out
# differently.
format=$(command -v clang-format-14 || command -v clang-format || true)
if [ -z "$format" ]; then
    echo "check_format: clang-format is not installed (scripts/setup.sh installs it)" >&2
    exit 1
fi

mapfile -t files < <(git ls-files -- '*.h' '*.cpp' '*.c' 2>/dev/null | grep -v '^tests/fuzz/corpus/' ||
                     find src tools tests bench \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \) \
                         -not -path 'tests/fuzz/corpus/*' -print)

unformatted=()
for file in "${files[@]}"; do
    "$format" --dry-run --Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
done

if [ "${#unformatted[@]}" -gt 0 ]; then
    printf 'check_format: not formatted: %s\n' "${unformatted[@]}" >&2
    echo "check_format: ${#unformatted[@]} of ${#files[@]} files; fix with: $format -i FILE..." >&2
    exit 1
fi
echo "check_format: all ${#files[@]} files formatted"
