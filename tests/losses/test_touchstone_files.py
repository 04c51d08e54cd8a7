"""The Touchstone files of uniform lines, read back by scikit-rf: the reader takes them, and the
matrices it reads are reciprocal, passive, and on a matched lossless line a pure delay."""
import json
import math
import os
import subprocess

import numpy as np
import pytest
import skrf

WRITER = os.environ["PLATTOR_LINE_WRITER"]
FREQUENCIES = [1e6, 3.7e8, 1e9, 2.45e9, 12.5e9, 40e9]


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


def written(tmp_path, name, length, z0, values):
    path = tmp_path / name
    subprocess.run([WRITER, str(path), repr(length), repr(z0), ",".join(map(repr, FREQUENCIES))]
                   + [repr(v) for v in values], check=True)
    return read(path)


# Per metre: R, L, G, C (and for a pair the mutual R12, L12, G12, C12).
LOSSY_SINGLE = [17.3, 3.07e-7, 3.1e-4, 1.21e-10]
LOSSY_PAIR = [23.1, 3.31e-7, 2.4e-3, 1.37e-10, 4.7, 0.62e-7, -0.5e-3, -0.21e-10]


@pytest.mark.parametrize("name,values,ports", [("single.s2p", LOSSY_SINGLE, 2), ("pair.s4p", LOSSY_PAIR, 4)])
def test_lossy_lines_are_reciprocal_and_passive(tmp_path, name, values, ports):
    network = written(tmp_path, name, 0.217, 50.0, values)
    assert network.s.shape == (len(FREQUENCIES), ports, ports)
    assert np.allclose(network.f, FREQUENCIES, rtol=1e-15, atol=0)
    for s in network.s:
        assert np.max(np.abs(s - s.T)) <= 1e-15
        largest = np.linalg.svd(s, compute_uv=False)[0]
        assert largest < 1.0


@pytest.mark.parametrize("length", [0.0123, 0.5, 37.0])
def test_matched_lossless_line_is_a_pure_delay(tmp_path, length):
    z0, c = 50.0, 1.29e-10
    l = z0 * z0 * c
    network = written(tmp_path, "matched.s2p", length, z0, [0.0, l, 0.0, c])
    for f, s in zip(network.f, network.s):
        beta_length = 2 * math.pi * f * math.sqrt(l * c) * length
        assert abs(abs(s[1, 0]) - 1.0) <= 1e-12
        assert abs(s[0, 0]) <= 1e-12
        assert abs(s[1, 0] - complex(math.cos(beta_length), -math.sin(beta_length))) <= 1e-13 * (1 + beta_length)


def lines(tmp_path, *arguments):
    run = subprocess.run([os.environ["PLATTOR_LINES"], *arguments], cwd=tmp_path, capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    return run.stdout


def test_program_line_without_loss_is_its_printed_delay(tmp_path):
    """A strip of no thickness on a lossless substrate has no loss at all: matched to its own
    impedance, the file plattor-lines writes is a pure delay of the length times the delay it prints."""
    structure = ["microstrip", "--w", "0.31mm", "--h", "0.17mm", "--er", "3.66"]
    report = json.loads(lines(tmp_path, *structure, "--freq", "2.45GHz", "--json"))
    impedance = report["losses"][0]["impedanceReal"]["value"]
    delay = report["losses"][0]["delay"]["value"]
    assert abs(report["losses"][0]["impedanceImaginary"]["value"]) <= 1e-12 * impedance
    length = 0.0437
    lines(tmp_path, *structure, "--freq", "2.45GHz", "--length", "43.7mm", "--touchstone", "line.s2p",
          "--z-ref", repr(impedance))
    network = read(tmp_path / "line.s2p")
    s21 = network.s[0, 1, 0]
    assert abs(abs(s21) - 1.0) <= 1e-12
    phase = 2 * math.pi * 2.45e9 * delay * length
    assert abs(s21 - complex(math.cos(phase), -math.sin(phase))) <= 1e-12


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
