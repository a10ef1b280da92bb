#!/usr/bin/env bash
# What compressed entries cost a presentation's start under wine64: the
# time from starting the launcher until the player is called, with 46 MB of
# compressed entries in the run's temporary folder and without them.
#
#   bench/launcher_unpack.sh LAUNCHER PLAYER LUMPACK CORPORA WORK [RUNS]
#
# LAUNCHER is an x86_64 launcher.exe, PLAYER the test player's lumv.dll
# (x86_64), CORPORA a folder with text.bin, x86.bin and random.bin
# (lzari_bench --write-corpora), WORK a scratch folder. The player writes its
# report as soon as it is called; the report's modification time marks the
# moment. Both presentations run RUNS times (default 5), in turn; the
# medians and the fastest runs are printed.
set -euo pipefail

if [ $# -lt 5 ]; then
    sed -n '2,13p' "$0" >&2
    exit 2
fi
launcher=$(realpath "$1")
player=$(realpath "$2")
lumpack=$(realpath "$3")
corpora=$(realpath "$4")
work="$5"
runs="${6:-5}"
repo_root="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=scripts/common.sh
source "$repo_root/scripts/common.sh"
# shellcheck source=bench/bench_common.sh
source "$repo_root/bench/bench_common.sh"

mkdir -p "$work"
work=$(realpath "$work")
rm -rf "$work/inputs" "$work/shows"
mkdir -p "$work/inputs" "$work/shows/small" "$work/shows/large"
# 46 MB of entries: text, machine code and random bytes.
cat "$corpora/text.bin" "$corpora/text.bin" > "$work/inputs/text.dat"
cat "$corpora/x86.bin" "$corpora/x86.bin" > "$work/inputs/code.dat"
head -c $((14 << 20)) /dev/urandom > "$work/inputs/noise.dat"
printf 'content\r\n' > "$work/inputs/content.lvc"
"$lumpack" build -q --force "$work/shows/small/show.exe" --launcher "$launcher" \
    --content "$work/inputs/content.lvc" --file "$player" --compress --temp
"$lumpack" build -q --force "$work/shows/large/show.exe" --launcher "$launcher" \
    --content "$work/inputs/content.lvc" --file "$player" --compress --temp \
    --file "$work/inputs/text.dat" --compress --temp \
    --file "$work/inputs/code.dat" --compress --temp \
    --file "$work/inputs/noise.dat" --compress --temp
echo "entries decoded per start: $(( ($(stat -c %s "$work/inputs/text.dat") + $(stat -c %s \
    "$work/inputs/code.dat") + $(stat -c %s "$work/inputs/noise.dat")) / 1000000 )) MB"

wine_root="$work/wine"
trap 'stop_wine_servers "$wine_root"; stop_display' EXIT
start_display
# Seconds from the start until the player was called.
time_to_player() {
    local seconds
    read -r seconds _ < <(run_to_player "$1")
    echo "$seconds"
}
fastest() { sort -n | head -1; }

# A first start of each fills the prefix and the file cache.
time_to_player "$work/shows/small/show.exe" >/dev/null
time_to_player "$work/shows/large/show.exe" >/dev/null
small=() large=()
for _ in $(seq 1 "$runs"); do
    small+=("$(time_to_player "$work/shows/small/show.exe")")
    large+=("$(time_to_player "$work/shows/large/show.exe")")
done
# Other work on the machine only ever adds time, so the fastest runs are
# the steadiest figure; the medians are printed too.
for kind in median fastest; do
    declare "small_$kind=$(printf '%s\n' "${small[@]}" | $kind)"
    declare "large_$kind=$(printf '%s\n' "${large[@]}" | $kind)"
done
echo "without the entries: ${small[*]} s (median $small_median, fastest $small_fastest)"
echo "with the entries:    ${large[*]} s (median $large_median, fastest $large_fastest)"
echo "the entries cost: $(echo "$large_median - $small_median" | bc) s between the medians," \
    "$(echo "$large_fastest - $small_fastest" | bc) s between the fastest runs"
