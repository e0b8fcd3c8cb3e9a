#!/usr/bin/env bash
# The main job: builds the hook and its host, then drives a whole install,
# reinstall and uninstall through the host in a throwaway 32-bit Windows
# prefix, printing the hook's log; then shows the same installer refused on
# 64-bit Windows. Pass --keep to keep the prefixes for a look afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

keep=0
[ "${1:-}" = "--keep" ] && keep=1

bash scripts/install-deps.sh
# The product's names, paths and file lists, as the hook spells them
# (hook/product.h).
facts=$(bash scripts/product-facts.sh)
eval "$facts"
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target VLXCustomHook hookhost test_filter vlx_child >/dev/null
host="$root/build/bin/hookhost.exe"
# A stand-in for the codec filter modules: registering it leaves a mark under
# HKCU\Software\VLXTests\FilterCalls.
stand_in_filter="$root/build/bin/test_filter.dll"
# A stand-in for the companion analyzer: exits at once with code 0.
stand_in_analyzer="$root/build/bin/vlx_child.exe"

work=$(mktemp -d /tmp/vlx-demo.XXXXXX)
stop_servers() {
    for arch in win32 win64; do
        [ -d "$work/$arch" ] && WINEPREFIX="$work/$arch" wineserver -k 2>/dev/null || true
    done
}
cleanup() {
    stop_servers
    if [ "$keep" -eq 1 ]; then
        echo "Prefixes kept in $work"
    else
        rm -rf "$work"
    fi
}
trap cleanup EXIT

banner() { printf '\n######## %s\n' "$*"; }

run_host() {
    local arch=$1
    shift
    run_tool "$arch" "$host" "$@"
}

run_tool() {
    local arch=$1
    shift
    WINEPREFIX="$work/$arch" WINEARCH="$arch" WINEDEBUG=-all \
        WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml=" wine "$@"
}

option_key="HKLM\\$option_key"

# A Windows path below a folder as a Unix path below it.
unix() { printf '%s' "${1//\\//}"; }

# An entry of one of the hook's file lists (a Windows path below its
# folder, with a leading backslash) as a Unix path relative to the folder.
relative() { unix "${1#\\}"; }

# Where the demo installs: INSTALLDIR, the application's folder below it, and
# the companion organizer beside it.
installdir='C:\Program Files\Kestrune'
app_below_c="Program Files/Kestrune$(unix "$application_folder")"
organizer_below_c="Program Files/Kestrune/Fablio Organizer"

# What the hook changed on the machine, as seen from inside the prefix.
show_effects() {
    local arch=$1
    local c="$work/$arch/drive_c"
    echo "---- effects"
    echo "codec filter registrations (HKCU\Software\VLXTests\FilterCalls):"
    (cd /tmp && run_tool "$arch" reg query 'HKCU\Software\VLXTests\FilterCalls' 2>/dev/null |
        grep -i 'REG_SZ' | sed 's/^/  /') || echo "  none"
    echo "shortcuts:"
    (cd "$c" && find "users/Public/Desktop" "ProgramData/Microsoft/Windows/Start Menu/Programs" \
        -name "$link_file" | sed 's/^/  C:\\/; s|/|\\|g') | grep . || echo "  none"
    echo "taskbar pin (HKLM\\$pin_key $pin_value):"
    (cd /tmp && run_tool "$arch" reg query "HKLM\\$pin_key" /v "$pin_value" 2>/dev/null | grep -i 'REG_' | sed 's/^/  /') ||
        echo "  not present"
    echo "installer option key ($option_key):"
    (cd /tmp && run_tool "$arch" reg query "$option_key" 2>/dev/null | grep -i 'REG_' | sed 's/^/  /') ||
        echo "  not present"
    echo "application folder (C:\\${app_below_c//\//\\}):"
    (cd "$c/$app_below_c" 2>/dev/null &&
        find . -mindepth 1 | sort | sed 's|^\./||; s|/|\\|g' | paste -sd ' ' | fold -s -w 100 | sed 's/^/  /') ||
        echo "  gone"
    echo "organizer's CAHeadless folder:"
    (cd "$c/$organizer_below_c/CAHeadless" 2>/dev/null && ls | paste -sd ' ' | sed 's/^/  /') ||
        echo "  gone"
    echo "catalog database C:\\ProgramData$catalog_database:"
    [ -e "$c/ProgramData$(unix "$catalog_database")" ] && echo "  present" || echo "  gone"
    echo "data folder C:\\ProgramData$data_folder (Wine keeps its access list as mode bits; 777 = Everyone full access):"
    stat -c '  mode %a' "$c/ProgramData$(unix "$data_folder")"
    stat -c '  mode %a of %n below it' "$c/ProgramData$(unix "$data_folder")/Profiles" 2>/dev/null |
        sed "s|$c/ProgramData$(unix "$data_folder")/||"
}

# A sample payload: the application's folder as the installer host leaves it.
lay_out_payload() {
    local c="$1/drive_c"
    local app="$c/$app_below_c"
    local f
    mkdir -p "$app"
    for f in "${oem_files[@]}"; do
        f=$(relative "$f")
        mkdir -p "$(dirname "$app/$f")"
        : >"$app/$f"
    done
    # The filters after the OEM files, some of which have the same names.
    for f in "${filters_to_unregister[@]}"; do
        f=$(relative "$f")
        mkdir -p "$(dirname "$app/$f")"
        cp "$stand_in_filter" "$app/$f"
    done
    mkdir -p "$(dirname "$app$(unix "$welcome_screen")")"
    : >"$app$(unix "$welcome_screen")"
    cp "$stand_in_analyzer" "$app$(unix "$analyzer")"
    # The user's own file: it keeps its folder when the OEM trees are pruned.
    mkdir -p "$app/Settings/User"
    echo "user settings" >"$app/Settings/User/prefs.xml"
    # The companion organizer, with copies of the application's codec files
    # and one of its own.
    mkdir -p "$c/$organizer_below_c/CAHeadless"
    for f in "${caheadless_files[@]}" '\OrganizerOwn.dll'; do
        : >"$c/$organizer_below_c/CAHeadless/$(relative "$f")"
    done
    # The catalog database and the data folder, as the application leaves them.
    mkdir -p "$(dirname "$c/ProgramData$(unix "$catalog_database")")" "$c/ProgramData$(unix "$data_folder")"
    : >"$c/ProgramData$(unix "$catalog_database")"
    mkdir -p "$c/ProgramData$(unix "$data_folder")/Profiles"
    chmod 755 "$c/ProgramData$(unix "$data_folder")" "$c/ProgramData$(unix "$data_folder")/Profiles"
}

banner "Creating a throwaway 32-bit Windows prefix in $work/win32"
bash scripts/make-prefix.sh "$work/win32" win32
lay_out_payload "$work/win32"
# The installer's shortcut options, as the installer host records them.
(cd /tmp && run_tool win32 reg add "$option_key" /v NODESKTOPICON /d 0 /f >/dev/null &&
    run_tool win32 reg add "$option_key" /v PINWSTOTASKBAR /d 1 /f >/dev/null &&
    run_tool win32 reg add "$option_key" /v STARTMENULOCATION /d 'Kestrune\Video' /f >/dev/null &&
    run_tool win32 reg add "HKLM\\$organizer_key" /ve /d "C:\\${organizer_below_c//\//\\}" /f >/dev/null)
show_effects win32

for mode in install reinstall uninstall; do
    banner "$mode on 32-bit Windows (INSTALLDIR=$installdir)"
    rc=0
    run_host win32 --mode "$mode" --property "INSTALLDIR=$installdir" || rc=$?
    echo "hookhost exit code: $rc"
    show_effects win32
done
stop_servers

banner "Creating a throwaway 64-bit Windows prefix in $work/win64"
bash scripts/make-prefix.sh "$work/win64" win64
banner "install on 64-bit Windows: the 32-bit installer is refused"
rc=0
run_host win64 --mode install || rc=$?
echo "hookhost exit code: $rc (6: refused)"
