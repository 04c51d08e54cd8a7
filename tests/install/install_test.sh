#!/usr/bin/env bash
# Installs a build into a scratch prefix, moves the prefix away, and runs the installed tools on
# the example in a directory outside the source and build trees, with only the installed
# bin/ added to PATH: what a user who ran `cmake --install` gets.
# Usage: install_test.sh <cmake> <build-dir> <config> <version> <source-dir>
set -u

if [ $# -ne 5 ]; then
    echo "usage: $0 <cmake> <build-dir> <config> <version> <source-dir>" >&2
    exit 2
fi
cmake=$1 build=$2 config=$3 version=$4 src=$5
reference=$src/tests/reference/typical

. "$(dirname "$0")/../support/checks.sh"

# --- the install itself ---
config_args=()
[ -n "$config" ] && config_args=(--config "$config")
"$cmake" --install "$build" --prefix "$work/prefix" "${config_args[@]}" >"$work/install.log" 2>&1
rc=$?
[ "$rc" -eq 0 ] || cat "$work/install.log"
result "$rc" "cmake --install into a scratch prefix"

# A prefix moved after the install must still work: nothing may point back at where it was
# installed, built or checked out.
mv "$work/prefix" "$work/moved"
prefix=$work/moved
bin=$prefix/bin

ok=0
for tool in plattor plattor-lines plattor-plot-fields; do
    [ -f "$bin/$tool" ] && [ -x "$bin/$tool" ] || { echo "missing or not executable: bin/$tool"; ok=1; }
done
result $ok "plattor, plattor-lines and plattor-plot-fields are executables in bin/"

cmp -s "$src/README.md" "$prefix/share/doc/plattor/README.md"
result $? "README.md is installed unchanged into share/doc/plattor"

ok=0
for page in "$src"/docs/*.md; do
    cmp -s "$page" "$prefix/share/doc/plattor/docs/${page##*/}" || { echo "not installed: docs/${page##*/}"; ok=1; }
done
result $ok "the pages of docs/ that README links to are installed beside it"

! grep -qF -e "$src" -e "$build" -e '@PROJECT_VERSION@' "$bin/plattor-plot-fields" 2>/dev/null &&
    [ -f "$bin/plattor-plot-fields" ]
result $? "the installed plotter names neither the source nor the build tree and carries its version"

# --- the example, run by name from the installed bin/ in a directory of its own ---
run=$work/elsewhere
mkdir "$run"
cp "$src/examples/indata3.txt" "$run/"
export PATH="$bin:$PATH"

[ "$(command -v plattor)" = "$bin/plattor" ] && [ "$(command -v plattor-lines)" = "$bin/plattor-lines" ]
result $? "the tools on PATH are the installed ones"

(cd "$run" && plattor >"$work/console" 2>"$work/console.err")
rc=$?
[ "$rc" -eq 0 ] && [ ! -s "$work/console.err" ]
result $? "plattor exits 0 with nothing on stderr (exit $rc)"

# The console against the independent reference: the same 14 lines, numbers within 2e-5
# relative, everything else word for word.
awk 'function isnum(s) { return s ~ /^[-+]?[0-9.]+([eE][-+]?[0-9]+)?$/ }
     function near(a, b) { d = a - b; if (d < 0) d = -d; m = b < 0 ? -b : b; return d <= 2e-5 * m + 1e-12 }
     FNR == NR { ref[FNR] = $0; nref = FNR; next }
     { n = FNR
       if (n > nref) { bad = 1; next }
       k = split(ref[n], r, " "); j = split($0, o, " ")
       if (k != j) { print "line " n ": \"" $0 "\", expected \"" ref[n] "\""; bad = 1; next }
       for (i = 1; i <= k; i++)
           if (isnum(r[i]) ? !(isnum(o[i]) && near(o[i] + 0, r[i] + 0)) : o[i] != r[i]) {
               print "line " n ": \"" $0 "\", expected \"" ref[n] "\""; bad = 1; next }
     }
     END { if (n != nref) print FILENAME ": " n " lines, expected " nref; exit bad || n != nref }' \
    "$reference/console.txt" "$work/console"
result $? "plattor prints the 14 lines of the example, matching the reference"

# Rows and numbers per row of a table (-1 when the rows differ).
shape() { awk 'NF { rows++; if (!cols) cols = NF; else if (NF != cols) cols = -1 } END { print rows, cols }' "$1"; }
ok=0
for f in hfield3.dat exfield3.dat eyfield3.dat; do
    [ -s "$run/$f" ] && [ "$(shape "$run/$f")" = "$(shape "$reference/$f")" ] ||
        { echo "$f: missing, or its grid differs from the reference"; ok=1; }
done
result $ok "plattor writes the three field tables on the reference's grid"

(cd "$run" && plattor-lines >"$work/lines" 2>"$work/lines.err")
rc=$?
# Its value at plattor's own segment count is plattor's console line 11.
plattor_c12=$(awk 'NR == 11 { print $(NF - 1) }' "$work/console")
awk -v c="$plattor_c12" '/^strip-to-strip capacitance \(N = / { v = $(NF - 3); found = 1 }
    END { d = v - c; if (d < 0) d = -d; exit !(found && c > 0 && d <= 1e-4 * c) }' "$work/lines"
ok=$?
[ "$rc" -eq 0 ] && [ "$ok" -eq 0 ]
result $? "plattor-lines exits 0 (exit $rc) and gives plattor's strip-to-strip capacitance at its N"

# --- versions: the project's, as CMake knows it ---
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]]
result $? "the project version \"$version\" reads major.minor.patch"
out=$(cd "$run" && plattor-lines --version 2>&1)
[ "$out" = "plattor-lines $version" ]
result $? "plattor-lines --version prints \"plattor-lines $version\" (got \"$out\")"
out=$(cd "$run" && plattor-plot-fields --version 2>&1)
[ "$out" = "plattor-plot-fields $version" ]
result $? "plattor-plot-fields --version prints \"plattor-plot-fields $version\" (got \"$out\")"

# --- the picture, where gnuplot is there to draw it ---
if command -v "${GNUPLOT:-gnuplot}" >/dev/null 2>&1; then
    (cd "$run" && plattor-plot-fields >/dev/null 2>"$work/plot.err")
    rc=$?
    [ "$rc" -eq 0 ] || cat "$work/plot.err"
    sig=$(od -An -tx1 -N8 "$run/fields.png" 2>/dev/null | tr -d ' \n')
    [ "$rc" -eq 0 ] && [ "$sig" = 89504e470d0a1a0a ] && [ "$(wc -c <"$run/fields.png")" -gt 10240 ]
    result $? "plattor-plot-fields draws fields.png of the example"
else
    echo "gnuplot is not installed: the installed plotter draws nothing here"
fi

summary
