#!/bin/sh
# The programs the setup ships, read as files (also where they cannot run):
# of this tree's word size, importing only DLLs a bare Windows has, CONFIG.DLL
# exporting ConfigDialog by its plain name; and the four the user meets show in
# Explorer what they are (name, version, icon, manifest).
#   shipped_programs_test.sh OBJDUMP WINDRES BIN_DIR FORMAT     (FORMAT: pei-i386 or pei-x86-64)
set -u
objdump=$1 windres=$2 bin=$3 format=$4
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
# What Explorer reads from a program's resources, as windres writes them out:
# the version block's lines, the number of icon groups, each manifest on one line.
resources() {
    "$windres" -i "$1" -O rc | awk '
        /^ (FILEVERSION|PRODUCTVERSION|FILETYPE) |^ *VALUE "/ { print }
        /\/\* RT_GROUP_ICON \*\// { icons++ }
        /\/\* RT_MANIFEST \*\// { manifest = $1; text = ""; next }
        manifest != "" && /^END/ { gsub(/[ \t]+/, " ", text); print "manifest", manifest, text; manifest = "" }
        manifest != "" && /^ *"/ { sub(/^ *"/, ""); sub(/(\\r)?(\\n)?"$/, ""); gsub(/""/, "\""); text = text " " $0 }
        END { print "icons", icons + 0 }'
}
version=$(sed -n 's/^#define TIDEWELL_VERSION "\(.*\)"$/\1/p' "$(dirname "$0")/../../src/shared/version.h")
[ "$version" = 1.1.1043.1 ] || fail "the product's version reads \"$version\""
commas=$(printf '%s' "$version" | sed 's/\./, /g')
shows() { printf '%s\n' "$resources" | grep -qF -- "$1" || fail "$program: no \"$1\""; }
for entry in "Engine.exe 0x1 Tidewell Agent" "Glancer.exe 0x1 Tidewell Ticker" "install.exe 0x1 Tidewell Repair" \
             "CONFIG.DLL 0x2 Tidewell Preferences"; do
    program=${entry%% *} rest=${entry#* }
    kind=${rest%% *} description=${rest#* }
    [ -f "$bin/$program" ] || continue
    resources=$(resources "$bin/$program") || { fail "$program: resources unreadable"; continue; }
    for line in "FILEVERSION $commas" "PRODUCTVERSION $commas" "FILETYPE $kind"; do shows " $line"; done
    for string in "ProductName=Tidewell" "FileVersion=$version" "ProductVersion=$version" "CompanyName=Tidewell" \
                  "FileDescription=$description" "OriginalFilename=$program" "LegalCopyright=Copyright"; do
        shows "VALUE \"${string%%=*}\", \"${string#*=}"
    done
    shows "icons 1"
    shows 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"'
    if [ "$kind" = 0x1 ]; then
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
