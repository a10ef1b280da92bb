# Shared pieces of the project's commands; sourced, not run.
# Builds every target, installs the artifacts into dist/, and manages the
# virtual display and the Wine servers the Windows programs run under.

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="$(nproc 2>/dev/null || echo 2)"

run_setup() {
    if [ "$(id -u)" -eq 0 ]; then
        bash "$repo_root/scripts/setup.sh"
    else
        echo "note: not root, so the set-up step is skipped (run scripts/setup.sh as root once)" >&2
    fi
}

# configure_and_build PRESET [TARGET...]
configure_and_build() {
    local preset="$1"; shift
    cmake --preset "$preset" -S "$repo_root" >/dev/null
    if [ "$#" -gt 0 ]; then
        local targets=()
        for t in "$@"; do targets+=(--target "$t"); done
        cmake --build "$repo_root/build/$preset" -j"$jobs" "${targets[@]}"
    else
        cmake --build "$repo_root/build/$preset" -j"$jobs"
    fi
}

# The host tool: dist/host/lumpack.
build_host_artifacts() {
    configure_and_build host
    cmake --install "$repo_root/build/host" >/dev/null
}

# The release artifacts: dist/win32, dist/win64 (launcher and test player;
# for win64 also lumpack.exe).
build_windows_artifacts() {
    local preset targets
    for preset in win32 win64; do
        targets=(launcher testplayer sampleplayer)
        [ "$preset" = win64 ] && targets+=(lumpack)
        configure_and_build "$preset" "${targets[@]}"
        cmake --install "$repo_root/build/$preset" >/dev/null
    done
}

# Starts Xvfb on a free display and exports DISPLAY; stop_display ends it.
start_display() {
    local n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb_pid=$!
        local tries
        for tries in $(seq 1 50); do
            [ -e "/tmp/.X11-unix/X$n" ] && break
            sleep 0.1
        done
        if kill -0 "$xvfb_pid" 2>/dev/null; then
            export DISPLAY=":$n"
            return 0
        fi
    done
    echo "error: could not start Xvfb" >&2
    return 1
}

stop_display() {
    if [ -n "${xvfb_pid:-}" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=
    fi
}

# Ends the Wine servers (and so every Wine process) of the prefixes under $1.
stop_wine_servers() {
    local prefix
    for prefix in "$1"/*/; do
        [ -d "$prefix" ] || continue
        WINEPREFIX="${prefix%/}" wineserver -k 2>/dev/null || true
    done
}
