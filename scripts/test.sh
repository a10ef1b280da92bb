#!/usr/bin/env bash
# Runs every test: the portable code natively (also under ASan and UBSan),
# then the Windows programs under Wine on a virtual display, including one
# run of the 32-bit launcher. Installs what is missing first (as root).
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$repo_root"

started=$(date +%s)
results="$repo_root/build/test-results"
rm -rf "$results"
mkdir -p "$results"
export GTEST_OUTPUT="xml:$results/"

run_setup

status=0
run_ctest() {
    ctest --test-dir "$@" --output-on-failure || status=1
}

echo "== native tests (ASan + UBSan)"
configure_and_build host-asan
run_ctest build/host-asan

echo "== native tests"
build_host_artifacts
run_ctest build/host

echo "== Windows builds"
build_windows_artifacts
configure_and_build win32
configure_and_build win64
run_ctest build/win32

echo "== Windows tests under Wine"
wine_root="$repo_root/build/win64/wine"
cleanup() {
    stop_wine_servers "$wine_root"
    stop_display
}
trap cleanup EXIT
# Fresh prefixes for every run: what one run left in them cannot sway the next.
rm -rf "$wine_root"
start_display
run_ctest build/win64 -j2

cleanup
trap - EXIT

# Every GoogleTest program leaves an XML report; count their test cases.
read -r passed failed < <(cat "$results"/*.xml 2>/dev/null | awk '
    /<testsuites / {
        match($0, /tests="[0-9]+"/);    t = substr($0, RSTART + 7, RLENGTH - 8)
        match($0, /failures="[0-9]+"/); f = substr($0, RSTART + 10, RLENGTH - 11)
        match($0, /errors="[0-9]+"/);   e = substr($0, RSTART + 8, RLENGTH - 9)
        passed += t - f - e; failed += f + e
    }
    END { print passed + 0, failed + 0 }')
if [ "$status" -ne 0 ] && [ "$failed" -eq 0 ]; then
    failed=1  # a test program that crashed or timed out writes no result
fi
echo "test command took $(( $(date +%s) - started )) s"
echo "summary: $passed passed, $failed failed"
[ "$status" -eq 0 ] && [ "$failed" -eq 0 ]
