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
status=0
fail() { echo "FAIL: $*"; status=1; }

dos_work="Z:$(printf '%s' "$work" | tr / '\\')"
deep="$work/$(head -c $((260 - ${#dos_work} - 12)) /dev/zero | tr '\0' d)"  # 12: "\" and "\Engine.exe"
mkdir -p "$deep"
cp "$bin/Engine.exe" "$deep/Engine.exe"
cp "$bin/standin.exe" "$deep/install.exe"

WINEDEBUG=-all,+debugstr "$wine_run" --prefix "$prefix" "$deep/Engine.exe" 2>"$work/trace.log" &
agent=$!
"$wine_run" --prefix "$prefix" "$bin/fatal_box.exe" || fail "the fatal-error box was not as expected"
wait "$agent"
exit_code=$?
[ "$exit_code" -eq 1 ] || fail "exit code $exit_code, expected 1"
grep -q 'WinMain(): Exception CRegistry::ReadConfig() Could not determine install path' "$work/trace.log" ||
    fail "the trace lacks the raised text"
[ ! -e "$deep/standin.log" ] || fail "the repair installer was started"
[ "$status" -eq 0 ] && echo "PASS: fatal start-up failure shown, exit code 1" || grep -a debugstr "$work/trace.log"
exit "$status"
