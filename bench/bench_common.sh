# shellcheck shell=bash disable=SC2154
# Helpers of the benchmark scripts; sourced, after they set wine_root, work
# and repo_root where they start programs under Wine.

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Starts a program through the test player's Wine wrapper and prints the
# seconds until the player was called and the peak working set it
# reported in MiB (0 when it reported none); ends the script when the
# player was never called.
run_to_player() {
    local program="$1" report="$work/report.txt" start peak
    rm -f "$report"
    start=$(date +%s.%N)
    LUMV_TEST_REPORT="Z:${report//\//\\}" LUMV_TEST_RESULT=3 \
        "$repo_root/tests/wine/wine-run.sh" "$wine_root" "$program" >/dev/null 2>&1 || true
    [ -f "$report" ] || { echo "error: the player was not called for $program" >&2; exit 1; }
    peak=$(sed -n 's/^peakWorkingSetBytes=//p' "$report" | tr -d '\r')
    echo "$(echo "$(stat -c %.9Y "$report") - $start" | bc) $(echo "scale=1; ${peak:-0} / 1048576" | bc)"
}
