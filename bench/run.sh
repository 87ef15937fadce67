#!/usr/bin/env bash
# Runs a client benchmark: quillon-server on the benchmark's own port and the benchmark under
# Wine, which drives QuillonBench.exe and prints the figures.
#   bench/run.sh client|soak [BUILD_DIR] [-- BENCH_ARGS...]   (BUILD_DIR: build/windows; SERVER: the server)
# Examples: bench/run.sh client build/windows -- --transactions 100 --wait-seconds 60
#           bench/run.sh soak build/windows -- --transactions 500 --closes-in-connect 50 --late-operations 10
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
bench=quillon_${1:?client or soak}_bench.exe
shift
build=${1:-$root/build/windows}
[ $# -gt 0 ] && shift
[ "${1:-}" = "--" ] && shift
server=${SERVER:-$root/build/native/quillon-server}
port=$(sed -n 's/^QUILLON_BENCH_PORT:STRING=//p' "$build/CMakeCache.txt" 2>/dev/null)
port=${port:-18495}

for f in "$server" "$build/$bench" "$build/QuillonBench.exe"; do
    if [ ! -e "$f" ]; then
        echo "bench/run.sh: $f is missing (make native windows first)" >&2
        exit 1
    fi
done
"$root/tools/port-free.sh" "$port" || exit 1
exec "$root/tools/with-server.sh" "$server" "$port" -- "$root/tools/wine-run.sh" "$build/$bench" "$@"
