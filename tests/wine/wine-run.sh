#!/usr/bin/env bash
# Runs a Windows test program under Wine: wine-run.sh WINE_ROOT PROGRAM [ARGS...]
# The prefix is WINE_ROOT/$LUMV_WINE_PREFIX ("main" when unset), a copy of a
# pristine prefix made on first use; names other than "main" are for tests
# that must not share a wineserver or a system folder with the rest (logoff,
# a player installed under the system folder). Each prefix's wineserver and services are started
# detached, so they never hold the caller's output pipes open; the test
# command stops them at the end of its run.
set -euo pipefail

root="$1"; shift
name="${LUMV_WINE_PREFIX:-main}"
wine64=/usr/lib/wine/wine64
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}"
export WINEDEBUG="${WINEDEBUG:--all}"

# The pristine prefix is only ever copied, never run in, so every copy starts
# from the same state whatever the tests did to theirs.
ensure_base_prefix() {
    local base="$root/base"
    [ -f "$base/.lumv-ready" ] && return 0
    rm -rf "$base"
    mkdir -p "$base"
    echo "wine-run: creating the test prefix (about 2 minutes)" >&2
    WINEPREFIX="$base" "$wine64" wineboot --init </dev/null >/dev/null 2>&1
    # No window manager runs on the test display, and Wine waits two seconds
    # for one whenever a managed window is hidden - every closed message box.
    WINEPREFIX="$base" "$wine64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
        </dev/null >/dev/null 2>&1
    # Japanese text in the system font, linked as a Japanese Windows links it:
    # Wine's Tahoma has no Japanese glyphs, the IPA Gothic font of set-up has.
    local face
    for face in Tahoma "MS Shell Dlg"; do
        WINEPREFIX="$base" "$wine64" reg add \
            'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
            /v "$face" /t REG_MULTI_SZ /d 'ipag.ttf,IPAGothic' /f </dev/null >/dev/null 2>&1
    done
    WINEPREFIX="$base" wineserver -w
    touch "$base/.lumv-ready"
}

# Wine's libraries, over a gigabyte a prefix, are only ever read: every prefix
# links them from the pristine one instead of copying them. Nothing else is
# shared, because Wine writes its registry and settings files in place when
# they have more than one link. The tests only add files to the system folder.
shared_folders=(drive_c/windows/system32 drive_c/windows/syswow64 drive_c/windows/winsxs)

ensure_prefix() {
    local prefix="$root/$1" base="$root/base" folder
    [ -f "$prefix/.lumv-ready" ] && return 0
    ensure_base_prefix
    rm -rf "$prefix"
    mkdir -p "$prefix"
    tar -C "$base" "${shared_folders[@]/#/--exclude=./}" -cf - . | tar -C "$prefix" -xf -
    for folder in "${shared_folders[@]}"; do
        cp -a --link "$base/$folder" "$prefix/$folder"
    done
}

mkdir -p "$root"
{
    flock 9
    ensure_prefix "$name"
    export WINEPREFIX="$root/$name"
    # Exit status 0: a new persistent server; bring up the services detached.
    # They outlive this script, so they must not inherit the lock (fd 9).
    if wineserver -p </dev/null >/dev/null 2>&1 9>&-; then
        "$wine64" wineboot </dev/null >/dev/null 2>&1 9>&-
    fi
} 9>"$root/.lock"

# A GoogleTest result folder given as a Unix path: one file per run, named
# so that runs of one program side by side never pick the same name.
if [[ "${GTEST_OUTPUT:-}" == xml:/*/ ]]; then
    output="${GTEST_OUTPUT#xml:}$(basename "$1" .exe)-$$.xml"
    export GTEST_OUTPUT="xml:Z:${output//\//\\}"
fi

export WINEPREFIX="$root/$name"
exec "$wine64" "$@"
