#!/usr/bin/env bash
# Runs the Python module's tests with pytest, the built module first on PYTHONPATH. pytest may be
# installed for another interpreter of the same Python version than the one the module was built
# for (Debian's python3-pytest is /usr/bin/python3's): each python3 on PATH is tried.
# Usage: run_pytest.sh <python> <module-dir> <source-dir>   (<python> empty: no module built)
set -u
python=$1 module_dir=$2 src=$3

if [ -z "$python" ]; then
    echo "SKIPPED: the Python module was not built (pybind11 or Python's headers missing)"
    exit 0
fi
version() { "$1" -c 'import sys; print("%d.%d" % sys.version_info[:2])' 2>/dev/null; }
built=$(version "$python")
runner=
for candidate in "$python" $(type -ap python3 "python$built"); do
    if [ "$(version "$candidate")" = "$built" ] && "$candidate" -c 'import pytest' 2>/dev/null; then
        runner=$candidate
        break
    fi
done
if [ -z "$runner" ]; then
    echo "SKIPPED: pytest is not installed for Python $built (Debian package python3-pytest)"
    exit 0
fi
cd "$src/tests/python" || exit 2
PYTHONPATH=$module_dir${PYTHONPATH:+:$PYTHONPATH} PLATTOR_README=$src/README.md \
    exec "$runner" -m pytest -q -s -rs -p no:cacheprovider test_plattor.py
