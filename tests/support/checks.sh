# Sourced by the shell tests: a scratch directory $work removed on exit, `result <status>
# <description>` to record one check, and `summary` to print the count and end the script
# with failure if any check failed.
work=$(mktemp -d) || exit 2
trap 'rm -rf "$work"' EXIT

passed=0
failed=0
result() {   # result <ok 0/1> <description>
    if [ "$1" -eq 0 ]; then echo "PASS  $2"; passed=$((passed + 1))
    else echo "FAIL  $2"; failed=$((failed + 1)); fi
}

summary() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
