#!/usr/bin/env bash
# Checks the built launcher image: a GUI program, importing only system DLLs
# that every Windows has (no C runtime: the launcher loads that itself, and
# reports when it is missing), within its size budget when one is given.
# Usage: check_launcher_image.sh OBJDUMP LAUNCHER.EXE [MAX_BYTES]
set -euo pipefail
objdump="$1"; exe="$2"; max="${3:-}"
failed=0
headers="$("$objdump" -p "$exe")"

if ! grep -Eq 'Subsystem[[:space:]]+00000002' <<<"$headers"; then
    echo "FAIL: $exe is not a Windows GUI program"; failed=1
fi

allowed='^(kernel32|user32|gdi32|advapi32)\.dll$'
while read -r dll; do
    if ! grep -Eiq "$allowed" <<<"$dll"; then
        echo "FAIL: $exe imports $dll"; failed=1
    fi
done < <(sed -n 's/.*DLL Name: *//p' <<<"$headers")

size=$(stat -c %s "$exe")
echo "$exe: $size bytes"
if [ -n "$max" ] && [ "$size" -gt "$max" ]; then
    echo "FAIL: $size bytes is over the budget of $max bytes"; failed=1
fi
exit "$failed"
