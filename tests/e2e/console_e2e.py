"""End-to-end checks of tavrel.exe and tavrel-play.exe in a Wine console window, as a user at a
Windows console meets them: Ctrl-C, Ctrl-Break and closing the window mid-piece, and the
message when no controller is there.

Usage: console_e2e.py --program EXE --stand-ins DIR --console-run EXE [--describe-dialog EXE]
                      --work DIR SCENARIO
Scenarios: ctrl-c, ctrl-break, close (the event sent to the console window while the piece
plays); not-found (without a controller: started from a console, the message on the console
and no dialog; alone in a console window of its own, as from Explorer, the message box).
Each run starts the program through console_run.exe in a console window of a private desktop
(wine_console.py): console_run shares the console, so it receives the same control events, and
reports them and the program's exit status. Exits 0 when every check passed, 1 with the failures
listed, and 77 (skipped) when Wine does not turn the key or the close into a console event,
saying so.
"""
import argparse
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tavrel_model as model  # noqa: E402
from tavrel_e2e import TEAR_DOWN_TAIL, Checks, Platform, tail_of, writes_of  # noqa: E402
from wine_console import WineDesktop  # noqa: E402

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TUNE_TEXT = os.path.join(SOURCE, "examples", "greensleeves.txt")
SKIPPED = 77
EVENTS = {"ctrl-c": 0, "ctrl-break": 1, "close": 2}
KEYS = {"ctrl-c": ["ctrl+c"], "ctrl-break": ["ctrl+Break"]}
MID_PIECE_REPORTS = 20       # rumble reports sent before the event comes
DELIVERY_LIMIT_S = 5         # the console has passed the event on by then, or never will
END_LIMIT_S = 20             # the program has ended by then after an event it received
DIALOG_LIMIT_S = 90          # describe_dialog waits up to 60 s for the dialog
INTERRUPTED = 130
NOT_FOUND = "JoyCon not found."


class ConsoleRun:
    """The program under console_run.exe in a console window of a private desktop."""

    def __init__(self, args, tag, mode="normal", start=True):
        self.platform = args.platform
        self.paths = {kind: os.path.join(args.work, "%s.%s" % (tag, kind))
                      for kind in ("log", "report", "out", "err", "screen")}
        for path in self.paths.values():
            if os.path.exists(path):
                os.remove(path)
        env = dict(os.environ, **self.platform.env)
        env.update({"TAVREL_VJ_LOG": self.platform.log_path(self.paths["log"]), "TAVREL_VJ_MODE": mode})
        self.desktop = WineDesktop(args.work, env)
        win = {kind: self.platform.log_path(path) for kind, path in self.paths.items()}
        command = [args.platform.log_path(args.console_run), win["report"]]
        # Not found: the message must reach the console itself, so the program's output stays on it.
        command += ["--screen", win["screen"]] if mode == "absent" else ["--out", win["out"], "--err", win["err"]]
        self.program_arguments = []
        if os.path.basename(self.platform.program).startswith("tavrel-play"):
            # The virtual controller lists a left Joy-Con decoy; a right one is asked for.
            self.program_arguments = ["--controller", "right", self.platform.log_path(TUNE_TEXT)]
        self.command = command + ["--", self.platform.log_path(self.platform.program)] + self.program_arguments
        self.proc = None
        if start:
            self.start()

    def start(self):
        self.proc = self.desktop.console(self.command)

    def report(self):
        """What console_run reported: the events it received and the program's status."""
        if not os.path.exists(self.paths["report"]):
            return [], None
        with open(self.paths["report"]) as f:
            lines = f.read().split()
        events = [int(lines[i + 1]) for i in range(len(lines) - 1) if lines[i] == "event"]
        status = next((int(lines[i + 1]) for i in range(len(lines) - 1) if lines[i] == "status"), None)
        return events, status

    def events(self):
        return model.parse_log(self.paths["log"]) if os.path.exists(self.paths["log"]) else []

    def text(self, kind):
        if not os.path.exists(self.paths[kind]):
            return ""
        with open(self.paths[kind], "rb") as f:
            return f.read().decode("latin-1").replace("\r\n", "\n")

    def end(self):
        """Ends the console window and everything left in the desktop."""
        self.desktop.close()
        if self.proc:
            self.proc.wait()


def wait_until(condition, limit_s):
    deadline = time.monotonic() + limit_s
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.05)
    return condition()


def rumble_count(events):
    return sum(1 for w in writes_of(events) if w[2][0] == 0x10)


def check_torn_down(c, events, sent_ns, jitter_ns):
    """The log ends with the tear-down, begun after the event: silence, vibration off, lamps off,
    the simple input mode, then the close."""
    writes = writes_of(events)
    tail = tail_of(writes)
    c.expect(tail == TEAR_DOWN_TAIL, "the last writes are not the tear-down: %r" % tail)
    c.expect(len(writes) >= 4 and writes[-4][0] + jitter_ns > sent_ns, "the tear-down began before the event")
    c.expect(events and events[-1][1] == "close", "the device was not closed last")


def scenario_event(args, name):
    """The key or the close sent to the console window mid-piece: the controller restored and the
    exit status 130. Where Wine passes no console event on, that is shown and the test skipped."""
    program = os.path.basename(args.program)
    c = Checks("%s: %s in its console window" % (program, name))
    run = ConsoleRun(args, name)
    try:
        started = wait_until(lambda: rumble_count(run.events()) >= MID_PIECE_REPORTS, 60)
        window = run.desktop.find_window("console_run")
        if not c.expect(started and window, "the piece did not start playing in a console window"):
            c.finish()
        sent = args.platform.now_ns()
        if name == "close":
            run.desktop.close_window(window)
        else:
            run.desktop.keys(window, KEYS[name])
        delivered = wait_until(lambda: EVENTS[name] in run.report()[0], DELIVERY_LIMIT_S)
        if not delivered:
            explain_undelivered(run, name, program)
        c.expect(wait_until(lambda: run.report()[1] is not None, END_LIMIT_S),
                 "no exit status reported within %d s of the event" % END_LIMIT_S)
        received, status = run.report()
        c.expect(status == INTERRUPTED, "exit status %r, expected %d (stderr %r)" %
                 (status, INTERRUPTED, run.text("err")[-300:]))
        check_torn_down(c, run.events(), sent, args.platform.stamp_jitter_ns)
        print("events received on the console: %r; %d rumble reports before the tear-down" %
              (received, rumble_count(run.events()) - 1))
    finally:
        run.end()
    c.finish()


def explain_undelivered(run, name, program):
    """Says what Wine did instead of passing the event on, restores the controller with Ctrl-C
    where the program still runs, and ends the test as skipped (the caller's clean-up runs)."""
    received, status = run.report()
    alive = run.proc.poll() is None and status is None
    events = run.events()
    ended_with = "the close" if events and events[-1][1] == "close" else "no close"
    if alive:
        what = "%s went on playing; the console reported events %r" % (program, received)
        window = run.desktop.find_window("console_run", 1)
        if window:
            run.desktop.keys(window, KEYS["ctrl-c"])
            wait_until(lambda: run.report()[1] is not None, END_LIMIT_S)
    else:
        last = writes_of(events)[-1:]
        what = ("the processes on the console were ended without a console event (%s's log ends "
                "with a %s write and %s, exit status %r)" %
                (program, "rumble" if last and last[0][2][0] == 0x10 else "subcommand", ended_with, status))
    print("SKIPPED: Wine delivered no %s event (%d) for %s: %s" % (name, EVENTS[name], name, what))
    sys.exit(SKIPPED)


def scenario_not_found(args):
    """Without a controller. Alone in a console window of its own, as when started from Explorer:
    the message box, since the window closes with the program. Started from a console: the
    message on the console's screen, no dialog waiting for a click, exit status 1."""
    program = os.path.basename(args.program)
    c = Checks("%s without a controller" % program)
    run = ConsoleRun(args, "not-found", mode="absent", start=False)
    try:
        alone = run.desktop.console([args.platform.log_path(args.platform.program)] + run.program_arguments)
        dialog = run.desktop.run([args.describe_dialog], DIALOG_LIMIT_S).split("\n")
        c.expect("text=" + NOT_FOUND in dialog, "alone in its console window: no message box saying %r (%r)" %
                 (NOT_FOUND, dialog[:4]))
        window = run.desktop.find_window("^Error$", 10)
        if window:
            run.desktop.keys(window, ["Return"])
        c.expect(wait_until(lambda: alone.poll() is not None, END_LIMIT_S), "the program did not end after OK")

        run.start()
        ended = wait_until(lambda: run.report()[1] is not None, END_LIMIT_S)
        c.expect(ended, "from a console: no exit status within %d s: waiting for a dialog?" % END_LIMIT_S)
        c.expect(run.report()[1] == 1, "from a console: exit status %r, expected 1" % run.report()[1])
        screen = run.text("screen")
        c.expect(NOT_FOUND in screen.split("\n"), "the console does not show %r: %r" % (NOT_FOUND, screen[-300:]))
        c.expect(not writes_of(run.events()), "written to a controller")
    finally:
        run.end()
    c.finish()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--stand-ins", required=True)
    parser.add_argument("--console-run", required=True)
    parser.add_argument("--describe-dialog")
    parser.add_argument("--work", required=True)
    parser.add_argument("scenario", choices=sorted(EVENTS) + ["not-found"])
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    args.platform = Platform(args, args.program)
    if args.scenario == "not-found":
        scenario_not_found(args)
    else:
        scenario_event(args, args.scenario)


if __name__ == "__main__":
    main()
