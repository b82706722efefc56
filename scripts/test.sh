#!/bin/sh
# Installs what building and testing Veltra needs (when missing), then builds it twice and
# runs every unit and end-to-end test in both builds:
#   build/           Release
#   build-sanitize/  Release with AddressSanitizer and UndefinedBehaviorSanitizer
# Stops at the first failing build or test run; exits non-zero on any failure. The last
# lines are those of ctest, ending with its summary.
set -eu
cd "$(dirname "$0")/.."
. scripts/packages.sh
# gringo ships clingo, the reference system of the differential tests; python3 runs
# the SQL frontend's comparison with SQLite (its sqlite3 module); clang and
# libclang-rt-dev bring libFuzzer for the fuzz targets.
ensure_packages cmake make g++ flex bison libgtest-dev gringo python3 clang libclang-rt-dev

jobs=$(nproc)
started=$(date +%s)
elapsed() { echo "$(($(date +%s) - started)) s"; }
# A sanitizer report ends the process with status 86, so it can never pass as an
# expected exit status (the end-to-end runner sets the same for the binary it runs).
ASAN_OPTIONS=exitcode=86
UBSAN_OPTIONS=halt_on_error=1:exitcode=86
export ASAN_OPTIONS UBSAN_OPTIONS

# Every test runs in both builds. The sanitizer build runs fewer random programs
# of each kind (a compile definition of that build), and the longest tests start
# first (their COST property), so that on 2 cores the whole command stays well
# under 30 minutes and no test comes near ctest's limit.
run_build() {  # directory, sanitize (ON/OFF)
  echo "== $1: configure and build (VELTRA_SANITIZE=$2, $jobs jobs; $(elapsed) so far)"
  cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=Release -DVELTRA_SANITIZE="$2" -DVELTRA_TESTS=ON
  cmake --build "$1" -j"$jobs"
  echo "== $1: tests ($(elapsed) so far)"
  ctest --test-dir "$1" -j"$jobs" --output-on-failure --no-label-summary --timeout 600
}

# A bounded fuzzing run of the main-language reader first, so that ctest's
# summary stays the last lines of the output.
echo "== fuzz: main-language reader"
sh fuzz/run.sh 30

run_build build OFF
run_build build-sanitize ON
