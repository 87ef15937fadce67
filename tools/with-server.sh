#!/usr/bin/env bash
# Runs a command against a fresh quillon-server of its own on a loopback port:
#   with-server.sh SERVER PORT -- COMMAND [ARGS...]
# The command sees the port in QUILLON_TEST_PORT. The server is stopped on every exit path, and
# its log is shown when the command fails.
set -u
server=$1 port=$2
shift 2
[ "${1:-}" = "--" ] && shift

# Never run against somebody else's server that happens to hold the port.
"$(dirname "$0")/port-free.sh" "$port" || exit 1

log=$(mktemp -t quillon-server.XXXXXX.log)
"$server" --host 127.0.0.1 --port "$port" --db :memory: --simulate >"$log" 2>&1 &
pid=$!
cleanup() {
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    rm -f "$log"
}
trap cleanup EXIT INT TERM

for _ in $(seq 1 100); do
    if curl -s -o /dev/null --max-time 1 "http://127.0.0.1:$port/sim/requests"; then
        break
    fi
    if ! kill -0 "$pid" 2>/dev/null; then
        echo "with-server: quillon-server did not start on port $port:" >&2
        cat "$log" >&2
        exit 1
    fi
    sleep 0.1
done

QUILLON_TEST_PORT=$port "$@"
rc=$?
if [ $rc -ne 0 ]; then
    echo "with-server: command failed ($rc); last lines of the server's log:" >&2
    tail -n 40 "$log" >&2
fi
exit $rc
