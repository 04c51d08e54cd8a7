#!/usr/bin/env bash
# The pictures plattor-lines draws with gnuplot: a cross-section with the field of a mode
# (--picture) and a sweep's impedances (--plot), as PNG and SVG; gnuplot missing or failing, and
# an unwritable picture, refused in one line; a picture put in place by a rename (a link
# replaced, a mode kept); a gnuplot that hangs, or a signal while it draws: gnuplot and what it
# started killed and reaped; no scratch files left behind.
# Usage: lines_pictures_test.sh <plattor-lines>
set -u
if [ $# -ne 1 ]; then
    echo "usage: $0 <plattor-lines>" >&2
    exit 2
fi
lines=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
. "$(dirname "$0")/../support/checks.sh"
export TMPDIR=$work/tmp
mkdir "$TMPDIR"

# Runs plattor-lines in $work/run (after the commands $setup, under the command $wrap) with the
# arguments; sets rc, out, err.
run() {
    rm -rf "$work/run" && mkdir "$work/run"
    (cd "$work/run" && eval "${setup:-}" && ${wrap:-} "$lines" "$@" >"$work/out" 2>"$work/err")
    rc=$?
    out=$(cat "$work/out"); err=$(cat "$work/err")
}
one_line_naming() {   # stderr is exactly one line and mentions $1
    [ "$(printf '%s\n' "$err" | wc -l)" -eq 1 ] && [[ $err == *"$1"* ]]
}
# PNG signature, IHDR size within 400..3000 px each way, file over 20 KB.
png_ok() {
    local hex wd ht
    [ -f "$1" ] || return 1
    hex=$(od -An -tx1 -N24 "$1" | tr -d ' \n')
    [ "${hex:0:16}" = 89504e470d0a1a0a ] && [ "${hex:24:8}" = 49484452 ] || return 1
    wd=$((16#${hex:32:8})); ht=$((16#${hex:40:8}))
    [ "$wd" -ge 400 ] && [ "$wd" -le 3000 ] && [ "$ht" -ge 400 ] && [ "$ht" -le 3000 ] &&
        [ "$(wc -c <"$1")" -gt 20480 ]
}
pair="microstrip --w 0.2mm --s 0.15mm --h 0.2mm --t 35um --er 4.3 --mask 20um --mask-er 3.5"

# --- without gnuplot: refused before the work, nothing written ---
GNUPLOT=/nonexistent/gnuplot run $pair --picture pair.png
[ "$rc" -eq 1 ] && [ -z "$out" ] && one_line_naming "gnuplot not found" && [ ! -e "$work/run/pair.png" ]
result $? "no gnuplot: exit 1 before the report, one line naming gnuplot, no picture"
GNUPLOT=/nonexistent/gnuplot run microstrip --h 1 --er 4 --sweep w=1:2:3 --plot sweep.png
[ "$rc" -eq 1 ] && [ -z "$out" ] && one_line_naming "--plot: gnuplot not found"
result $? "no gnuplot: a sweep with --plot refused before its CSV"

if ! command -v "${GNUPLOT:-gnuplot}" >/dev/null 2>&1; then
    summary || exit 1
    echo "SKIPPED: gnuplot is not installed (apt-get install gnuplot-nox)"
    exit 77
fi

# --- the cross-section ---
run $pair
report=$out
run $pair --picture pair.png
png_ok "$work/run/pair.png" && [ "$rc" -eq 0 ] && [ "$out" = "$report" ] && [ -z "$err" ]
result $? "pair, odd mode: a sensible PNG, and the report as without --picture"

run $pair --picture pair.svg
svg=$work/run/pair.svg
[ "$rc" -eq 0 ] && grep -q 'microstrip pair, odd mode: left trace at -1 V, right trace at +1 V' "$svg" &&
    grep -q 'w 0.2 mm, t 0.035 mm, s 0.15 mm, h 0.2 mm, er 4.3, mask 0.02 mm, mask-er 3.5' "$svg" &&
    grep -q 'εr 4.3 (er)' "$svg" && grep -q 'εr 3.5 (mask-er)' "$svg" && grep -q '>conductor<' "$svg" &&
    grep -q '>vacuum<' "$svg" && grep -q 'equipotentials, 0.1 V apart' "$svg" && grep -q 'electric field' "$svg"
result $? "pair as SVG: the mode, the options, each permittivity, conductor, vacuum, equipotentials, field"

run $pair --picture even.svg --mode even
grep -q 'microstrip pair, even mode: both traces at +1 V' "$work/run/even.svg"
result $? "--mode even draws the pair's even mode"

run stripline --w 0.15mm --h 0.2mm --b 0.45mm --t 35um --er 4.3 --er-top 3.8 --picture strip.svg
[ "$rc" -eq 0 ] && grep -q 'stripline, the trace at 1 V' "$work/run/strip.svg" &&
    grep -q 'εr 3.8 (er-top)' "$work/run/strip.svg" && ! grep -q '>vacuum<' "$work/run/strip.svg"
result $? "stripline: both layers in the key, no vacuum between the planes"

run coplanar --w 0.3 --g 0.15 --h 0.5 --er 4.3 --solve w --target impedance=60 --picture cpw.png
png_ok "$work/run/cpw.png" && [ "$rc" -eq 0 ] && [[ $out == "w (solved)"* ]]
result $? "--picture with --solve draws the solved structure"

# Root writes in any directory: the read-only one is tried without root's privileges.
as_user=; [ "$(id -u)" -ne 0 ] || as_user="unshare --user"
while IFS='|' read -r setup wrap picture why; do
    if [ -n "$wrap" ] && ! $wrap true 2>/dev/null; then echo "SKIPPED: $picture ($why): no $wrap here"; continue; fi
    setup=$setup wrap=$wrap run $pair --picture "$picture"
    [ "$rc" -eq 1 ] && [ -z "$out" ] && one_line_naming "$picture: cannot write: $why"
    result $? "$picture ($why): exit 1 before the report, one line naming it"
done <<EOF
||$work/no/such/dir/x.png|No such file or directory
touch file||file/x.png|Not a directory
mkdir dir.png||dir.png|Is a directory
mkdir ro; chmod 555 ro|$as_user|ro/x.png|Permission denied
EOF

# Over what is there: the picture alone is new, beside it nothing left (no temporary, no lock).
while IFS='|' read -r name setup check files; do
    setup=$setup run $pair --picture pair.png
    png_ok "$work/run/pair.png" && [ "$rc" -eq 0 ] && (cd "$work/run" && eval "$check") &&
        [ "$(ls "$work/run" | tr '\n' ' ')" = "$files" ]
    result $? "$name"
done <<'EOF'
a symbolic link is replaced, not written through|echo victim >v.txt; ln -s v.txt pair.png|[ ! -L pair.png ] && [ "$(cat v.txt)" = victim ]|pair.png v.txt 
a 0600 picture stays 0600|echo old >pair.png; chmod 600 pair.png|[ "$(stat -c %a pair.png)" = 600 ]|pair.png 
a 0444 picture is replaced and stays 0444|echo old >pair.png; chmod 444 pair.png|[ "$(stat -c %a pair.png)" = 444 ]|pair.png 
EOF

printf '#!/bin/sh\necho "gnuplot is broken" >&2\nexit 1\n' >"$work/broken" && chmod +x "$work/broken"
GNUPLOT=$work/broken run $pair --picture pair.png
[ "$rc" -eq 1 ] && one_line_naming "--picture: gnuplot failed: gnuplot is broken" && [ ! -e "$work/run/pair.png" ]
result $? "gnuplot failing: exit 1, one line with its message, no picture"

# --- a sweep's impedances ---
run microstrip --w 0.2mm --h 0.2mm --er 4.3 --sweep s=0.05mm:0.4mm:5 --sweep-log --plot sweep.svg
svg=$work/run/sweep.svg
[ "$rc" -eq 0 ] && [ "$(printf '%s\n' "$out" | wc -l)" -eq 6 ] && grep -q 'differential impedance ± bar' "$svg" &&
    grep -q 'common-mode impedance ± bar' "$svg" && grep -q 's (mm)' "$svg"
result $? "pair sweep as SVG: the CSV on stdout, the four impedances against s in mm"
run microstrip --h 0.2mm --er 4.3 --sweep w=0.1mm:0.5mm:5 --plot sweep.png
png_ok "$work/run/sweep.png" && [ "$rc" -eq 0 ]
result $? "single sweep as PNG"

# --- a gnuplot that hangs (having seen what stdout held), and what it started ---
printf '#!/bin/sh\ncp %s/out %s/seen\nsleep 60 & echo $! >%s/sleeper\nwait\n' "$work" "$work" "$work" >"$work/hang"
chmod +x "$work/hang"
ended() {   # the report out before gnuplot started, the sleeper reaped, no scratch, no picture
    [ -n "$out" ] && [ "$(cat "$work/seen")" = "$out" ] && [ ! -e "/proc/$(cat "$work/sleeper")" ] &&
        [ -z "$(ls -A "$TMPDIR"; ls -A "$work/run")" ]
}
GNUPLOT=$work/hang PLATTOR_GNUPLOT_TIMEOUT=0.7 run $pair --picture pair.png
[ "$rc" -eq 1 ] && one_line_naming "--picture: gnuplot took longer than 0.7 s" && ended
result $? "gnuplot past PLATTOR_GNUPLOT_TIMEOUT=0.7: killed with what it started, one line, exit 1"
cpw="coplanar --w 0.3 --g 0.15 --h 0.5 --er 4.3 --solve w --target impedance=60"
while read -r signal status structure; do
    rm -rf "$work/run" "$work/sleeper" && mkdir "$work/run"
    (cd "$work/run" && GNUPLOT=$work/hang exec "$lines" ${!structure} --picture p.png >"$work/out" 2>"$work/err") &
    for _ in $(seq 300); do [ -s "$work/sleeper" ] && break; sleep 0.1; done
    kill -"$signal" $! && wait $!
    rc=$? out=$(cat "$work/out")
    [ "$rc" -eq "$status" ] && [ "$(cat "$work/err")" = "plattor-lines: interrupted" ] && ended
    result $? "SIG$signal while gnuplot draws ($structure): gnuplot reaped, no scratch, the report out first"
done <<'EOF'
TERM 143 pair
INT 130 cpw
EOF

[ -z "$(ls -A "$TMPDIR")" ]
result $? "no scratch directory left in TMPDIR"

summary
