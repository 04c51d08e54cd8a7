#!/usr/bin/env bash
# Runs plattor on both reference inputs in scratch directories, then tests the field picture
# drawn from what it wrote.
# Usage: plot_after_run.sh <plattor> <plattor-plot-fields> <plot_fields_test.sh> <reference-dir>
set -eu
plattor=$1 plot=$2 suite=$3 reference=$4
if ! command -v "${GNUPLOT:-gnuplot}" >/dev/null 2>&1; then
    echo "SKIPPED: gnuplot is not installed (apt-get install gnuplot-nox)"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for case in typical coplanar; do
    mkdir "$work/$case"
    cp "$reference/$case/indata3.txt" "$work/$case/"
    (cd "$work/$case" && "$plattor" >/dev/null)
done
bash "$suite" "$plot" "$work/typical" "$work/coplanar"
