#!/bin/sh
# The whole chain with a real agent: two feeds on a loopback web server, the
# gateway in front of them, Engine.exe under Wine subscribed to both through
# the files `gateway.py subscriptions` writes, and the console display program
# reading their headlines, entities and Windows-1252 characters included.
#   gateway_agent_test.sh WINE_RUN PREFIX BIN_DIR GATEWAY_PY
set -u
wine_run=$1 prefix=$2 bin=$3 gateway=$4
samples="$(dirname "$gateway")/samples"
. "$(dirname "$0")/../support/servers.sh"
work=$(mktemp -d /tmp/tidewell-gateway-agent.XXXXXX)
agent=""
cleanup() {
    [ -n "$agent" ] && { twl close >/dev/null 2>&1 || kill "$agent" 2>/dev/null; wait "$agent" 2>/dev/null; }
    stop_servers
    rm -rf "$work"
}
trap cleanup EXIT INT TERM
status=0
fail() { echo "FAIL: $*"; status=1; }
dos() { printf 'Z:%s' "$1" | tr / '\\'; }
twl() { "$wine_run" --prefix "$prefix" "$work/install/twl.exe" "$@"; }

mkdir -p "$work/feeds" "$work/install/Data"
cp "$samples/harbour.xml" "$samples/coast.atom" "$work/feeds/"
feed_port=$(free_port)
start_server 300 "$work/feeds.log" python3 -m http.server --bind 127.0.0.1 --directory "$work/feeds" "$feed_port"
cat >"$work/feeds.opml" <<OPML
<?xml version="1.0"?>
<opml version="2.0"><head><title>Two feeds</title></head><body>
  <outline text="Local"><outline text="Harbour Gazette" xmlUrl="http://127.0.0.1:$feed_port/harbour.xml"/></outline>
  <outline text="Weather"><outline text="Coast Watch" xmlUrl="http://127.0.0.1:$feed_port/coast.atom"/></outline>
</body></opml>
OPML
port=$(free_port)
start_server 300 "$work/gateway.out" /usr/bin/python3 "$gateway" serve --opml "$work/feeds.opml" --port "$port" \
    --state "$work/state.sqlite3" --log "$work/gateway.log" --lifetime 290
wait_listening "$feed_port" "the feed server" && wait_listening "$port" "the gateway" || exit 1
# The gateway has fetched both feeds once it offers their messages.
for feed in harbour-gazette coast-watch; do
    tries=0
    until python3 -c "import re, urllib.request, sys; sys.exit(not re.search(rb'\\nMsg[0-9]+=', urllib.request.urlopen(
            'http://127.0.0.1:$port/feeds/$feed.twl', timeout=5).read()))" 2>/dev/null; do
        tries=$((tries + 1))
        [ "$tries" -lt 100 ] || { fail "the gateway did not fetch $feed"; cat "$work/gateway.log"; exit 1; }
        sleep 0.2
    done
done
/usr/bin/python3 "$gateway" subscriptions --opml "$work/feeds.opml" --base "http://127.0.0.1:$port" \
    --out "$work/subscriptions" >/dev/null || fail "subscriptions failed"

cp "$bin/Engine.exe" "$bin/twl.exe" "$bin/twldata.exe" "$work/install/"
printf '[Tidewell Settings]\r\nMsgPurge=10\r\n' >"$work/install/Tidewell.ini"
"$wine_run" --prefix "$prefix" "$work/install/twldata.exe" create "$(dos "$work/install/Data/Msg.dat")" >/dev/null ||
    fail "no database"
"$wine_run" --prefix "$prefix" "$work/install/Engine.exe" &
agent=$!
twl wait 60 >/dev/null || fail "the agent did not start"
twl subscribe "$(dos "$work/subscriptions/harbour-gazette.twl")" >/dev/null || fail "harbour not handed over"
twl subscribe "$(dos "$work/subscriptions/coast-watch.twl")" >/dev/null || fail "coast not handed over"

# One subscription a run, at least 3 s apart: both within a minute.
expected="$work/expected.txt"
printf "%b" "Local / Harbour Gazette\n" \
    "  Lighthouse keeper retires after 30 years  (http://127.0.0.1:$feed_port/harbour/lighthouse.html)\n" \
    "  Caf\351 on the pier wins the \223best chowder\224 prize \227 again  (http://127.0.0.1:$feed_port/harbour/chowder.html)\n" \
    "  Fish market opens early on Saturday & Sunday  (http://127.0.0.1:$feed_port/harbour/fish-market.html)\n" \
    "  Ferry timetable changes for the winter  (http://127.0.0.1:$feed_port/harbour/ferry-winter.html)\n" \
    "Weather / Coast Watch\n" \
    "  Seals return to the sandbanks  (http://127.0.0.1:8644/coast/seals.html)\n" \
    "  Spring tide brings record high water to K\344rnby  (http://127.0.0.1:8644/coast/spring-tide.html)\n" \
    "  Gale warning for the northern bays  (http://127.0.0.1:8644/coast/gale-warning.html)\n" >"$expected"
tries=0
while :; do
    twl messages | tr -d '\r' | sed -E 's/^  [0-9]+:[0-9]+  /  /' | grep -av ' messages$' >"$work/shown.txt"
    cmp -s "$expected" "$work/shown.txt" && break
    tries=$((tries + 1))
    if [ "$tries" -ge 30 ]; then
        fail "the display program did not show both feeds' headlines"
        diff "$expected" "$work/shown.txt"
        break
    fi
    sleep 2
done
for feed in harbour-gazette coast-watch; do
    grep -q "GET /feeds/$feed.twl?Update&Have=0&AID=" "$work/gateway.log" || fail "no update request for $feed"
done
twl close >/dev/null || fail "the agent did not close"
wait "$agent"
agent=""
[ "$status" -eq 0 ] && echo "PASS: the agent follows two feeds through the gateway" || cat "$work/gateway.log"
exit "$status"
