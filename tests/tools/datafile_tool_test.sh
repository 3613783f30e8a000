#!/bin/sh
# twldata end to end: a file made from a description dumps back to the same
# description and makes the same bytes again; a damaged file is refused with
# the loader's text and exit code 1; bad descriptions are refused.
#   datafile_tool_test.sh TWLDATA
set -u
tool=$1
work=$(mktemp -d /tmp/tidewell-twldata.XXXXXX)
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

cat >"$work/db.json" <<'JSON'
{"header": {"StartCount": 41, "AccountId": "acct-7", "Pace": 3},
 "topics": [
  {"ridTopic": 7, "Title": "News / World", "ConfigUrl": "http://news.test/world.twl",
   "messages": [{"ridMsg": 56, "Title": "Caf\u00e9 opens", "File": "a.html", "Url": "http://news.test/a.html",
                 "tmReceived": 1796400000}]},
  {"dwType": 3, "Title": "Stocks / Quotes", "bActive": 0},
  {"dwType": 4, "Title": "AdStream", "messages": [{"ridMsg": 5, "Title": "A0000005.bmp", "dwViews": 3}]}
 ]}
JSON

"$tool" create "$work/one.dat" "$work/db.json" || fail "create from a description"
"$tool" dump "$work/one.dat" --json >"$work/one.json" || fail "dump --json"
"$tool" create "$work/two.dat" "$work/one.json" || fail "create from a dump"
cmp -s "$work/one.dat" "$work/two.dat" || fail "a dump does not make the same file again"
grep -q '"ridTopic": 7, "ridLastMsg": 56' "$work/one.json" || fail "stored ids are not shown as stored"
grep -q 'Caf\\u00e9 opens' "$work/one.json" || fail "a byte above 127 did not travel"
"$tool" dump "$work/one.dat" >"$work/one.txt" || fail "dump as text"
grep -q 'StartCount 41' "$work/one.txt" || fail "the text dump lacks the header"
grep -q '#56 "Caf' "$work/one.txt" || fail "the text dump lacks the message"

"$tool" create "$work/empty.dat" || fail "create an empty file"
[ "$(wc -c <"$work/empty.dat")" -eq 4772 ] || fail "an empty file is not a header and a count"

head -c 9000 "$work/one.dat" >"$work/cut.dat"
"$tool" dump "$work/cut.dat" >/dev/null 2>"$work/cut.err"
[ $? -eq 1 ] || fail "a cut file is not refused with 1"
grep -q 'Invalid msg record size' "$work/cut.err" || fail "a cut file does not say which field ended early"

echo '{"topics": [{"Title": 5}]}' >"$work/bad.json"
"$tool" create "$work/bad.dat" "$work/bad.json" 2>"$work/bad.err" && fail "a wrong type is taken"
grep -q '"Title" is not a string' "$work/bad.err" || fail "a wrong type is not named"
[ ! -e "$work/bad.dat" ] || fail "a refused description left a file"
echo '{"topics": [' >"$work/broken.json"
"$tool" create "$work/bad.dat" "$work/broken.json" 2>/dev/null && fail "broken JSON is taken"
"$tool" frobnicate 2>/dev/null; [ $? -eq 2 ] || fail "a wrong command is not a usage error"

exit "$status"
