# Whether two transcripts say the same within their bars: run as
#   awk -f same_numbers.awk EXPECTED ACTUAL
# Line by line, the text between the numbers must be the same (runs of blanks, which pad the
# columns to the numbers' widths, as one); a value printed with
# its bar ("v ± e", or JSON's "value": v, "error": e) may move by the two bars together, and the
# bar itself by a factor of three; any other number by 1e-6 of itself and half a unit of its last
# digit. A documentation example then fails on what a reader would notice, not on a last digit
# the solver's own tests decide. Prints each difference; exit status 1 if there is one.

# The numbers of a line into num[1..n] (text) and what lies between them into gap[0..n].
function split_numbers(line, num, gap,    n, rest) {
    n = 0; rest = line
    while (match(rest, /[-+]?([0-9]+(\.[0-9]*)?|\.[0-9]+)([eE][-+]?[0-9]+)?/)) {
        gap[n] = substr(rest, 1, RSTART - 1)
        num[++n] = substr(rest, RSTART, RLENGTH)
        rest = substr(rest, RSTART + RLENGTH)
    }
    gap[n] = rest
    return n
}

function abs(x) { return x < 0 ? -x : x }

# Half a unit of the last digit written in the text of a number.
function half_unit(text,    mantissa, exponent, e, dot, places) {
    mantissa = text; exponent = 0
    e = match(text, /[eE]/)
    if (e) { mantissa = substr(text, 1, e - 1); exponent = substr(text, e + 1) + 0 }
    dot = index(mantissa, ".")
    places = dot ? length(mantissa) - dot : 0
    return 0.5 * 10 ^ (exponent - places)
}

function report(why) { printf "line %d: %s\n  page:    %s\n  printed: %s\n", FNR, why, expected[FNR], $0; bad = 1 }

NR == FNR { expected[FNR] = $0; lines = FNR; next }
{
    if (!(FNR in expected)) { report("a line more than the page"); next }
    n = split_numbers(expected[FNR], en, eg)
    m = split_numbers($0, an, ag)
    if (n != m) { report("other text"); next }
    for (k = 0; k <= n; k++) {
        gsub(/  +/, " ", eg[k]); gsub(/  +/, " ", ag[k])
        if (eg[k] != ag[k]) { report("other text"); next }
    }
    for (k = 1; k <= n; k++) {
        paired = k < n && (eg[k] == " ± " || eg[k] == ", \"error\": ")
        if (paired) {
            ev = en[k] + 0; av = an[k] + 0; eb = abs(en[k + 1] + 0); ab = abs(an[k + 1] + 0)
            if (abs(ev - av) > eb + ab + half_unit(en[k])) report(en[k] " ± " en[k + 1] " and " an[k] " ± " an[k + 1] " are apart by more than their bars")
            else if (ab > 3 * eb + half_unit(en[k + 1]) || eb > 3 * ab + half_unit(an[k + 1])) report("the bar " en[k + 1] " became " an[k + 1])
            k++
        } else if (abs(en[k] - an[k]) > 1e-6 * abs(en[k]) + half_unit(en[k])) {
            report(en[k] " became " an[k])
        }
    }
}
END {
    if (FNR < lines) { printf "the page shows %d lines more\n", lines - FNR; bad = 1 }
    exit bad
}
