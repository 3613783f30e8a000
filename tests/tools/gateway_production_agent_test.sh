#!/bin/sh
# The production shape with a real agent: two feeds on a loopback web server,
# `gateway.py static` writing their files, nginx (the shipped server block)
# serving them where the agent was built to find the service (127.0.0.1:8642)
# and passing the usage report to the gateway's WSGI application under
# gunicorn (the shipped settings); Engine.exe under Wine subscribed to both
# feeds, the console program reading their headlines, and a usage report
# in the agent's form kept in the gateway's state.
#   gateway_production_agent_test.sh WINE_RUN PREFIX BIN_DIR GATEWAY_PY
set -u
wine_run=$1 prefix=$2 bin=$3 gateway=$4
tools=$(dirname "$gateway")
. "$(dirname "$0")/../support/servers.sh"
# The service's port is fixed: runs of other build trees on this machine wait their turn.
exec 8>/tmp/tidewell-news-service.lock
flock -w 1800 8 || { echo "the news service's ports stayed taken" >&2; exit 1; }
work=$(mktemp -d /tmp/tidewell-gateway-production.XXXXXX)
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
show_logs() { for log in "$work"/*.log "$work"/*.out "$work/nginx/error.log"; do echo "== $log"; cat "$log"; done; }

mkdir -p "$work/feeds" "$work/install/Data" "$work/www"
cp "$tools/samples/harbour.xml" "$tools/samples/coast.atom" "$work/feeds/"
feed_port=$(free_port) app_port=$(free_port) port=8642
start_server 300 "$work/feeds.out" python3 -m http.server --bind 127.0.0.1 --directory "$work/feeds" "$feed_port"
wait_listening "$feed_port" "the feed server" || exit 1
cat >"$work/feeds.opml" <<OPML
<?xml version="1.0"?>
<opml version="2.0"><head><title>Two feeds</title></head><body>
  <outline text="Local"><outline text="Harbour Gazette" xmlUrl="http://127.0.0.1:$feed_port/harbour.xml"/></outline>
  <outline text="Weather"><outline text="Coast Watch" xmlUrl="http://127.0.0.1:$feed_port/coast.atom"/></outline>
</body></opml>
OPML
base="http://127.0.0.1:$port"
/usr/bin/python3 "$gateway" static --opml "$work/feeds.opml" --state "$work/state.sqlite3" --out "$work/www/feeds" \
    --base "$base" --log "$work/static.log" || { fail "static failed"; show_logs; exit 1; }
/usr/bin/python3 "$gateway" subscriptions --opml "$work/feeds.opml" --base "$base" --out "$work/subscriptions" \
    >/dev/null || fail "subscriptions failed"

start_server 300 "$work/gunicorn.out" env TIDEWELL_GATEWAY_STATE="$work/state.sqlite3" \
    TIDEWELL_GATEWAY_OPML="$work/feeds.opml" TIDEWELL_GATEWAY_LOG="$work/app.log" \
    gunicorn -c "$tools/gunicorn.conf.py" --bind "127.0.0.1:$app_port" --workers 2
start_server 300 "$work/nginx.out" /usr/bin/python3 "$tools/loopback.py" nginx "$work/nginx" "$port" "$work/www" \
    "127.0.0.1:$app_port" 290
wait_listening "$app_port" "gunicorn" && wait_listening "$port" "nginx" || { show_logs; exit 1; }

cp "$bin/Engine.exe" "$bin/twl.exe" "$bin/twldata.exe" "$work/install/"
printf '[Tidewell Settings]\r\nMsgPurge=10\r\n' >"$work/install/Tidewell.ini"
"$wine_run" --prefix "$prefix" "$work/install/twldata.exe" create "$(dos "$work/install/Data/Msg.dat")" >/dev/null ||
    fail "no database"
"$wine_run" --prefix "$prefix" "$work/install/Engine.exe" &
agent=$!
twl wait 60 >/dev/null || fail "the agent did not start"
# The subscription files hold no messages: the agent fetches them from nginx.
twl subscribe "$(dos "$work/subscriptions/harbour-gazette.twl")" >/dev/null || fail "harbour not handed over"
twl subscribe "$(dos "$work/subscriptions/coast-watch.twl")" >/dev/null || fail "coast not handed over"

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

# A usage report as the agent sends it (its first comes an hour after an ad
# stream arrived): through nginx to gunicorn, into the gateway's state.
/usr/bin/python3 - "$port" "$work/state.sqlite3" <<'PY' || fail "the usage report did not reach the gateway's state"
import socket, sqlite3, sys, time
body = b"http://127.0.0.1:8642/Feed/AdStream3/AdStream.twl=1:4+2:0"
with socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=10) as s:
    s.sendall(b"POST /Bin/Update.dll?TwlUpdate&AID=acct&SID=1&SL=60&VER=1.1.1043.1 HTTP/1.0\r\n"
              b"Content-length: %d\r\n\r\n%s" % (len(body), body))
    assert s.recv(12) == b"HTTP/1.1 200"
db = sqlite3.connect(sys.argv[2], timeout=10)
for _ in range(50):
    time.sleep(0.1)
    try:
        if db.execute("SELECT body FROM reports").fetchall() == [(body.decode(),)]:
            sys.exit(0)
    except sqlite3.OperationalError:
        pass  # no report written yet
sys.exit(1)
PY
twl close >/dev/null || fail "the agent did not close"
wait "$agent"
agent=""
[ "$status" -eq 0 ] && echo "PASS: the agent follows two feeds through nginx; reports reach gunicorn" || show_logs
exit "$status"
