#!/bin/sh
# Starts Python's http.server and tinyproxy on loopback ports, runs the test
# program under Wine with their ports and the web root in its environment,
# and stops both. The servers also stop by themselves after five minutes.
#   real_servers_test.sh WINE_RUN PREFIX TEST_PROGRAM
set -u
wine_run=$1 prefix=$2 program=$3
work=$(mktemp -d /tmp/tidewell-servers.XXXXXX)
pids=""
cleanup() {
    for pid in $pids; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

listening() {
    python3 -c "import socket, sys; s = socket.socket(); s.settimeout(1); sys.exit(s.connect_ex(('127.0.0.1', $1)))"
}

web_port=$(free_port)
proxy_port=$(free_port)
mkdir -p "$work/www"
timeout 300 python3 -m http.server --bind 127.0.0.1 --directory "$work/www" "$web_port" >"$work/web.log" 2>&1 &
pids="$pids $!"
cat >"$work/tinyproxy.conf" <<CONF
Port $proxy_port
Listen 127.0.0.1
Timeout 30
Allow 127.0.0.1
MaxClients 8
LogLevel Info
CONF
timeout 300 tinyproxy -d -c "$work/tinyproxy.conf" >"$work/proxy.log" 2>&1 &
pids="$pids $!"

for port in "$web_port" "$proxy_port"; do
    tries=0
    until listening "$port"; do
        tries=$((tries + 1))
        [ "$tries" -lt 100 ] || { echo "a server did not start on port $port"; cat "$work"/*.log; exit 1; }
        sleep 0.1
    done
done

TIDEWELL_TEST_WEB_PORT=$web_port TIDEWELL_TEST_PROXY_PORT=$proxy_port TIDEWELL_TEST_WEB_ROOT=$work/www \
    "$wine_run" --prefix "$prefix" "$program"
status=$?
[ "$status" -eq 0 ] || { echo "== web server log"; cat "$work/web.log"; echo "== proxy log"; cat "$work/proxy.log"; }
exit "$status"
