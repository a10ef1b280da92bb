#!/usr/bin/env bash
# Generates the locales the language tests run Wine under: make_locales.sh DIR
# LOCALE... (e.g. ja_JP). Wine takes the system language from LANG, but only
# for a locale the C library can load; these are compiled into DIR (UTF-8),
# which the tests name in LOCPATH, so the machine's own locales are untouched.
# Needs localedef and the locale sources (Debian package "locales").
set -euo pipefail

dir="$1"; shift
if ! command -v localedef >/dev/null || [ ! -d /usr/share/i18n/locales ]; then
    echo "make_locales: localedef or /usr/share/i18n/locales is missing (install 'locales')" >&2
    exit 1
fi
mkdir -p "$dir"
for locale in "$@"; do
    target="$dir/$locale.UTF-8"
    [ -f "$target/LC_CTYPE" ] && continue
    rm -rf "$target"
    # Warnings about the sources do not matter as long as the locale is made.
    localedef -i "$locale" -f UTF-8 "$target" 2>"$dir/$locale.log" || true
    if [ ! -f "$target/LC_CTYPE" ]; then
        echo "make_locales: cannot generate $locale:" >&2
        cat "$dir/$locale.log" >&2
        exit 1
    fi
done
