#!/usr/bin/env bash
# The examples of README.md and docs/*.md, run and compared with what the programs print.
#
# The convention the pages follow:
# - An example is a fenced block opened by ```console. Its lines that start with "$ " are
#   commands (a command ending in "\" goes on over the next line); every other line is what the
#   commands before it print, standard output and standard error together as a terminal shows
#   them, blank lines and trailing blanks included.
# - Each example runs on its own in a fresh, empty directory, its commands one after another in
#   one bash (so files, `cd` and variables carry from one to the next), with the built plattor,
#   plattor-lines and plattor-plot-fields on PATH. An input is set up inside the example:
#   `$ echo "10 1 3 1" > indata3.txt`. A command's exit status shows only where the example
#   shows it (`$ echo $?`).
# - The text must be what the commands print, number for number: the text between the
#   numbers to the byte, a value with its bar within the two bars, any other number to 1e-6 of
#   itself (same_numbers.awk). The solver's own tests decide its digits; this one sees a page
#   that tells something else. Output that varies from run to run (timings) has no place in an
#   example.
# - A block that cannot run here (it builds, installs or takes minutes) is marked on its opening
#   line: ```console not-run. Every other fenced block, and any indented code block, fails
#   the test: nothing shown as a command goes unchecked by accident.
# - Examples that draw (plattor-plot-fields, plattor-lines --picture or --plot) need gnuplot;
#   without it they are left out and the test reports SKIPPED once the others have passed.
#
# Usage: examples_test.sh <source-dir> <plattor> <plattor-lines> <plattor-plot-fields>
set -u
if [ -n "${PLATTOR_DOC_EXAMPLES_SKIP:-}" ]; then echo "SKIPPED: $PLATTOR_DOC_EXAMPLES_SKIP"; exit 77; fi
if [ $# -ne 4 ]; then
    echo "usage: $0 <source-dir> <plattor> <plattor-lines> <plattor-plot-fields>" >&2
    exit 2
fi
src=$1
. "$(dirname "$0")/../support/checks.sh"

bin=$work/bin
mkdir "$bin"
ln -s "$2" "$bin/plattor"
ln -s "$3" "$bin/plattor-lines"
ln -s "$4" "$bin/plattor-plot-fields"
have_gnuplot=$(command -v "${GNUPLOT:-gnuplot}" >/dev/null 2>&1 && echo yes || echo no)

# Splits a page into its blocks under $work/blocks/: for example k, k.where (file:line),
# k.commands (NUL-separated) and k.expected (the block's text); problems go to stdout.
split_page() {
    awk -v page="$1" -v out="$work/blocks" -v first="$2" '
    function flush() { if (n) { close(out "/" n ".commands"); close(out "/" n ".expected") } }
    BEGIN { n = first - 1 }
    !fence && /^```/ {
        fence = 1; info = substr($0, 4)
        if (info == "console") {
            run = 1; n++; print page ":" FNR > (out "/" n ".where"); close(out "/" n ".where")
            printf "" > (out "/" n ".commands"); printf "" > (out "/" n ".expected")
        } else {
            run = 0
            if (info !~ / not-run$/) print page ":" FNR ": a block neither run (```console) nor marked not-run: " $0
        }
        continued = 0; next
    }
    fence && /^```$/ { fence = 0; flush(); next }
    fence && run {
        print > (out "/" n ".expected")
        if (continued || /^\$ /) {
            printf "%s", (continued ? "\n" $0 : substr($0, 3)) > (out "/" n ".commands")
            continued = /\\$/
            if (!continued) printf "%c", 0 > (out "/" n ".commands")
        }
        next
    }
    !fence && /^(    |\t)/ && blank { print page ":" FNR ": an indented code block; fence it as ```console" }
    { blank = ($0 == "") }
    END { if (fence) print page ": a block is not closed"; print n > (out "/count") }' "$1"
}

# Runs example k in a scratch directory of its own; its transcript goes to k.actual.
run_example() {
    local k=$1 dir=$work/run$1
    mkdir "$dir"
    (cd "$dir" && exec env -i PATH="$bin:/usr/local/bin:/usr/bin:/bin" HOME="$dir" LANG=C.UTF-8 ${GNUPLOT:+GNUPLOT="$GNUPLOT"} \
        timeout 120 bash --noprofile --norc -c '
            exec 2>&1 </dev/null
            status=0
            restore() { return "$1"; }  # so that a command sees the status of the one before
            while IFS= read -r -d "" -u 9 command; do
                printf "\$ %s\n" "$command"
                restore "$status"
                eval "$command"
                status=$?
            done 9<"$1"' example "$work/blocks/$k.commands" >"$work/blocks/$k.actual")
}

mkdir "$work/blocks"
pages=("$src/README.md" "$src"/docs/*.md)
problems=$work/problems
: >"$problems"
count=0
for page in "${pages[@]}"; do
    split_page "$page" $((count + 1)) >>"$problems"
    count=$(cat "$work/blocks/count")
done
# Problems name the page by its path in the source tree.
sed "s|^$src/||" "$problems"
[ ! -s "$problems" ]
result $? "every fenced block in README.md and docs/ is an example or marked not-run"

grep -q "^$src/README.md:" "$work"/blocks/*.where 2>/dev/null
result $? "README.md has examples"

skipped=0
for ((k = 1; k <= count; k++)); do
    where=$(sed "s|^$src/||" "$work/blocks/$k.where")
    if [ "$have_gnuplot" = no ] && grep -q -e 'plattor-plot-fields' -e '--picture' -e '--plot ' "$work/blocks/$k.commands" &&
        ! grep -q -e '--help' -e '--version' "$work/blocks/$k.commands"; then
        echo "left out (no gnuplot): $where"
        skipped=$((skipped + 1))
        continue
    fi
    run_example "$k"
    if awk -f "$(dirname "$0")/same_numbers.awk" "$work/blocks/$k.expected" "$work/blocks/$k.actual" >"$work/differences"; then
        result 0 "$where: $(tr '\0\n' '; ' <"$work/blocks/$k.commands" | sed 's/;\(.\)/; \1/g' | cut -c 1-70)"
    else
        cat "$work/differences"
        diff -u --label "$where (the page)" --label "what the programs print" \
            "$work/blocks/$k.expected" "$work/blocks/$k.actual"
        result 1 "$where: the example prints something else (above)"
    fi
done

summary || exit 1
if [ "$skipped" -gt 0 ]; then
    echo "SKIPPED: $skipped example(s) draw with gnuplot, and gnuplot is not installed"
    exit 77
fi
