#!/bin/sh
# tests/e2e/readme.sh BINARY ROOT: the examples of ROOT/README.md, run as written.
# In a fenced code block, a line "$ cat FILE" or "$ veltra ARGS..." is a command, run
# in ROOT with veltra standing for BINARY; the lines after it, up to the next "$ " line
# or the end of the block, are its exact standard output. A veltra run must also leave
# standard error empty and end with status 0. Any difference fails with a diff.
set -u
binary=$1
root=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Cuts the blocks into numbered files: N.cmd (the command) and N.expected.
awk -v dir="$scratch" '
    /^```/ { inBlock = !inBlock; expected = ""; next }
    inBlock && /^\$ / {
        n++
        print substr($0, 3) > (dir "/" n ".cmd")
        close(dir "/" n ".cmd")
        expected = dir "/" n ".expected"
        printf "" > expected
        next
    }
    inBlock && expected != "" { print >> expected }
' "$root/README.md"

cd "$root" || exit 1
count=0
failed=0
n=1
while [ -f "$scratch/$n.cmd" ]; do
    command=$(cat "$scratch/$n.cmd")
    actual="$scratch/$n.actual"
    errors="$scratch/$n.errors"
    status=0
    # The commands hold no quotes: splitting at blanks gives their arguments.
    # shellcheck disable=SC2086
    set -- $command
    program=$1
    shift
    case $program in
    cat) cat "$@" >"$actual" 2>"$errors" || status=$? ;;
    veltra) "$binary" "$@" >"$actual" 2>"$errors" || status=$? ;;
    *)
        echo "README.md: \"\$ $command\": only cat and veltra commands can be checked"
        status=1
        : >"$actual"
        ;;
    esac
    count=$((count + 1))
    if ! cmp -s "$scratch/$n.expected" "$actual" || [ -s "$errors" ] || [ "$status" -ne 0 ]; then
        failed=$((failed + 1))
        echo "README.md: \"\$ $command\" does not give what the README shows (status $status)"
        diff -u "$scratch/$n.expected" "$actual" | sed '1,2d'
        sed 's/^/stderr: /' "$errors"
    fi
    n=$((n + 1))
done
if [ "$count" -eq 0 ]; then
    echo "README.md: no \"\$ \" command found in a fenced block"
    exit 1
fi
echo "README.md examples: $((count - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
