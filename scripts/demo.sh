#!/usr/bin/env bash
# The main job: builds everything, installs it into dist/, packs a sample
# presentation with lumpack (the test player compressed for the run's
# temporary folder, a read-me beside the executable), puts a splash bitmap
# beside it, starts it under Wine, saves a screenshot of the splash, and prints
# what was unpacked, what the player received (it closes the splash after a
# short pause) and that nothing was left. Then it plays a slide show with
# the sample player, saving a screenshot of each slide.
# Usage: scripts/demo.sh [--win32]   (--win32: the shipping 32-bit launcher; ~1 min to start)
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$repo_root"

target=win64
if [ "${1:-}" = "--win32" ]; then
    target=win32  # 64-bit Wine hands a 32-bit program to its 32-bit loader
fi

run_setup
build_host_artifacts
build_windows_artifacts
echo "built: $(ls -l dist/win32/launcher.exe | awk '{print $5}') bytes dist/win32/launcher.exe," \
     "$(ls -l dist/win64/launcher.exe | awk '{print $5}') bytes dist/win64/launcher.exe"

demo="$repo_root/build/demo"
rm -rf "$demo/inputs" "$demo/Sample Show" "$demo/player-report.txt" "$demo/splash-screenshot.png"
mkdir -p "$demo/inputs"

# The presentation's parts: content for the player, a read-me to unpack
# beside the executable, and the player itself, compressed, for the run's
# temporary folder.
printf 'Sample presentation content, read by the player.\r\n' > "$demo/inputs/sample.lvc"
printf 'Thank you for watching.\r\n' > "$demo/inputs/readme.txt"
show="$demo/Sample Show"
mkdir -p "$show"
echo "== lumpack build"
dist/host/lumpack build "$show/Sample Show.exe" --launcher "dist/$target/launcher.exe" \
    --content "$demo/inputs/sample.lvc" \
    --file "dist/$target/testplayer/lumv.dll" --compress --temp \
    --file "$demo/inputs/readme.txt"
dist/host/lumpack list "$show/Sample Show.exe"
dist/host/lumpack verify "$show/Sample Show.exe"
# The splash: a bitmap named like the executable, beside it.
splash="$show/Sample Show.BMP"
convert -size 320x200 gradient:'#1d3a6e-#f2c14e' -fill '#b8322a' \
    -draw 'rectangle 40,60 280,140' -type TrueColor BMP3:"$splash"
echo "splash bitmap: $splash ($(identify -format '%wx%h' "$splash"))"

wine_root="$demo/wine"
# Waits up to 3 minutes for a window titled $1 on the display, or for the
# process $2 to end.
wait_for_window() {
    for _ in $(seq 1 1800); do
        xwininfo -root -tree 2>/dev/null | grep -q "\"$1\"" && return 0
        kill -0 "$2" 2>/dev/null || return 0
        sleep 0.1
    done
}
cleanup() {
    stop_wine_servers "$wine_root"
    stop_display
}
trap cleanup EXIT
start_display
report="$demo/player-report.txt"
screenshot="$demo/splash-screenshot.png"
echo "== starting \"$show/Sample Show.exe\" under Wine ($target)"
# The player closes the splash after 4 seconds; meanwhile the splash window
# is found on the display and the whole screen is saved.
LUMV_TEST_REPORT="Z:${report//\//\\}" LUMV_TEST_RESULT=3 LUMV_TEST_CLOSE_SPLASH=4000 \
    "$repo_root/tests/wine/wine-run.sh" "$wine_root" "$show/Sample Show.exe" --demo "first argument" &
launcher_pid=$!
wait_for_window "Vantorelle Splash Screen" "$launcher_pid"
sleep 0.5  # painted
import -window root -display "$DISPLAY" "$screenshot" || true
set +e
wait "$launcher_pid"
code=$?
set -e
echo "launcher exit code: $code"
# The screenshot's middle pixel is the bitmap's middle pixel: the splash is
# centred on the 1024x768 screen.
if [ ! -f "$screenshot" ]; then
    echo "error: no screenshot of the splash" >&2
    exit 1
fi
expected=$(convert "$splash" -format '%[pixel:p{160,100}]' info:)
seen=$(convert "$screenshot" -format '%[pixel:p{512,384}]' info:)
if [ "$expected" != "$seen" ]; then
    echo "error: the screenshot does not show the splash ($seen where $expected belongs)" >&2
    exit 1
fi
echo "splash screenshot: $screenshot (the splash in the middle of the screen)"
if [ ! -f "$report" ]; then
    echo "error: the player was not called (no report)" >&2
    exit 1
fi
echo "what the player received (tempFolderFiles and exeFolderFiles: what was unpacked):"
sed 's/\r$//; s/^/  /' "$report"
echo "== after the run"
echo "beside the executable: $(ls -A "$show" | tr '\n' ' ')"
# The run folder the player was given, as a path of the Wine prefix's C: drive.
run_folder=$(sed -n 's/\r$//; s/^tempFolderPath=C:\\//p' "$report")
run_folder="$wine_root/main/drive_c/${run_folder//\\//}"
if [ ! -d "$(dirname "$run_folder")" ] || [ -e "$run_folder" ]; then
    echo "error: the run folder is still there, or its parent is not: $run_folder" >&2
    exit 1
fi
echo "the run folder $(sed -n 's/\r$//; s/^tempFolderPath=//p' "$report") is gone"
if [ "$(grep -c '^closeSplashResult=[1-9]' "$report")" != 1 ]; then
    echo "error: the player could not close the splash" >&2
    exit 1
fi
if [ "$(ls -A "$show" | tr '\n' '|')" != "Sample Show.BMP|Sample Show.exe|" ]; then
    echo "error: the run left files beside the executable" >&2
    exit 1
fi

# The same kind of show with the sample player: three slides (one with a
# bitmap that travels in the run's temporary folder, one in Japanese), played
# by itself with --autoplay; a screenshot of each slide goes beside the
# splash screenshot.
echo "== the sample player"
deck="$demo/deck"
rm -rf "$deck" && mkdir -p "$deck/inputs" "$deck/show"
printf '%s\n' 'Welcome' 'A presentation packed by lumpack and shown by the sample player.' \
    '---' 'A picture' 'image: picture.bmp' 'The bitmap travels in the run'"'"'s temporary folder.' \
    '---' 'ようこそ' '日本語のスライドです。' > "$deck/inputs/slides.txt"
convert -size 240x140 gradient:'#f2c14e-#b8322a' -type TrueColor BMP3:"$deck/inputs/picture.bmp"
dist/host/lumpack build -q "$deck/show/Slides.exe" --launcher "dist/$target/launcher.exe" \
    --content "$deck/inputs/slides.txt" \
    --file "dist/$target/sampleplayer/lumv.dll" --compress --temp \
    --file "$deck/inputs/picture.bmp" --temp
interval=2500
"$repo_root/tests/wine/wine-run.sh" "$wine_root" "$deck/show/Slides.exe" --autoplay "$interval" &
player_pid=$!
wait_for_window "Presentation" "$player_pid"
sleep 1
for slide in 1 2 3; do
    import -window root -display "$DISPLAY" "$demo/slide-$slide.png" || true
    [ "$slide" = 3 ] || sleep "$(echo "$interval / 1000" | bc -l)"
done
set +e
wait "$player_pid"
code=$?
set -e
echo "launcher exit code: $code; slides: $demo/slide-1.png $demo/slide-2.png $demo/slide-3.png"
if [ "$code" != 0 ]; then
    echo "error: the show did not end normally" >&2
    exit 1
fi
if [ "$(ls -A "$deck/show")" != "Slides.exe" ]; then
    echo "error: the show left files beside the executable: $(ls -A "$deck/show")" >&2
    exit 1
fi
echo "beside the executable afterwards: $(ls -A "$deck/show")"
