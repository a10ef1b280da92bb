#!/usr/bin/env bash
# lumpack.exe against the Linux lumpack, on the same inputs:
#   lumpack_windows_test.sh WINE_RUN WINE_ROOT LUMPACK_EXE HOST_LUMPACK LAUNCHER PLAYER WORK_DIR
# Everything lives below a folder whose name has a blank and non-ASCII
# characters, and lumpack.exe gets Windows paths (drive letter, backslashes).
# Both must build the same bytes from flags and from a manifest, print the
# same JSON listing (but for the path of the file listed), extract the same
# files, and verify alike; lumpack.exe must leave nothing behind when it
# refuses to write.
set -euo pipefail

wine_run="$1"
wine_root="$2"
exe="$3"
host="$4"
launcher="$5"
player="$6"
work="$7"

if [ ! -x "$host" ]; then
    echo "the Linux lumpack is missing: $host (build and install the host tree first)" >&2
    exit 1
fi

rm -rf "$work"
dir="$work/Show Folder Ünïcödé 日本"
mkdir -p "$dir/in put/docs"
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# The Windows name of a Unix path (Wine maps / to drive Z:).
win() {
    local path="$1"
    printf 'Z:%s' "${path//\//\\}"
}

# lumpack.exe ARGS...: its standard output as it wrote it.
winpack() {
    "$wine_run" "$wine_root" "$exe" "$@"
}

head -c 300000 /dev/urandom > "$dir/in put/show.lvc"
printf 'Thank you for watching.\r\nSecond line.\n' > "$dir/in put/docs/readme.txt"
cp "$player" "$dir/in put/lumv.dll"
cp "$launcher" "$dir/in put/launcher.exe"
cp "$(dirname "$0")/../../src/resources/launcher.ico" "$dir/in put/show.ico"

in="$dir/in put"
# The version text crosses the wide command line: it must arrive whole.
flags_host=(--launcher "$in/launcher.exe" --content "$in/show.lvc" --reserved 80,192
    --icon "$in/show.ico" --version-info "ProductName=春のショー"
    --file "$in/lumv.dll" --compress --temp --file "$in/docs/readme.txt")
flags_win=(--launcher "$(win "$in/launcher.exe")" --content "$(win "$in/show.lvc")"
    --reserved 80,192 --icon "$(win "$in/show.ico")" --version-info "ProductName=春のショー"
    --file "$(win "$in/lumv.dll")" --compress --temp
    --file "$(win "$in/docs/readme.txt")")

echo "== build from flags"
"$host" build "$dir/host.exe" "${flags_host[@]}" >/dev/null
winpack build "$(win "$dir/win.exe")" "${flags_win[@]}" >/dev/null
cmp "$dir/host.exe" "$dir/win.exe" || fail "build from flags: the presentations differ"

echo "== build from a manifest"
cat > "$in/show.json" <<'EOF'
{"launcher": "launcher.exe", "content": "show.lvc", "reserved": [80, 192],
 "icon": "show.ico", "versionInfo": {"ProductName": "春のショー"},
 "entries": [{"file": "lumv.dll", "compress": true, "temp": true},
             {"file": "docs/readme.txt"}]}
EOF
"$host" build "$dir/host-manifest.exe" --manifest "$in/show.json" >/dev/null
winpack build "$(win "$dir/win-manifest.exe")" --manifest "$(win "$in/show.json")" >/dev/null
cmp "$dir/host.exe" "$dir/host-manifest.exe" || fail "the Linux build differs from a manifest"
cmp "$dir/host-manifest.exe" "$dir/win-manifest.exe" ||
    fail "build from a manifest: the presentations differ"

# A copy whose entry names hold bytes of every kind (double-byte characters,
# one with 0x5C second, bytes without a character in 1252 or 932), written
# straight into the header.
python3 - "$dir/host.exe" "$dir/names.exe" <<'EOF'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
old = b'readme'
assert data.count(old + b'\0') == 1, 'the name is not unique'
at = data.find(old + b'\0')
data[at:at + 6] = b'\x95\x5c\x81\xa0\xb1\xfd'
old = b'lumv'
at = data.find(old + b'\0')
data[at:at + 4] = b'\x8d\x80\xe9\x90'
open(sys.argv[2], 'wb').write(bytes(data))
EOF

echo "== list --json"
# same_json LABEL HOST_PATH WIN_PATH ARGS...: the two listings, byte for
# byte, once the file's own path is set aside.
same_json() {
    local label="$1" host_path="$2" win_path="$3"
    shift 3
    "$host" list "$host_path" --json "$@" > "$dir/host.json"
    winpack list "$(win "$win_path")" --json "$@" > "$dir/win.json"
    python3 - "$dir/host.json" "$dir/win.json" "$host_path" "$(win "$win_path")" <<'EOF' ||
import json, sys
host, win = open(sys.argv[1], 'rb').read(), open(sys.argv[2], 'rb').read()
for text, path in ((host, sys.argv[3]), (win, sys.argv[4])):
    assert json.loads(text)['file'] == path, 'file is %r, not %r' % (json.loads(text)['file'], path)
swap = lambda text, path: text.replace(json.dumps(path, ensure_ascii=False).encode(), b'"FILE"', 1)
if swap(host, sys.argv[3]) != swap(win, sys.argv[4]):
    sys.exit('the listings differ:\n%s\n%s' % (host.decode(), win.decode()))
EOF
        fail "list --json $*: $label"
}
same_json "flags" "$dir/host.exe" "$dir/win.exe" --hashes
same_json "manifest" "$dir/host-manifest.exe" "$dir/win-manifest.exe" --hashes
for page in 1252 932; do
    same_json "names in code page $page" "$dir/names.exe" "$dir/names.exe" --codepage "$page"
done
grep -q '"textReplaced": true' "$dir/win.json" || fail "no name was marked as replaced"

echo "== verify"
"$host" verify "$dir/host.exe" >/dev/null || fail "the Linux lumpack does not verify it"
winpack verify "$(win "$dir/win.exe")" > "$dir/verify.txt" || fail "lumpack.exe does not verify it"
grep -q ': OK, 2 entries' "$dir/verify.txt" || fail "verify said: $(cat "$dir/verify.txt")"

echo "== extract"
"$host" extract "$dir/host.exe" "$dir/out host/a" >/dev/null
winpack extract "$(win "$dir/win.exe")" "$(win "$dir/out wïn")\\a" >/dev/null
diff -r "$dir/out host/a" "$dir/out wïn/a" || fail "the extracted files differ"
cmp "$dir/out wïn/a/readme.txt" "$in/docs/readme.txt" || fail "readme.txt is not what went in"
cmp "$dir/out wïn/a/TempFolder/lumv.dll" "$player" || fail "lumv.dll is not what went in"
winpack extract "$(win "$dir/win.exe")" --stdout lumv.dll > "$dir/stdout.dll"
cmp "$dir/stdout.dll" "$player" || fail "extract --stdout changed the bytes"

echo "== refusals leave nothing behind"
cp "$dir/win.exe" "$dir/before.exe"
if winpack build "$(win "$dir/win.exe")" "${flags_win[@]}" 2>"$dir/refused.txt" >/dev/null; then
    fail "build replaced an existing file without --force"
fi
grep -q -- '--force' "$dir/refused.txt" || fail "the refusal said: $(cat "$dir/refused.txt")"
cmp "$dir/before.exe" "$dir/win.exe" || fail "the refused build changed the file"
if winpack extract "$(win "$dir/win.exe")" "$(win "$dir/out wïn/a")" 2>/dev/null >/dev/null; then
    fail "extract replaced existing files without --force"
fi
if winpack build "$(win "$dir/missing/x.exe")" "${flags_win[@]}" 2>/dev/null >/dev/null; then
    fail "build wrote into a missing folder"
fi
winpack build "$(win "$dir/win.exe")" --force "${flags_win[@]}" >/dev/null ||
    fail "build --force did not replace the file"
cmp "$dir/before.exe" "$dir/win.exe" || fail "build --force wrote other bytes"
leftovers=$(find "$work" -name '.*' | head -n 5)
[ -z "$leftovers" ] || fail "temporary files were left: $leftovers"

if [ "$failures" -ne 0 ]; then
    echo "$failures failed" >&2
    exit 1
fi
echo "lumpack.exe and $host agree"
