#!/bin/sh
# A real agent under Wine subscribed, through the files `gateway.py subscriptions`
# writes, to two loopback feeds behind the gateway; twl reads their headlines
# back, entities and Windows-1252 characters included.
#   gateway_agent_test.sh serve|production WINE_RUN PREFIX BIN_DIR GATEWAY_PY
# production: `gateway.py static` files behind nginx (the shipped server block)
# at 127.0.0.1:8642, the usage report to gunicorn (the shipped settings).
set -u
mode=$1 wine_run=$2 prefix=$3 bin=$4 gateway=$5
tools=$(dirname "$gateway")
. "$(dirname "$0")/../support/servers.sh"
if [ "$mode" = production ]; then
    # The service's port is fixed: runs of other build trees on this machine wait their turn.
    exec 8>/tmp/tidewell-news-service.lock
    flock -w 1800 8 || { echo "the news service's ports stayed taken" >&2; exit 1; }
fi
work=$(mktemp -d /tmp/tidewell-gateway-agent.XXXXXX)
chmod 755 "$work"  # nginx's workers may run as another user
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
show_logs() { for log in "$work"/*.log "$work"/*.out; do echo "== $log"; cat "$log"; done; }

# serve_gateway: `gateway.py serve` on $port, once it has fetched both feeds.
serve_gateway() {
    port=$(free_port)
    start_server 300 "$work/gateway.out" /usr/bin/python3 "$gateway" serve --opml "$work/feeds.opml" --port "$port" \
        --state "$work/state.sqlite3" --log "$work/gateway.log" --lifetime 290
    wait_listening "$port" "the gateway" || exit 1
    for feed in harbour-gazette coast-watch; do
        tries=0
        until python3 -c "import re, urllib.request, sys; sys.exit(not re.search(rb'\\nMsg[0-9]+=', urllib.request.urlopen(
                'http://127.0.0.1:$port/feeds/$feed.twl', timeout=5).read()))" 2>/dev/null; do
            tries=$((tries + 1))
            [ "$tries" -lt 100 ] || { fail "the gateway did not fetch $feed"; show_logs; exit 1; }
            sleep 0.2
        done
    done
}

# serve_production: static files, gunicorn and nginx on $port.
serve_production() {
    port=8642 app_port=$(free_port)
    /usr/bin/python3 "$gateway" static --opml "$work/feeds.opml" --state "$work/state.sqlite3" \
        --out "$work/www/feeds" --base "http://127.0.0.1:$port" --log "$work/static.log" ||
        { fail "static failed"; show_logs; exit 1; }
    start_server 300 "$work/gunicorn.out" env TIDEWELL_GATEWAY_STATE="$work/state.sqlite3" \
        TIDEWELL_GATEWAY_OPML="$work/feeds.opml" TIDEWELL_GATEWAY_LOG="$work/app.log" \
        gunicorn -c "$tools/gunicorn.conf.py" --bind "127.0.0.1:$app_port" --workers 2
    start_server 300 "$work/nginx.out" /usr/bin/python3 "$tools/loopback.py" nginx "$work/nginx" "$port" \
        "$work/www" "127.0.0.1:$app_port" 290
    wait_listening "$app_port" "gunicorn" && wait_listening "$port" "nginx" || { show_logs; exit 1; }
}

# check_report: a usage report as the agent sends it (its first goes out an
# hour after an ad stream arrived) reaches the state through nginx and gunicorn.
check_report() {
    /usr/bin/python3 - "$port" "$work/state.sqlite3" <<'PY' || fail "the usage report did not reach the state"
import socket, sqlite3, sys, time
body = b"http://127.0.0.1:8642/Feed/AdStream3/AdStream.twl=1:4+2:0"
with socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=10) as s:
    s.sendall(b"POST /Bin/Update.dll?TwlUpdate&AID=acct&SID=1&SL=60&VER=1.1.1043.1 HTTP/1.0\r\n"
              b"Content-length: %d\r\n\r\n%s" % (len(body), body))
    assert s.recv(12) == b"HTTP/1.1 200"
db = sqlite3.connect(sys.argv[2], timeout=10)
for _ in range(50):  # reports are written in batches
    time.sleep(0.1)
    try:
        if db.execute("SELECT body FROM reports").fetchall() == [(body.decode(),)]:
            sys.exit(0)
    except sqlite3.OperationalError:
        pass  # no report written yet
sys.exit(1)
PY
}

mkdir -p "$work/feeds" "$work/install/Data" "$work/www"
cp "$tools/samples/harbour.xml" "$tools/samples/coast.atom" "$work/feeds/"
feed_port=$(free_port)
start_server 300 "$work/feeds.log" python3 -m http.server --bind 127.0.0.1 --directory "$work/feeds" "$feed_port"
wait_listening "$feed_port" "the feed server" || exit 1
cat >"$work/feeds.opml" <<OPML
<?xml version="1.0"?>
<opml version="2.0"><head><title>Two feeds</title></head><body>
  <outline text="Local"><outline text="Harbour Gazette" xmlUrl="http://127.0.0.1:$feed_port/harbour.xml"/></outline>
  <outline text="Weather"><outline text="Coast Watch" xmlUrl="http://127.0.0.1:$feed_port/coast.atom"/></outline>
</body></opml>
OPML
case "$mode" in
    serve) serve_gateway ;;
    production) serve_production ;;
    *) echo "usage: gateway_agent_test.sh serve|production WINE_RUN PREFIX BIN_DIR GATEWAY_PY" >&2; exit 2 ;;
esac
/usr/bin/python3 "$gateway" subscriptions --opml "$work/feeds.opml" --base "http://127.0.0.1:$port" \
    --out "$work/subscriptions" >/dev/null || fail "subscriptions failed"

cp "$bin/Engine.exe" "$bin/twl.exe" "$bin/twldata.exe" "$work/install/"
printf '[Tidewell Settings]\r\nMsgPurge=10\r\n' >"$work/install/Tidewell.ini"
"$wine_run" --prefix "$prefix" "$work/install/twldata.exe" create "$(dos "$work/install/Data/Msg.dat")" >/dev/null ||
    fail "no database"
"$wine_run" --prefix "$prefix" "$work/install/Engine.exe" &
agent=$!
twl wait 60 >/dev/null || fail "the agent did not start"
# The subscription files hold no messages: the agent asks the gateway for them.
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
[ "$mode" = production ] && check_report
twl close >/dev/null || fail "the agent did not close"
wait "$agent"
agent=""
[ "$status" -eq 0 ] && echo "PASS: the agent follows two feeds through the gateway ($mode)" || show_logs
exit "$status"
