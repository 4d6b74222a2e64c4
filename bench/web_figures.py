"""The browser edition's figures, beside the native tavrel-play on the same piece.

Builds nothing: give it the built page (build/web) and the native build's tavrel-play and virtual
controller. Prints the page's download size (as served, and gzip-compressed as most static hosts
send it); the time from pressing Play to the set-up's first report and to the first rumble report
(in headless Chromium on a strict stand-in right Joy-Con); and report lateness p50/p99/max, both
from the controller's log against tavrel-play --schedule (from the first report) and as each
player's own clock saw it, for the page and for tavrel-play on the virtual controller.

Usage: web_figures.py --page DIR --play PATH --library PATH [--piece FILE]
"""
import argparse
import glob
import gzip
import os
import re
import sys
import tempfile
import types

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(SOURCE, "tests", "web"))
sys.path.insert(0, HERE)
from web_e2e import STRICT, Browser, native, serve  # noqa: E402  (first: it puts the tests' helpers on the path)
from figure_rows import print_figures  # noqa: E402
from play_timing import measure_play, memory_folder, place_in_schedule  # noqa: E402
from schedule_places import parse_schedules  # noqa: E402
from tune_fidelity import percentile  # noqa: E402


def download_size(page):
    files = [f for pattern in ("*.html", "*.js", "*.css", "*.wasm") for f in glob.glob(os.path.join(page, pattern))]
    raw = sum(os.path.getsize(f) for f in files)
    packed = 0
    for f in files:
        with open(f, "rb") as data:
            packed += len(gzip.compress(data.read(), 9))
    return len(files), raw, packed


def measure_page(args, work):
    server = serve(args.page)
    browser = Browser(types.SimpleNamespace(work=work), "http://127.0.0.1:%d/" % server.server_address[1])
    try:
        browser.open(hid={"variables": dict(STRICT, TAVREL_VJ_CONTROLLER="right")})
        browser.connect(1)
        browser.open_file(os.path.abspath(args.piece))
        pressed_ms = browser.js("const t = performance.now(); document.getElementById('play').click(); return t;")
        browser.wait(lambda: browser.state() == "playing", 20)
        browser.finished(limit_s=600)
        timing = browser.js("return document.getElementById('timing').textContent")
        log = os.path.join(work, "page.log")
        events = browser.events("page")
    finally:
        browser.quit()
        server.shutdown()
    writes = [e for e in events if e[1] == "write"]
    rumble = [w for w in writes if w[2][0] == 0x10][:-1]  # the tear-down's silence left out
    reports = parse_schedules(native(args, "--schedule", "--controller", "right", args.piece).stdout)[0][0]
    matched = place_in_schedule(log, rumble, reports, "the page")
    first = rumble[0][0]
    over = sorted(((w[0] - first) - reports[k][0]) / 1000.0 for w, k in zip(rumble, matched))
    own = re.search(r"late by ([\d.-]+) ms \(median\), ([\d.-]+) ms \(99th percentile\), ([\d.-]+) ms \(most\); "
                    r"(\d+) passed over", timing)
    return {
        "first_write": writes[0][0] / 1e6 - pressed_ms, "first_rumble": first / 1e6 - pressed_ms,
        "reports": len(reports), "p50": percentile(over, 0.5), "p99": percentile(over, 0.99), "max": over[-1],
        "own50": float(own.group(1)) * 1000, "own99": float(own.group(2)) * 1000, "own_max": float(own.group(3)) * 1000,
        "passed": int(own.group(4)),
    }


ROWS = [
    ("rumble reports", "reports", "%d"),
    ("log: overshoot p50 (us)", "p50", "%.1f"),
    ("log: overshoot p99 (us)", "p99", "%.1f"),
    ("log: overshoot max (us)", "max", "%.1f"),
    ("own clock: late p50 (us)", "own50", "%.1f"),
    ("own clock: late p99 (us)", "own99", "%.1f"),
    ("own clock: late max (us)", "own_max", "%.1f"),
    ("passed over after a stall", "passed", "%d"),
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--page", required=True)
    parser.add_argument("--play", required=True)
    parser.add_argument("--library", required=True)
    parser.add_argument("--piece", default=os.path.join(SOURCE, "examples", "greensleeves.mid"))
    args = parser.parse_args()
    files, raw, packed = download_size(args.page)
    print("page: %d files, %.1f KiB as served, %.1f KiB gzip-compressed" % (files, raw / 1024, packed / 1024))
    work = tempfile.mkdtemp(prefix="web-figures-")
    page = measure_page(args, work)
    print("Play pressed to the set-up's first report: %.1f ms; to the first rumble report: %.1f ms" %
          (page["first_write"], page["first_rumble"]))
    play = measure_play(args.play, args.library, args.piece, memory_folder("web-figures-native.log"))
    print("\n%s, one right Joy-Con (strict stand-in for the page; the virtual controller for tavrel-play)" %
          os.path.basename(args.piece))
    print_figures(ROWS, [("page", page), ("tavrel-play", play)], 30, 14, gap=" ")
    return 0


if __name__ == "__main__":
    sys.exit(main())
