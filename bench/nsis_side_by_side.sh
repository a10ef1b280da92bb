#!/usr/bin/env bash
# The launcher against an NSIS installer that does the same job: extract
# the same files into a private folder ($PLUGINSDIR), load the player there
# (its System plugin) and call LumivanceMain, then remove the folder. For a
# player-sized set (the player and 2 MiB of machine code) and a mixed set
# of about 48 MB in five entries (the player grown to a 15 MB library by
# machine code after its image, 12 MB of text, two 6.5 MB binaries, 8 MB of
# already-compressed data), it measures under Wine,
# interleaved, the time from the start until the player is called and the
# process's peak working set (both reported by the test player), and prints
# medians and ratios; and the entries' compressed sizes: LZARI optimal (the
# default), LZARI greedy (--fast, the classic coder), zlib -9 and xz.
#
#   bench/nsis_side_by_side.sh LUMPACK CORPORA WORK [ROUNDS] [SETS]
#
# LUMPACK is dist/host/lumpack, CORPORA a folder with text.bin, x86.bin and
# random.bin (lzari_bench --write-corpora), WORK a scratch folder, ROUNDS
# the rounds of every variant (default 7), SETS "player mixed" (default) or
# one of them. NSIS makes 32-bit installers only, so the 32-bit launcher and
# test player (dist/win32) are compared; set LUMV_BENCH_TARGET=win64 to time
# the x86_64 launcher against the same installers instead. Installs nsis on
# first use (as root), as scripts/setup.sh does the other tools.
set -euo pipefail

if [ $# -lt 3 ]; then
    sed -n '2,21p' "$0" >&2
    exit 2
fi
lumpack=$(realpath "$1")
corpora=$(realpath "$2")
mkdir -p "$3"
work=$(realpath "$3")
rounds="${4:-7}"
sets="${5:-player mixed}"
repo_root="$(cd "$(dirname "$0")/.." && pwd)"
target="${LUMV_BENCH_TARGET:-win32}"
launcher="$repo_root/dist/$target/launcher.exe"
player="$repo_root/dist/win32/testplayer/lumv.dll"  # NSIS loads a 32-bit player
own_player="$repo_root/dist/$target/testplayer/lumv.dll"
# shellcheck source=scripts/common.sh
source "$repo_root/scripts/common.sh"
# shellcheck source=bench/bench_common.sh
source "$repo_root/bench/bench_common.sh"

if ! command -v makensis >/dev/null; then
    echo "installing nsis" >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends nsis >/dev/null
fi
for needed in "$launcher" "$player" "$own_player"; do
    [ -f "$needed" ] || { echo "missing $needed (scripts/demo.sh builds dist/)" >&2; exit 2; }
done

# The sets' files, named NAME.dat: machine code, text, and data that does
# not compress.
make_sets() {
    local inputs="$work/inputs"
    rm -rf "$inputs" && mkdir -p "$inputs/player" "$inputs/mixed"
    head -c $((2 << 20)) "$corpora/x86.bin" > "$inputs/player/code.dat"
    # (no pipes into head: the writer's SIGPIPE would fail the script)
    { cat "$corpora/text.bin"; head -c 3611392 "$corpora/text.bin"; } > "$inputs/mixed/text.dat"
    # bytes after the player's image: a loader ignores them
    { cat "$corpora/x86.bin"; head -c 6611392 "$corpora/x86.bin"; } > "$inputs/mixed/player.tail"
    : > "$inputs/player/player.tail"
    { head -c 4000000 "$corpora/x86.bin"; head -c 2500000 "$corpora/text.bin"; } \
        > "$inputs/mixed/first.dat"
    { head -c 3000000 "$corpora/text.bin"; tail -c 3500000 "$corpora/x86.bin"; } \
        > "$inputs/mixed/second.dat"
    head -c 8000000 "$corpora/random.bin" > "$inputs/mixed/packed.dat"
}

# The launcher's show and the two installers of one set.
make_programs() {
    local set="$1" inputs="$work/inputs/$1" out="$work/programs/$1" flags=() files=""
    mkdir -p "$out/own" "$out/nsis"
    cat "$own_player" "$inputs/player.tail" > "$out/own/lumv.dll"
    cat "$player" "$inputs/player.tail" > "$out/nsis/lumv.dll"
    for file in "$inputs"/*.dat; do
        flags+=(--file "$file" --compress --temp)
        files+="  File \"$file\""$'\n'
    done
    "$lumpack" build -q --force "$out/show.exe" --launcher "$launcher" \
        --file "$out/own/lumv.dll" --compress --temp "${flags[@]}"
    for compressor in zlib lzma; do
        cat > "$out/$compressor.nsi" <<EOF
Unicode true
SilentInstall silent
RequestExecutionLevel user
SetCompressor /FINAL $compressor
OutFile "$out/nsis-$compressor.exe"
Section
  InitPluginsDir
  SetOutPath \$PLUGINSDIR
  File "$out/nsis/lumv.dll"
$files  System::Call '\$PLUGINSDIR\\lumv.dll::LumivanceMain(p 0, p 0, m "", i 10, p 0) i .r0'
  SetOutPath \$TEMP
SectionEnd
EOF
        makensis -V1 "$out/$compressor.nsi" >/dev/null
    done
}

# What the entries come to in each coding, in bytes.
print_sizes() {
    local set="$1" raw=0 optimal=0 greedy=0 zlib=0 xz=0
    for file in "$work/programs/$set/own/lumv.dll" "$work/inputs/$set"/*.dat; do
        raw=$((raw + $(stat -c %s "$file")))
        optimal=$((optimal + $("$lumpack" compress "$file" - | wc -c)))
        greedy=$((greedy + $("$lumpack" compress --fast "$file" - | wc -c)))
        zlib=$((zlib + $(python3 -c 'import sys, zlib
print(len(zlib.compress(open(sys.argv[1], "rb").read(), 9)))' "$file")))
        xz=$((xz + $(xz -9 -c "$file" | wc -c)))
    done
    echo "$set: $raw bytes; LZARI optimal $optimal, greedy $greedy ($(ratio "$optimal" "$greedy") of" \
        "greedy), zlib -9 $zlib (optimal is $(ratio "$optimal" "$zlib") of it), xz -9 $xz"
}

ratio() { echo "scale=3; $1 / $2" | bc; }

wine_root="$work/wine"
trap 'stop_wine_servers "$wine_root"; stop_display' EXIT

make_sets
start_display
for set in $sets; do
    make_programs "$set"
    print_sizes "$set"
    variants=(show nsis-zlib nsis-lzma)
    declare -A times=() peaks=()
    for variant in "${variants[@]}"; do  # a first start fills the prefix and the cache
        run_to_player "$work/programs/$set/$variant.exe" >/dev/null
    done
    for _ in $(seq 1 "$rounds"); do
        for variant in "${variants[@]}"; do
            read -r seconds peak < <(run_to_player "$work/programs/$set/$variant.exe")
            times[$variant]+="$seconds "
            peaks[$variant]+="$peak "
        done
    done
    for variant in "${variants[@]}"; do
        declare "t_${variant//-/_}=$(printf '%s\n' ${times[$variant]} | median)"
        declare "m_${variant//-/_}=$(printf '%s\n' ${peaks[$variant]} | median)"
        echo "$set $variant: to the player ${times[$variant]}s; peak working set ${peaks[$variant]}MiB"
    done
    echo "$set medians: launcher ${t_show} s ${m_show} MiB, NSIS zlib ${t_nsis_zlib} s" \
        "${m_nsis_zlib} MiB, NSIS LZMA ${t_nsis_lzma} s ${m_nsis_lzma} MiB"
    echo "$set ratios: launcher / NSIS zlib $(ratio "$t_show" "$t_nsis_zlib")," \
        "launcher / NSIS LZMA $(ratio "$t_show" "$t_nsis_lzma")"
    unset times peaks
done
