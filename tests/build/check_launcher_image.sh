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
# An import directory the loader can read: an image whose tables the linker
# could not find has none, and would not even start.
if ! grep -Eiq 'DLL Name: *kernel32\.dll' <<<"$headers"; then
    echo "FAIL: $exe has no import table that names kernel32.dll"; failed=1
fi
while read -r dll; do
    if ! grep -Eiq "$allowed" <<<"$dll"; then
        echo "FAIL: $exe imports $dll"; failed=1
    fi
done < <(sed -n 's/.*DLL Name: *//p' <<<"$headers")

# The 32-bit image: no data execution prevention and not large-address-aware,
# since the players it loads may not be ready for either.
if grep -q 'file format pei-i386' <<<"$headers"; then
    if grep -Eq '^[[:space:]]+NX_COMPAT' <<<"$headers"; then
        echo "FAIL: $exe asks for data execution prevention (NX_COMPAT)"; failed=1
    fi
    # Its own layout: code, constants and imports in .text; nothing else.
    sections=$("$objdump" -h "$exe" | awk '$1 ~ /^[0-9]+$/ { printf "%s ", $2 }')
    if [ "$sections" != ".text .rsrc .reloc " ]; then
        echo "FAIL: $exe has the sections $sections(expected .text .rsrc .reloc)"; failed=1
    fi
    characteristics=$(sed -n 's/^Characteristics 0x\([0-9a-fA-F]*\).*/\1/p' <<<"$headers")
    if [ -z "$characteristics" ] || (( 0x$characteristics & 0x20 )); then
        echo "FAIL: $exe is large-address-aware (or its characteristics cannot be read)"; failed=1
    fi
fi

# The 64-bit image: unwind tables for every function, so that a crash in the
# player can be walked through the launcher's frames.
if grep -q 'file format pei-x86-64' <<<"$headers"; then
    if ! grep -Eq 'Entry 3 [0-9a-f]+ 0*[1-9a-f][0-9a-f]* Exception Directory' <<<"$headers"; then
        echo "FAIL: $exe has no exception directory (unwind tables)"; failed=1
    fi
fi

size=$(stat -c %s "$exe")
echo "$exe: $size bytes"
if [ -n "$max" ] && [ "$size" -gt "$max" ]; then
    echo "FAIL: $size bytes is over the budget of $max bytes"; failed=1
fi
exit "$failed"
