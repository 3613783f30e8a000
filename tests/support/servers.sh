# Helpers for the test scripts that start servers on loopback: sourced, not run.
# Every server is started with a time limit, and stop_servers ends them all.

server_pids=""

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# wait_listening PORT [NAME]: waits up to 10 s for $listen_host (127.0.0.1):PORT.
wait_listening() {
    tries=0
    until python3 -c "import socket, sys; s = socket.socket(); s.settimeout(1); sys.exit(s.connect_ex(('${listen_host:-127.0.0.1}', $1)))"; do
        tries=$((tries + 1))
        if [ "$tries" -ge 100 ]; then
            echo "${2:-a server} did not start on port $1" >&2
            return 1
        fi
        sleep 0.1
    done
}

# start_server LIMIT_SECONDS LOG COMMAND...: in the background, killed 5 s after a stop it ignores.
start_server() {
    limit=$1 log=$2
    shift 2
    timeout -k 5 "$limit" "$@" >"$log" 2>&1 &
    server_pids="$server_pids $!"
}

stop_servers() {
    for pid in $server_pids; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    server_pids=""
}
