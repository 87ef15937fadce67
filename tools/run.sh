#!/usr/bin/env bash
# `make run`: quillon-server with the demo shop on 127.0.0.1:8480 and Quillon.exe under Wine.
# With a display the program is yours to use; without one (or with QUILLON_WALKTHROUGH=1) a
# scripted walk-through drives it on a private Xvfb screen, saves a screenshot of every screen
# under out/run/ and prints what the server received. The server and Wine are stopped on every
# exit path.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
port=8480
server=build/native/quillon-server
exe=build/windows/Quillon.exe
mkdir -p build/run out/run

. tools/wine-env.sh
quillon_ensure_prefix

tools/port-free.sh $port || { echo "run: stop it first (another make run?)" >&2; exit 1; }
# The site root offers what `make dist` built, as an operator's would: the upgrade notice lands there.
downloads=()
[ -d dist ] && downloads=(--downloads dist)
"$server" --host 127.0.0.1 --port $port --db build/run/quillon.db --seed demo --simulate "${downloads[@]}" \
    >build/run/server.log 2>&1 &
server_pid=$!
stop_all() {
    wineserver -k 2>/dev/null
    kill "$server_pid" 2>/dev/null
    wait "$server_pid" 2>/dev/null
}
trap stop_all EXIT INT TERM
for _ in $(seq 1 100); do
    curl -s -o /dev/null --max-time 1 "http://127.0.0.1:$port/sim/requests" && break
    kill -0 "$server_pid" 2>/dev/null || { cat build/run/server.log >&2; exit 1; }
    sleep 0.1
done

if [ -n "${DISPLAY:-}" ] && [ "${QUILLON_WALKTHROUGH:-0}" != 1 ]; then
    cat <<MSG
Quillon is starting against quillon-server on http://127.0.0.1:$port (log: build/run/server.log).
  Log in with id "demo" and password "demo".
  Click the launcher banner, type an amount, pick give, pay or cancel.
  Play the customer: open http://127.0.0.1:$port/app in a browser and confirm the operation.
Close Quillon (Esc or the close box on the banner) to stop everything.
MSG
    "$quillon_wine" "$exe"
    exit 0
fi

export QUILLON_PORT=$port QUILLON_EXE=$exe
if [ -n "${DISPLAY:-}" ]; then
    "$root/tools/walkthrough.sh"
else
    "$root/tools/xvfb-run.sh" "$root/tools/walkthrough.sh"
fi
