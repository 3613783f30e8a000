#!/bin/sh
# The setup end to end under Wine: a silent install into a fresh folder, the
# agent running from it and answering a display program, an install over the
# running installation that keeps its news, and a silent uninstall that
# leaves only the news behind.
#   setup_test.sh WINE_RUN PREFIX BIN_DIR SOURCE_DIR
set -u
wine_run=$1 prefix=$2 bin=$3 src=$4
work=$(mktemp -d /tmp/tidewell-setup.XXXXXX)
install="$work/Tidewell"
# Wine mirrors Start-menu shortcuts as menu entries of the host desktop; they
# go into the test's folder, not the user's.
export XDG_DATA_HOME="$work/xdg-data" XDG_CONFIG_HOME="$work/xdg-config"
dos() { printf 'Z:%s' "$1" | tr / '\\'; }
run() { "$wine_run" --prefix "$prefix" "$@"; }
twl() { run "$bin/twl.exe" "$@"; }
cleanup() {
    twl close >/dev/null 2>&1
    # A Run value left by a failed run would start a missing program at the prefix's next boot.
    run reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v "Tidewell Agent" /f >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }
pass() { echo "ok: $*"; }

"$src/scripts/package" --no-build >"$work/package.log" 2>&1 || { cat "$work/package.log"; exit 1; }
setup="$src/build/package/TidewellSetup.exe"
twl close >/dev/null 2>&1  # no agent of an earlier run in the way

# NSIS wants /D= last and unquoted.
run "$setup" /S "/D=$(dos "$install")" || fail "the setup ended with $?"
for file in Engine.exe install.exe twl.exe twldata.exe uninstall.exe Tidewell.ini Data/Msg.dat; do
    [ -f "$install/$file" ] || fail "$file was not installed"
done
grep -q '^MsgPurge=10' "$install/Tidewell.ini" || fail "Tidewell.ini lacks MsgPurge=10"
run reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v "Tidewell Agent" 2>/dev/null |
    grep -qF "$(dos "$install")\\Engine.exe" || fail "no Run entry for the installed agent"
run reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tidewell' /reg:32 >/dev/null 2>&1 ||
    run reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tidewell' >/dev/null 2>&1 ||
    fail "no uninstall entry"
menu=$(find "$prefix/drive_c" -type d -path '*Start Menu/Programs/Tidewell' | head -n 1)
for link in "Tidewell Ticker" "Tidewell Preferences" "Tidewell Agent" "Uninstall Tidewell"; do
    [ -f "$menu/$link.lnk" ] || fail "no Start-menu entry \"$link\""
done
grep -aqF "$(dos "$install")\\Glancer.exe" "$menu/Tidewell Ticker.lnk" || fail "the ticker entry does not start Glancer.exe"
grep -aqF "$(dos "$install")\\twl.exe" "$menu/Tidewell Preferences.lnk" || fail "the preferences entry does not run twl"
[ "$status" -eq 0 ] && pass "silent install: files, settings, Run entry, uninstall entry, Start menu"

# The silent install started the agent from the installed folder.
twl wait 30 >/dev/null || fail "no agent after the install"
run "$install/twl.exe" settings | grep -qiF "$(dos "$install")" || fail "the agent does not run from $install"
run "$install/twl.exe" topics | grep -q "News / Harbour" || fail "the agent does not serve the initial subscriptions"
if [ -f "$install/Glancer.exe" ]; then
    run start /unix "$menu/Tidewell Ticker.lnk"
    # Wine shows a process's Windows path: this install folder's Glancer, not another tree's.
    glancer="$(basename "$work").Tidewell.Glancer\.exe"
    tries=0
    until pgrep -f "$glancer" >/dev/null || [ "$tries" -ge 100 ]; do sleep 0.2; tries=$((tries + 1)); done
    pgrep -f "$glancer" >/dev/null || fail "the ticker entry started no Glancer.exe"
fi
[ "$status" -eq 0 ] && pass "the installed agent runs and answers a display program"

# News that arrived since the install survives an install over the running agent.
cp "$src/tools/demo/sailing.twl" "$work/sailing.twl"
twl subscribe "$(dos "$work/sailing.twl")" >/dev/null || fail "the subscription file was not handed over"
tries=0
until twl topics 2>/dev/null | grep -q "Sailing" || [ "$tries" -ge 50 ]; do sleep 0.2; tries=$((tries + 1)); done
news_before=$(twl messages 2>/dev/null | grep -c .)
# Every load of the database counts a start: a new agent after the install has one more.
starts() { twl settings | sed -n 's/^ *StartCount[ :=]*\([0-9]*\).*/\1/p'; }
starts_before=$(starts)
run "$setup" /S "/D=$(dos "$install")" || fail "the setup over the running agent ended with $?"
twl wait 30 >/dev/null || fail "no agent after the install over it"
twl topics | grep -q "Sailing" || fail "the topic that arrived before the install over it is gone"
news_after=$(twl messages 2>/dev/null | grep -c .)
[ "$(starts)" = "$((starts_before + 1))" ] ||
    fail "the agent was not closed and started again: start count $starts_before before, $(starts) after"
[ "$news_after" -ge "$news_before" ] && [ "$news_before" -gt 0 ] ||
    fail "news lost by the install over the running agent: $news_before lines before, $news_after after"
[ "$status" -eq 0 ] && pass "an install over the running agent keeps its news ($news_after lines)"

# The uninstaller runs from a copy of itself; wait for its work to show.
run "$install/uninstall.exe" /S || fail "the uninstaller ended with $?"
tries=0
while { [ -e "$install/uninstall.exe" ] || [ -e "$menu" ]; } && [ "$tries" -lt 150 ]; do sleep 0.2; tries=$((tries + 1)); done
for file in Engine.exe install.exe twl.exe twldata.exe uninstall.exe Glancer.exe CONFIG.DLL; do
    [ ! -e "$install/$file" ] || fail "$file is left after the uninstall"
done
[ ! -e "$menu" ] || fail "the Start-menu entries are left: $(ls "$menu")"
run reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v "Tidewell Agent" >/dev/null 2>&1 &&
    fail "the Run entry is left"
[ -f "$install/Data/Msg.dat" ] || fail "the news database went with the uninstall"
twl wait 1 >/dev/null 2>&1 && fail "the agent still runs after the uninstall"
[ "$status" -eq 0 ] && pass "silent uninstall: programs, shortcuts and Run entry gone, Data kept"
exit "$status"
