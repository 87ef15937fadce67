#!/usr/bin/env bash
# https end to end against quillon-server --tls-cert/--tls-key, one row per server certificate:
#   trusted     localhost, from a throwaway CA that this run trusts: the whole conversation
#               completes, every request over TLS
#   untrusted   localhost, from a CA nobody trusts
#   wrong-name  till.example, from the trusted CA
#   expired     localhost, from the trusted CA, valid in 2001 only
#   to-http     (native only) the trusted one, its login answered with a redirect to plain http
# A failing row fails as an exchange that got no answer, and the server receives no request.
#   run.sh native HTTPS-TEST SERVER PORT   the native backend: tests/tls/HttpsTest.cpp
#   run.sh wine QUILLON-EXE SERVER PORT    the real exe under Wine, driven as a cashier would
#
# The CA is trusted in a private mount namespace only: there this run's processes see, over the
# host's CA bundle (which libcurl and Wine's WinInet both read), a copy with the CA appended. The
# machine's bundle is never written, and the mount goes with the namespace however the run ends.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
mode=$1 client=$2 server=$3 port=$4
bundle=/etc/ssl/certs/ca-certificates.crt
if [ "$mode" = wine ] && [ -z "${DISPLAY:-}" ]; then
    exec "$root/tools/xvfb-run.sh" "$0" "$@"
fi

if [ -z "${QUILLON_TLS_DIR:-}" ]; then
    "$root/tools/port-free.sh" "$port" || exit 1
    tmp=$(mktemp -d "${TMPDIR:-/tmp}/quillon-tls.XXXXXX")
    inner=''
    # An interrupted run ends the run inside the namespace too (it stops its own server and Wine).
    trap '[ -n "$inner" ] && kill "$inner" 2>/dev/null && wait "$inner"; rm -rf "$tmp"' EXIT
    trap 'exit 130' INT TERM
    . "$root/tests/support/test-ca.sh"
    test_ca_init "$tmp"
    always=(20000101000000Z 20991231000000Z)
    for ca in ca other-ca; do
        test_ca_issue "$tmp" $ca "Quillon $ca" root "${always[@]}" -selfsign -keyfile "$tmp/$ca.key"
    done
    test_ca_issue "$tmp" trusted localhost server "${always[@]}" $(test_ca_by "$tmp" ca)
    test_ca_issue "$tmp" untrusted localhost server "${always[@]}" $(test_ca_by "$tmp" other-ca)
    test_ca_issue "$tmp" wrong-name till.example server "${always[@]}" $(test_ca_by "$tmp" ca)
    test_ca_issue "$tmp" expired localhost server 20010101000000Z 20020101000000Z $(test_ca_by "$tmp" ca)
    cat "$bundle" "$tmp/ca.pem" >"$tmp/bundle.crt"
    # As root (CI) a mount namespace; otherwise a user namespace that maps this user to root.
    for flags in -m -rm; do
        if unshare $flags true 2>/dev/null; then
            QUILLON_TLS_DIR=$tmp unshare $flags --propagation private "$0" "$@" &
            inner=$!
            wait $inner && exit 0 || exit $?
        fi
    done
    echo "tls: cannot make a private mount namespace (unshare -m or -rm) to trust the test CA" >&2
    exit 1
fi

tmp=$QUILLON_TLS_DIR
mount --bind "$tmp/bundle.crt" "$bundle"
. "$root/tests/support/check.sh"
# The requests the server answered, from its log: everything after the line that it listens.
requests() { grep -c ' GET \| POST ' "$tmp/server.log" || true; }
received() { grep -q " GET $1" "$tmp/server.log"; }

# start_server LOG ARGS...: a quillon-server on ARGS, its output in $tmp/LOG, once it listens.
start_server() {
    local log=$tmp/$1
    shift
    "$server" --simulate "$@" >"$log" 2>&1 &
    server_pids+=($!)
    for _ in $(seq 1 100); do
        grep -q 'listening on' "$log" && return 0
        sleep 0.1
    done
    cat "$log" >&2
    return 1
}
start_tls_server() { start_server server.log --port "$port" --tls-cert "$tmp/$1.pem" --tls-key "$tmp/$1.key"; }
stop_servers() {
    kill "${server_pids[@]}" 2>/dev/null || true
    wait "${server_pids[@]}" 2>/dev/null || true
    server_pids=()
}
server_pids=()
# However the run ends (a failed command under set -e included), its servers and Wine programs go.
stop_all() {
    if [ ${#server_pids[@]} -gt 0 ]; then stop_servers; fi
    if [ "$mode" = wine ]; then wineserver -k 2>/dev/null || true; fi
}
trap stop_all EXIT
trap 'exit 130' INT TERM

# The customer confirms the first operation that a till polls for (the native row).
confirmer() {
    for _ in $(seq 1 200); do
        local device
        device=$(grep -o 'pcposgetmilegeret.php?deviceid=[^ &]*' "$tmp/server.log" | head -1 | cut -d= -f2 || true)
        if [ -n "$device" ]; then
            curl -s -X POST "https://localhost:$port/sim/confirm?deviceid=$device" >/dev/null
            return
        fi
        sleep 0.1
    done
}

if [ "$mode" = wine ]; then
    . "$root/tools/wine-env.sh"
    quillon_ensure_prefix
fi

# The login of the Wine rows: types demo/demo into the login dialog and clicks the login image;
# true when the rejection's box came up: a message box, titled with the program's name.
wine_login_rejected() {
    "$quillon_wine" "$client" >/dev/null 2>&1 &
    local app=$! id='' box=''
    for _ in $(seq 1 100); do
        id=$(xdotool search --onlyvisible --class quillon 2>/dev/null | head -1)
        [ -n "$id" ] && break
        sleep 0.2
    done
    eval "$(xdotool getwindowgeometry --shell "$id")"
    local border=$(((WIDTH - 600) / 2))
    local x=$((X + border)) y=$((Y + HEIGHT - 600 - border))
    xdotool mousemove $((x + 370)) $((y + 304)) click 1 && xdotool type --delay 30 demo
    xdotool mousemove $((x + 370)) $((y + 354)) click 1 && xdotool type --delay 30 demo
    xdotool mousemove $((x + 300)) $((y + 400)) click 1
    for _ in $(seq 1 150); do
        for w in $(xdotool search --onlyvisible --class quillon 2>/dev/null); do
            eval "$(xdotool getwindowgeometry --shell "$w")"
            [ "$WIDTH" -lt 500 ] && [ "$(xdotool getwindowname "$w")" = "$(basename "$client" .exe)" ] && box=$w
        done
        [ -n "$box" ] && break
        sleep 0.2
    done
    [ -n "$box" ] && import -window root "$tmp/$row-rejected.png" 2>/dev/null
    wineserver -k 2>/dev/null || true
    wait $app 2>/dev/null || true
    [ -n "$box" ]
}

for row in trusted untrusted wrong-name expired; do
    start_tls_server $row
    if [ $row = trusted ]; then
        if [ "$mode" = native ]; then
            confirmer &
            confirming=$!
            check "$row: the login, a give and its confirmation over https" env QUILLON_TLS_ROW=$row "$client"
            kill $confirming 2>/dev/null || true
        else
            check "$row: the exe logs in, gives, pays, cancels and sends a text message over https" \
                env QUILLON_EXE="$client" QUILLON_PORT="$port" QUILLON_SITE="https://localhost:$port" \
                QUILLON_SHOTS="$tmp/shots" "$root/tools/walkthrough.sh"
        fi
        for path in poslogin.php pcposmilege.php pcposgetmilegeret.php deleteposdata.php; do
            check "$row: the server received a $path over TLS" received "/android/$path"
        done
    else
        if [ "$mode" = native ]; then
            check "$row: the login is an exchange that failed" env QUILLON_TLS_ROW=$row "$client"
        else
            check "$row: the exe shows the login's rejection" wine_login_rejected
        fi
        check "$row: the server received no request" test "$(requests)" -eq 0
    fi
    stop_servers
done

# The login's answer sends the till on to plain http (a site's front or a proxy that strips TLS):
# libcurl does not follow it, so the password never goes out in clear. A plain server on the next
# port stands where the redirect points. (WinInet follows redirects by its own rules.)
if [ "$mode" = native ]; then
    plain=$((port + 1))
    "$root/tools/port-free.sh" "$plain"
    start_server plain.log --port "$plain"
    start_tls_server trusted
    to="http%3A%2F%2Flocalhost%3A$plain%2Fandroid%2Fposlogin.php%3Fid%3Ddemo%26password%3Ddemo"
    curl -sf -X POST "https://localhost:$port/sim/fault?path=/android/poslogin.php&mode=redirect&to=$to" >/dev/null
    check "to-http: the login redirected from https to http is an exchange that failed" \
        env QUILLON_TLS_ROW=to-http "$client"
    check "to-http: the https server answered the login" received /android/poslogin.php
    nothing_in_clear() { ! grep -q ' GET ' "$tmp/plain.log"; }
    check "to-http: the plain server received no request" nothing_in_clear
    stop_servers
fi
[ $failures -eq 0 ]
