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
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target VLXCustomHook hookhost test_filter vlx_child >/dev/null
host="$root/build/bin/hookhost.exe"
# A stand-in for the codec filter modules: registering it leaves a mark under
# HKCU\Software\VLXTests\FilterCalls.
filter="$root/build/bin/test_filter.dll"
# A stand-in for the companion analyzer: exits at once with code 0.
analyzer="$root/build/bin/vlx_child.exe"

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

pin_key='SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\TBDEn'
option_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\VEXOUninstallOptions\VLX'

# What the hook changed on the machine, as seen from inside the prefix.
show_effects() {
    local arch=$1
    echo "---- effects"
    echo "codec filter registrations (HKCU\Software\VLXTests\FilterCalls):"
    (cd /tmp && run_tool "$arch" reg query 'HKCU\Software\VLXTests\FilterCalls' 2>/dev/null |
        grep -i 'REG_SZ' | sed 's/^/  /') || echo "  none"
    echo "shortcuts:"
    (cd "$work/$arch/drive_c" && find "users/Public/Desktop" "ProgramData/Microsoft/Windows/Start Menu/Programs" \
        -name 'Kestrune Montavo Fablio 15.lnk' | sed 's/^/  C:\\/; s|/|\\|g') | grep . || echo "  none"
    echo "taskbar pin (HKLM\\$pin_key SBOEM2):"
    (cd /tmp && run_tool "$arch" reg query "HKLM\\$pin_key" /v SBOEM2 2>/dev/null | grep -i 'REG_' | sed 's/^/  /') ||
        echo "  not present"
    echo "installer option key ($option_key):"
    (cd /tmp && run_tool "$arch" reg query "$option_key" 2>/dev/null | grep -i 'REG_' | sed 's/^/  /') ||
        echo "  not present"
    local c="$work/$arch/drive_c"
    echo "application folder (C:\\Program Files\\Kestrune\\Kestrune Montavo Fablio 15):"
    (cd "$c/Program Files/Kestrune/Kestrune Montavo Fablio 15" 2>/dev/null &&
        find . -mindepth 1 | sort | sed 's|^\./||; s|/|\\|g' | paste -sd ' ' | fold -s -w 100 | sed 's/^/  /') ||
        echo "  gone"
    echo "organizer's CAHeadless folder:"
    (cd "$c/Program Files/Kestrune/Fablio Organizer/CAHeadless" 2>/dev/null && ls | paste -sd ' ' | sed 's/^/  /') ||
        echo "  gone"
    echo "catalog database C:\\ProgramData\\Kestrune\\ZTV\\15.0\\Repository2_0.db:"
    [ -e "$c/ProgramData/Kestrune/ZTV/15.0/Repository2_0.db" ] && echo "  present" || echo "  gone"
    echo "data folder C:\\ProgramData\\Kestrune\\Montavo Fablio\\15.0 (Wine keeps its access list as mode bits; 777 = Everyone full access):"
    stat -c '  mode %a' "$c/ProgramData/Kestrune/Montavo Fablio/15.0"
}

# A sample payload: the application's folder as the installer host leaves it.
lay_out_payload() {
    local app="$1/drive_c/Program Files/Kestrune/Kestrune Montavo Fablio 15"
    mkdir -p "$app/WelcomeScreen" "$app/32" "$app/Settings/Info" "$app/MediaIO/codecs"
    : >"$app/WelcomeScreen/Kestrune Montavo Fablio 15.exe"
    for f in mc_dec_amr_ds.ax mc_dec_dd_ds.ax mc_dec_mp2v_ds.ax mc_dec_mp4v_ds.ax \
             mc_dec_mpa_ds.ax mc_demux_mp4_ds.ax; do
        cp "$filter" "$app/$f"
        cp "$filter" "$app/32/$f"
    done
    : >"$app/mc_dec_dd.dll"
    : >"$app/32/mc_dec_dd.dll"
    for f in CustomCredits TeamNames PatentLegalNotice About.xst PatentTextMac.xst \
             PatentTextWin.xst SplashAbout.xst; do
        : >"$app/Settings/Info/$f"
    done
    : >"$app/ols_config.xml"
    : >"$app/MediaIO/codecs/Dolby.vca"
    : >"$app/MediaIO/codecs/mfdolby.vca"
    : >"$app/MFDolbyEncoder.dll"
    : >"$app/MFDolbyImporter.dll"
    # The user's own file: it keeps its folder when the OEM trees are pruned.
    mkdir -p "$app/Settings/User"
    echo "user settings" >"$app/Settings/User/prefs.xml"
    cp "$analyzer" "$app/FablioAutoAnalyzer15.exe"
    # The companion organizer, with copies of the application's codec files.
    local organizer="$1/drive_c/Program Files/Kestrune/Fablio Organizer"
    mkdir -p "$organizer/CAHeadless"
    for f in mc_dec_amr.dll mc_dec_mp2v.dll mc_dec_mpa.dll mc_dec_dd.dll mc_dec_dd_ds.ax \
             WMFDolbyDecoder.dll OrganizerOwn.dll; do
        : >"$organizer/CAHeadless/$f"
    done
    # The catalog database and the data folder, as the application leaves them.
    mkdir -p "$1/drive_c/ProgramData/Kestrune/ZTV/15.0" "$1/drive_c/ProgramData/Kestrune/Montavo Fablio/15.0"
    : >"$1/drive_c/ProgramData/Kestrune/ZTV/15.0/Repository2_0.db"
    chmod 755 "$1/drive_c/ProgramData/Kestrune/Montavo Fablio/15.0"
}

banner "Creating a throwaway 32-bit Windows prefix in $work/win32"
bash scripts/make-prefix.sh "$work/win32" win32
lay_out_payload "$work/win32"
installdir='C:\Program Files\Kestrune'
# The installer's shortcut options, as the installer host records them.
(cd /tmp && run_tool win32 reg add "$option_key" /v NODESKTOPICON /d 0 /f >/dev/null &&
    run_tool win32 reg add "$option_key" /v PINWSTOTASKBAR /d 1 /f >/dev/null &&
    run_tool win32 reg add "$option_key" /v STARTMENULOCATION /d 'Kestrune\Video' /f >/dev/null &&
    run_tool win32 reg add 'HKLM\Software\Kestrune\Fablio Organizer\15.0\ApplicationPath' /ve \
        /d 'C:\Program Files\Kestrune\Fablio Organizer' /f >/dev/null)
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
