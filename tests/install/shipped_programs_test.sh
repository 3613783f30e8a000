#!/bin/sh
# The programs the setup ships, read as files (no Wine: this also runs where
# the machine cannot run them): each is a Windows program of this tree's
# word size, CONFIG.DLL exports ConfigDialog by its plain name (the agent asks
# for that name in both word sizes), and nothing imports a DLL that a bare
# Windows lacks, such as a MinGW runtime left out of the static link. And
# each of the four the user meets shows in Explorer's properties what it is:
# the product's name and version and its own description and file name, the
# product's icon, and a manifest (common controls 6; for a program also DPI
# awareness per monitor and no elevation; a library takes those from the
# program that loads it).
#   shipped_programs_test.sh OBJDUMP BIN_DIR FORMAT     (FORMAT: pei-i386 or pei-x86-64)
set -u
objdump=$1 bin=$2 format=$3
status=0
fail() { echo "FAIL: $*"; status=1; }
system_dlls=" advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msimg32.dll msvcrt.dll ole32.dll
              shell32.dll shlwapi.dll user32.dll version.dll ws2_32.dll wtsapi32.dll "

for program in Engine.exe Glancer.exe CONFIG.DLL install.exe twl.exe twldata.exe; do
    file="$bin/$program"
    [ -f "$file" ] || { fail "$program was not built"; continue; }
    "$objdump" -f "$file" | grep -q "file format $format\$" || fail "$program is not $format"
    for dll in $("$objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z'); do
        case "$system_dlls" in *" $dll "*) ;; *) fail "$program imports $dll" ;; esac
    done
done
version=$(sed -n 's/^#define TIDEWELL_VERSION "\(.*\)"$/\1/p' "$(dirname "$0")/../../src/shared/version.h")
[ "$version" = 1.1.1043.1 ] || fail "the product's version reads \"$version\""
shows() { printf '%s\n' "$resources" | grep -qF -- "$1" || fail "$program: no \"$1\""; }
for entry in "Engine.exe app Tidewell Agent" "Glancer.exe app Tidewell Ticker" "install.exe app Tidewell Repair" \
             "CONFIG.DLL dll Tidewell Preferences"; do
    program=${entry%% *} rest=${entry#* }
    kind=${rest%% *} description=${rest#* }
    [ -f "$bin/$program" ] || continue
    resources=$(python3 "$(dirname "$0")/pe_resources.py" "$bin/$program") || { fail "$program: resources unreadable"; continue; }
    shows "version $version $version $kind"
    for string in "ProductName=Tidewell" "FileVersion=$version" "ProductVersion=$version" "CompanyName=Tidewell" \
                  "FileDescription=$description" "OriginalFilename=$program" "LegalCopyright=Copyright"; do
        shows "string $string"
    done
    shows "icons 1"
    shows 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"'
    if [ "$kind" = app ]; then
        shows "manifest 1 "
        shows '<requestedExecutionLevel level="asInvoker"'
        shows '>true/pm</dpiAware>'
        shows '>PerMonitorV2,PerMonitor</dpiAwareness>'
        shows '<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>'
    else
        shows "manifest 2 "
    fi
done
exports=$("$objdump" -p "$bin/CONFIG.DLL" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[ *[0-9]*\] //p')
[ "$exports" = ConfigDialog ] || fail "CONFIG.DLL exports \"$exports\", not ConfigDialog alone"
[ "$status" -eq 0 ] && echo "ok: six programs of $format, importing only system DLLs; CONFIG.DLL exports ConfigDialog;" \
                           "four with the icon, version $version and a manifest"
exit $status
