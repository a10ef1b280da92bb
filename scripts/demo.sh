#!/usr/bin/env bash
# The main job: builds everything, installs it into dist/, then lays out a
# sample presentation folder (the launcher beside the test player), starts it
# under Wine and prints what the player received.
# Usage: scripts/demo.sh [--win32]   (--win32: the shipping 32-bit launcher; ~1 min to start)
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$repo_root"

target=win64
if [ "${1:-}" = "--win32" ]; then
    target=win32  # 64-bit Wine hands a 32-bit program to its 32-bit loader
fi

run_setup
build_host_artifacts
build_windows_artifacts
echo "built: $(ls -l dist/win32/launcher.exe | awk '{print $5}') bytes dist/win32/launcher.exe," \
     "$(ls -l dist/win64/launcher.exe | awk '{print $5}') bytes dist/win64/launcher.exe"

# lumpack round trip on the player library, as a build will store it.
packed="$repo_root/build/demo/lumv.dl_"
mkdir -p "$repo_root/build/demo"
dist/host/lumpack compress "dist/$target/testplayer/lumv.dll" "$packed"
dist/host/lumpack decompress "$packed" "$packed.back"
cmp -s "dist/$target/testplayer/lumv.dll" "$packed.back"
echo "lumpack: lumv.dll $(stat -c %s "dist/$target/testplayer/lumv.dll") bytes," \
     "compressed $(stat -c %s "$packed") bytes, restored identical"
rm -f "$packed" "$packed.back"

show="$repo_root/build/demo/Sample Show"
rm -rf "$show"
mkdir -p "$show"
cp "dist/$target/launcher.exe" "$show/Sample Show.exe"
cp "dist/$target/testplayer/lumv.dll" "$show/lumv.dll"

wine_root="$repo_root/build/demo/wine"
cleanup() {
    stop_wine_servers "$wine_root"
    stop_display
}
trap cleanup EXIT
start_display
report="$show/player-report.txt"
rm -f "$report"
echo "starting \"$show/Sample Show.exe\" under Wine ($target)"
set +e
LUMV_TEST_REPORT="Z:${report//\//\\}" LUMV_TEST_RESULT=3 \
    "$repo_root/tests/wine/wine-run.sh" "$wine_root" "$show/Sample Show.exe" --demo "first argument"
code=$?
set -e
echo "launcher exit code: $code"
if [ ! -f "$report" ]; then
    echo "error: the player was not called (no report)" >&2
    exit 1
fi
echo "what the player received:"
sed 's/\r$//; s/^/  /' "$report"
