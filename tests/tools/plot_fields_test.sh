#!/usr/bin/env bash
# Tests for the field plotter, plattor-plot-fields.
# Usage: plot_fields_test.sh <path-to-plattor-plot-fields> <typical-run-dir> <coplanar-run-dir>
# Each run dir holds indata3.txt, hfield3.dat, exfield3.dat, eyfield3.dat.

set -u

if [ $# -ne 3 ]; then
    echo "usage: $0 <path-to-plattor-plot-fields> <typical-run-dir> <coplanar-run-dir>" >&2
    exit 2
fi
plot=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
typical=$2
coplanar=$3

. "$(dirname "$0")/../support/checks.sh"

# Fresh scratch dir with the four input files of run dir $1.
scratch() {
    local d
    d=$(mktemp -d "$work/case.XXXXXX")
    cp "$1"/indata3.txt "$1"/hfield3.dat "$1"/exfield3.dat "$1"/eyfield3.dat "$d"/
    chmod u+w "$d"/*
    echo "$d"
}

# PNG signature, IHDR size within 300..6000 px each way, file over 10 KB.
png_ok() {
    local hex wd ht
    [ -f "$1" ] || return 1
    hex=$(od -An -tx1 -N24 "$1" | tr -d ' \n')
    [ "${hex:0:16}" = 89504e470d0a1a0a ] && [ "${hex:24:8}" = 49484452 ] || return 1
    wd=$((16#${hex:32:8})); ht=$((16#${hex:40:8}))
    [ "$wd" -ge 300 ] && [ "$wd" -le 6000 ] && [ "$ht" -ge 300 ] && [ "$ht" -le 6000 ] &&
        [ "$(wc -c <"$1")" -gt 10240 ]
}

# Runs the script in dir $1 with the remaining args; sets rc, out, err.
run_in() {
    local d=$1; shift
    (cd "$d" && "$plot" "$@" >"$work/out" 2>"$work/err")
    rc=$?
    out=$(cat "$work/out"); err=$(cat "$work/err")
}
one_line_naming() {   # stderr is exactly one line and mentions $1
    [ "$(printf '%s\n' "$err" | wc -l)" -eq 1 ] && [[ $err == *"$1"* ]]
}

# Synthetic run dir: make_grid <dir> <kind> g w c h ny.  kind "pair" gives
# the potential of line charges at the strip centres with their images in
# y = 0; kind "linear" gives phi = 0.5 x - 0.25 y.  40 x values from -6 to
# 6, ny rows from y = 0 to 1.5 h.  Differences per grid step as the program
# writes them: central inside, one-sided at the edges, y down the rows.
make_grid() {
    local d=$1 kind=$2 g=$3 w=$4 c=$5 h=$6 ny=$7
    mkdir -p "$d"
    echo "$g $w $c $h" >"$d/indata3.txt"
    awk -v kind="$kind" -v c="$c" -v w="$w" -v h="$h" -v ny="$ny" -v d="$d" '
    function r(x, y, x0, y0,   q) { q = sqrt((x - x0)^2 + (y - y0)^2); return q < w / 4 ? w / 4 : q }
    function out(f, z,   i, j) {
        printf "%8.6g", 0 > f
        for (j = 1; j <= nx; j++) printf " %12.6g", x[j] > f
        printf "\n" > f
        for (i = 1; i <= ny; i++) {
            printf "%8.6g", y[i] > f
            for (j = 1; j <= nx; j++) printf " %12.6g", z[i, j] > f
            printf "\n" > f
        }
        close(f)
    }
    BEGIN {
        nx = 40
        for (j = 1; j <= nx; j++) x[j] = -6 + 12 * (j - 1) / (nx - 1)
        for (i = 1; i <= ny; i++) y[i] = 1.5 * h * (i - 1) / (ny - 1)
        for (i = 1; i <= ny; i++) for (j = 1; j <= nx; j++) {
            if (kind == "linear") p[i, j] = 0.5 * x[j] - 0.25 * y[i]
            else p[i, j] = 0.2 * (log(r(x[j], y[i], c/2, -h) / r(x[j], y[i], c/2, h)) \
                                - log(r(x[j], y[i], -c/2, -h) / r(x[j], y[i], -c/2, h)))
        }
        for (i = 1; i <= ny; i++) for (j = 1; j <= nx; j++) {
            jp = j < nx ? j + 1 : j; jm = j > 1 ? j - 1 : j
            ip = i < ny ? i + 1 : i; im = i > 1 ? i - 1 : i
            ex[i, j] = (p[i, jp] - p[i, jm]) / (jp - jm)
            ey[i, j] = (p[ip, j] - p[im, j]) / (ip - im)
        }
        out(d "/hfield3.dat", p); out(d "/exfield3.dat", ex); out(d "/eyfield3.dat", ey)
    }'
}

# --- the two reference runs, each also as SVG to check the wording ---
d=$(scratch "$typical")
run_in "$d" --svg
png_ok "$d/fields.png"; result $(( rc != 0 || $? )) "typical: exit 0 and fields.png is a sensible PNG"
grep -q 'Ground-plane case' "$d/fields.svg" 2>/dev/null && grep -q 'ground plane (0 V)' "$d/fields.svg" &&
    grep -q 'strip at -1 V' "$d/fields.svg" && grep -q 'strip at +1 V' "$d/fields.svg"
result $? "typical: --svg writes fields.svg naming the ground-plane case and all three conductors"
[ "$out" = "wrote fields.png and fields.svg" ] && [ -z "$err" ]
result $? "typical: --svg says on one line of stdout that it wrote both files"

d=$(scratch "$coplanar")
run_in "$d" --svg
png_ok "$d/fields.png"; result $(( rc != 0 || $? )) "coplanar: exit 0 and fields.png is a sensible PNG"
grep -q 'Coplanar case' "$d/fields.svg" 2>/dev/null && ! grep -q 'ground plane (0 V)' "$d/fields.svg"
result $? "coplanar: title names the coplanar case and no ground plane is drawn"

# --- a locale with a decimal comma, however it is set: the same numbers, the same picture ---
comma=$(locale -a 2>/dev/null | grep -ix 'de_DE.utf-\?8\|sv_SE.utf-\?8' | head -n 1)
[ -n "$comma" ] || echo "SKIPPED: the decimal-comma cases: no de_DE or sv_SE locale (localedef -i de_DE -f UTF-8 de_DE.UTF-8)"
d=$(scratch "$typical")
LC_ALL=C run_in "$d" --arrows; arrows=$out
LC_ALL=C run_in "$d" --svg; mv "$d/fields.svg" "$d/c.svg"
for setting in ${comma:+"LC_ALL=$comma" "LC_NUMERIC=$comma" "LANG=$comma"}; do
    (unset LC_ALL LC_NUMERIC LANG; export "$setting"; run_in "$d" --svg; cmp -s "$d/fields.svg" "$d/c.svg" &&
        run_in "$d" --arrows && [ "$out" = "$arrows" ] && [ -z "$err" ])
    result $? "$setting: the same picture and the same arrow samples as in the C locale"
done

# --- bad or missing input ---
d=$(scratch "$typical"); rm "$d/hfield3.dat"
run_in "$d"
[ "$rc" -eq 1 ] && one_line_naming hfield3.dat && [ ! -e "$d/fields.png" ]
result $? "missing hfield3.dat: exit 1, one stderr line naming it, no picture"

d=$(scratch "$typical")
GNUPLOT=/nonexistent/gnuplot run_in "$d"
[ "$rc" -eq 1 ] && one_line_naming gnuplot
result $? "missing gnuplot: exit 1, one stderr line naming gnuplot"

d=$(scratch "$typical"); echo "10 1 3" >"$d/indata3.txt"
run_in "$d"
[ "$rc" -eq 1 ] && one_line_naming indata3.txt
result $? "indata3.txt with three numbers: exit 1, one stderr line naming it"

d=$(scratch "$typical"); sed '$d' "$typical/eyfield3.dat" >"$d/eyfield3.dat"
run_in "$d"
[ "$rc" -eq 1 ] && one_line_naming eyfield3.dat
result $? "eyfield3.dat with a row missing: exit 1, one stderr line naming it"

d=$(scratch "$typical"); printf '10\r\n1\r\n\r\n3 1\r\n' >"$d/indata3.txt"
run_in "$d" --svg
[ "$rc" -eq 0 ] && grep -q 'groundWidth 10, stripWidth 1, centreDistance 3, stripHeight 1' "$d/fields.svg"
result $? "indata3.txt spread over lines with CRLF endings is read"

run_in "$work"
[ "$rc" -eq 1 ] && one_line_naming indata3.txt
result $? "empty directory: exit 1 naming the first missing file"

run_in "$work" --help
[ "$rc" -eq 0 ] && [[ $out == Usage:* ]] && [[ $out == *--svg* ]]
result $? "--help prints usage and exits 0"

run_in "$work" --bogus
[ "$rc" -eq 2 ]
result $? "unknown option exits 2"

# --- electric field: E = -grad(phi) with grid steps of either sign ---
# For phi = 0.5 x - 0.25 y every sample must read E = (-0.5, 0.25).
for hh in 2 -2; do
    d="$work/linear$hh"; make_grid "$d" linear 10 1 3 "$hh" 9
    run_in "$d" --arrows
    printf '%s\n' "$out" | awk '!/^#/ { n++; if ((($3 + 0.5)^2 + ($4 - 0.25)^2) > 1e-8) bad++ }
        END { exit !(n >= 9 && !bad) }'
    result $? "linear potential, height $hh: every arrow sample is E = (-0.5, 0.25)"
done

# --- smallest grid and a tall downward one ---
d="$work/tworows"; make_grid "$d" pair 10 1 3 1 2
run_in "$d"
png_ok "$d/fields.png"; result $(( rc != 0 || $? )) "two-row grid: exit 0 and a sensible PNG"
[ "$out" = "wrote fields.png" ] && [ -z "$err" ]
result $? "two-row grid: one line on stdout names fields.png"

d="$work/tall"; make_grid "$d" pair 10 1 3 -400 5000
start=$(date +%s.%N)
run_in "$d"
secs=$(echo "$start $(date +%s.%N)" | awk '{ printf "%.2f", $2 - $1 }')
png_ok "$d/fields.png"; result $(( rc != 0 || $? )) "tall negative-height grid (5000 rows): exit 0 and a sensible PNG"
awk -v s="$secs" 'BEGIN { exit !(s < 20) }'
result $? "tall negative-height grid plotted in ${secs} s (limit 20 s)"
run_in "$d" --arrows
printf '%s\n' "$out" | awk '!/^#/ { if (!($1 in seen)) cols++; seen[$1]++; if ($2 > 0) up++ }
    END { for (k in seen) if (seen[k] > 40 || seen[k] < 3) bad++; exit !(cols >= 2 && !bad && !up) }'
result $? "tall grid: 3 to 40 arrows per column, all at y <= 0"

summary
