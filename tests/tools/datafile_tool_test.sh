#!/bin/sh
# twldata end to end: a file made from a description dumps back to the same
# description and makes the same bytes again; a damaged file, or one the
# agent's start-up would not take, is refused with the agent's text and exit
# code 1; bad descriptions are refused, naming the member at fault; every
# byte of a text travels through the JSON and back.
#   datafile_tool_test.sh TWLDATA
set -u
tool=$1
work=$(mktemp -d /tmp/tidewell-twldata.XXXXXX)
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

# Every byte but 0 as a text: escaped on the way in, and as the dump writes it.
every=$(for i in $(seq 1 255); do printf '\\u%04x' "$i"; done)
dumped=""
for i in $(seq 1 255); do
    case $i in
    8) e='\b' ;; 9) e='\t' ;; 10) e='\n' ;; 12) e='\f' ;; 13) e='\r' ;; 34) e='\"' ;; 92) e='\\' ;;
    *) if [ "$i" -ge 32 ] && [ "$i" -le 126 ]; then e=$(printf "\\$(printf %03o "$i")"); else e=$(printf '\\u%04x' "$i"); fi ;;
    esac
    dumped="$dumped$e"
done
cat >"$work/db.json" <<JSON
{"header": {"StartCount": 41, "AccountId": "acct-7", "Pace": 3},
 "topics": [
  {"ridTopic": 7, "Title": "News / World", "ConfigUrl": "http://news.test/world.twl",
   "messages": [{"ridMsg": 56, "Title": "Caf\u00e9 opens", "File": "a.html", "Url": "http://news.test/a.html",
                 "tmReceived": 1796400000}]},
  {"dwType": 3, "Title": "Stocks / Quotes", "bActive": 0, "MsgBaseUrl": "$every"},
  {"dwType": 4, "Title": "AdStream", "messages": [{"ridMsg": 5, "Title": "A0000005.bmp", "dwViews": 3}]}
 ]}
JSON

"$tool" create "$work/one.dat" "$work/db.json" || fail "create from a description"
"$tool" dump "$work/one.dat" --json >"$work/one.json" || fail "dump --json"
"$tool" create "$work/two.dat" "$work/one.json" || fail "create from a dump"
cmp -s "$work/one.dat" "$work/two.dat" || fail "a dump does not make the same file again"
grep -q '"ridTopic": 7, "ridLastMsg": 56' "$work/one.json" || fail "stored ids are not shown as stored"
grep -q 'Caf\\u00e9 opens' "$work/one.json" || fail "a byte above 127 did not travel"
LC_ALL=C grep -q '[^ -~]' "$work/one.json" && fail "the dump is not plain ASCII"
grep -qF "\"MsgBaseUrl\": \"$dumped\"" "$work/one.json" || fail "not every byte came back as it went in"
"$tool" dump "$work/one.dat" >"$work/one.txt" || fail "dump as text"
grep -q 'StartCount 41' "$work/one.txt" || fail "the text dump lacks the header"
grep -q '#56 "Caf' "$work/one.txt" || fail "the text dump lacks the message"

"$tool" create "$work/empty.dat" || fail "create an empty file"
[ "$(wc -c <"$work/empty.dat")" -eq 4772 ] || fail "an empty file is not a header and a count"

head -c 9000 "$work/one.dat" >"$work/cut.dat"
"$tool" dump "$work/cut.dat" >/dev/null 2>"$work/cut.err"
[ $? -eq 1 ] || fail "a cut file is not refused with 1"
grep -q 'Invalid msg record size' "$work/cut.err" || fail "a cut file does not say which field ended early"

while IFS='|' read -r description said; do
    echo "$description" >"$work/bad.json"
    "$tool" create "$work/bad.dat" "$work/bad.json" 2>"$work/bad.err" && fail "taken: $description"
    grep -qF "$said" "$work/bad.err" || fail "not said: $said"
done <<JSON
{"topics": [{"Title": 5}]}|"Title" is not a string
{"topics": [{"Category": 1.5}]}|"Category" is not a whole number
{"header": {"AccountId": "$(printf 'x%.0s' $(seq 100))"}}|"AccountId" is longer than its field
{"topics": [|bad.json: not JSON at offset 13
JSON
[ ! -e "$work/bad.dat" ] || fail "a refused description left a file"

# Files the agent's start-up would not take: dump fails with the agent's text
# and says that the agent would run its repair installer.
topics() {  # topics COUNT: a description of COUNT subscriptions
    printf '{"topics": [{"Title": "News / t0"}'
    for i in $(seq 2 "$1"); do printf ',{"Title": "News / t%s"}' "$i"; done
    printf ']}'
}
repair="the agent would not start with this file: it would run its repair installer"
topics 101 >"$work/many.json"
"$tool" create "$work/many.dat" "$work/many.json" 2>"$work/many.err" && fail "101 topics are made"
topics 100 >"$work/full.json"
"$tool" create "$work/full.dat" "$work/full.json" 2>"$work/full.err" || fail "100 topics are not made"
grep -q "$repair" "$work/full.err" || fail "making a file without room for the ad stream gives no warning"
"$tool" dump "$work/full.dat" >/dev/null 2>"$work/full.err"
[ $? -eq 1 ] || fail "a file without room for the ad stream is not refused with 1"
grep -q "$repair" "$work/full.err" || fail "a file without room for the ad stream does not name the repair"
topics 99 >"$work/room.json"
"$tool" create "$work/room.dat" "$work/room.json" 2>"$work/room.err" || fail "99 topics are not made"
"$tool" dump "$work/room.dat" >/dev/null 2>>"$work/room.err" || fail "99 topics leave room for the ad stream"
[ ! -s "$work/room.err" ] || fail "a file the agent takes gives a warning: $(cat "$work/room.err")"
"$tool" frobnicate 2>/dev/null; [ $? -eq 2 ] || fail "a wrong command is not a usage error"

exit "$status"
