"""The Touchstone files plattor-lines writes, read back by scikit-rf: the reader takes them, and the
matrices it reads are reciprocal, passive, and on a matched lossless line a pure delay."""
import json
import math
import os
import subprocess

import numpy as np
import pytest
import skrf



def read(path):
    try:
        return skrf.Network(str(path))
    except ValueError as error:
        if "[two-port" not in str(error):
            raise
    # A scikit-rf older than Touchstone 2.0's [Two-Port Data Order] (Debian 12 ships 0.15.4)
    # reads the rest once that line is gone, taking the pairs in the 1.0 order 11 21 12 22. The
    # file's order is 12_21; the lines here are reciprocal, S12 = S21, so both orders agree.
    kept = [line for line in path.read_text().splitlines(True)
            if not line.lower().startswith("[two-port data order]")]
    assert len(kept) == len(path.read_text().splitlines(True)) - 1
    older = path.parent / ("older_" + path.name)
    older.write_text("".join(kept))
    return skrf.Network(str(older))


def lines(tmp_path, *arguments):
    run = subprocess.run([os.environ["PLATTOR_LINES"], *arguments], cwd=tmp_path, capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    return run.stdout


@pytest.mark.parametrize("length,text", [(0.0437, "43.7mm"), (37.0, "37m")])
def test_program_line_without_loss_is_its_printed_delay(tmp_path, length, text):
    """A strip of no thickness on a lossless substrate has no loss at all: matched to its own
    impedance, the file plattor-lines writes is a pure delay of the length times the delay it prints."""
    structure = ["microstrip", "--w", "0.31mm", "--h", "0.17mm", "--er", "3.66"]
    report = json.loads(lines(tmp_path, *structure, "--freq", "2.45GHz", "--json"))
    impedance = report["losses"][0]["impedanceReal"]["value"]
    delay = report["losses"][0]["delay"]["value"]
    assert abs(report["losses"][0]["impedanceImaginary"]["value"]) <= 1e-12 * impedance
    lines(tmp_path, *structure, "--freq", "2.45GHz", "--length", text, "--touchstone", "line.s2p",
          "--z-ref", repr(impedance))
    network = read(tmp_path / "line.s2p")
    s21 = network.s[0, 1, 0]
    assert abs(abs(s21) - 1.0) <= 1e-12
    phase = 2 * math.pi * 2.45e9 * delay * length
    assert abs(s21 - complex(math.cos(phase), -math.sin(phase))) <= 1e-12 * (1 + phase)
    assert abs(network.s[0, 0, 0]) <= 1e-12


def test_program_lossy_pair_is_reciprocal_and_passive(tmp_path):
    lines(tmp_path, "microstrip", "--w", "0.1mm", "--t", "35um", "--s", "0.12mm", "--h", "0.1mm", "--er", "4.3",
          "--mask", "20um", "--mask-er", "3.5", "--tand", "0.02", "--mask-tand", "0.025", "--roughness", "huray",
          "--rz", "4um", "--freq", "10MHz:20GHz:9", "--length", "0.1m", "--touchstone", "pair.s4p")
    network = read(tmp_path / "pair.s4p")
    assert network.s.shape == (9, 4, 4)
    for s in network.s:
        assert np.max(np.abs(s - s.T)) <= 1e-15
        assert np.linalg.svd(s, compute_uv=False)[0] < 1.0
    # Port order: 1, 2 the near ends of the left and right trace, 3, 4 their far ends.
    assert abs(network.s[0, 2, 0]) > 0.9 and abs(network.s[0, 3, 1]) > 0.9
