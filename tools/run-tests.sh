#!/usr/bin/env bash
# `make test`: installs what is missing, builds every preset, runs every suite, and ends with one
# line per step: PASS or FAIL with its seconds, or SKIP with why. Exit code 0 when no step that
# could run failed.
#
# What waits overlaps: after the native build, three lanes run side by side, each in order:
#   native   its tests, the sanitizer builds and their tests, the two bounded fuzz runs
#   windows  the 64-bit build, its GUI suite, the two dist checks
#   x86      the 32-bit build, its Wine suites, the 64-bit build's other suites, then the check
#            that plays a kernel without 32-bit programs
# The two Wine lanes never share a prefix, an X screen or a port (the x86 preset has ports of its
# own), so one lane's `wineserver -k` or failure does not reach the other. CPU-bound steps (builds,
# fuzzing) run niced, so that the suites waiting on their time limits beside them keep their pace.
# Each step runs in a session of its own and writes its output to build/test-logs/; what a step
# leaves running (a server, Xvfb, a wineserver) is killed when it ends, and everything of the run
# when make test is interrupted.
set -u
cd "$(dirname "$0")/.."
root=$PWD
start=$(date +%s)
logs=$root/build/test-logs
rm -rf "$logs"
mkdir -p "$logs"
# Each Wine step runs on a private Xvfb screen, even where there is a display: two lanes' windows
# on one screen would take each other's clicks and cover each other's pixels.
unset DISPLAY
# Every process of the run carries this tag in its environment: the sweep below finds what
# escaped its session (a wineserver daemonizes) by it.
export QUILLON_TEST_RUN=$$-$start

# sweep TAG: kills every process whose environment carries TAG (the run's, or a step's).
sweep() {
    local pid
    for pid in $(grep -lszFx -- "$1" /proc/[0-9]*/environ | cut -d/ -f3); do
        [ "$pid" != $$ ] && [ "$pid" != "$BASHPID" ] && kill -KILL "$pid" 2>/dev/null
    done
}
stop_run() {
    trap - EXIT INT TERM
    kill -KILL $(jobs -p) 2>/dev/null
    sweep "QUILLON_TEST_RUN=$QUILLON_TEST_RUN"
}
trap stop_run EXIT
trap 'echo "make test: interrupted"; exit 130' INT TERM

# named NAME: build/test-logs/ and NAME in a file name's letters; .log and .result go after it.
named() { echo "$logs/$(tr -c 'A-Za-z0-9\n' - <<<"$1")"; }
# step NAME COMMAND...: runs COMMAND in a session of its own, output to build/test-logs/NAME.log;
# records the result and the seconds in NAME.result; a failed step's log is shown when it ends.
step() {
    local name=$1 file
    shift
    file=$(named "$name")
    echo "$file.result" >>"$logs/order"
    echo "=== $name: started"
    local t0 rc=0
    t0=$(date +%s)
    QUILLON_TEST_STEP="$file" setsid "$@" >"$file.log" 2>&1 </dev/null &
    wait $! || rc=$?
    sweep "QUILLON_TEST_STEP=$file"
    local seconds=$(($(date +%s) - t0)) result=PASS
    [ $rc -ne 0 ] && result=FAIL
    [ $rc -eq 77 ] && result=SKIP
    if [ $result = SKIP ]; then
        echo "SKIP  $name: $(tail -n 1 "$file.log")" >"$file.result"
    else
        printf '%s  %s (%d s)\n' $result "$name" $seconds >"$file.result"
    fi
    echo "=== $name: $result in $seconds s (log: ${file#"$root"/}.log)"
    if [ $result = FAIL ]; then
        echo "--- output of $name:"
        cat "$file.log"
        echo "--- end of $name"
    fi
    [ $result != FAIL ]
}
# skip NAME WHY: a line of its own in the summary; never PASS.
skip() {
    echo "$(named "$1").result" >>"$logs/order"
    echo "SKIP  $1: $2" >"$(named "$1").result"
    echo "=== $1: SKIP ($2)"
}
# await NAME: true once step NAME has passed (or skipped); false when it failed.
await() {
    local file
    file=$(named "$1").result
    while [ ! -f "$file" ]; do sleep 1; done
    ! grep -q '^FAIL' "$file"
}

t0=$(date +%s)
if ! make --no-print-directory deps >"$logs/deps.log" 2>&1; then
    cat "$logs/deps.log"
    echo "FAIL  installing packages"
    exit 1
fi
deps_seconds=$(($(date +%s) - t0))
# Found out once, for every step and script of the run (wine-env.sh's other settings are the Wine
# scripts' own, not the builds').
QUILLON_RUNS_32BIT=$(. tools/wine-env.sh && { quillon_runs_32bit; echo "$QUILLON_RUNS_32BIT"; })
export QUILLON_RUNS_32BIT
x86_skipped=$(. tools/wine-env.sh && echo "$quillon_no_32bit_reason")
runs_32bit() { [ "$QUILLON_RUNS_32BIT" = yes ]; }
# locked STEP-ARGS...: a step that needs port 8480 (the product's own, baked into its build) waits
# for the other one that does.
locked() { (flock 9 && step "$@") 9>"$root/build/.port-8480.lock"; }

# The lanes' builds name `-o native`: the native build is done once before them, and concurrent
# builds of one folder would fight over it.
step "build native" nice -n 10 make --no-print-directory -o deps native || {
    echo "make test: FAILED (the native build, which every suite needs)"
    exit 1
}

native_lane() {
    step "test native" ctest --test-dir build/native --output-on-failure
    step "build native-asan" nice -n 10 make --no-print-directory -o native native-asan &&
        step "test native-asan (ASan+UBSan)" ctest --test-dir build/native-asan --output-on-failure
    step "build native-tsan" nice -n 10 make --no-print-directory -o native native-tsan &&
        step "test native-tsan (TSan)" env TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
            ctest --test-dir build/native-tsan --output-on-failure
    step "fuzz replies and URLs (bounded)" nice -n 10 tools/fuzz.sh 60 reply
    step "fuzz server request targets (bounded)" nice -n 10 tools/fuzz.sh 60 server
}

windows_lane() {
    export QUILLON_XVFB_SERVERNUM=100
    step "build windows" nice -n 10 make --no-print-directory -o native windows &&
        step "test windows: gui (Wine)" ctest --test-dir build/windows --output-on-failure -R '^gui$'
    step "dist reproducible (two builds)" nice -n 10 tests/dist/reproducible.sh
    # Its walk-through of the 32-bit program says "skip" in the log where it cannot run.
    locked "dist install (MSI and zip under Wine)" tests/dist/install.sh
    runs_32bit || skip "dist install: the installed 32-bit program's walk-through" "$x86_skipped"
}

# The 32-bit exe: every suite but the program's real 10 s and 30 s limits, whose timing the 64-bit
# run holds already (what differs in 32 bits is pointer-sized data, the stack and the exceptions).
# Where 32-bit programs do not run, the checks read from the file still do.
x86_lane() {
    export QUILLON_XVFB_SERVERNUM=200 WINEPREFIX=$root/build/wineprefix-x86
    if step "build windows-x86" nice -n 10 make --no-print-directory -o native windows-x86; then
        if runs_32bit; then
            step "test windows-x86 (Wine, 32-bit)" ctest --test-dir build/windows-x86 --output-on-failure -E net-real-limits
        else
            step "test windows-x86: resources and imports (read from the file)" \
                ctest --test-dir build/windows-x86 --output-on-failure -R '^(resources|imports)$'
            skip "test windows-x86 (Wine, 32-bit)" "$x86_skipped"
        fi
    fi
    await "build windows" || return
    # The 64-bit build's other suites, here so that the windows lane is not the longest by far.
    step "test windows: the others (Wine)" ctest --test-dir build/windows --output-on-failure -E '^gui$'
    export QUILLON_XVFB_SERVERNUM=300 WINEPREFIX=$root/build/wineprefix-no32
    locked "a kernel without 32-bit programs (played)" tests/platform/no32.sh
}

native_lane &
windows_lane &
x86_lane &
wait

echo
echo "=== summary ($(($(date +%s) - start)) s; 32-bit programs run here: $QUILLON_RUNS_32BIT)"
printf 'PASS  installing packages (%d s)\n' $deps_seconds
failed=0
for r in $(cat "$logs/order"); do
    [ -f "$r" ] || echo "FAIL  $(basename "$r" .result): did not finish" >"$r"
    cat "$r"
    grep -q '^FAIL' "$r" && failed=1
done
if [ $failed -eq 0 ]; then echo "make test: ALL PASSED"; else echo "make test: FAILED"; fi
exit $failed
