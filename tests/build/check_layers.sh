#!/usr/bin/env bash
# The source rooms only look down: a file under src/ includes from its own
# room or from a room below it, never from one above, and outside src/ only
# the tests include from the launcher's room. Cross-room includes name the
# room ("common/path_rules.h"), never a relative path ("../").
# Usage: check_layers.sh SOURCE_DIR
set -euo pipefail
cd "$1"

# Bottom to top.
rooms=(common lzari tempfolder splash payload cleanup launcher resources)

declare -A rank
for i in "${!rooms[@]}"; do rank[${rooms[$i]}]=$i; done

faults=0
fault() {
    echo "$1" >&2
    faults=$((faults + 1))
}

while IFS= read -r file; do
    case "$file" in tests/fuzz/corpus/*) continue ;; esac
    room=
    if [[ "$file" == src/*/* ]]; then
        room=${file#src/}
        room=${room%%/*}
        [ -n "${rank[$room]:-}" ] || { fault "$file: room '$room' has no place in the order"; continue; }
    fi
    while IFS=: read -r line target; do
        case "$target" in
            ../*|*/../*) fault "$file:$line: includes \"$target\" by a relative path"; continue ;;
            */*) ;;
            *) continue ;;  # its own folder's header
        esac
        to=${target%%/*}
        [ -n "${rank[$to]:-}" ] || continue
        if [ -n "$room" ]; then
            if [ "${rank[$to]}" -gt "${rank[$room]}" ]; then
                fault "$file:$line: room '$room' includes \"$target\" from a room above it"
            fi
        elif [ "$to" = launcher ] && [[ "$file" != tests/* ]]; then
            fault "$file:$line: includes \"$target\" from the launcher's own room"
        fi
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
             sed -E 's/^([0-9]+):[^"]*"([^"]*)".*/\1:\2/')
done < <(git ls-files -- '*.h' '*.cpp' '*.c' 2>/dev/null ||
         find src tools tests bench \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \) -print)

if [ "$faults" -gt 0 ]; then
    echo "check_layers: $faults found; the rooms from the bottom up: ${rooms[*]}" >&2
    exit 1
fi
echo "check_layers: every include looks down"
