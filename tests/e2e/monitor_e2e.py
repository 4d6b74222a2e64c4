"""End-to-end checks of the real tavrel-monitor executable on the virtual controller.

Usage: monitor_e2e.py --monitor PATH (--library PATH | --stand-ins DIR) --work DIR SCENARIO
Scenarios: esc (Esc on standard input), SIGINT (signal, input still open), SIGTERM (signal,
input already at end), SIGHUP (a closed terminal). With --stand-ins, tavrel-monitor.exe runs under Wine in a console
window on a private X display (Xvfb), its output redirected to a file, and gets its keys
from xdotool (scenario esc only): Wine gives a console program no key from a pipe or a
pseudo-terminal. Exits 0 when every check passed, 1 with the failures listed otherwise.
"""
import argparse
import os
import re
import signal
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tavrel_model as model  # noqa: E402
from tavrel_e2e import Checks, Platform, add_controller_arguments  # noqa: E402
from wine_console import WineDesktop  # noqa: E402

BANNER = "Tavrel monitor ver 0.1. Press Esc to quit."
NO_INPUT = "No input reports are arriving."
LINE_RE = re.compile(r"^button=([0-9A-F]{2}),([0-9A-F]{2}) , stick=([0-9A-F]{4}),([0-9A-F]{4}) , "
                     r"Acc=([0-9A-F]{4}),([0-9A-F]{4}),([0-9A-F]{4}) , "
                     r"Gyr=([0-9A-F]{4}),([0-9A-F]{4}),([0-9A-F]{4})$")
ESC = b"\x1b"
OTHER_KEYS = b"q x\r\n"    # keys that must not end the monitor
XDOTOOL_KEYS = {b"\x1b": "Escape", b"q": "q", b" ": "space", b"x": "x", b"\r": "Return", b"\n": "ctrl+j"}
RUN_BEFORE_KEYS_S = 0.3    # after the banner
RUN_BEFORE_END_S = 0.5     # after the other keys
END_LIMIT_NS = 5_000_000_000  # the monitor must end within this (wide) time after Esc or a signal
MIN_DISTINCT_LINES = 5

SUB_MODE, SUB_IMU = 0x03, 0x40
SET_UP = [("sub", SUB_MODE, 0x30), ("sub", SUB_IMU, 0x01)]
TEAR_DOWN = [("sub", SUB_IMU, 0x00), ("sub", SUB_MODE, 0x3F)]


def word(report, at):
    return report[at] | (report[at + 1] << 8)


def decode(report):
    """The ten values a monitor line shows for a 0x30 report."""
    return (report[3], report[4],
            report[9] | ((report[10] & 0x0F) << 8), (report[10] >> 4) | (report[11] << 4),
            word(report, 13), word(report, 15), word(report, 17),
            word(report, 19), word(report, 21), word(report, 23))


def wait_or_hang(proc, limit_s, clean_up=None):
    """Waits for the monitor's process; one that has not ended by limit_s hangs: it is killed
    and the check ends."""
    try:
        proc.wait(timeout=limit_s)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        if clean_up:
            clean_up()
        raise SystemExit("tavrel-monitor did not end within %.0f s (hang)" % limit_s)


class MonitorRun:
    """One tavrel-monitor process on the Linux virtual controller, its standard input a pipe and
    every stdout line stamped with the (CLOCK_MONOTONIC) time it was read."""

    def __init__(self, args, tag):
        self.log = os.path.join(args.work, "monitor-" + tag + ".log")
        if os.path.exists(self.log):
            os.remove(self.log)
        env = dict(os.environ)
        env.update(args.platform.env)
        env.update({"TAVREL_VJ_LOG": self.log, "TAVREL_VJ_MODE": "normal"})
        self.proc = subprocess.Popen(args.platform.command, env=env, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.lines = []   # (ns read, text)
        self.banner_seen = threading.Event()
        self.stderr = b""
        self.reader = threading.Thread(target=self._read_stdout)
        self.err_reader = threading.Thread(target=self._read_stderr)
        self.reader.start()
        self.err_reader.start()

    def _read_stdout(self):
        for raw in self.proc.stdout:
            self.lines.append((time.monotonic_ns(), raw.decode("latin-1")))
            self.banner_seen.set()

    def _read_stderr(self):
        self.stderr = self.proc.stderr.read()

    def running(self):
        return self.proc.poll() is None

    def keys(self, data):
        """Writes keys; returns the time written, or None when the monitor no longer reads them."""
        try:
            self.proc.stdin.write(data)
            self.proc.stdin.flush()
        except BrokenPipeError:
            return None
        return time.monotonic_ns()

    def wait_end(self, limit_s):
        """Waits for the process, standard input still open; returns the time it was seen ended."""
        wait_or_hang(self.proc, limit_s)
        ended = time.monotonic_ns()
        try:
            self.proc.stdin.close()
        except BrokenPipeError:
            pass   # keys written after the monitor stopped reading
        self.reader.join()
        self.err_reader.join()
        self.status = self.proc.returncode
        self.events = model.parse_log(self.log) if os.path.exists(self.log) else []
        return ended


class WineConsoleMonitorRun:
    """tavrel-monitor.exe on the Windows virtual controller, in a Wine console window of a private
    desktop; standard output and error go to files, read as they grow, every line stamped with
    the (CLOCK_MONOTONIC_RAW, the log's clock) time it was seen; keys are typed with xdotool."""

    def __init__(self, args, tag):
        self.platform = args.platform
        self.log = os.path.join(args.work, "monitor-" + tag + ".log")
        self.out = os.path.join(args.work, "monitor-" + tag + ".out")
        self.err = os.path.join(args.work, "monitor-" + tag + ".err")
        for path in (self.log, self.out, self.err):
            if os.path.exists(path):
                os.remove(path)
        # A prefix of its own: its desktop, and so the console window, must be on this display,
        # not on whatever desktop another program made in a shared prefix.
        env = dict(os.environ, **self.platform.env)
        env.update({"TAVREL_VJ_LOG": self.platform.log_path(self.log), "TAVREL_VJ_MODE": "normal"})
        self.desktop = WineDesktop(args.work, env)
        exe = self.platform.log_path(self.platform.program)
        # Wine quotes each argument again on the way to cmd, so the paths go without quotes.
        shell = "%s > %s 2> %s" % (exe, self.platform.log_path(self.out), self.platform.log_path(self.err))
        self.proc = self.desktop.console(["cmd", "/c", shell])
        self.lines = []
        self.banner_seen = threading.Event()
        self.done = threading.Event()
        self.reader = threading.Thread(target=self._follow_stdout)
        self.reader.start()
        self.window = None

    def _follow_stdout(self):
        pending = b""
        position = 0
        while True:
            finished = self.done.is_set()
            if os.path.exists(self.out):
                with open(self.out, "rb") as f:
                    f.seek(position)
                    data = f.read()
                position += len(data)
                pending += data
                while b"\n" in pending:
                    raw, pending = pending.split(b"\n", 1)
                    text = raw.rstrip(b"\r").decode("latin-1") + "\n"
                    self.lines.append((self.platform.now_ns(), text))
                    self.banner_seen.set()
            if finished:
                return
            time.sleep(0.002)

    def running(self):
        return self.proc.poll() is None

    def keys(self, data):
        """Types keys into the console window; returns the time they were sent, or None."""
        if self.window is None:
            self.window = self.desktop.find_window(r"cmd\.exe|tavrel-monitor")
        if not self.running() or self.window is None:
            return None
        sent = self.platform.now_ns()
        self.desktop.keys(self.window, [XDOTOOL_KEYS[data[i:i + 1]] for i in range(len(data))])
        return sent

    def wait_end(self, limit_s):
        wait_or_hang(self.proc, limit_s, self.desktop.close)
        ended = self.platform.now_ns()
        self.done.set()
        self.reader.join()
        self.desktop.close()
        self.status = self.proc.returncode
        self.stderr = b""
        if os.path.exists(self.err):
            with open(self.err, "rb") as f:
                self.stderr = f.read()
        self.events = model.parse_log(self.log) if os.path.exists(self.log) else []
        return ended


def check_stream(c, events):
    """open; reads that find nothing; 03 30 and 40 01, each answered by its reply; polling reads
    only; then 40 00 and 03 3F, each answered by its reply, the reports already queued taken
    before each; close last. The subcommands carry neutral rumble blocks."""
    if not c.expect(events, "the virtual controller logged nothing"):
        return []
    c.expect(events[0][1:] == ("open", "057e", "2007", "ok"), "first event is not the open: %r" % (events[0],))
    c.expect(events and events[-1][1] == "close", "last event is not the close")
    expected = model.build_reports(SET_UP + TEAR_DOWN, model.NEUTRAL_BLOCKS)
    write_at = [i for i, e in enumerate(events) if e[1] == "write"]
    writes = [events[i][2] for i in write_at]
    c.expect(len(writes) == len(expected), "%d writes, expected %d" % (len(writes), len(expected)))
    for n, (got, want) in enumerate(zip(writes, expected)):
        c.expect(got == want, "write %d is %s, expected %s" % (n + 1, got.hex(), want.hex()))

    def is_reply(e, sub):
        return e[1] == "deliver" and len(e[2]) == 49 and e[2][0] == 0x21 and e[2][13] == 0x80 and e[2][14] == sub

    # Before the first write, only reads that found nothing (a look for the mode it streams in).
    first = write_at[0] if write_at else len(events)
    c.expect(all(e[1] == "timeout" for e in events[1:first]), "before the first write: %r" % events[1:first][:3])
    for w, sub in zip(write_at[:2], (SUB_MODE, SUB_IMU)):
        after = next((e for e in events[w + 1:] if e[1] != "timeout"), None)
        c.expect(after is not None and is_reply(after, sub), "set-up write %d not followed by its reply: %r" % (w, after))
    # After the polling thread has stopped, only the tear-down's reads: each write answered by its
    # reply, and before each write the reports already queued taken.
    stop_at = write_at[2] if len(write_at) > 2 else len(events) - 1
    tail = events[stop_at:-1]
    answered = [e for e in tail if e[1] == "write" or (e[1] == "deliver" and len(e[2]) == 49 and e[2][0] == 0x21)]
    c.expect([e[1] for e in answered] == ["write", "deliver", "write", "deliver"],
             "between the first tear-down write and the close: %r, expected write, reply, write, reply" %
             [e[1] for e in answered])
    odd = [e for e in tail if e not in answered and not
           (e[1] == "timeout" or (e[1] == "deliver" and len(e[2]) == 49 and e[2][0] == 0x30))]
    c.expect(not odd, "tear-down reads other than replies, 0x30 reports and timeouts: %r" % odd[:3])
    replies = [e for e in answered if e[1] == "deliver"]
    if len(replies) == 2:
        c.expect(is_reply(replies[0], SUB_IMU) and is_reply(replies[1], SUB_MODE),
                 "the tear-down replies are not the two answers: %s, %s" % (replies[0][2].hex(), replies[1][2].hex()))
    for w in write_at[2:]:
        after = next((e for e in events[w + 1:] if e[1] != "timeout"), None)
        c.expect(after is not None and after[1] == "deliver" and after[2][0] == 0x21,
                 "tear-down write %d not followed by its reply: %r" % (w, after))
    polling = events[write_at[1] + 2:stop_at] if len(write_at) > 1 else []
    odd = [e for e in polling if not (e[1] == "timeout" or (e[1] == "deliver" and len(e[2]) == 49 and e[2][0] == 0x30))]
    c.expect(not odd, "polling events other than 0x30 reports and timeouts: %r" % odd[:3])
    return [e for e in polling if e[1] == "deliver" and e[2][0] == 0x30]


def check_console(c, run, reports, stamp_jitter_ns):
    """Banner first; then only state lines, each the decoding of a 0x30 report delivered before the
    line was read (a delivery may be logged up to stamp_jitter_ns late), never older than the one
    the line before showed."""
    texts = [t for _, t in run.lines]
    c.expect(texts[:1] == [BANNER + "\n"], "stdout does not begin with the banner: %r" % texts[:1])
    c.expect(NO_INPUT + "\n" not in texts, "'%s' printed though reports arrive" % NO_INPUT)
    c.expect(run.stderr == b"", "stderr not empty: %r" % run.stderr[:200])
    decoded = [(e[0], decode(e[2])) for e in reports]
    by_values = {}
    for index, (_, values) in enumerate(decoded):
        by_values.setdefault(values, []).append(index)
    shown, mixed, previous = [], 0, -1
    for n, (read_ns, text) in enumerate(run.lines[1:], start=2):
        m = LINE_RE.match(text.rstrip("\n"))
        if not c.expect(m and text.endswith("\n"), "stdout line %d is not a state line: %r" % (n, text)):
            continue
        values = tuple(int(g, 16) for g in m.groups())
        matches = [i for i in by_values.get(values, []) if decoded[i][0] - stamp_jitter_ns < read_ns]
        index = matches[-1] if matches else None
        if index is None:
            # The fields are single atomic values: a line printed while the polling thread
            # decoded may take each field from one of two successive reports.
            for i in range(len(decoded) - 1):
                a, b = decoded[i][1], decoded[i + 1][1]
                if decoded[i + 1][0] - stamp_jitter_ns < read_ns and all(v in (x, y) for v, x, y in zip(values, a, b)):
                    index, mixed = i, mixed + 1
                    break
        if not c.expect(index is not None, "stdout line %d %r is no report delivered before it" % (n, text)):
            continue
        c.expect(index >= previous, "stdout line %d shows report %d, older than the line before (%d)" % (n, index, previous))
        previous = max(previous, index)
        shown.append(index)
    distinct = len(set(shown))
    c.expect(distinct >= MIN_DISTINCT_LINES, "%d distinct reports shown, expected at least %d" % (distinct, MIN_DISTINCT_LINES))
    print("%d state lines showing %d distinct reports of %d delivered; %d mixed two successive reports" %
          (len(run.lines) - 1, distinct, len(reports), mixed))


def scenario_esc(args):
    c = Checks("Esc ends the monitor")
    run = WineConsoleMonitorRun(args, "esc") if args.platform.windows else MonitorRun(args, "esc")
    c.expect(run.banner_seen.wait(20), "no banner within 20 s")
    time.sleep(RUN_BEFORE_KEYS_S)
    others_ns = run.keys(OTHER_KEYS)
    time.sleep(RUN_BEFORE_END_S)
    c.expect(run.running(), "the monitor ended before Esc (status %r)" % run.proc.returncode)
    lines_before_esc = len(run.lines)
    esc_ns = run.keys(ESC)
    ended = run.wait_end(30)
    if not c.expect(others_ns is not None and esc_ns is not None, "standard input was closed before Esc"):
        c.finish()
    c.expect(run.status == 0, "exit status %r, expected 0" % run.status)
    c.expect(ended - esc_ns < END_LIMIT_NS, "ended %.3f s after Esc" % ((ended - esc_ns) / 1e9))
    c.expect(any(ns > others_ns for ns, _ in run.lines[:lines_before_esc]),
             "no line printed between the other keys and Esc")
    reports = check_stream(c, run.events)
    writes = [e for e in run.events if e[1] == "write"]
    c.expect(len(writes) < 3 or writes[2][0] > esc_ns, "the tear-down began before Esc was written")
    check_console(c, run, reports, args.platform.stamp_jitter_ns)
    c.finish()


def scenario_signal(args, signame):
    signum = getattr(signal, signame)
    input_ended = signum == signal.SIGTERM
    c = Checks("%s ends the monitor (standard input %s)" % (signame, "at its end" if input_ended else "open"))
    run = MonitorRun(args, signame)
    c.expect(run.banner_seen.wait(20), "no banner within 20 s")
    time.sleep(RUN_BEFORE_KEYS_S)
    if input_ended:
        run.proc.stdin.close()   # the end of input is no Esc
    time.sleep(RUN_BEFORE_END_S)
    c.expect(run.running(), "the monitor ended before the signal (status %r)" % run.proc.returncode)
    sent = args.platform.now_ns()
    run.proc.send_signal(signum)
    ended = run.wait_end(30)
    c.expect(run.status == 130, "exit status %r, expected 130" % run.status)
    c.expect(ended - sent < END_LIMIT_NS, "ended %.3f s after the signal" % ((ended - sent) / 1e9))
    reports = check_stream(c, run.events)
    writes = [e for e in run.events if e[1] == "write"]
    c.expect(len(writes) < 3 or writes[2][0] > sent, "the tear-down began before the signal")
    check_console(c, run, reports, args.platform.stamp_jitter_ns)
    c.finish()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--monitor", required=True)
    add_controller_arguments(parser)
    parser.add_argument("--work", required=True)
    parser.add_argument("scenario", choices=["esc", "SIGINT", "SIGTERM", "SIGHUP"])
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    args.platform = Platform(args, args.monitor)
    if args.platform.windows and args.scenario != "esc":
        parser.error("under Wine only the esc scenario runs")
    if args.scenario == "esc":
        scenario_esc(args)
    else:
        scenario_signal(args, args.scenario)


if __name__ == "__main__":
    main()
