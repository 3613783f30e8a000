#!/bin/sh
# The one failure the user sees. An install folder so deep that the agent's
# path fills the whole 260-character buffer cannot give the shared record its
# install directory, and start-up must end in "Fatal error during
# initialization" and exit code 1, without the repair installer. Windows
# itself cannot start a program from such a path; Wine started from the Unix
# side can.
#   fatal_error_test.sh WINE_RUN PREFIX BIN_DIR
set -u
wine_run=$1 prefix=$2 bin=$3
work=$(mktemp -d /tmp/tidewell-fatal.XXXXXX)
trap 'rm -rf "$work"' EXIT

dos_work="Z:$(printf '%s' "$work" | tr / '\\')"
suffix='\Engine.exe'
name_length=$((260 - ${#dos_work} - 1 - ${#suffix}))
deep="$work/$(head -c "$name_length" /dev/zero | tr '\0' d)"
mkdir -p "$deep"
cp "$bin/Engine.exe" "$deep/Engine.exe"
cp "$bin/standin.exe" "$deep/install.exe"

WINEDEBUG=-all,+debugstr "$wine_run" --prefix "$prefix" "$deep/Engine.exe" 2>"$work/trace.log" &
agent=$!
"$wine_run" --prefix "$prefix" "$bin/fatal_box.exe"
box=$?
wait "$agent"
exit_code=$?

status=0
[ "$box" -eq 0 ] || { echo "FAIL: the fatal-error box was not as expected"; status=1; }
[ "$exit_code" -eq 1 ] || { echo "FAIL: exit code $exit_code, expected 1"; status=1; }
grep -q 'WinMain(): Exception CRegistry::ReadConfig() Could not determine install path' "$work/trace.log" ||
    { echo "FAIL: the trace lacks the raised text"; status=1; }
[ ! -e "$deep/standin.log" ] || { echo "FAIL: the repair installer was started"; status=1; }
[ "$status" -eq 0 ] || { echo "agent trace:"; grep -a debugstr "$work/trace.log"; }
[ "$status" -eq 0 ] && echo "PASS: fatal start-up failure shown, exit code 1"
exit "$status"
