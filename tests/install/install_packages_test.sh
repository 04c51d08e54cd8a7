#!/usr/bin/env bash
# shellcheck disable=SC2016  # the stubs' bodies expand their variables when they run, not here
# tools/install-packages against stand-ins for dpkg-query, apt-get, sudo, id, locale and
# localedef that log what they were asked: who installs what, and otherwise what to run.
# Usage: install_packages_test.sh <install-packages>
set -u
script=$1
work=$(mktemp -d) || exit 2
trap 'rm -rf "$work"' EXIT
fake=$work/bin
mkdir "$fake"
for tool in env grep true; do ln -s "$(type -P "$tool")" "$fake/$tool"; done
stub() { printf '#!%s\n%s\n' "$BASH" "$2" >"$fake/$1"; chmod +x "$fake/$1"; }
stub dpkg-query 'for p in $FAKE_MISSING; do [ "$p" = "${@: -1}" ] && exit 1; done; echo "install ok installed"'
stub id 'echo "$FAKE_UID"'
stub locale 'printf "%s\n" C C.utf8 $FAKE_LOCALES'
stub apt-get 'echo "apt-get $* [$DEBIAN_FRONTEND]" >>"$LOG"'
stub localedef 'echo "localedef $*" >>"$LOG"'

passed=0 failed=0
# check <description> <mode> <uid> <sudo: yes/password/no> <missing packages> <locales> <exit> <stderr> <log>
# stderr and log are the exact texts expected ("" for none); $AGAIN, if set, is the COMMAND argument.
check() {
    local name=$1 rc
    rm -f "$fake/sudo" "$work/log"; touch "$work/log"
    [ "$4" = yes ] && stub sudo '[ "$1" = -n ] && shift; echo "sudo:" >>"$LOG"; exec "$@"'
    [ "$4" = password ] && stub sudo '[ "$1" = -n ] && exit 1; exec "$@"'
    (export PATH=$fake LOG=$work/log FAKE_UID=$3 FAKE_MISSING=$5 FAKE_LOCALES=$6
     "$BASH" "$script" "$2" ${AGAIN:+"$AGAIN"} >"$work/out" 2>"$work/err")
    rc=$?
    if [ "$rc" = "$7" ] && [ "$(cat "$work/err")" = "$8" ] && [ "$(cat "$work/log")" = "$9" ]; then
        echo "PASS  $name"; passed=$((passed + 1))
    else
        echo "FAIL  $name: exit $rc, stderr \"$(cat "$work/err")\", log \"$(cat "$work/log")\""
        failed=$((failed + 1))
    fi
}
lines() { printf '%s\n' "$@"; }
all_locales="de_DE.utf8 sv_SE.UTF-8"
p=install-packages

check "all there: silent, nothing run" test 1000 no "" "$all_locales" 0 "" ""
check "user without sudo, GoogleTest missing: what to run as root, exit 1" \
    test 1000 no "libgtest-dev gnuplot-nox" "$all_locales" 1 "$(lines \
    "$p: missing libgtest-dev gnuplot-nox; without libgtest-dev the tests cannot be built. To install, run as root (there is no sudo here):" \
    "    apt-get update" "    apt-get install -y libgtest-dev gnuplot-nox" 'then run `make test` again.')" ""
check "user whose sudo asks a password, only gnuplot missing: the commands through sudo, the tests run" \
    test 1000 password "gnuplot-nox" "$all_locales" 0 "$(lines \
    "$p: missing gnuplot-nox; until then the tests that need them skip, saying why. To install, run:" \
    "    sudo apt-get update" "    sudo apt-get install -y gnuplot-nox" 'then run `make test` again.')" ""
check "user without sudo and without a comma locale: the locale named, the tests run" \
    test 1000 no "" "" 0 "$(lines \
    "$p: missing a locale with a decimal comma (de_DE.UTF-8 or sv_SE.UTF-8); until then the tests that need them skip, saying why. To install, run as root (there is no sudo here):" \
    "    localedef -i de_DE -f UTF-8 de_DE.UTF-8" 'then run `make test` again.')" ""
check "user with one comma locale: nothing asked, the tests that need one run" test 1000 no "" "sv_SE.utf8" 0 "" ""
check "root installs exactly the missing packages, non-interactively" test 0 no "libgtest-dev strace" "$all_locales" 0 "" \
    "$(lines 'apt-get update -qq [noninteractive]' 'apt-get install -y -qq libgtest-dev strace [noninteractive]')"
check "user with sudo installs through it" test 1000 yes "libbenchmark-dev" "$all_locales" 0 "" \
    "$(lines sudo: sudo: 'apt-get update -qq [noninteractive]' sudo: 'apt-get install -y -qq libbenchmark-dev [noninteractive]')"
check "root generates the missing comma locale only" test 0 no "" "sv_SE.utf8" 0 "" "localedef -i de_DE -f UTF-8 de_DE.UTF-8"
check "ci: valgrind is required, and .ci/run is what to run again" ci 1000 no "valgrind" "$all_locales" 1 "$(lines \
    "$p: missing valgrind; without valgrind the tests cannot be built. To install, run as root (there is no sudo here):" \
    "    apt-get update" "    apt-get install -y valgrind" 'then run `.ci/run` again.')" ""
AGAIN="make sanitize" check "the command to run again is the caller's" test 1000 no "libgtest-dev" "$all_locales" 1 "$(lines \
    "$p: missing libgtest-dev; without libgtest-dev the tests cannot be built. To install, run as root (there is no sudo here):" \
    "    apt-get update" "    apt-get install -y libgtest-dev" 'then run `make sanitize` again.')" ""
check "test does not ask for valgrind" test 1000 no "valgrind clang" "$all_locales" 0 "" ""
check "ci: the web page's packages are required" ci 1000 no "emscripten chromium-driver" "$all_locales" 1 "$(lines \
    "$p: missing emscripten chromium-driver; without emscripten chromium-driver the tests cannot be built. To install, run as root (there is no sudo here):" \
    "    apt-get update" "    apt-get install -y emscripten chromium-driver" 'then run `.ci/run` again.')" ""
check "an unknown group is refused" all 0 no "" "$all_locales" 2 "usage: $p test|ci [COMMAND]" ""

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
