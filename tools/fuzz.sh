#!/usr/bin/env bash
# tools/fuzz.sh SECONDS: builds the libFuzzer target tests/fuzz/fuzz_reply.cpp with clang++ (ASan and
# UBSan on) into build/fuzz/ and runs it for SECONDS seconds. It fuzzes a working corpus in
# build/fuzz/corpus that starts from the committed seeds and keeps what earlier runs found; the
# committed tests/fuzz/corpus is only read. Exit code non-zero when the fuzzer finds a crash or a
# violated property; the input is then in build/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
    echo "usage: tools/fuzz.sh SECONDS" >&2
    exit 2
fi

out=build/fuzz
target=$out/fuzz_reply
# The core sources the target reaches; net/Request.cpp and the transports are left out on purpose.
sources=(tests/fuzz/fuzz_reply.cpp framework/Utf.cpp net/Text.cpp net/ReplyRecord.cpp net/UrlFormat.cpp net/Endpoints.cpp
         net/SharedState.cpp net/SiteUrl.cpp)
headers=(net/Text.h net/ReplyRecord.h net/UrlFormat.h net/Endpoints.h net/SharedState.h)

mkdir -p "$out/corpus" "$out/artifacts"

stale=0
[ -x "$target" ] || stale=1
for f in "${sources[@]}" "${headers[@]}" tools/fuzz.sh; do
    [ "$f" -nt "$target" ] && stale=1
done
if [ $stale -eq 1 ]; then
    echo "fuzz: building $target"
    clang++ -std=c++20 -O1 -g -I. -Wall -Wextra -Wshadow -Werror \
        -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer \
        '-DQUILLON_SITE_URL="http://127.0.0.1:8480"' \
        "${sources[@]}" -o "$target.tmp"
    mv "$target.tmp" "$target"
fi

# Seeds the working corpus has not seen yet; it keeps the inputs earlier runs added.
for seed in tests/fuzz/corpus/*; do
    [ -e "$out/corpus/${seed##*/}" ] || cp "$seed" "$out/corpus/"
done

# Each run adds inputs; past a few thousand, keep only those that add coverage.
if [ "$(find "$out/corpus" -type f | wc -l)" -gt 4000 ]; then
    rm -rf "$out/corpus.min" && mkdir "$out/corpus.min"
    "$target" -merge=1 -max_len=8192 "$out/corpus.min" "$out/corpus" >"$out/merge.log" 2>&1
    rm -rf "$out/corpus" && mv "$out/corpus.min" "$out/corpus"
    echo "fuzz: working corpus minimized to $(find "$out/corpus" -type f | wc -l) inputs"
fi

echo "fuzz: running $target for $seconds s on $out/corpus"
status=0
ASAN_OPTIONS="abort_on_error=1:detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    "$target" "$out/corpus" -max_total_time="$seconds" -max_len=8192 -timeout=25 -rss_limit_mb=2048 \
    -dict=tests/fuzz/fuzz_reply.dict -artifact_prefix="$out/artifacts/" -print_final_stats=1 \
    >"$out/last-run.log" 2>&1 || status=$?
grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::|^(Done|INFO: Running|==[0-9]+==ERROR)|property violated|SUMMARY' \
    "$out/last-run.log" || true
if [ $status -ne 0 ]; then
    echo "fuzz: FAILED (exit $status); full log in $out/last-run.log, input in $out/artifacts/" >&2
    tail -n 40 "$out/last-run.log" >&2
    exit 1
fi
echo "fuzz: no failure in $seconds s"
