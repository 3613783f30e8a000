#!/bin/sh
# Runs a test program under Wine beside the local news service (newsd) on
# 127.0.0.1:8642 (quotes on 8643), where the agent finds it, or on
# TIDEWELL_SERVICE_HOST, which takes no turn with other trees. The program
# finds it through TIDEWELL_TEST_SERVICE_{HOST,CONTENT,LOG}. The service
# stops with the program, or after TIDEWELL_SERVICE_SECONDS (600).
#   with_news_service.sh WINE_RUN PREFIX NEWSD TEST_PROGRAM
set -u
wine_run=$1 prefix=$2 newsd=$3 program=$4
. "$(dirname "$0")/../support/servers.sh"
host=${TIDEWELL_SERVICE_HOST:-127.0.0.1}
if [ "$host" = 127.0.0.1 ]; then
    # The service's ports are fixed: runs of other build trees on this machine wait their turn.
    exec 8>/tmp/tidewell-news-service.lock
    flock -w 1800 8 || { echo "the news service's ports stayed taken" >&2; exit 1; }
fi
work=$(mktemp -d /tmp/tidewell-newsd.XXXXXX)
trap 'stop_servers; rm -rf "$work"' EXIT INT TERM

cp -r "$(dirname "$newsd")/content" "$work/content"
lifetime=${TIDEWELL_SERVICE_SECONDS:-600}
start_server "$lifetime" "$work/newsd.out" python3 "$newsd" --host "$host" --news-port 8642 --content "$work/content" \
    --log "$work/requests.log" --lifetime $((lifetime - 10))
listen_host=$host wait_listening 8642 "newsd" || { cat "$work/newsd.out"; exit 1; }

dos_work="Z:$(printf '%s' "$work" | tr / '\\')"
TIDEWELL_TEST_SERVICE_HOST=$host \
    TIDEWELL_TEST_SERVICE_CONTENT="$dos_work\\content" TIDEWELL_TEST_SERVICE_LOG="$dos_work\\requests.log" \
    "$wine_run" --prefix "$prefix" "$program"
status=$?
echo "with_news_service: the program ended with status $status; stopping the service" >&2
[ "$status" -eq 0 ] || { echo "== newsd requests"; cat "$work/requests.log"; cat "$work/newsd.out"; }
exit "$status"
