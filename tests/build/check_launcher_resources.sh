#!/usr/bin/env bash
# Checks the resources compiled into the launcher: the five error texts as
# UTF-16 in a Japanese string table, the icon in 16x16 and 32x32, the
# version and a manifest that asks for no elevation.
# Usage: check_launcher_resources.sh WINDRES LAUNCHER.EXE EXPECTED_STRINGS
set -euo pipefail
windres="$1"; exe="$2"; expected="$3"
failed=0
fail() { echo "FAIL: $*"; failed=1; }

rc="$("$windres" -i "$exe" -O rc)"

# windres writes each string as L"..." with \xNNNN for what is not ASCII.
escaped_utf16() {
    local code out=""
    for code in $(printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -v -tx2); do
        if (( 16#$code >= 0x20 && 16#$code < 0x7f )); then
            out+=$(printf "\\x${code: -2}")
        else
            out+=$(printf '\\x%x' "$((16#$code))")
        fi
    done
    printf '%s' "$out"
}

table="$(sed -n '/^STRINGTABLE/,/^END/p' <<<"$rc")"
if ! grep -q '^LANGUAGE 17, 1$' <<<"$(grep -B3 '^STRINGTABLE' <<<"$rc")"; then
    fail "the string table is not Japanese (Japan)"
fi
while read -r id text; do
    want="  $id, L\"$(escaped_utf16 "$text")\""
    if ! grep -qxF "$want" <<<"$table"; then
        fail "string $id is not \"$text\""
    fi
done <"$expected"

icons="$(grep -c '/\* RT_ICON \*/' <<<"$rc" || true)"
[ "$icons" -eq 2 ] || fail "expected 2 icon images, found $icons"
grep -q 'Has 2 elements' <<<"$rc" || fail "the icon group does not list 2 images"
grep -q 'VALUE "FileDescription", "Lumivance presentation launcher"' <<<"$rc" ||
    fail "no version resource with the file description"
manifest="$(sed -n '/RT_MANIFEST/,/^END/p' <<<"$rc")"
grep -q 'requestedExecutionLevel level=""asInvoker""' <<<"$manifest" ||
    fail "the manifest does not ask for asInvoker"
# Vista and nothing newer: Windows 7, 8, 8.1 and 10 would switch the player
# into their behaviour.
grep -q 'e2011457-1546-43c5-a5fe-008deee3d3f0' <<<"$manifest" ||
    fail "the manifest does not declare Windows Vista"
for newer in 35138b9a-5d96-4fbd-8e2d-a2440225f93a 4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 \
    1f676c76-80e1-4239-95bb-83d0f6d0da78 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
    if grep -q "$newer" <<<"$manifest"; then
        fail "the manifest declares a system newer than Vista ($newer)"
    fi
done

[ "$failed" -eq 0 ] && echo "$exe: strings, icon, version and manifest present"
exit "$failed"
