#!/usr/bin/env bash
# Runs a test of the web page: the module under Node (node), or the page in headless Chromium
# through Selenium (browser). Where what it needs is not installed it says so and skips; the
# packages are those tools/install-packages installs.
# Usage: run_web_test.sh node|browser <emscripten: yes|no> <web-dir> <plattor-lines> <source-dir>
set -u
test=$1 emscripten=$2 web=$3 lines=$4 src=$5

if [ -n "${PLATTOR_WEB_TESTS_SKIP:-}" ]; then
    echo "SKIPPED: $PLATTOR_WEB_TESTS_SKIP"
    exit 0
fi
if [ "$emscripten" != yes ]; then
    echo "SKIPPED: Emscripten is not installed, so there is no web page to test (Debian package emscripten)"
    exit 0
fi
if [ ! -f "$web/plattor.wasm" ]; then
    echo "the web page was not built: $web/plattor.wasm is missing" >&2
    exit 1
fi
case $test in
    node)
        if ! command -v node >/dev/null 2>&1; then
            echo "SKIPPED: Node.js is not installed (Debian package nodejs)"
            exit 0
        fi
        exec node "$src/tests/web/module_test.js" "$web" "$lines" "$src/README.md"
        ;;
    browser)
        for tool in chromium chromedriver; do
            if ! command -v $tool >/dev/null 2>&1; then
                echo "SKIPPED: $tool is not installed (Debian packages chromium chromium-driver)"
                exit 0
            fi
        done
        # Debian's python3-selenium is /usr/bin/python3's: each python3 on PATH is tried.
        for python in $(type -ap python3); do
            if "$python" -c 'import selenium' 2>/dev/null; then
                exec "$python" "$src/tests/web/browser_test.py" "$web" "$lines"
            fi
        done
        echo "SKIPPED: Selenium is not installed for Python 3 (Debian package python3-selenium)"
        exit 0
        ;;
esac
echo "usage: $0 node|browser yes|no <web-dir> <plattor-lines> <source-dir>" >&2
exit 2
