#!/usr/bin/env bash
# The library and the Python module as another project gets them: `cmake --install` into a
# scratch prefix, the prefix moved away, then
#   cpp     the installed example (share/doc/plattor/examples/library) configured with
#           find_package(plattor) against the prefix, built, and run on the structures below;
#   python  `python3 -c "import plattor; …"` with PYTHONPATH the prefix's site-packages;
# each giving what the installed plattor-lines --json gives on the same structures, to the byte,
# and the same one-line message for bad input.
# <cxx-flags> are the build's: a program over a sanitized library is built with its flags.
# Usage: library_test.sh cpp|python <cmake> <build-dir> <config> <cxx-flags> [<python> <module-dir>]
set -u

if [ $# -lt 5 ]; then
    echo "usage: $0 cpp|python <cmake> <build-dir> <config> <cxx-flags> [<python> <module-dir>]" >&2
    exit 2
fi
mode=$1 cmake=$2 build=$3 config=$4 cxx_flags=$5 python=${6:-} module_dir=${7:-}

. "$(dirname "$0")/../support/checks.sh"

if [ "$mode" = python ] && [ -z "$python" ]; then
    echo "SKIPPED: the Python module was not built (pybind11 or Python's headers missing)"
    exit 0
fi

config_args=()
[ -n "$config" ] && config_args=(--config "$config")
"$cmake" --install "$build" --prefix "$work/prefix" "${config_args[@]}" >"$work/install.log" 2>&1
rc=$?
[ "$rc" -eq 0 ] || cat "$work/install.log"
result "$rc" "cmake --install into a scratch prefix"
# Nothing may point back at where it was installed or built.
mv "$work/prefix" "$work/moved"
prefix=$work/moved
lines=$prefix/bin/plattor-lines

# The structures: option=value as the example takes them, the same as plattor-lines' --option
# value and as Python's keyword option=value (text where it carries a unit, else a number).
structures=(
    "microstrip w=0.1mm h=0.1mm er=4.3"
    "microstrip w=1 w-top=0.8 t=0.3 s=1.5 h=1 er=4.4 mask=0.2 mask-er=3.3"
    "stripline w=5mil s=6mil h=8mil b=20mil er=3.6 er-top=4"
    "coplanar w=0.3 g=0.15 ground-width=1 h=0.2 er=4.4"
)
# The same mistake in each front end: a microstrip without its permittivity.
bad="microstrip w=1 h=1"

cli_args() {  # microstrip w=1 … -> microstrip --w 1 …
    local kind=$1 o
    shift
    printf '%s\n' "$kind"
    for o in "$@"; do printf -- '--%s\n%s\n' "${o%%=*}" "${o#*=}"; done
}
python_call() {  # microstrip w=1 w-top=0.1mm … -> plattor.microstrip(w=1, w_top='0.1mm', …)
    local kind=$1 o key value args=()
    shift
    for o in "$@"; do
        key=${o%%=*} value=${o#*=}
        [[ $value =~ ^[0-9.eE+-]+$ ]] || value="'$value'"
        args+=("${key//-/_}=$value")
    done
    local IFS=,
    printf 'plattor.%s(%s)' "$kind" "${args[*]}"
}

# What the installed plattor-lines says of each: the reference.
for k in "${!structures[@]}"; do
    # shellcheck disable=SC2086  # the words of a structure are its arguments
    mapfile -t args < <(cli_args ${structures[k]})
    "$lines" "${args[@]}" --json >"$work/cli$k.json" 2>&1
    result $? "plattor-lines ${args[*]} --json"
done
# shellcheck disable=SC2086
mapfile -t args < <(cli_args $bad)
"$lines" "${args[@]}" >/dev/null 2>"$work/cli.err"
message=$(sed 's/^plattor-lines: //' "$work/cli.err")

if [ "$mode" = cpp ]; then
    example=$prefix/share/doc/plattor/examples/library
    [ -f "$prefix/include/plattor/lines.hpp" ] && [ -f "$prefix/lib/cmake/plattor/plattorConfig.cmake" ] &&
        [ -f "$prefix/lib/cmake/plattor/plattorConfigVersion.cmake" ] && [ -f "$example/CMakeLists.txt" ]
    result $? "the header, the CMake package and the example are installed"
    internal=$(cd "$prefix/include" && find . -name '*.hpp' ! -path './plattor/*')
    [ -z "$internal" ]
    result $? "no internal header is installed${internal:+: $internal}"

    "$cmake" -S "$example" -B "$work/example" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CXX_FLAGS="$cxx_flags" \
        >"$work/example.log" 2>&1 && "$cmake" --build "$work/example" >>"$work/example.log" 2>&1
    rc=$?
    [ "$rc" -eq 0 ] || cat "$work/example.log"
    result "$rc" "the example builds against the moved prefix with find_package(plattor)"
    report=$work/example/line_report

    for k in "${!structures[@]}"; do
        s=${structures[k]}
        cp "$work/cli$k.json" "$work/cli.json"
        # shellcheck disable=SC2086
        "$report" $s --json >"$work/lib.json" 2>&1
        cmp -s "$work/cli.json" "$work/lib.json"
        result $? "line_report $s --json is plattor-lines' JSON to the byte"
        # Its own table, "key value error": each number the JSON's, every JSON quantity there.
        # shellcheck disable=SC2086
        "$report" $s >"$work/lib.txt" 2>&1
        awk 'FNR == NR {
                 if (match($0, /^  "[A-Za-z]+": \{"value": [^,]+, "error": [^}]+\}/)) {
                     split($0, w, /[":,{} ]+/); value[w[2]] = w[4]; error[w[2]] = w[6]; n++ }
                 next }
             { seen[$1] = 1
               if (!($1 in value)) { if ($1 !~ /^maxwell/) { print "not in the JSON: " $1; bad = 1 } }
               else if ($2 + 0 != value[$1] + 0 || $3 + 0 != error[$1] + 0) {
                   print $1 ": " $2 " ± " $3 ", the JSON " value[$1] " ± " error[$1]; bad = 1 } }
             END { for (k in value) if (!(k in seen)) { print "missing: " k; bad = 1 }
                   exit bad || n == 0 }' "$work/cli.json" "$work/lib.txt"
        result $? "line_report $s: every quantity with the JSON's value and error"
    done

    # shellcheck disable=SC2086
    "$report" $bad >/dev/null 2>"$work/lib.err"
    rc=$?
    [ "$rc" -eq 1 ] && [ "$(sed 's/^line_report: //' "$work/lib.err")" = "$message" ] &&
        [ "$(wc -l <"$work/lib.err")" -eq 1 ]
    result $? "a missing permittivity: plattor::Error with plattor-lines' line ($(cat "$work/lib.err"))"
else
    site=$prefix/$module_dir
    ls "$site"/plattor*.so >/dev/null 2>&1
    result $? "the module is installed in $module_dir"
    export PYTHONPATH=$site
    out=$(cd "$work" && "$python" -c 'import plattor; print(plattor.__file__)' 2>&1)
    [[ $out == "$site"/* ]]
    result $? "python3 -c \"import plattor\" imports the installed module ($out)"

    for k in "${!structures[@]}"; do
        # shellcheck disable=SC2086
        call=$(python_call ${structures[k]})
        (cd "$work" && "$python" -c "import plattor; print($call.json())") >"$work/py.json" 2>&1
        cmp -s "$work/cli$k.json" "$work/py.json"
        result $? "$call.json() is plattor-lines' JSON to the byte"
        # (its quantities and as_dict() are the JSON's: tests/python)
    done

    # shellcheck disable=SC2086
    call=$(python_call $bad)
    out=$(cd "$work" && "$python" -c "
import plattor
try:
    $call
except plattor.Error as e:
    print(e)" 2>&1)
    [ "$out" = "$message" ]
    result $? "a missing permittivity: plattor.Error with plattor-lines' line ($out)"
fi

summary
