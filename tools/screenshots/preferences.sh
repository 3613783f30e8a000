#!/bin/sh
# Draws each page of the preferences dialog into docs/images/prefs-PAGE.png.
# A real agent runs from a fresh install folder under Wine's X11 driver on a
# private Xvfb display; `twl prefs` asks it for the dialog, and Ctrl+Tab,
# pressed as a person presses it, walks the pages.
#
#   tools/screenshots/preferences.sh [PRESET]   (scripts/screenshots runs it; PRESET windows or windows64,
#                                                the latter where 32-bit programs cannot run)
set -eu
preset=${1:-windows}
wine=wine
[ "$preset" = windows64 ] && wine=/usr/lib/wine/wine64
cd "$(dirname "$0")/../.."
root=$(pwd)
export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$(dirname "$root")"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target Engine twl twldata config_dll

shots="$root/build/screenshots"
install="$shots/install"
rm -rf "$install"
mkdir -p "$install/Data" "$root/docs/images"
for program in Engine.exe twl.exe twldata.exe CONFIG.DLL; do cp "build/$preset/bin/$program" "$install/"; done
printf '[Tidewell Settings]\r\nHttpProxy=proxy.example\r\nHttpProxyPort=3128\r\nHttpProxyEnabled=0\r\nBrowserPath=C:\\Program Files\\Browser\\browser.exe\r\nEdgeDockedOn=3\r\nAlwaysOnTop=1\r\nAutoHide=0\r\n' \
    >"$install/Tidewell.ini"
# An X11 prefix of its own, made on first use, in which Wine draws the
# windows' frames and captions itself: Xvfb has no window manager to do it.
prefix="$shots/wine"
scripts/wine-run --prefix "$prefix" --x11 cmd /c exit 0 >/dev/null 2>&1
export WINEPREFIX="$prefix-x11" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wineserver -w
export install shots wine images="$root/docs/images"

timeout 300 xvfb-run -a -s "-screen 0 1024x768x24" sh -eu -c '
    "$wine" "$install/twldata.exe" create "$install/Data/Msg.dat" "$0/tools/demo/initial-database.json" >/dev/null
    "$wine" "$install/Engine.exe" &
    "$wine" "$install/twl.exe" wait 60 >/dev/null
    "$wine" "$install/twl.exe" prefs
    dialog=$(timeout 30 xdotool search --sync --name "^Tidewell Preferences\$" | head -n 1)
    xdotool windowfocus --sync "$dialog" || true
    sleep 1
    for page in connection browser display topics symbols pace; do
        import -window "$dialog" "$images/prefs-$page.png"
        echo "drew $images/prefs-$page.png"
        xdotool key ctrl+Tab
        sleep 1
    done
    xdotool key Escape
    "$wine" "$install/twl.exe" close >/dev/null || true
    wineserver -k 2>/dev/null || true
' "$root"
