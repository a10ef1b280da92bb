#!/usr/bin/env bash
# Runs the README's lumpack examples as a reader would: every sh block of
# its "## lumpack" section, in order, in a scratch folder beside dist/, each
# command checked. Needs the installed dist/ (host tool, 32-bit launcher and
# sample player) and ImageMagick.
#   check_readme_examples.sh REPO_ROOT
set -euo pipefail

if [ "$#" -ne 1 ]; then
    echo "usage: $0 REPO_ROOT" >&2
    exit 2
fi
repo_root="$(cd "$1" && pwd)"
for needed in dist/host/lumpack dist/win32/launcher.exe dist/win32/sampleplayer/lumv.dll; do
    if [ ! -e "$repo_root/$needed" ]; then
        echo "readme examples: no $needed (build and install the host and win32 trees first)" >&2
        exit 2
    fi
done

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
ln -s "$repo_root/dist" "$scratch/dist"
# The section's sh blocks, one script.
awk '/^## / { inside = ($0 == "## lumpack") }
     inside && /^```sh$/ { block = 1; next }
     block && /^```$/ { block = 0; next }
     block { print }' "$repo_root/README.md" >"$scratch/examples.sh"
if [ ! -s "$scratch/examples.sh" ]; then
    echo "readme examples: no sh block under \"## lumpack\"" >&2
    exit 1
fi
cd "$scratch"
if ! bash -euo pipefail -x examples.sh >"$scratch/out.txt" 2>&1; then
    tail -n 30 "$scratch/out.txt" >&2
    echo "readme examples: a command failed (above)" >&2
    exit 1
fi
echo "readme examples: $(grep -c '' examples.sh) lines ran"
