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
grep -q '8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a' <<<"$manifest" ||
    fail "the manifest does not declare Windows 10 and 11"

[ "$failed" -eq 0 ] && echo "$exe: strings, icon, version and manifest present"
exit "$failed"
