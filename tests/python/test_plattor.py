"""The Python module as a user meets it: the three structures and their quantities, their losses,
bad input refused with plattor-lines' messages, threads that solve side by side, and README's
examples."""
import cmath
import json
import math
import os
import pathlib
import pickle
import re
import signal
import subprocess
import sys
import time
from concurrent.futures import ProcessPoolExecutor, ThreadPoolExecutor

import pytest

import plattor

SINGLE = ["capacitance", "capacitanceInAir", "effectivePermittivity", "impedance", "inductance", "delay"]

STRUCTURES = {
    "microstrip": (plattor.microstrip, dict(w="0.1mm", h="0.1mm", er=4.3, t="35um", mask="20um", mask_er=3.5)),
    "stripline pair": (plattor.stripline, dict(w=5, s=6, h=8, b=20, er=3.6, er_top=4)),
    "coplanar pair": (plattor.coplanar, dict(w=0.3, s=0.2, g=0.15, h=0.2, er=4.4, t=0.035)),
}

# A masked microstrip pair with lossy dielectrics, as keywords and as plattor-lines' options.
LOSSY_PAIR = dict(w="0.11mm", s="0.13mm", h="0.09mm", t="17um", er=4.1, tand=0.018, mask="23um", mask_er=3.4,
                  mask_tand=0.027)
LOSSY_PAIR_OPTIONS = ["microstrip", "--w", "0.11mm", "--s", "0.13mm", "--h", "0.09mm", "--t", "17um", "--er", "4.1",
                      "--tand", "0.018", "--mask", "23um", "--mask-er", "3.4", "--mask-tand", "0.027"]
TRACE = dict(w="0.1mm", h="0.1mm", t="35um", er=4.3)


def lines_json(*arguments):
    """What plattor-lines --json says, as Python objects."""
    program = os.environ.get("PLATTOR_LINES")
    if not program:
        pytest.skip("PLATTOR_LINES is not set: no plattor-lines to compare with")
    run = subprocess.run([program, *arguments, "--json"], capture_output=True, text=True, check=True)
    return json.loads(run.stdout)


@pytest.mark.parametrize("name", STRUCTURES)
def test_structures_report_every_quantity_with_its_bar(name):
    solve, options = STRUCTURES[name]
    r = solve(**options)
    assert (r.keys() == SINGLE) == (name == "microstrip")
    report = r.as_dict()
    for q in r.quantities:
        assert getattr(r, q.key) is not None and r[q.key].value == q.value and q.key in r
        assert math.isfinite(q.value) and 0 < q.error < 1e-5 * abs(q.value), q
        if "maxwell" not in q.key:
            assert report[q.key] == {"value": q.value, "error": q.error}
    assert len(str(r).splitlines()) == len(r.keys())
    assert pickle.loads(pickle.dumps(r)).json() == r.json()
    if name != "microstrip":
        assert r.differentialImpedance.value == 2 * r.oddModeImpedance.value
        assert report["maxwellMatrix"]["value"][0][1] == r.maxwell12.value


def test_a_cross_section_dictionary_is_the_structure_it_describes_and_any_board_besides(tmp_path):
    # The microstrip as a dictionary: the same quantities to the last bit.
    board = {"unit": "mm", "layers": [{"name": "core", "thickness": 0.1, "er": 4.3}],
             "conductors": [{"name": "s", "trace": {"on": "core", "width": 0.1, "thickness": 0.035}}],
             "coating": {"thickness": 0.02, "er": 3.5}}
    line = plattor.microstrip(**STRUCTURES["microstrip"][1])
    r = plattor.cross_section(board)
    assert r.kind == "cross-section" and r.keys() == SINGLE
    assert [(q.value, q.error) for q in r.quantities] == [(q.value, q.error) for q in line.quantities]
    # Its losses alike, the areas behind the DC resistance taken in millimetres here: to rounding.
    lossy = plattor.cross_section(board, freq=[1e9, 5e9], sigma=4.7e7)
    line = plattor.microstrip(**STRUCTURES["microstrip"][1], freq=[1e9, 5e9], sigma=4.7e7)
    assert lossy.kind == "cross-section" and lossy.keys() == SINGLE
    for drawn, structure in zip(lossy.losses, line.losses):
        assert drawn.keys() == structure.keys() and drawn.frequency == structure.frequency
        assert [q.value for q in drawn.modes[0]] == pytest.approx([q.value for q in structure.modes[0]], rel=1e-13)
    # Three traces: matrices keyed as plattor-lines prints them, the file read by name alike.
    board["conductors"] = [{"name": n, "trace": {"on": "core", "x": x, "width": 0.1, "thickness": 0.035}}
                           for n, x in [("a", -0.3), ("b", 0), ("c", 0.3)]]
    path = tmp_path / "bus.json"
    path.write_text(__import__("json").dumps(board))
    bus = plattor.cross_section(path)
    assert bus["C[a,b]"].value < 0 < bus["C[a,a]"].value and bus["C[a,b]"].unit == "F/m"
    assert bus["C[a,b]"].value == bus.as_dict()["capacitanceMatrix"]["value"][0][1]
    assert bus["Zc[a,c]"].value == bus["Zc[a,c]"].value and len(bus.as_dict()["crosstalk"]) == 3
    with pytest.raises(plattor.Error, match=r"^cross-section: layers\[0\].er: "):
        plattor.cross_section({"layers": [{"thickness": 1, "er": 0.5}]})


def test_lengths_in_any_one_unit_give_the_same_line():
    in_mm = plattor.microstrip(w=0.1, h=0.1, t=0.035, er=4.3)
    in_metres = plattor.microstrip(w="1e-4m", h="0.1mm", t="35um", er="4.3")
    assert in_metres.impedance.value == pytest.approx(in_mm.impedance.value, abs=in_mm.impedance.error)
    assert in_mm.structure["lengthUnit"] == "as given" and in_metres.structure["t"] == 3.5e-5
    # A board drawn in mil is timed per inch as well; the delay stays per metre.
    in_mil = plattor.microstrip(w="3.937mil", h="0.1mm", t="1.378mil", er=4.3)
    assert in_mil.delayPerInch.value == pytest.approx(0.0254 * in_mil.delay.value, rel=1e-15)
    assert in_mil.delayPerInch.unit == "s/in" and "delayPerInch" not in in_mm and "delayPerInch" not in in_metres
    # None leaves an option out; a stripline filled with one dielectric has that permittivity.
    assert plattor.microstrip(w=0.1, h=0.1, er=4.3, mask=None).json() == plattor.microstrip(w=0.1, h=0.1, er=4.3).json()
    homogeneous = plattor.stripline(w=1, h=1, b=2, er=2.2).effectivePermittivity
    assert homogeneous.value == pytest.approx(2.2, abs=homogeneous.error)


@pytest.mark.parametrize("call, error, message", [
    (lambda: plattor.microstrip(w=1, h=1), plattor.Error,
     r"microstrip: needs --er \(the substrate's relative permittivity\)"),
    (lambda: plattor.microstrip(w=1, h="1mm", er=4), ValueError, r"lengths with and without a unit are mixed \(--h 1mm\)"),
    (lambda: plattor.coplanar(w="0.1 mm", h=1, g=1, er=4), plattor.Error, r'--w needs a length .* got "0.1 mm"'),
    (lambda: plattor.microstrip(w=1, h=1, b=2, er=4), plattor.Error, r"microstrip: has no option --b"),
    (lambda: plattor.stripline(w=1, h=2, b=2, er=4), plattor.Error, r"stripline: the trace reaches the upper plane"),
    (lambda: plattor.microstrip(w=1, h=1, er=math.inf), plattor.Error, r'--er needs a decimal number, got "Inf"'),
    (lambda: plattor.microstrip(width=1, h=1, er=4), TypeError, r"unexpected keyword argument 'width'"),
    (lambda: plattor.microstrip(w=True, h=1, er=4), TypeError, r"'w' must be a number or a text"),
    (lambda: plattor.microstrip(w=1, h=1, er=4).oddModeImpedance, AttributeError, r"no quantity 'oddModeImpedance'"),
    (lambda: plattor.microstrip(w=1, h=1, er=4)["Z0"], KeyError, r"Z0"),
    # (error, cause): what float() or the text's encoding raised stays the cause.
    (lambda: plattor.microstrip(w=0.7, h=10**400, er=4), (plattor.Error, OverflowError), r"--h needs a number; float"),
    (lambda: plattor.microstrip(w=type("Own", (), {"__float__": lambda self: 1 / 0})(), h=1, er=4),
     (plattor.Error, ZeroDivisionError), r"float\(\) of the Own given failed"),
    (lambda: plattor.coplanar(w=0.3, h=0.2, g=type("Text", (), {"__float__": lambda self: "0.1"})(), er=4),
     (TypeError, TypeError), r"--g needs a number"),
    (lambda: plattor.microstrip(w="0.1mm", h="\ud800", er=4), (plattor.Error, UnicodeError), r"--h needs .* not in UTF-8"),
    (lambda: plattor.solve("microstrip", "w", "impedance", 10**309, h=0.2, er=4), (plattor.Error, OverflowError),
     r"the target needs"),
    # The losses: plattor-lines' messages for its loss options.
    (lambda: plattor.microstrip(**TRACE, freq=0), plattor.Error,
     r'^--freq needs a frequency above 0 \(Hz, kHz, MHz or GHz\), got "0"$'),
    (lambda: plattor.microstrip(**TRACE, freq=5e9, roughness="hammerstad"), plattor.Error,
     r"^--roughness hammerstad needs --rq, the RMS height of the surface$"),
    (lambda: plattor.microstrip(**TRACE, sigma=1e7), plattor.Error, r"^the loss options need --freq"),
    (lambda: plattor.microstrip(**TRACE, freq="5GHz"), TypeError, r"'freq' must be a number or a sequence"),
    (lambda: plattor.microstrip(**TRACE, freq=1e9).write_touchstone("line.s4p", 0.1), plattor.Error,
     r'^--touchstone needs a file named \*\.s2p for a single trace \(2 ports\), got "line.s4p"$'),
], ids=["missing", "mixed units", "malformed", "foreign option", "through the plane", "infinite", "unknown keyword",
        "bool", "unknown attribute", "unknown key", "int beyond a double", "failing __float__", "__float__ not a float",
        "surrogate", "target beyond a double", "frequency 0", "roughness without rq", "settings without freq",
        "frequency as text", "touchstone name"])
def test_bad_input_is_refused_in_one_line(call, error, message):
    error, cause = error if isinstance(error, tuple) else (error, type(None))
    with pytest.raises(error, match=message) as caught:
        call()
    assert "\n" not in str(caught.value) and isinstance(caught.value.__cause__, cause)


def test_losses_are_the_programs_and_pickle():
    r = plattor.microstrip(**LOSSY_PAIR, freq=5e9, dk_model="wideband", dk_freq=2.3e9, sigma=4.7e7,
                           roughness="groisse", rq=0.9e-6)
    program = lines_json(*LOSSY_PAIR_OPTIONS, "--freq", "5GHz", "--dk-model", "wideband", "--dk-freq", "2.3GHz",
                         "--sigma", "4.7e7", "--roughness", "groisse", "--rq", "0.9um")
    (row,) = program["losses"]
    (at,) = r.losses
    assert at.frequency == row["frequency"] and sorted(at.keys()) == sorted(set(row) - {"frequency"})
    for key in at.keys():
        for member in ("value", "error"):
            assert getattr(at[key], member) == pytest.approx(row[key][member], rel=1e-12, abs=0), (key, member)
    assert [q.key for q in at.modes[1]][6] == "oddModeAttenuation" and at.oddModeAttenuation.unit == "dB/m"
    assert r.differentialImpedance.value == program["differentialImpedance"]["value"]
    assert r.loss_models["dielectric model"] == "Djordjevic-Sarkar wideband, fitted at 2.3 GHz"
    assert json.loads(r.json())["lossModels"] == program["lossModels"]
    copy = pickle.loads(pickle.dumps(r))
    assert copy == r and copy.losses == r.losses and copy.w_element == r.w_element and str(copy) == str(r)


def test_touchstone_reads_back_as_the_line_it_describes(tmp_path):
    skrf = pytest.importorskip("skrf", reason="scikit-rf is not installed (Debian package python3-scikit-rf)")
    r = plattor.microstrip(**LOSSY_PAIR, freq=[1e9, 4.2e9, 11e9], roughness="huray", rz=2.7e-6)
    length, z0 = 0.0417, 43.0
    r.write_touchstone(tmp_path / "pair.s4p", length, z_ref=z0)
    network = skrf.Network(str(tmp_path / "pair.s4p"))
    assert list(network.f) == [at.frequency for at in r.losses]
    assert network.z0 == pytest.approx(z0)
    for s, at in zip(network.s, r.losses):
        # Each mode a two-port of its Zc and γ = α + jβ (α from dB), the ports the
        # sum and the difference of the modes.
        modes = []
        for mode in at.modes:
            zc = complex(mode[4].value, mode[5].value)
            gamma = complex(mode[6].value * math.log(10) / 20, mode[7].value)
            assert mode[7].value == pytest.approx(2 * math.pi * at.frequency * mode[11].value, rel=1e-14)
            e = cmath.exp(-gamma * length)
            d = 2 * zc * z0 * (1 + e * e) + (zc * zc + z0 * z0) * (1 - e * e)
            modes.append(((zc * zc - z0 * z0) * (1 - e * e) / d, 4 * zc * z0 * e / d))
        (reflect_even, through_even), (reflect_odd, through_odd) = modes
        expected = {(0, 0): (reflect_even + reflect_odd) / 2, (1, 0): (reflect_even - reflect_odd) / 2,
                    (2, 0): (through_even + through_odd) / 2, (3, 0): (through_even - through_odd) / 2}
        for (i, j), value in expected.items():
            assert abs(s[i, j] - value) < 1e-12, (at.frequency, i, j)
        assert abs(s - s.T).max() < 1e-15 and abs(s[1, 1] - s[0, 0]) < 1e-15
        # A lossy line gives back less power than it is given at every port.
        assert (abs(s) ** 2).sum(axis=0).max() < 1
    r.write_rlgc(tmp_path / "pair.rlgc")
    assert (tmp_path / "pair.rlgc").read_text().startswith("* plattor-lines: per-unit-length W-element model\n2\n")


def thick_pair(w):
    """A line of a few hundredths of a second."""
    return plattor.microstrip(w=w, s=0.3, t=0.1, h=1, er=4.3)


def speedup(pool_type, widths):
    """How many times as fast as one worker of the pool, one line after another, a pool of 8
    solves the lines (a pool's worker keeps each solve to its own thread)."""
    with pool_type(max_workers=1) as pool:
        start = time.perf_counter()
        serial = list(pool.map(thick_pair, widths))
        one = time.perf_counter() - start
    with pool_type(max_workers=8) as pool:
        start = time.perf_counter()
        parallel = list(pool.map(thick_pair, widths))
        eight = time.perf_counter() - start
    assert [r.json() for r in parallel] == [r.json() for r in serial]
    return one / eight


def test_threads_solve_lines_in_parallel():
    # The GIL is released while a line is solved, so threads finish sooner than one. Other work
    # on the machine can take the second processor for seconds at a time: where threads do not
    # gain, processes (which share no GIL) tell at once whether the machine could have shown a
    # gain. Twice processes but not threads: the threads are held back. Never either: skipped.
    processors = len(os.sched_getaffinity(0))
    if processors < 2:
        pytest.skip("one processor: nothing to run in parallel")
    widths = [0.9 + 0.02 * k for k in range(8)]
    thick_pair(1)
    threads, processes = [], []
    while len(threads) < 5 and max(threads, default=0) <= 1.3 and sum(p > 1.3 for p in processes) < 2:
        threads.append(speedup(ThreadPoolExecutor, widths))
        if threads[-1] <= 1.3:
            processes.append(speedup(ProcessPoolExecutor, widths))
    print(f"\n8 threads on {processors} processors, times as fast as one: " +
          ", ".join(f"{t:.2f}" for t in threads) +
          ("; 8 processes, when threads did not gain: " + ", ".join(f"{p:.2f}" for p in processes) if processes else ""))
    if max(threads) <= 1.3 and all(p <= 1.3 for p in processes):
        pytest.skip("the machine is busy: neither threads nor processes gained")
    assert max(threads) > 1.3


@pytest.mark.skipif(not hasattr(plattor, "solve"), reason="the library was built without the inverse problem")
def test_solve_finds_the_width_of_a_target_impedance():
    found = plattor.solve("microstrip", "w", "impedance", 50.0, h="0.2mm", t="35um", er=4.3)
    z = found.result.impedance
    assert z.value == pytest.approx(50, rel=1e-4) and found.result.structure["w"] == found.value
    assert 0 <= found.error < 1e-3 * found.value
    with pytest.raises(plattor.Error):
        plattor.solve("microstrip", "w", "differentialImpedance", 100.0, h=1, er=4.3)
    # A process pool returns what it found; a look at it shows the numbers.
    copy = pickle.loads(pickle.dumps(found))
    assert copy == found and copy.result.impedance == z and copy.value == found.value
    assert repr(found) == f"Dimension(name='w', value={found.value!r}, error={found.error!r})"
    assert repr(z) == f"Quantity(key='impedance', value={z.value!r}, error={z.error!r}, unit='ohm')"
    assert f"impedance {z}," in repr(found.result)


CTRL_C = """
import sys, time, plattor
print("solving", flush=True)
try:
    plattor.solve("coplanar", "w", "differentialImpedance", 90, s=0.2, g=0.15, h=0.2, er=4.4, t=0.035,
                  mask=0.02, mask_er=3.5)
except KeyboardInterrupt:
    print(time.monotonic())
"""


@pytest.mark.skipif(not hasattr(plattor, "solve"), reason="the library was built without the inverse problem")
def test_ctrl_c_stops_a_long_solve_at_once():
    # A masked coplanar pair solved for its width takes about two seconds; Ctrl-C 0.3 s in.
    run = subprocess.Popen([sys.executable, "-c", CTRL_C], stdout=subprocess.PIPE, text=True)
    assert run.stdout.readline() == "solving\n"
    time.sleep(0.3)
    sent = time.monotonic()
    run.send_signal(signal.SIGINT)
    stopped = run.stdout.read()
    assert run.wait(timeout=60) == 0 and stopped, "the solve ran to its end"
    assert float(stopped) - sent < 0.3


def readme_examples():
    """README's ```python blocks, each with the ```text block right after it (what it prints)."""
    text = pathlib.Path(os.environ.get("PLATTOR_README", "../../README.md")).read_text()
    return re.findall(r"```python not-run\n(.*?)```\n(?:\n```text not-run\n(.*?)```)?", text, re.S)


@pytest.mark.parametrize("code, printed", readme_examples())
def test_readme_python_examples_print_what_readme_shows(code, printed, tmp_path):
    (tmp_path / "example.py").write_text(code)
    run = subprocess.run([sys.executable, "example.py"], cwd=tmp_path, capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, run.stderr
    if printed:
        assert run.stdout == printed


def test_readme_shows_the_sweep_and_the_process_pool():
    assert len(readme_examples()) >= 2
