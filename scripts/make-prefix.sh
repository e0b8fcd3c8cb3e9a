#!/usr/bin/env bash
# Creates a fresh Wine prefix for the hook: make-prefix.sh DIR win64|win32
# Nothing is written to $HOME: no menu builder, and the profile folders that
# Wine links to $HOME become plain folders. Drive S: maps to DIR-sandbox, a
# scratch folder the tests may fill and empty.
set -euo pipefail
dir=$1
arch=$2

export WINEPREFIX="$dir" WINEARCH="$arch" WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="

if [ -d "$dir" ]; then
    wineserver -k 2>/dev/null || true
    rm -rf "$dir"
fi
mkdir -p "$(dirname "$dir")"
wineboot -i >/dev/null 2>&1
wineserver -w

user=$(id -un)
for d in Desktop Documents Downloads Music Pictures Videos; do
    p="$dir/drive_c/users/$user/$d"
    if [ -L "$p" ]; then
        rm "$p"
        mkdir "$p"
    fi
done

sandbox="$dir-sandbox"
rm -rf "$sandbox"
mkdir -p "$sandbox"
ln -sfn "$sandbox" "$dir/dosdevices/s:"
