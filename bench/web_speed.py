#!/usr/bin/env python3
"""The web page's solver in headless Chromium beside the native plattor-lines, on README.md's
structure examples: each run several times, alternately, the fastest of each kept. The page's time is
a worker's, from the request posted to the answer back (a sweep's points shared among as many workers
as the page uses); the native one is the whole process.

Usage: bench/web_speed.py [--runs N] <web-dir> <plattor-lines> <README.md>   (after `make web`)
"""
import argparse
import functools
import http.server
import re
import shutil
import subprocess
import threading
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

# Solves in workers of the page's own kind, kept from call to call: one for a solve or a solved
# length, as many as the page's pool for a sweep's points. The answer: the milliseconds of each of
# `times` runs, after as many unmeasured ones (the engine compiles the hot code while they run).
TIMED = """
const [run, times, done] = [arguments[0], arguments[1], arguments[arguments.length - 1]];
const size = Math.max(1, Math.min(navigator.hardwareConcurrency || 2, 4));
window.benchWorkers = window.benchWorkers || Array.from({length: size}, () => new Worker('worker.js'));
const workers = run.sweep ? window.benchWorkers : window.benchWorkers.slice(0, 1);
window.benchId = window.benchId || 0;
const ask = (worker, op, args) => new Promise((resolve) => {
  const mine = ++window.benchId;
  const listener = (e) => { if (e.data.id === mine) { worker.removeEventListener('message', listener); resolve(e.data.result); } };
  worker.addEventListener('message', listener);
  worker.postMessage({id: mine, op, args});
});
(async () => {
  await Promise.all(workers.map((w) => ask(w, 'version', [])));  // loaded and compiled
  const result = [];
  for (let r = 0; r < 2 * times; r++) {
    const start = performance.now();
    if (run.sweep) {
      const plan = await ask(workers[0], 'sweepPlan', [run.kind, run.options, run.sweep]);
      let next = 0;
      await Promise.all(workers.map(async (w) => {
        while (next < plan.count) await ask(w, 'sweepPoint', [run.kind, run.options, run.sweep, next++]);
      }));
    } else if (run.solve) {
      await ask(workers[0], 'solveFor', [run.kind, run.options, run.solve, run.target]);
    } else {
      await ask(workers[0], 'solve', [run.kind, run.options]);
    }
    if (r >= times) result.push(performance.now() - start);
  }
  done(result);
})();
"""


def readme_runs(readme):
    text = re.sub(r"\\\n\s*", " ", open(readme, encoding="utf-8").read())
    runs = []
    for m in re.finditer(r"^\$ plattor-lines (microstrip|stripline|coplanar) ([^|\n]*)", text, re.M):
        words = m.group(2).split()
        run = {"kind": m.group(1), "options": {}, "args": [m.group(1)]}
        for name, value in zip(words[::2], words[1::2]):
            name = name[2:]
            if name == "picture":
                continue
            run["args"] += ["--" + name, value]
            if name in ("solve", "target", "sweep"):
                run[name] = value
            else:
                run["options"][name] = value
        runs.append(run)
    return runs


def native_ms(program, args):
    start = time.perf_counter()
    subprocess.run([program, *args], stdout=subprocess.DEVNULL, check=True)
    return 1000 * (time.perf_counter() - start)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("web")
    parser.add_argument("lines")
    parser.add_argument("readme")
    a = parser.parse_args()

    class Quiet(http.server.SimpleHTTPRequestHandler):
        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Quiet, directory=a.web))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    options = webdriver.ChromeOptions()
    for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage"):
        options.add_argument(argument)
    options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    driver = webdriver.Chrome(service=Service(shutil.which("chromedriver") or "/usr/bin/chromedriver"), options=options)
    driver.set_script_timeout(600)
    driver.get("http://127.0.0.1:%d/index.html" % server.server_port)
    print("%-100s %9s %9s %6s" % ("README example", "native", "Chromium", "ratio"))
    try:
        for run in readme_runs(a.readme):
            native, browser = [], []
            for _ in range(a.runs):  # alternately, so that a busy spell of the machine hits both
                native.append(native_ms(a.lines, run["args"]))
                browser += driver.execute_async_script(TIMED, run, 2)
            n, b = min(native), min(browser)
            print("%-100s %7.0f ms %6.0f ms %5.2fx" % ("plattor-lines " + " ".join(run["args"]), n, b, b / n))
    finally:
        driver.quit()
        server.shutdown()


if __name__ == "__main__":
    main()
