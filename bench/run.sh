#!/usr/bin/env bash
# Runs the client benchmark: quillon-server on the benchmark's own port and quillon_client_bench
# under Wine, which drives QuillonBench.exe and prints the figures.
#   bench/latency.sh [BUILD_DIR] [-- BENCH_ARGS...]   (BUILD_DIR: build/windows; SERVER: the server)
# Example: bench/latency.sh build/windows -- --transactions 100 --wait-seconds 60
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/windows}
[ $# -gt 0 ] && shift
[ "${1:-}" = "--" ] && shift
server=${SERVER:-$root/build/native/quillon-server}
port=$(sed -n 's/^QUILLON_BENCH_PORT:STRING=//p' "$build/CMakeCache.txt" 2>/dev/null)
port=${port:-18495}

for f in "$server" "$build/quillon_client_bench.exe" "$build/QuillonBench.exe"; do
    if [ ! -e "$f" ]; then
        echo "bench/latency.sh: $f is missing (make native windows first)" >&2
        exit 1
    fi
done
if ss -ltn 2>/dev/null | grep -q ":$port "; then
    echo "bench/latency.sh: port $port is in use; is another benchmark running?" >&2
    exit 1
fi
exec "$root/tools/with-server.sh" "$server" "$port" -- "$root/tools/wine-run.sh" "$build/quillon_client_bench.exe" "$@"
