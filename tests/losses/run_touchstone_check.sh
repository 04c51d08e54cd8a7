#!/usr/bin/env bash
# Reads the line's Touchstone files back with scikit-rf under pytest. Each python3 on PATH is
# tried (Debian's python3-scikit-rf and python3-pytest are /usr/bin/python3's); where none has
# both, the check skips, saying which is missing.
# Usage: run_touchstone_check.sh <source-dir> <plattor-lines>
set -u
src=$1 lines=$2
has() { "$1" -c "import $2" >/dev/null 2>&1; }
runner= with_pytest=
for candidate in $(type -ap python3); do
    has "$candidate" pytest && with_pytest=$candidate || continue
    if has "$candidate" skrf; then
        runner=$candidate
        break
    fi
done
if [ -z "$with_pytest" ]; then
    echo "SKIPPED: pytest is not installed for any python3 on PATH (Debian package python3-pytest)"
    exit 0
fi
if [ -z "$runner" ]; then
    echo "SKIPPED: scikit-rf, the independent Touchstone reader, is not installed for any python3 with pytest (Debian package python3-scikit-rf)"
    exit 0
fi
cd "$src/tests/losses" || exit 2
PLATTOR_LINES=$lines exec "$runner" -m pytest -q -rs -p no:cacheprovider test_touchstone_files.py
