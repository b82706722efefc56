#!/bin/sh
# fuzz/run.sh [seconds]: builds the libFuzzer target of the main-language
# reader with clang (address and undefined-behaviour sanitizers) and runs it
# for a bounded time (default 60 s) from the committed corpus. New inputs go
# to a scratch directory; a crash leaves its input there and fails the run.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${VELTRA_FUZZ_BUILD:-$root/build-fuzz}
if ! command -v clang++ >/dev/null 2>&1; then
    echo "fuzz/run.sh: clang++ not found; fuzzing skipped"
    exit 0
fi
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS=-g -DVELTRA_SANITIZE=ON -DVELTRA_FUZZ=ON -DVELTRA_TESTS=OFF >/dev/null
cmake --build "$build" --target veltra_fuzz_main_language -j8 >/dev/null
scratch=$(mktemp -d)
mkdir "$scratch/corpus"
echo "fuzz/run.sh: fuzzing for $seconds s; scratch directory $scratch"
"$build/fuzz/veltra_fuzz_main_language" -max_total_time="$seconds" -max_len=4096 -timeout=20 \
    -rss_limit_mb=2048 -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$scratch/" \
    "$scratch/corpus" "$root/fuzz/corpus/main"
rm -rf "$scratch"
