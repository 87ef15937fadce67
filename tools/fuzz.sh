#!/usr/bin/env bash
# tools/fuzz.sh SECONDS [reply|server]: builds the libFuzzer target tests/fuzz/fuzz_TARGET.cpp (the
# till's replies and URLs by default, or the server's request targets) with clang++ (ASan and UBSan
# on) into build/fuzz/ and runs it for SECONDS seconds. It fuzzes a working corpus in
# build/fuzz/TARGET-corpus that starts from the committed seeds and keeps what earlier runs found;
# the committed seeds are only read. Exit code non-zero when the fuzzer finds a crash or a violated
# property; the input is then in build/fuzz/TARGET-artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
name=${2:-reply}
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ] || [[ $name != reply && $name != server ]]; then
    echo "usage: tools/fuzz.sh SECONDS [reply|server]" >&2
    exit 2
fi

out=build/fuzz
target=$out/fuzz_$name
if [ "$name" = reply ]; then
    # The core sources the target reaches; net/Request.cpp and the transports are left out on purpose.
    sources=(tests/fuzz/fuzz_reply.cpp framework/Utf.cpp net/Text.cpp net/ReplyRecord.cpp net/UrlFormat.cpp
             net/Endpoints.cpp net/SharedState.cpp net/BuildSettings.cpp)
    headers=(net/Text.h net/ReplyRecord.h net/UrlFormat.h net/Endpoints.h net/SharedState.h)
    libs=()
    seeds=tests/fuzz/corpus
else
    # Everything behind the HTTP layer that reads a target; the HTTP layer itself is httplib's.
    sources=(tests/fuzz/fuzz_server.cpp server/Books.cpp server/Database.cpp server/Statement.cpp
             server/PasswordHash.cpp server/LoginThrottle.cpp server/Record.cpp server/Numbers.cpp
             server/QueryString.cpp server/RequestTarget.cpp server/FaultTable.cpp
             server/DownloadsPage.cpp server/AppPage.cpp server/Routes.cpp server/SimulationApi.cpp
             server/RequestLog.cpp server/ClientAddress.cpp server/ShopChange.cpp server/Ledger.cpp
             server/ShopRegistry.cpp)
    headers=(server/Books.h server/Database.h server/Statement.h server/PasswordHash.h server/LoginThrottle.h
             server/Record.h server/Numbers.h server/QueryString.h server/RequestTarget.h server/FaultTable.h
             server/DownloadsPage.h server/AppPage.h server/Routes.h server/SimulationApi.h server/RequestLog.h server/ClientAddress.h
             server/ShopChange.h server/Ledger.h server/ShopRegistry.h)
    libs=(-lsqlite3 -lcrypto)
    seeds=tests/fuzz/server-corpus
fi
corpus=$out/$name-corpus
artifacts=$out/$name-artifacts

mkdir -p "$corpus" "$artifacts"

stale=0
[ -x "$target" ] || stale=1
for f in "${sources[@]}" "${headers[@]}" tools/fuzz.sh; do
    [ "$f" -nt "$target" ] && stale=1
done
if [ $stale -eq 1 ]; then
    echo "fuzz: building $target"
    clang++ -std=c++20 -O1 -g -I. -Wall -Wextra -Wshadow -Werror \
        -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer \
        '-DQUILLON_SITE_URL="http://127.0.0.1:8480"' '-DQUILLON_CLIENT_VERSION="2"' \
        "${sources[@]}" "${libs[@]}" -o "$target.tmp"
    mv "$target.tmp" "$target"
fi

# Seeds the working corpus has not seen yet; it keeps the inputs earlier runs added.
for seed in "$seeds"/*; do
    [ -e "$corpus/${seed##*/}" ] || cp "$seed" "$corpus/"
done

# Each run adds inputs; past a few thousand, keep only those that add coverage.
if [ "$(find "$corpus" -type f | wc -l)" -gt 4000 ]; then
    rm -rf "$corpus.min" && mkdir "$corpus.min"
    "$target" -merge=1 -max_len=8192 "$corpus.min" "$corpus" >"$out/merge.log" 2>&1
    rm -rf "$corpus" && mv "$corpus.min" "$corpus"
    echo "fuzz: working corpus minimized to $(find "$corpus" -type f | wc -l) inputs"
fi

echo "fuzz: running $target for $seconds s on $corpus"
status=0
ASAN_OPTIONS="abort_on_error=1:detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    "$target" "$corpus" -max_total_time="$seconds" -max_len=8192 -timeout=25 -rss_limit_mb=2048 \
    -dict="tests/fuzz/fuzz_$name.dict" -artifact_prefix="$artifacts/" -print_final_stats=1 \
    >"$out/$name-last-run.log" 2>&1 || status=$?
grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::|^(Done|INFO: Running|==[0-9]+==ERROR)|property violated|SUMMARY' \
    "$out/$name-last-run.log" || true
if [ $status -ne 0 ]; then
    echo "fuzz: FAILED (exit $status); full log in $out/$name-last-run.log, input in $artifacts/" >&2
    tail -n 40 "$out/$name-last-run.log" >&2
    exit 1
fi
echo "fuzz: no failure in $seconds s"
