#!/usr/bin/env bash
# A batch of 1000 mixed structures (single traces and pairs, thin and thick, masks, striplines
# with one or two layers, coplanar) and one bad row, solved by plattor-lines on one thread and on
# two: the wall and processor times of each, the speed-up, and whether the outputs agree.
# Usage: batch_speedup.sh <plattor-lines> [rows]
set -eu
lines=$1
rows=${2:-1000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The same rows every time: a linear congruential generator, not awk's rand().
awk -v rows="$rows" 'function r(lo, hi) { seed = (seed * 1103515245 + 12345) % 2147483648; return lo + (hi - lo) * seed / 2147483648 }
BEGIN {
    seed = 23
    print "structure,w,t,s,h,b,er,er_top,mask,mask_er,g"
    for (k = 0; k < rows; k++) {
        kind = k % 3 == 0 ? "microstrip" : k % 3 == 1 ? "stripline" : "coplanar"
        w = sprintf("%.3f", r(0.05, 0.5)); h = sprintf("%.3f", r(0.05, 0.5)); er = sprintf("%.2f", r(2, 10))
        t = r(0, 3) < 1 ? "" : r(0, 2) < 1 ? "0.018" : "0.035"
        s = r(0, 3) < 2 ? "" : sprintf("%.3f", r(0.05, 0.4))
        b = ""; ertop = ""; mask = ""; maskEr = ""; g = ""
        if (kind == "stripline") {
            b = sprintf("%.3f", 2 * h + (t == "" ? 0 : t) + r(0.02, 0.3))
            if (r(0, 1) < 0.3) ertop = sprintf("%.2f", r(2, 5))
        }
        if (kind == "coplanar") g = sprintf("%.3f", r(0.05, 0.3))
        if (kind == "microstrip" && r(0, 1) < 0.2) { mask = "0.02"; maskEr = "3.5" }
        print kind "," w "," t "," s "," h "," b "," er "," ertop "," mask "," maskEr "," g
        if (k == int(rows / 2)) print "microstrip,-1,,,0.2,,4.3,,,,"
    }
}' >"$work/batch.csv"

for threads in 1 2; do
    /usr/bin/time -f "%e %U" -o "$work/time$threads" "$lines" --batch "$work/batch.csv" --threads "$threads" >"$work/out$threads.csv"
    read -r wall user <"$work/time$threads"
    echo "$threads thread(s): $wall s wall, $user s processor"
done
awk -v a="$(cut -d' ' -f1 "$work/time1")" -v b="$(cut -d' ' -f1 "$work/time2")" 'BEGIN { printf "speed-up %.2f\n", a / b }'
cmp -s "$work/out1.csv" "$work/out2.csv" && echo "outputs identical" || echo "outputs differ"
echo "rows with an error: $(awk -F, 'NR > 1 && $NF != ""' "$work/out1.csv" | wc -l)"
