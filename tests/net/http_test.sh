#!/bin/sh
# Runs the network test under Wine beside Python's http.server and tinyproxy
# on loopback (which stop by themselves after five minutes).
#   http_test.sh WINE_RUN PREFIX TEST_PROGRAM
set -u
wine_run=$1 prefix=$2 program=$3
. "$(dirname "$0")/../support/servers.sh"
work=$(mktemp -d /tmp/tidewell-servers.XXXXXX)
trap 'stop_servers; rm -rf "$work"' EXIT INT TERM

web_port=$(free_port)
proxy_port=$(free_port)
mkdir -p "$work/www"
start_server 300 "$work/web.log" python3 -m http.server --bind 127.0.0.1 --directory "$work/www" "$web_port"
printf 'Port %s\nListen 127.0.0.1\nTimeout 30\nAllow 127.0.0.1\nMaxClients 8\n' "$proxy_port" >"$work/tinyproxy.conf"
start_server 300 "$work/proxy.log" tinyproxy -d -c "$work/tinyproxy.conf"
wait_listening "$web_port" "the web server" && wait_listening "$proxy_port" "tinyproxy" || exit 1

TIDEWELL_TEST_WEB_PORT=$web_port TIDEWELL_TEST_PROXY_PORT=$proxy_port TIDEWELL_TEST_WEB_ROOT=$work/www \
    "$wine_run" --prefix "$prefix" "$program"
status=$?
[ "$status" -eq 0 ] || { echo "== web server log"; cat "$work/web.log"; echo "== proxy log"; cat "$work/proxy.log"; }
exit "$status"
