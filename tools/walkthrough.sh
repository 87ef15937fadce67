#!/usr/bin/env bash
# The scripted walk-through of `make run` without a display: drives the real Quillon.exe with
# real mouse and keyboard input (xdotool) against the running quillon-server, saves a screenshot
# of every screen under out/run/ and prints what the server received.
#   QUILLON_EXE   the executable (default build/windows/Quillon.exe)
#   QUILLON_PORT  the server's port (default 8480)
#   QUILLON_SITE  the server as the program reaches it (default http://127.0.0.1:PORT)
#   QUILLON_SHOTS where the screenshots go (default out/run); the README's pictures, each window
#                 alone at half size (the launcher at full size), go to its folder docs/
# Exit code 0 when every step saw the screen it expected.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
exe=${QUILLON_EXE:-build/windows/Quillon.exe}
port=${QUILLON_PORT:-8480}
base=${QUILLON_SITE:-http://127.0.0.1:$port}
shots=${QUILLON_SHOTS:-out/run}
mkdir -p "$shots/docs"
rm -f "$shots"/*.png "$shots"/docs/*.png
. tools/wine-env.sh

fail() {
    echo "walkthrough: FAILED: $*" >&2
    import -window root "$shots/failure.png" 2>/dev/null
    wineserver -k 2>/dev/null
    exit 1
}

# Waits for a top-level window of Quillon whose title matches $1 (a regex; "" for none) and whose
# client area is $2 x $3 (0 for any); prints "id x y" with the client area's screen origin.
wait_window() {
    local title=$1 cw=$2 ch=$3 tries
    for tries in $(seq 1 100); do
        local id
        for id in $(xdotool search --onlyvisible --class 'quillon' 2>/dev/null); do
            local name geometry w h x y
            name=$(xdotool getwindowname "$id" 2>/dev/null)
            if [ -z "$title" ]; then [ -n "$name" ] && continue; else [[ $name =~ $title ]] || continue; fi
            eval "$(xdotool getwindowgeometry --shell "$id")"
            w=$WIDTH h=$HEIGHT x=$X y=$Y
            [ "$w" -lt 50 ] && continue
            # Wine draws frames itself here: equal side borders, the caption on top.
            local border=0 top=0
            if [ "$cw" -gt 0 ]; then
                border=$(((w - cw) / 2))
                top=$((h - ch - border))
                [ $((w - cw)) -ge 0 ] && [ "$top" -ge 0 ] || continue
                [ $((border * 2)) -eq $((w - cw)) ] || continue
            fi
            echo "$id $((x + border)) $((y + top))"
            return 0
        done
        sleep 0.2
    done
    return 1
}

click() { # click ORIGIN_X ORIGIN_Y X Y
    xdotool mousemove $(($1 + $3)) $(($2 + $4)) click 1
    sleep 0.4
}

shot() { # shot NAME [WINDOW SCALE DOCS_NAME]: the screen, and the window alone for the README
    sleep 0.6
    import -window root "$shots/$1.png"
    echo "walkthrough: screenshot $shots/$1.png"
    [ $# -eq 4 ] || return 0
    # Cut from the screen, so that a message box over the window shows as the cashier sees it.
    eval "$(xdotool getwindowgeometry --shell "$2")"
    convert "$shots/$1.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -resize "$3" "$shots/docs/$4.png"
}

post() { curl -s -X POST "$base$1"; echo; }

confirm_customer() {
    local device
    device=$(curl -s "$base/sim/requests" | grep -o 'deviceid=[^&]*' | tail -n 1 | cut -d= -f2)
    [ -n "$device" ] || fail "no device id in the server's log"
    local answer
    answer=$(curl -s -X POST "$base/sim/confirm?deviceid=$device")
    echo "walkthrough: the customer confirms on the phone: $answer"
    [[ $answer == 1* ]] || fail "the server refused the customer's confirmation"
}

post /sim/reset >/dev/null
wineserver -p 2>/dev/null
"$quillon_wine" "$exe" &
app=$!

# Login
read -r login lx ly < <(wait_window "" 600 600) || fail "the login dialog did not appear"
click "$lx" "$ly" 370 304 && xdotool type --delay 40 demo
click "$lx" "$ly" 370 354 && xdotool type --delay 40 demo
shot 01-login "$login" 50% login
click "$lx" "$ly" 300 400

# Launcher
read -r launcher bx by < <(wait_window '^ByeolbadaPos$' 0 0) || fail "the launcher did not appear"
shot 02-launcher "$launcher" 100% launcher

run_operation() { # run_operation NAME Y_OF_IMAGE_BUTTON
    local name=$1 y=$2
    click "$px" "$py" 300 "$y"
    read -r tx tox toy < <(wait_window_second) || fail "the $name transaction dialog did not appear"
    shot "$3-$name-waiting" "$tx" 50% "$name-waiting"
    confirm_customer
    sleep 1.5
    shot "$4-$name-result" "$tx" 50% "$name-result"
    xdotool key Escape # the transaction dialog has the focus
    sleep 0.8
}

# Transaction dialogs share the amount entry's title: the newest such window is the transaction.
wait_window_second() {
    local tries
    for tries in $(seq 1 100); do
        local id
        for id in $(xdotool search --onlyvisible --name '^별바다 포스$' 2>/dev/null); do
            [ "$id" = "$pos" ] && continue
            eval "$(xdotool getwindowgeometry --shell "$id")"
            local border=$(((WIDTH - 600) / 2))
            echo "$id $((X + border)) $((Y + HEIGHT - 600 - border))"
            return 0
        done
        sleep 0.2
    done
    return 1
}

type_amount() {
    click "$px" "$py" 330 150
    xdotool key End && xdotool key --repeat 12 BackSpace && xdotool type --delay 40 "$1"
}

click "$bx" "$by" 100 40
read -r pos px py < <(wait_window '^별바다 포스$' 600 600) || fail "the amount entry did not appear"
shot 03-amount-entry "$pos" 50% amount-entry
type_amount 15000
shot 04-amount-typed

run_operation give 330 05 06
# The customer pays part of the mileage just given, then the payment is cancelled.
type_amount 500
run_operation pay 420 07 08
run_operation cancel 500 09 10
type_amount 15000

# A give answered by a text message instead of the app
click "$px" "$py" 300 330
read -r tx tox toy < <(wait_window_second) || fail "the give dialog did not appear"
click "$tox" "$toy" 150 240 && xdotool type --delay 40 01012345678
shot 11-text-message-typed
click "$tox" "$toy" 377 224
sleep 1
shot 12-text-message-sent "$tx" 50% text-message-sent
xdotool key Return
sleep 1

xdotool key Escape # the amount entry
sleep 0.8
xdotool key Escape # the launcher
for _ in $(seq 1 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.2; done
kill -0 "$app" 2>/dev/null && fail "Quillon did not end after Esc on the launcher"

echo
echo "walkthrough: what the server received:"
curl -s "$base/sim/requests"
echo "walkthrough: the text-message outbox:"
curl -s "$base/sim/sms"
echo "walkthrough: done, screenshots in $shots/"
# Wine ends before its X screen does.
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
exit 0
