#!/bin/sh
# The programs the setup ships, read as files (no Wine: this also runs where
# the machine cannot run them): each is a Windows program of this tree's
# word size, CONFIG.DLL exports ConfigDialog by its plain name (the agent asks
# for that name in both word sizes), and nothing imports a DLL that a bare
# Windows lacks, such as a MinGW runtime left out of the static link.
#   shipped_programs_test.sh OBJDUMP BIN_DIR FORMAT     (FORMAT: pei-i386 or pei-x86-64)
set -u
objdump=$1 bin=$2 format=$3
status=0
fail() { echo "FAIL: $*"; status=1; }
system_dlls=" advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msimg32.dll msvcrt.dll ole32.dll
              shell32.dll shlwapi.dll user32.dll version.dll ws2_32.dll "

for program in Engine.exe Glancer.exe CONFIG.DLL install.exe twl.exe twldata.exe; do
    file="$bin/$program"
    [ -f "$file" ] || { fail "$program was not built"; continue; }
    "$objdump" -f "$file" | grep -q "file format $format\$" || fail "$program is not $format"
    for dll in $("$objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z'); do
        case "$system_dlls" in *" $dll "*) ;; *) fail "$program imports $dll" ;; esac
    done
done
exports=$("$objdump" -p "$bin/CONFIG.DLL" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[ *[0-9]*\] //p')
[ "$exports" = ConfigDialog ] || fail "CONFIG.DLL exports \"$exports\", not ConfigDialog alone"
[ "$status" -eq 0 ] && echo "ok: six programs of $format, importing only system DLLs; CONFIG.DLL exports ConfigDialog"
exit $status
