#!/bin/sh
# Failed writes on standard output, standard input that cannot be read and
# exhausted memory, which a .case cannot set up: each ends the run with its
# message on standard error and status 1.
# usage: streams.sh VELTRA [memory]   ("memory" adds the runs under ulimit -v;
# the sanitizer build reserves too much address space for them)
veltra=$1
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
failures=0

# expect NAME STATUS STDERR-FILE: compares the last run's status and stderr.
expect() {
    if [ "$status" != "$2" ] || [ "$(cat "$dir/err")" != "$3" ]; then
        echo "FAIL $1: status $status, stderr:"
        cat "$dir/err"
        failures=$((failures + 1))
    else
        echo "ok   $1"
    fi
}

writeError="Error: cannot write to standard output."
# 2^20 answer sets: a run that went on after a failed write would not end in time.
echo 'd(1..20). a(X) v b(X) :- d(X).' > "$dir/many.dl"
echo 'a v b.' > "$dir/small.dl"

timeout 60 "$veltra" -silent "$dir/many.dl" > /dev/full 2> "$dir/err"; status=$?
expect dev-full 1 "$writeError"
timeout 60 "$veltra" -silent "$dir/small.dl" > /dev/full 2> "$dir/err"; status=$?
expect dev-full-at-exit 1 "$writeError"
timeout 60 "$veltra" -help > /dev/full 2> "$dir/err"; status=$?
expect dev-full-help 1 "$writeError"
timeout 60 "$veltra" -silent "$dir/many.dl" >&- 2> "$dir/err"; status=$?
expect closed-stdout 1 "$writeError"
timeout 60 "$veltra" -silent "$dir/small.dl" > /dev/null 2> "$dir/err"; status=$?
expect writable 0 ""

# A pipe whose reader has left: with SIGPIPE ignored the write fails; by default
# the signal ends the run as before (status 128 + 13).
status=$( (trap '' PIPE; timeout 60 "$veltra" -silent "$dir/many.dl" 2> "$dir/err"; echo $? > "$dir/status") | head -c 1 > /dev/null; cat "$dir/status")
expect pipe-sigpipe-ignored 1 "$writeError"
status=$( (timeout 60 "$veltra" -silent "$dir/many.dl" 2> "$dir/err"; echo $? > "$dir/status") | head -c 1 > /dev/null; cat "$dir/status")
expect pipe-sigpipe-default 141 ""

# A directory as standard input, or a closed one, cannot be read: refused
# like a file that does not open.
stdinError="line 0: can't open input.
Aborting due to parser errors."
timeout 60 "$veltra" -silent -- < "$dir" > /dev/null 2> "$dir/err"; status=$?
expect stdin-directory 1 "$stdinError"
timeout 60 "$veltra" -silent -- <&- > /dev/null 2> "$dir/err"; status=$?
expect stdin-closed 1 "$stdinError"

if [ "$2" = memory ]; then
    memoryError="Error: out of memory."
    echo 'n(0). n(Y) :- n(X), #succ(X,Y).' > "$dir/succ.dl"
    (ulimit -v 150000; timeout 120 "$veltra" -silent -N=9999999 "$dir/succ.dl" > /dev/null 2> "$dir/err"); status=$?
    expect out-of-memory-grounding 1 "$memoryError"
    echo 'p(1..999999997).' > "$dir/interval.dl"
    (ulimit -v 150000; timeout 120 "$veltra" -silent "$dir/interval.dl" > /dev/null 2> "$dir/err"); status=$?
    expect out-of-memory-interval 1 "$memoryError"
fi

exit $((failures != 0))
