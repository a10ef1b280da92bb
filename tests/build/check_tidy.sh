#!/usr/bin/env bash
# Runs clang-tidy 14 with the checks in .clang-tidy over the portable sources
# (src/, without the Windows-only *_win.cpp) and the lumpack tool, one file
# per processor at a time. Fails on any finding, and when one of those
# sources is missing from the compile database (configure the host preset
# with -DCMAKE_EXPORT_COMPILE_COMMANDS=ON and build it first).
#   check_tidy.sh BUILD_DIR
set -euo pipefail

if [ "$#" -ne 1 ]; then
    echo "usage: $0 BUILD_DIR   (the folder holding compile_commands.json)" >&2
    exit 2
fi
repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build_dir="$(cd "$1" && pwd)"
database="$build_dir/compile_commands.json"
tidy="${CLANG_TIDY:-clang-tidy-14}"

if [ ! -f "$database" ]; then
    echo "tidy: no $database (configure with -DCMAKE_EXPORT_COMPILE_COMMANDS=ON)" >&2
    exit 2
fi
if ! command -v "$tidy" >/dev/null; then
    echo "tidy: $tidy not found (Debian: apt-get install clang-tidy-14)" >&2
    exit 2
fi

files=()
while IFS= read -r file; do
    files+=("$repo_root/$file")
done < <(cd "$repo_root" && find src tools/lumpack -name '*.cpp' ! -name '*_win.cpp' | LC_ALL=C sort)

if [ "${#files[@]}" -eq 0 ]; then
    echo "tidy: no sources found under $repo_root" >&2
    exit 2
fi
for file in "${files[@]}"; do
    if ! grep -qF "\"file\": \"$file\"" "$database"; then
        echo "tidy: $file is not in $database" >&2
        exit 2
    fi
done

logs="$(mktemp -d)"
trap 'rm -rf "$logs"' EXIT
started=$(date +%s)
status=0
# One log per source, so that parallel runs cannot interleave their lines.
# shellcheck disable=SC2016  # the quoted script is expanded by the inner sh
printf '%s\0' "${files[@]}" |
    xargs -0 -n 1 -P "$(nproc 2>/dev/null || echo 2)" sh -c \
        'exec "$0" -p "$1" --quiet "$3" >"$2/$(printf %s "$3" | tr / _).log" 2>&1' \
        "$tidy" "$build_dir" "$logs" || status=1
elapsed=$(( $(date +%s) - started ))

# Every finding names its check in brackets. A header's findings repeat for
# each file that includes it, some spelt with "dir/../", so count them once.
output="$logs/all"
cat "$logs"/*.log >"$output"
findings=$( { grep -E '^[^ ].*:[0-9]+:[0-9]+: (warning|error): .*\[[^]]+\]$' "$output" || true; } |
           sed -E ':a; s#/[^/]+/\.\./#/#; ta' | LC_ALL=C sort -u | wc -l)
if [ "$findings" -gt 0 ] || [ "$status" -ne 0 ]; then
    # Only clang-tidy's own lines, not its "N warnings generated" chatter.
    grep -vE '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' "$output" >&2 || true
    echo "tidy: FAILED, $findings finding(s) in ${#files[@]} files (${elapsed}s)" >&2
    exit 1
fi
echo "tidy: ${#files[@]} files, no findings (${elapsed}s)"
