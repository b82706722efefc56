#!/bin/sh
# fuzz/run.sh [seconds]: builds the libFuzzer target of the main-language
# reader with clang (address and undefined-behaviour sanitizers) and runs it
# for a bounded time (default 60 s) from the committed corpus. New inputs go
# to a scratch directory; a crash leaves its input there and fails the run.
# Each step says what it does and how long it took; libFuzzer's own lines
# (coverage, corpus size, executions per second) follow as it runs.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${VELTRA_FUZZ_BUILD:-$root/build-fuzz}
jobs=$(nproc 2>/dev/null || echo 2)
if ! command -v clang++ >/dev/null 2>&1; then
    echo "fuzz/run.sh: clang++ not found; fuzzing skipped"
    exit 0
fi
started=$(date +%s)
step() { echo "fuzz/run.sh: $* ($(($(date +%s) - started)) s so far)"; }

# Runs a command quietly; on failure its output is shown.
quietly() {
    log=$(mktemp)
    if ! "$@" >"$log" 2>&1; then
        cat "$log"
        rm -f "$log"
        echo "fuzz/run.sh: failed: $*"
        exit 1
    fi
    rm -f "$log"
}

step "configuring $build (clang++, sanitizers, coverage for libFuzzer)"
quietly cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS=-g -DVELTRA_SANITIZE=ON -DVELTRA_FUZZ=ON -DVELTRA_TESTS=OFF
step "building veltra_fuzz_main_language with $jobs jobs"
quietly cmake --build "$build" --target veltra_fuzz_main_language -j"$jobs"
scratch=$(mktemp -d)
mkdir "$scratch/corpus"
inputs=$(find "$root/fuzz/corpus/main" -type f | wc -l)
step "fuzzing the main-language reader for $seconds s from $inputs corpus inputs; new inputs and crashes go to $scratch"
status=0
"$build/fuzz/veltra_fuzz_main_language" -max_total_time="$seconds" -max_len=4096 -timeout=20 \
    -rss_limit_mb=2048 -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$scratch/" \
    "$scratch/corpus" "$root/fuzz/corpus/main" || status=$?
if [ "$status" -ne 0 ]; then
    step "libFuzzer ended with status $status; the input that failed is kept in $scratch"
    exit "$status"
fi
step "done: no crash, no sanitizer report; $(find "$scratch/corpus" -type f | wc -l) new inputs found (not kept)"
rm -rf "$scratch"
