#!/usr/bin/env bash
# Lays out symbolic links for the clean-up tests: make_links.sh ROOT. Wine
# programs cannot make them, but they see a Unix link to a folder as a
# directory that is a reparse point. For each test program (a folder of its
# own under ROOT, made afresh on every run):
#   target/keep.txt, target/sub/deep.txt      what the links point to
#   holder/file.txt, holder/link -> target    a folder holding a link
#   temp/TempFolder.lnk/                      a killed run's folder: a free
#       Vantorelle.lok, file.txt, link -> target   lock, a file, a link
#   temp/TempFolder.sym -> victim             a "run folder" that is a link
#   victim/Vantorelle.lok, victim/keep.txt
set -euo pipefail

root="$1"
for program in inprocess e2e; do
    dir="$root/$program"
    rm -rf "$dir"
    mkdir -p "$dir/target/sub" "$dir/holder" "$dir/temp/TempFolder.lnk" "$dir/victim"
    printf keep >"$dir/target/keep.txt"
    printf deep >"$dir/target/sub/deep.txt"
    printf file >"$dir/holder/file.txt"
    ln -s "$dir/target" "$dir/holder/link"
    : >"$dir/temp/TempFolder.lnk/Vantorelle.lok"
    printf file >"$dir/temp/TempFolder.lnk/file.txt"
    ln -s "$dir/target" "$dir/temp/TempFolder.lnk/link"
    : >"$dir/victim/Vantorelle.lok"
    printf keep >"$dir/victim/keep.txt"
    ln -s "$dir/victim" "$dir/temp/TempFolder.sym"
done
