#!/usr/bin/env python3
"""The page in headless Chromium, served from build/web by a local HTTP server, against the native
plattor-lines: what a user sees when the page opens, when a masked pair is typed into the form, when
an input is bad, when a link to the inputs is opened, when a length is solved for, when a sweep is
run (and cancelled), and at a phone's width; every file from the server, no console errors.

Usage: browser_test.py <web-dir> <plattor-lines>
"""
import functools
import http.server
import re
import shutil
import subprocess
import sys
import threading
import time
import urllib.parse

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select

WEB_DIR, LINES = sys.argv[1], sys.argv[2]
failures = []
passed = 0


def check(ok, what):
    global passed
    if ok:
        passed += 1
    else:
        failures.append(what)
        print("FAIL  " + what)


class Server(http.server.ThreadingHTTPServer):
    """build/web over HTTP on a free port, each response's path, status and size noted."""

    def __init__(self):
        self.served = []

        class Handler(http.server.SimpleHTTPRequestHandler):
            def log_request(handler, code="-", size="-"):
                self.served.append((handler.path, int(code), 0 if size == "-" else int(size)))

            def log_message(handler, *args):
                pass

            def copyfile(handler, source, destination):
                start = source.tell()
                super().copyfile(source, destination)
                self.served.append((handler.path, 0, source.tell() - start))

        super().__init__(("127.0.0.1", 0), functools.partial(Handler, directory=WEB_DIR))
        threading.Thread(target=self.serve_forever, daemon=True).start()
        self.base = "http://127.0.0.1:%d/" % self.server_port


def cli(*args):
    run = subprocess.run([LINES, *args], capture_output=True, text=True)
    return run.returncode, run.stdout, run.stderr


def report_rows(text):
    """plattor-lines' text as (name, value ± bar unit), the padding between them dropped."""
    rows = []
    for line in text.strip().split("\n"):
        name, rest = re.split(r"\s{2,}", line, maxsplit=1)
        rows.append((name, " ".join(rest.split())))
    return rows


def cli_options(kind, fields, unit="mm"):
    """The command line of what the page sends: a bare number of a length takes the unit."""
    lengths = {"w", "w_top", "t", "s", "h", "b", "mask", "mask_top", "cover", "g", "ground_width"}
    args = [kind]
    for column, text in fields.items():
        if text == "":
            continue
        if column in lengths and unit and re.fullmatch(r"[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?", text):
            text += unit
        args += ["--" + column.replace("_", "-"), text]
    return args


class Page:
    def __init__(self, driver, server):
        self.d, self.server = driver, server

    def wait(self, states=("done", "error"), timeout=60):
        end = time.time() + timeout
        while time.time() < end:
            state = self.d.execute_script("return document.body.dataset.state || ''")
            if state in states:
                return state
            time.sleep(0.05)
        return "timeout"

    def open(self, query=""):
        self.d.get(self.server.base + "index.html" + query)
        return self.wait()

    def fill(self, kind, fields, unit="mm"):
        Select(self.d.find_element(By.ID, "structure")).select_by_value(kind)
        Select(self.d.find_element(By.ID, "unit")).select_by_value(unit)
        for field in self.d.find_elements(By.CSS_SELECTOR, "#options input"):
            field.clear()
            text = fields.get(field.get_attribute("name"), "")
            if text:
                field.send_keys(text)

    def solve(self, button="solve"):
        self.d.execute_script("document.body.dataset.state = ''")
        self.d.find_element(By.ID, button).click()
        return self.wait()

    def rows(self):
        return [tuple(c.text for c in r.find_elements(By.TAG_NAME, "td"))
                for r in self.d.find_elements(By.CSS_SELECTOR, "#quantities tbody tr")]

    def fields(self):
        return {f.get_attribute("name"): f.get_attribute("value")
                for f in self.d.find_elements(By.CSS_SELECTOR, "#options input") if f.get_attribute("value")}

    def message(self, field):
        return self.d.find_element(By.ID, "message-" + field).text

    def message_text(self):
        return self.d.find_element(By.ID, "message").text

    def picture_pixels(self):
        """Pixels of the canvas in the conductors' colour, in the arrows' green, and blue or red
        (the odd mode's equipotentials, lines thin enough to be blended); the pieces drawn."""
        return self.d.execute_script("""
            const c = document.getElementById('picture');
            const data = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
            const n = {conductor: 0, arrows: 0, blue: 0, red: 0, contours: Number(c.dataset.contours || 0)};
            for (let i = 0; i < data.length; i += 4) {
                const r = data[i], g = data[i + 1], b = data[i + 2];
                if (Math.abs(r - 0xc8) + Math.abs(g - 0x8a) + Math.abs(b - 0x4e) < 30) n.conductor++;
                if (g - r > 50 && g - b > 40) n.arrows++;
                if (b - r > 60 && b - g > 40) n.blue++;
                if (r - g > 90 && r - b > 90) n.red++;
            }
            return n;""")

    def download(self, link):
        return self.d.execute_async_script(
            "const done = arguments[arguments.length - 1];"
            "fetch(document.getElementById(arguments[0]).href).then(r => r.text()).then(done, e => done('failed: ' + e));",
            link)


def main():
    server = Server()
    options = webdriver.ChromeOptions()
    for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--window-size=1280,1400"):
        options.add_argument(argument)
    options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service(shutil.which("chromedriver") or "/usr/bin/chromedriver"), options=options)
    driver.set_script_timeout(30)
    page = Page(driver, server)
    try:
        run(page, server)
        severe = [e["message"] for e in driver.get_log("browser") if e["level"] == "SEVERE"]
        check(not severe, "no errors on the browser's console: %s" % severe)
    finally:
        driver.quit()
        server.shutdown()
    print("%d of %d checks passed" % (passed, passed + len(failures)))
    return 1 if failures else 0


def run(page, server):
    # 1. The first visit solves its example at once, from this server's files alone: every
    #    request answered, under 5 MB in all.
    started = time.time()
    check(page.open() == "done", "the first visit solves its example")
    print("first visit solved in %.1f s" % (time.time() - started))
    _, native, _ = cli("microstrip", "--w", "0.2mm", "--h", "0.1mm", "--t", "0.035mm", "--er", "4.3")
    check(page.rows() == report_rows(native), "the example's quantities as plattor-lines prints them")
    statuses = {path: code for path, code, _ in server.served if code}
    sent = sum(size for _, code, size in server.served if not code)
    check(all(code in (200, 304) for code in statuses.values()) and "/plattor.wasm" in statuses,
          "every file the page asked for was served: %s" % statuses)
    check(0 < sent < 5e6, "the page and its solver take %d bytes, under 5 MB" % sent)
    external = page.d.execute_script(
        "return performance.getEntriesByType('resource').map(e => e.name).filter(n => !n.startsWith(location.origin))")
    check(external == [], "nothing fetched from elsewhere: %s" % external)

    # 2. A masked pair typed into the form: plattor-lines' quantities to the last digit printed,
    #    and the cross-section with its conductors, field and odd-mode equipotentials.
    pair = {"w": "0.2", "s": "0.15", "h": "0.2", "t": "0.035", "er": "4.3", "mask": "0.02", "mask_er": "3.5"}
    page.fill("microstrip", pair)
    check(page.solve() == "done", "the masked pair solves")
    _, native, _ = cli(*cli_options("microstrip", pair))
    pair_rows = page.rows()
    check(pair_rows == report_rows(native), "the masked pair's quantities as plattor-lines prints them:\n%s" % pair_rows)
    pixels = page.picture_pixels()
    check(pixels["contours"] > 500 and pixels["conductor"] > 1000 and pixels["arrows"] > 200 and pixels["blue"] > 300
          and pixels["red"] > 300, "the picture is drawn: %s" % pixels)
    link = page.d.find_element(By.ID, "link").get_attribute("href")
    named = dict(urllib.parse.parse_qsl(urllib.parse.urlsplit(link).query))
    check(named == dict(structure="microstrip", **{k: v + ("mm" if k not in ("er", "mask_er") else "") for k, v in pair.items()}),
          "the link names the inputs as a batch's columns: " + link)

    # 3. Bad inputs: plattor-lines' line beside the field it names, the field marked.
    for fields, field in (
        (dict(pair, w="abc"), "w"),
        (dict(pair, mask_er=""), "mask"),
        (dict(pair, er="0.5"), "er"),
    ):
        page.fill("microstrip", fields)
        check(page.solve() == "error", "%s refused" % fields)
        status, _, error = cli(*cli_options("microstrip", fields))
        shown = page.message(field)
        check(status == 1 and "plattor-lines: " + shown + "\n" == error, "beside %s: %r (plattor-lines: %r)" % (field, shown, error))
        invalid = page.d.find_element(By.ID, "opt-" + field).get_attribute("aria-invalid")
        dimmed = "stale" in page.d.find_element(By.ID, "results").get_attribute("class")
        check(invalid == "true" and dimmed, "the field %s is marked, the earlier results dimmed" % field)

    # 4. The link restores the inputs and solves at once; so does one with bare numbers in one
    #    unit, as a batch's row may give them.
    check(page.open(link[link.index("?"):]) == "done", "the link solves at once")
    check(page.fields() == pair and Select(page.d.find_element(By.ID, "unit")).first_selected_option.get_attribute("value") == "mm",
          "the link restores the inputs: %s" % page.fields())
    check(page.rows() == pair_rows, "the link gives the same quantities")
    bare = {"w": "0.1", "t": "0.035", "s": "0.1", "h": "0.1", "er": "4.3", "mask": "0.02", "mask_er": "3.5"}
    check(page.open("?structure=microstrip&" + "&".join("%s=%s" % kv for kv in bare.items())) == "done",
          "a link of bare numbers solves at once")
    _, native, _ = cli(*cli_options("microstrip", bare, unit=""))
    check(page.fields() == bare and page.rows() == report_rows(native), "a link of bare numbers: the inputs and plattor-lines' quantities")

    check(page.open("?structure=hexagon&w=1") == "error"
          and page.message_text() == 'unknown structure "hexagon"; the structures are microstrip, stripline, coplanar',
          "a link to a structure there is not: " + page.message_text())

    # 5. A length solved for a target: its line and the report there as plattor-lines prints them.
    stack = {"h": "0.2", "t": "0.035", "er": "4.3"}
    page.fill("microstrip", stack)
    Select(page.d.find_element(By.ID, "dimension")).select_by_value("w")
    Select(page.d.find_element(By.ID, "quantity")).select_by_value("impedance")
    target = page.d.find_element(By.ID, "target")
    target.clear()
    target.send_keys("50")
    check(page.solve("solve-for-button") == "done", "w solved for 50 ohm: " + page.d.find_element(By.ID, "message").text)
    _, native, _ = cli(*cli_options("microstrip", stack), "--solve", "w", "--target", "impedance=50")
    check(page.rows() == report_rows(native), "the solved width and the report there as plattor-lines prints them")
    target.clear()
    target.send_keys("fifty")
    check(page.solve("solve-for-button") == "error", "a target that is no number refused")
    _, _, error = cli(*cli_options("microstrip", stack), "--solve", "w", "--target", "impedance=fifty")
    check("plattor-lines: " + page.message("target") + "\n" == error, "beside the target: " + page.message("target"))

    # 6. A sweep of the gap: the CSV as plattor-lines writes it (the header and the points; the
    #    values' last bits are the module's test), the pair's four impedances plotted.
    single = {"w": "0.2", "h": "0.2", "t": "0.035", "er": "4.3"}
    page.fill("microstrip", single)
    Select(page.d.find_element(By.ID, "sweep-option")).select_by_value("s")
    for field, text in (("sweep-from", "0.1"), ("sweep-to", "0.3"), ("sweep-count", "3")):
        element = page.d.find_element(By.ID, field)
        element.clear()
        element.send_keys(text)
    check(page.solve("sweep-button") == "done", "the sweep runs")
    csv = page.download("csv").strip().split("\n")
    _, native, _ = cli(*cli_options("microstrip", single), "--sweep", "s=0.1mm:0.3mm:3")
    native = native.strip().split("\n")
    check(len(csv) == 4 and csv[0] == native[0] and [r.split(",")[0] for r in csv] == [r.split(",")[0] for r in native],
          "the CSV's header and points as plattor-lines writes them")
    curves = len(page.d.find_elements(By.CSS_SELECTOR, "#sweep-plot polyline"))
    check(curves == 4, "the pair's four impedances plotted (%d curves)" % curves)

    # 7. A long sweep cancelled while it runs: the page says so and solves again afterwards.
    page.d.find_element(By.ID, "sweep-count").clear()
    page.d.find_element(By.ID, "sweep-count").send_keys("60")
    page.d.execute_script("document.body.dataset.state = ''")
    page.d.find_element(By.ID, "sweep-button").click()
    end = time.time() + 20
    while time.time() < end and not page.d.execute_script(
            "return document.getElementById('progress').value > 0 && document.body.dataset.state === 'busy'"):
        time.sleep(0.05)
    page.d.find_element(By.ID, "cancel").click()
    check(page.wait(("cancelled",), 10) == "cancelled" and "Cancelled" in page.d.find_element(By.ID, "status-text").text,
          "a running sweep cancelled")
    check(page.solve() == "done", "the page solves again after a cancel")

    # 8. On a phone's screen the page fits: nothing wider than the screen.
    page.d.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": 390, "height": 844, "deviceScaleFactor": 3, "mobile": True})
    check(page.open(link[link.index("?"):]) == "done", "the link solves on a phone's screen")
    width, overflow = page.d.execute_script(
        "const e = document.documentElement; return [window.innerWidth, e.scrollWidth - e.clientWidth]")
    check(width == 390 and overflow <= 0, "no sideways scrolling %d px wide (%d px too wide)" % (width, overflow))


if __name__ == "__main__":
    sys.exit(main())
