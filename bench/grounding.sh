#!/bin/sh
# bench/grounding.sh: grounding speed on deductive-database workloads, Veltra
# against gringo. Generates each input in a scratch directory, grounds it with
# "veltra -silent -instantiate" and, when installed, with gringo (both print the
# ground program to /dev/null), and prints wall time, peak memory and the
# ratio Veltra / gringo.
#
# usage: bench/grounding.sh [VELTRA] [SCALE]
#   VELTRA  the binary (default: build/veltra; use a Release build)
#   SCALE   size factor of the inputs, 1 by default (2 doubles them)
# Environment: GRINGO (default: gringo, else "clingo --mode=gringo"),
# KEEP=1 keeps the scratch directory.
set -u

VELTRA=${1:-build/veltra}
SCALE=${2:-1}
if [ ! -x "$VELTRA" ]; then
    echo "no executable $VELTRA (build with: cmake -S . -B /tmp/relb -DCMAKE_BUILD_TYPE=Release &&" \
         "cmake --build /tmp/relb -j8 --target veltra)" >&2
    exit 1
fi

if [ -n "${GRINGO:-}" ]; then
    :
elif command -v gringo >/dev/null 2>&1; then
    GRINGO=gringo
elif command -v clingo >/dev/null 2>&1; then
    GRINGO="clingo --mode=gringo"
else
    GRINGO=
    echo "gringo not installed: Veltra figures only" >&2
fi

if [ -x /usr/bin/time ]; then
    TIMER=/usr/bin/time
else
    TIMER=
    echo "/usr/bin/time not found: no peak memory figures" >&2
fi

. "$(dirname "$0")/generators.sh"

DIR=$(mktemp -d "${TMPDIR:-/tmp}/veltra-grounding.XXXXXX") || exit 1
if [ "${KEEP:-0}" != 1 ]; then
    trap 'rm -rf "$DIR"' EXIT INT TERM
else
    echo "inputs kept in $DIR" >&2
fi

# ---------------------------------------------------------------------------
# Workloads (awk, so that any POSIX system generates the same inputs).

# ---------------------------------------------------------------------------
# Measuring.

# Runs "$@" with stdout to /dev/null; prints "seconds kilobytes status".
measure() {
    if [ -n "$TIMER" ]; then
        $TIMER -f "%e %M" -o "$DIR/time.out" "$@" >/dev/null 2>"$DIR/err.out"
        status=$?
        printf '%s %s\n' "$(tail -n 1 "$DIR/time.out")" "$status"
    else
        start=$(date +%s.%N)
        "$@" >/dev/null 2>"$DIR/err.out"
        status=$?
        end=$(date +%s.%N)
        awk -v s="$start" -v e="$end" -v st="$status" 'BEGIN { printf "%.2f - %d\n", e - s, st }'
    fi
}

printf '%-24s %9s %10s %9s %10s %8s %8s\n' workload veltra_s veltra_kb gringo_s gringo_kb time_x mem_x
run() {
    name=$1
    file="$DIR/$name.lp"
    shift
    "$@" >"$file"
    set -- $(measure "$VELTRA" -silent -instantiate "$file")
    v_time=$1 v_mem=$2 v_status=$3
    if [ "$v_status" != 0 ]; then
        echo "$name: veltra ended with status $v_status:" >&2
        head -n 5 "$DIR/err.out" >&2
    fi
    g_time=- g_mem=- ratio=- mem_ratio=-
    if [ -n "$GRINGO" ]; then
        # shellcheck disable=SC2086
        set -- $(measure $GRINGO "$file")
        g_time=$1 g_mem=$2
        [ "$3" = 0 ] || { echo "$name: gringo ended with status $3" >&2; head -n 5 "$DIR/err.out" >&2; }
        ratio=$(awk -v v="$v_time" -v g="$g_time" 'BEGIN { printf (g > 0 ? "%.2f" : "-"), v / g }')
        mem_ratio=$(awk -v v="$v_mem" -v g="$g_mem" 'BEGIN { printf (g > 0 ? "%.2f" : "-"), v / g }')
    fi
    printf '%-24s %9s %10s %9s %10s %8s %8s\n' "$name" "$v_time" "$v_mem" "$g_time" "$g_mem" "$ratio" "$mem_ratio"
}

s=$SCALE
run tc-chain "gen_tc_chain" $((1000 * s))
run tc-random "gen_tc_random" $((1000 * s)) $((1500 * s))
run tc-random-dense "gen_tc_random" $((150 * s)) $((1500 * s))
run same-generation "gen_same_generation" $((6 + s / 2)) 3
run stratified-negation "gen_stratified" $((100000 * s))
