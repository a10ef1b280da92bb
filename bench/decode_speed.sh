#!/usr/bin/env bash
# lumpack decompress against the reference decoder as whole processes, file
# to file, on the three corpora of lzari_bench: user time and user + system
# time, medians of RUNS runs taken in turn, and the ratios.
#
#   bench/decode_speed.sh BUILD [WORK] [RUNS]
#
# BUILD is a host build folder with lumpack, bench/lzari_bench and
# bench/lzari_reference_decompress (see bench/CMakeLists.txt); WORK a scratch
# folder (default BUILD/decode-speed); RUNS defaults to 5.
set -euo pipefail

if [ $# -lt 1 ]; then
    sed -n '2,11p' "$0" >&2
    exit 2
fi
build=$(realpath "$1")
work="${2:-$build/decode-speed}"
runs="${3:-5}"
lumpack="$build/lumpack"
reference="$build/bench/lzari_reference_decompress"
mkdir -p "$work"
"$build/bench/lzari_bench" --write-corpora "$work"

# user and system seconds of one command, to the millisecond (GNU time
# gives hundredths, too coarse for runs of a tenth of a second): a subshell
# runs it and reports its children's times.
seconds() {
    (
        "$@" >/dev/null
        times >"$work/times.txt"
    )
    sed -n '2{s/[ms]/ /g; p}' "$work/times.txt" |
        awk '{ printf "%.3f %.3f\n", $1 * 60 + $2, $3 * 60 + $4 }'
}
# shellcheck source=bench/bench_common.sh
source "$(dirname "$0")/bench_common.sh"

printf '%-7s %-30s %-30s %s\n' corpus "lumpack user / user+sys" "reference user / user+sys" \
    "ratio user / user+sys"
for corpus in text x86 random; do
    "$lumpack" compress -q --force "$work/$corpus.bin" "$work/$corpus.lz"
    ours_user=() ours_total=() ref_user=() ref_total=()
    for _ in $(seq 1 "$runs"); do
        read -r user sys < <(seconds "$lumpack" decompress -q --force "$work/$corpus.lz" \
            "$work/$corpus.ours")
        ours_user+=("$user")
        ours_total+=("$(echo "$user + $sys" | bc)")
        read -r user sys < <(seconds "$reference" "$work/$corpus.lz" "$work/$corpus.ref")
        ref_user+=("$user")
        ref_total+=("$(echo "$user + $sys" | bc)")
    done
    cmp "$work/$corpus.bin" "$work/$corpus.ours"
    cmp "$work/$corpus.bin" "$work/$corpus.ref"
    ou=$(printf '%s\n' "${ours_user[@]}" | median)
    ot=$(printf '%s\n' "${ours_total[@]}" | median)
    ru=$(printf '%s\n' "${ref_user[@]}" | median)
    rt=$(printf '%s\n' "${ref_total[@]}" | median)
    printf '%-7s %-30s %-30s %s\n' "$corpus" "$ou s / $ot s" "$ru s / $rt s" \
            "$(echo "scale=2; $ru / $ou" | bc)x / $(echo "scale=2; $rt / $ot" | bc)x"
done
rm -f "$work"/*.ours "$work"/*.ref "$work/times.txt"
