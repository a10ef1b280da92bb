#!/usr/bin/env bash
# A temporary volume that fills at once, for the tests of a full disk:
# small_volume.sh mount DIR mounts a 64 KiB tmpfs on DIR (as root, as CI
# runs); small_volume.sh unmount DIR takes it away again. Without root the
# mount is left out and the tests that need it say so.
set -euo pipefail

action="$1"
dir="$2"
case "$action" in
    mount)
        if [ "$(id -u)" -ne 0 ]; then
            # No folder at all, so that the tests see that the volume is missing.
            rm -rf "$dir"
            echo "small_volume: not root, so no volume is mounted on $dir" >&2
            exit 0
        fi
        mkdir -p "$dir"
        if mountpoint -q "$dir"; then
            umount "$dir"
        fi
        mount -t tmpfs -o size=64k,mode=1777 tmpfs "$dir"
        ;;
    unmount)
        if mountpoint -q "$dir"; then
            umount "$dir"
        fi
        ;;
    *)
        echo "usage: small_volume.sh mount|unmount DIR" >&2
        exit 2
        ;;
esac
