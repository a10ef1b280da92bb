#!/usr/bin/env bash
# Peak memory and wall time of lumpack's commands on large files:
#   bench/lumpack_memory.sh LUMPACK LAUNCHER [WORK_DIR]
# LAUNCHER is a bare launcher image (dist/win32/launcher.exe). Builds a
# presentation of about 400 MB (200 MB content, a 200 MB stored entry and a
# 4 MB compressed one) and one of a 276 MB compressed entry, and a 200 MB
# file, then runs build (both), list, verify, extract, compress and
# decompress under /usr/bin/time and prints one line each: the maximum
# resident set in MiB and the elapsed seconds. Needs about 3 GB of disk in
# WORK_DIR (default: a new folder under /tmp, removed afterwards).
set -euo pipefail

lumpack=$(realpath "$1")
launcher=$(realpath "$2")
work=${3:-}
if [ -z "$work" ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work"
cd "$work"

# Random text (base64): it compresses to about three quarters.
make_file() {
    local size_mb=$1 out=$2
    head -c $((size_mb * 1024 * 1024 * 3 / 4)) /dev/urandom | base64 -w 0 >"$out"
}

[ -f content.bin ] || make_file 200 content.bin
[ -f stored.bin ] || make_file 200 stored.bin
[ -f small.bin ] || make_file 4 small.bin
[ -f big.bin ] || make_file 276 big.bin
rm -rf show.exe big.exe out stream.lz stream.out

measure() {
    local label=$1; shift
    /usr/bin/time -o time.txt -f '%M %e' "$@" >/dev/null 2>&1 || echo "$label failed" >&2
    awk -v label="$label" '{ printf "%-11s %7.1f MiB %7.2f s\n", label, $1 / 1024, $2 }' time.txt
}

measure build "$lumpack" build show.exe --launcher "$launcher" --content content.bin \
    --file stored.bin --file small.bin --compress
measure "build 276" "$lumpack" build big.exe --launcher "$launcher" --file big.bin --compress
echo "presentations: $(stat -c %s show.exe) and $(stat -c %s big.exe) bytes"
measure list "$lumpack" list show.exe
measure verify "$lumpack" verify show.exe
measure extract "$lumpack" extract show.exe out
measure compress "$lumpack" compress stored.bin stream.lz
measure decompress "$lumpack" decompress stream.lz stream.out
cmp stream.out stored.bin
