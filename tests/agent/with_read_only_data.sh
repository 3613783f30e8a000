#!/bin/sh
# Runs a test program under Wine with, beside it, an install folder whose data
# directory is mounted read-only: nothing, not even root, can write there.
# Mounting needs the right to mount; without it the variable stays unset and
# the test that needs the folder says it was skipped. The mount is undone and
# the folder removed when the program ends.
#   with_read_only_data.sh WINE_RUN PREFIX BIN_DIR TEST_PROGRAM
set -u
wine_run=$1 prefix=$2 bin=$3 program=$4
work=$(mktemp -d /tmp/tidewell-readonly.XXXXXX)
install=$work/install
mounted=""
cleanup() {
    [ -n "$mounted" ] && umount "$install/Data"
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

mkdir -p "$install/Data"
cp "$bin/Engine.exe" "$install/"
printf '[Tidewell Settings]\r\nMsgPurge=10\r\n' >"$install/Tidewell.ini"
printf '{"topics": [{"Title": "News / Kept", "messages": [{"ridMsg": 1, "Title": "Still here"}]}]}' >"$work/db.json"
"$wine_run" --prefix "$prefix" "$bin/twldata.exe" create "$install/Data/Msg.dat" "$work/db.json" >/dev/null || exit 1

if mount --bind "$install/Data" "$install/Data" 2>/dev/null; then
    mounted=1
    if mount -o remount,bind,ro "$install/Data" 2>/dev/null && ! touch "$install/Data/probe" 2>/dev/null; then
        export TIDEWELL_TEST_READONLY_INSTALL="Z:$(printf '%s' "$install" | tr / '\\')"
    fi
fi
"$wine_run" --prefix "$prefix" "$program"
