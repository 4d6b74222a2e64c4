"""End-to-end checks of the real tavrel executable on the virtual controller.

Usage: tavrel_e2e.py --tavrel PATH (--library PATH | --stand-ins DIR) --work DIR SCENARIO [ARG]
With --library, tavrel runs on Linux with the virtual controller preloaded; with --stand-ins,
tavrel.exe runs under Wine beside the Windows virtual controller's DLLs and server.
Scenarios: normal-and-silent, absent [CONTROLLER], vanish N, interrupt SIGNAL, interrupt-set-up,
second-interrupt (Windows: normal-and-silent and vanish). Exits 0 when every check passed, 1
with the failures listed otherwise.
"""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tavrel_model as model  # noqa: E402

TUNE_COMMANDS = 212
RUN_LIMIT_S = 150          # a whole run that takes longer than this hangs
STOP_MARGIN_NS = 500_000_000  # an interrupt must stop the tune within this (wide) margin
SLOWER_LIMIT_NS = 1_000_000_000  # a silent controller may add at most this to a run
HALF_UNIT_SHARE = 0.9            # of one extra half unit per note, how much a run may take longer


class Checks:
    def __init__(self, name):
        self.name = name
        self.failures = []

    def expect(self, condition, message):
        if not condition:
            self.failures.append(message)
        return condition

    def finish(self):
        if self.failures:
            print("%s: %d check(s) failed:" % (self.name, len(self.failures)))
            for f in self.failures[:40]:
                print("  - " + f)
            sys.exit(1)
        print("%s: all checks passed" % self.name)
        sys.exit(0)


# How late the Windows virtual controller may log a write or a delivery: its server, another
# process, stamps each once the system has woken it for it, which two busy cores can delay by
# many ms.
WINDOWS_STAMP_JITTER_NS = 25_000_000
WINDOWS_STAND_INS = ("setupapi.dll", "hid.dll", "virtual-joycon-server.exe")


class Platform:
    """How a program starts on the virtual controller, and what its log can show.

    Linux: the program with the hidapi stand-in preloaded; the log's clock is CLOCK_MONOTONIC.
    Windows: the .exe under Wine, copied beside the stand-in DLLs; the log's clock is Wine's
    performance counter, which is CLOCK_MONOTONIC_RAW. A device there does not see reads that
    bring nothing, nor calls on it once it is lost, so those leave no lines."""

    def __init__(self, args, program):
        self.windows = bool(getattr(args, "stand_ins", None))
        self.sees_empty_reads = not self.windows
        self.stamp_jitter_ns = WINDOWS_STAMP_JITTER_NS if self.windows else 0
        if not self.windows:
            self.program = program
            self.command = [program]
            self.env = {"LD_PRELOAD": args.library}
            return
        folder = os.path.join(args.work, "bin")
        os.makedirs(folder, exist_ok=True)
        for path in [program] + [os.path.join(args.stand_ins, name) for name in WINDOWS_STAND_INS]:
            shutil.copy2(path, folder)
        self.program = os.path.join(folder, os.path.basename(program))
        self.command = ["wine", self.program]
        self.env = {"WINEDLLOVERRIDES": "setupapi,hid=n,b;mscoree,mshtml=", "WINEDEBUG": "-all"}

    def now_ns(self):
        return time.clock_gettime_ns(time.CLOCK_MONOTONIC_RAW) if self.windows else time.monotonic_ns()

    def log_path(self, path):
        """The log's path as the virtual controller is given it (Wine maps drive Z: to /)."""
        return "Z:" + os.path.abspath(path).replace("/", "\\") if self.windows else path

    def output_files(self, log):
        """Files for a run's standard output and error on Windows; None elsewhere."""
        if not self.windows:
            return None
        return tuple(open(log + suffix, "w+b") for suffix in (".stdout", ".stderr"))

    @staticmethod
    def read_output(f):
        f.seek(0)
        text = f.read().decode("latin-1")
        f.close()
        return text

    def console(self, text):
        """Console output with the platform's line ends made plain line feeds."""
        return text.replace("\r\n", "\n") if self.windows else text


def add_controller_arguments(parser):
    """--library or --stand-ins: the virtual controller a program runs on."""
    where = parser.add_mutually_exclusive_group(required=True)
    where.add_argument("--library", help="the Linux virtual controller (preloaded)")
    where.add_argument("--stand-ins", help="folder of the Windows virtual controller (Wine)")


MAX_DEVICES = 4  # virtual devices one virtual controller stands for


class Run:
    """One process of the platform's program on the virtual controller, with arguments if given."""

    def __init__(self, args, tag, mode="normal", extra_env=None, arguments=(), stdout=None, stdin=None):
        self.platform = args.platform
        self.log = os.path.join(args.work, tag + ".log")
        for path in [self.log] + [self.device_log(k) for k in range(1, MAX_DEVICES)]:
            if os.path.exists(path):
                os.remove(path)
        env = dict(os.environ)
        env.update(self.platform.env)
        env.update({"TAVREL_VJ_LOG": self.platform.log_path(self.log), "TAVREL_VJ_MODE": mode})
        env.update(extra_env or {})
        self.start_ns = self.platform.now_ns()
        # Under Wine the output goes through files: system processes that Wine starts for this
        # program may keep its output open after it has ended.
        self.output = self.platform.output_files(self.log)
        self.proc = subprocess.Popen(self.platform.command + list(arguments), env=env,
                                     stdin=subprocess.DEVNULL if stdin is None else stdin,
                                     stdout=stdout or (self.output[0] if self.output else subprocess.PIPE),
                                     stderr=self.output[1] if self.output else subprocess.PIPE, text=True)

    def signal(self, signum):
        sent = self.platform.now_ns()
        self.proc.send_signal(signum)
        return sent

    def finish(self, timeout=RUN_LIMIT_S):
        try:
            self.stdout, self.stderr = self.proc.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.communicate()
            raise SystemExit("%s did not end within %d s (hang)" % (os.path.basename(self.platform.program), timeout))
        if self.output:
            self.stdout, self.stderr = (self.platform.read_output(f) for f in self.output)
        self.end_ns = self.platform.now_ns()
        self.stdout = self.platform.console(self.stdout)
        self.stderr = self.platform.console(self.stderr)
        self.status = self.proc.returncode
        self.events = model.parse_log(self.log) if os.path.exists(self.log) else []
        return self

    def device_log(self, k):
        """The log of virtual device k (from 0) when the virtual controller stands for several."""
        return self.log if k == 0 else "%s.%d" % (self.log, k + 1)

    def device_events(self, k):
        path = self.device_log(k)
        return model.parse_log(path) if os.path.exists(path) else []

    def log_lines_matching(self, predicate):
        if not os.path.exists(self.log):
            return []
        with open(self.log) as f:
            return [line for line in f if predicate(line)]

    def wait_for_log(self, predicate, limit_s=20):
        deadline = time.monotonic() + limit_s
        while time.monotonic() < deadline and self.proc.poll() is None:
            if self.log_lines_matching(predicate):
                return True
            time.sleep(0.001)
        return False


def writes_of(events):
    return [e for e in events if e[1] == "write"]


# The tear-down's four writes, each as its report ID and the bytes that tell it apart: silence,
# vibration off, lamps off, the simple input mode.
TEAR_DOWN_TAIL = [(0x10, bytes(model.SILENCE)), (0x01, bytes([model.SUB_VIBRATION, 0x00])),
                  (0x01, bytes([model.SUB_LIGHTS, 0x00])), (0x01, bytes([model.SUB_MODE, 0x3F]))]


def tail_of(writes):
    """The last four writes in the form of TEAR_DOWN_TAIL."""
    return [(w[2][0], bytes(w[2][2:6]) if w[2][0] == 0x10 else bytes(w[2][10:12])) for w in writes[-4:]]


def check_console_complete(c, run):
    banner_first, echoes, other = model.parse_console(run.stdout)
    c.expect(banner_first, "stdout does not begin with the banner: %r" % run.stdout[:80])
    c.expect(len(echoes) == TUNE_COMMANDS, "%d echo lines, expected %d" % (len(echoes), TUNE_COMMANDS))
    c.expect(not other, "unexpected stdout lines: %r" % other[:5])
    c.expect(run.stderr == "", "stderr not empty: %r" % run.stderr[:200])
    c.expect(echoes[:3] == ["t25", "l2", "o3"], "the tune does not open with t25 l2 o3: %r" % echoes[:3])
    if len(echoes) == TUNE_COMMANDS:
        c.expect(echoes[16:45] == echoes[45:74], "the second segment is not played twice alike")
        c.expect(echoes[74:143] == echoes[143:212], "the third segment is not played twice alike")
    return echoes


def check_write_bytes(c, actual, expected_ops):
    expected = model.build_reports([op for op, _ in expected_ops])
    c.expect(len(actual) == len(expected), "%d writes, expected %d" % (len(actual), len(expected)))
    for i, (got, want) in enumerate(zip(actual, expected)):
        if not c.expect(got[2] == want, "write %d is %s, expected %s" % (i + 1, got[2].hex(), want.hex())):
            break


def check_sequence(c, events, answered, sees_empty_reads=True):
    """open, then every subcommand write followed by exactly one read result before the next
    write (a delivered 0x21 reply for it when answered, else a timeout where the log shows
    those), rumble writes by none, then close."""
    c.expect(events and events[0][1:] == ("open", "057e", "2007", "ok"), "first event is not the open: %r" % (events[:1],))
    c.expect(events and events[-1][1] == "close", "last event is not the close")
    body = events[1:-1]
    i = 0
    while i < len(body):
        e = body[i]
        if not c.expect(e[1] == "write", "event %d is %r, expected a write" % (i + 2, e[1:2])):
            return
        after = body[i + 1] if i + 1 < len(body) else None
        if e[2][0] == 0x01:
            if answered:
                ok = after is not None and after[1] == "deliver" and after[2][0] == 0x21 and \
                    after[2][13] == 0x80 and after[2][14] == e[2][10] and len(after[2]) == 49
                if not c.expect(ok, "subcommand %02x not followed by its one reply: %r" % (e[2][10], after)):
                    return
            elif sees_empty_reads:
                ok = after is not None and after[1] == "timeout" and 0 <= int(after[2]) <= 50
                if not c.expect(ok, "subcommand %02x not followed by one bounded timed-out read: %r" % (e[2][10], after)):
                    return
            else:
                i += 1
                continue
            i += 2
        else:
            i += 1


def check_waits(c, writes, expected_ops, stamp_jitter_ns):
    """Every gap between consecutive writes is at least the wait the commands ask for, and so is
    the time from the first write to each later one. A log time may be late by up to
    stamp_jitter_ns (where the log is written by another process than the program's), which a
    gap, or a time from the first write, can lose once."""
    short = []
    asked_since_first = 0
    for i in range(len(writes) - 1):
        asked_ns = expected_ops[i][1] * 1_000_000
        asked_since_first += asked_ns
        gap = writes[i + 1][0] - writes[i][0]
        since_first = writes[i + 1][0] - writes[0][0]
        if gap < asked_ns - stamp_jitter_ns or since_first < asked_since_first - stamp_jitter_ns:
            short.append((i + 1, gap, asked_ns))
    c.expect(not short, "%d waits shorter than asked, first (write, gap ns, asked ns): %r" % (len(short), short[:3]))


def nominal_ns(expected_ops):
    return sum(wait for _, wait in expected_ops) * 1_000_000


def check_no_faults(c, run):
    """The virtual controller logs a fault for a write it could not take (of a wrong length, or to
    a decoy) and for a decoy opened for writing."""
    faults = [" ".join(str(f) for f in e[1:]) for e in run.events if e[1] == "fault"]
    c.expect(not faults, "faults logged: %r" % faults[:3])


def check_full_run(c, run, answered):
    c.expect(run.status == 0, "exit status %r, expected 0" % run.status)
    echoes = check_console_complete(c, run)
    ops = model.expected_run(echoes)
    writes = writes_of(run.events)
    check_write_bytes(c, writes, ops)
    check_sequence(c, run.events, answered, run.platform.sees_empty_reads)
    check_no_faults(c, run)
    c.expect(not [e for e in run.events if e[1] == "fail"], "failed calls in the log")
    if len(writes) == len(ops):
        check_waits(c, writes, ops, run.platform.stamp_jitter_ns)
    return ops


def run_span_ns(run):
    return run.events[-1][0] - run.events[0][0] if run.events else 0


def overhead_ns(run):
    """Run time spent outside the gaps that follow rumble writes (the tune's paced waits)."""
    writes = writes_of(run.events)
    paced = sum(writes[i + 1][0] - writes[i][0] for i in range(len(writes) - 1) if writes[i][2][0] == 0x10)
    return run_span_ns(run) - paced


def write_cost_ns(run, ops):
    """What a paced rumble gap takes beyond its asked wait on this machine, on average. The
    program waits from the end of each write, so the time a write takes (on Windows a round trip
    through Wine's server and the controller's) and a busy machine's scheduling add to every gap.
    The gaps after each note's last half are left out: those are what a slow last half lengthens."""
    _, echoes, _ = model.parse_console(run.stdout)
    writes = writes_of(run.events)
    last_halves = set(model.last_half_writes(echoes))
    paced = [i for i in range(min(len(writes), len(ops)) - 1) if writes[i][2][0] == 0x10]
    extras = [writes[i + 1][0] - writes[i][0] - ops[i][1] * 1_000_000 for i in paced if i not in last_halves]
    return (max(0, sum(extras) // len(extras)), len(paced)) if extras else (0, 0)


def run_limit_ns(run, ops):
    """The longest a whole run may take: the tune's nominal length, the machine's own cost per
    paced write, and most of what one extra half unit per note would add. A run with that fault
    always exceeds it, while a run slowed by a busy machine has that much (1.75 s for the tune)
    to spare."""
    _, echoes, _ = model.parse_console(run.stdout)
    cost, gaps = write_cost_ns(run, ops)
    return nominal_ns(ops) + cost * gaps + int(HALF_UNIT_SHARE * model.note_halves_ms(echoes) * 1_000_000)


def scenario_normal_and_silent(args):
    c = Checks("normal and silent runs")
    normal = Run(args, "normal").finish()
    ops = check_full_run(c, normal, answered=True)
    nominal = nominal_ns(ops)
    limit = run_limit_ns(normal, ops)
    span = run_span_ns(normal)
    c.expect(span <= limit, "normal run took %.3f s for a %.3f s tune (at most %.3f s)" %
             (span / 1e9, nominal / 1e9, limit / 1e9))
    silent = Run(args, "silent", mode="silent").finish()
    check_full_run(c, silent, answered=False)
    c.expect(not [e for e in silent.events if e[1] == "deliver"], "a silent controller delivered a report")
    silent_span = run_span_ns(silent)
    c.expect(silent_span <= limit + SLOWER_LIMIT_NS, "silent run took %.3f s for a %.3f s tune (at most %.3f s)" %
             (silent_span / 1e9, nominal / 1e9, (limit + SLOWER_LIMIT_NS) / 1e9))
    # The tune's pacing depends on how busy the machine is, alike in both runs; what a silent
    # controller may add is the time outside the tune's paced rumble gaps.
    extra = overhead_ns(silent) - overhead_ns(normal)
    c.expect(extra <= SLOWER_LIMIT_NS, "a silent controller added %.3f s outside the tune" % (extra / 1e9))
    print("nominal %.3f s; normal run %.3f s (%.3f s outside the tune, %.3f ms per write); "
          "silent run %.3f s (%.3f s outside the tune)" %
          (nominal / 1e9, span / 1e9, overhead_ns(normal) / 1e9, write_cost_ns(normal, ops)[0] / 1e6,
           silent_span / 1e9, overhead_ns(silent) / 1e9))
    c.finish()


def scenario_absent(args, controller=None):
    """No controller, or with CONTROLLER (TAVREL_VJ_CONTROLLER) one that is not the right Joy-Con
    tavrel looks for."""
    if controller:
        c = Checks("only a %s controller" % controller)
        run = Run(args, "absent-" + controller, extra_env={"TAVREL_VJ_CONTROLLER": controller})
    else:
        c = Checks("absent controller")
        run = Run(args, "absent", mode="absent")
    # Well within the test's own limit: a run that found a controller plays the tune, and says so.
    run.finish(timeout=10)
    c.expect(run.status == 1, "exit status %r, expected 1" % run.status)
    c.expect(run.stdout == "", "stdout not empty: %r" % run.stdout[:200])
    c.expect(run.stderr == "JoyCon not found.\n", "stderr is %r" % run.stderr)
    c.expect([e[1:] for e in run.events] == [("open", "057e", "2007", "absent")],
             "log is %r, expected one absent open" % run.events[:5])
    c.expect(run.end_ns - run.start_ns < 5_000_000_000, "took %.3f s" % ((run.end_ns - run.start_ns) / 1e9))
    c.finish()


def scenario_vanish(args, after):
    c = Checks("controller lost after %d writes" % after)
    run = Run(args, "vanish-%d" % after, mode="vanish", extra_env={"TAVREL_VJ_VANISH_AFTER": str(after)}).finish()
    c.expect(run.status == 0, "exit status %r, expected 0" % run.status)
    echoes = check_console_complete(c, run)
    ops = model.expected_run(echoes)
    expected = model.build_reports([op for op, _ in ops])
    events = run.events
    c.expect(events and events[0][1:] == ("open", "057e", "2007", "ok"), "first event is not the open")
    writes = writes_of(events)
    c.expect([w[2] for w in writes] == expected[:after], "the %d writes before the loss differ" % after)
    check_no_faults(c, run)
    last_write = events.index(writes[-1]) if writes else 0
    if not run.platform.sees_empty_reads:
        # The lost device sees nothing more, not even the close.
        c.expect(not events[last_write + 1:], "events after the loss: %r" % [e[1] for e in events[last_write + 1:]][:5])
        c.finish()
    c.expect(events and events[-1][1] == "close", "the device was not closed")
    later = [e[1:] for e in events[last_write + 1:-1]]
    failed_writes = later.count(("fail", "write"))
    failed_reads = later.count(("fail", "read"))
    c.expect(failed_writes == len(expected) - after, "%d failed writes, expected %d" % (failed_writes, len(expected) - after))
    subs_after = sum(1 for op, _ in ops[after:] if op[0] == "sub")
    subs_answered_before = sum(1 for op, _ in ops[:after] if op[0] == "sub")
    c.expect(failed_reads == subs_after + (1 if ops[after - 1][0][0] == "sub" else 0),
             "%d failed reads, expected one per subcommand from the loss on" % failed_reads)
    delivered = [e for e in events if e[1] == "deliver"]
    c.expect(len(delivered) == subs_answered_before - (1 if ops[after - 1][0][0] == "sub" else 0),
             "%d replies delivered before the loss" % len(delivered))
    c.expect(len(later) == failed_writes + failed_reads, "other events after the loss: %r" % [e for e in later if e[0] != "fail"][:3])
    c.finish()


def check_interrupted_stream(c, run, echoes, sent_ns):
    """The writes: a set-up prefix, a prefix of the tune's stream, then the whole tear-down."""
    ops = model.expected_run(echoes)
    tune = [op for op, _ in ops[3:-4]]
    writes = writes_of(run.events)
    if not c.expect(len(writes) >= 4, "only %d writes" % len(writes)):
        return 0, 0
    before = writes[:-4]
    set_up = 0
    while set_up < min(3, len(before)) and before[set_up][2][0] == 0x01:
        set_up += 1
    played = len(before) - set_up
    c.expect(played <= len(tune), "%d rumble reports, more than the echoed commands ask" % played)
    expected_ops = model.SET_UP[:set_up] + tune[:played] + model.TEAR_DOWN
    check_write_bytes(c, writes, [(op, 0) for op in expected_ops])
    silence = writes[-4]
    c.expect(silence[0] > sent_ns, "the tear-down began before the signal")
    c.expect(silence[0] - sent_ns < STOP_MARGIN_NS, "the tear-down began %.3f s after the signal" % ((silence[0] - sent_ns) / 1e9))
    c.expect(run.events[-1][1] == "close", "the device was not closed last")
    return set_up, played


def scenario_interrupt(args, signame):
    signum = getattr(signal, signame)
    c = Checks("%s during the tune" % signame)
    run = Run(args, "interrupt-" + signame)
    time.sleep(3.0)
    sent = run.signal(signum)
    if signum == signal.SIGHUP:
        # A closing terminal's shell passes the hang-up on as well.
        time.sleep(0.01)
        run.signal(signum)
    run.finish(timeout=30)
    c.expect(run.status == 130, "exit status %r, expected 130" % run.status)
    banner_first, echoes, other = model.parse_console(run.stdout)
    c.expect(banner_first, "no banner first")
    c.expect(not other, "unexpected stdout lines: %r" % other[:5])
    c.expect(3 < len(echoes) < TUNE_COMMANDS, "%d echo lines, expected some but not all" % len(echoes))
    set_up, played = check_interrupted_stream(c, run, echoes, sent)
    c.expect(set_up == 3, "set-up incomplete (%d subcommands) though the signal came 3 s in" % set_up)
    # Every command echoed before the last one was played in full.
    whole = model.expected_run(echoes[:-1])
    c.expect(played >= len(whole) - 7, "%d rumble reports, the commands before the last ask %d" % (played, len(whole) - 7))
    check_sequence(c, run.events, answered=True)
    c.finish()


def scenario_interrupt_set_up(args):
    c = Checks("interrupt during set-up")
    for attempt in range(3):
        run = Run(args, "interrupt-set-up", mode="silent")
        # The silent controller makes each set-up read wait its full timeout: signal during the first.
        seen = run.wait_for_log(lambda line: " write " in line)
        sent = run.signal(signal.SIGINT)
        run.finish(timeout=30)
        if not c.expect(seen, "no write seen in the log"):
            break
        set_up = 0
        for w in writes_of(run.events):
            if w[2][0] != 0x01:
                break
            set_up += 1
        if set_up < 3:
            break
        print("attempt %d: the signal came after set-up; trying again" % (attempt + 1))
    c.expect(run.status == 130, "exit status %r, expected 130" % run.status)
    banner_first, echoes, other = model.parse_console(run.stdout)
    c.expect(banner_first and not echoes and not other, "stdout is %r, expected the banner only" % run.stdout[:200])
    set_up, played = check_interrupted_stream(c, run, [], sent)
    c.expect(1 <= set_up < 3, "%d set-up subcommands sent, expected the rest skipped" % set_up)
    c.expect(played == 0, "%d rumble reports besides the silence" % played)
    check_sequence(c, run.events, answered=False)
    c.finish()


def scenario_second_interrupt(args):
    c = Checks("second interrupt")
    run = Run(args, "second-interrupt", mode="silent")
    time.sleep(1.0)
    run.signal(signal.SIGINT)
    # The tear-down's reads each wait their timeout on a silent controller: interrupt again in it.
    seen = run.wait_for_log(lambda line: " write 49 10" in line and "3c002f403c002f40" in line)
    second = run.signal(signal.SIGINT)
    run.finish(timeout=30)
    c.expect(seen, "the tear-down's silence report was not seen")
    c.expect(run.status == 130, "exit status %r, expected 130" % run.status)
    c.expect(run.end_ns - second < 1_000_000_000, "ended %.3f s after the second signal" % ((run.end_ns - second) / 1e9))
    kinds = [e[1] for e in run.events]
    c.expect("close" not in kinds, "the device was closed: the second interrupt did not end the process at once")
    writes = writes_of(run.events)
    silence_at = [i for i, w in enumerate(writes) if w[2][2:10].hex() == "3c002f403c002f40"]
    c.expect(len(silence_at) == 1 and len(writes) - silence_at[0] < 4,
             "%d writes from the silence on: the tear-down was completed" % (len(writes) - silence_at[0] if silence_at else -1))
    c.finish()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tavrel", required=True)
    add_controller_arguments(parser)
    parser.add_argument("--work", required=True)
    parser.add_argument("scenario")
    parser.add_argument("arg", nargs="?")
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    args.platform = Platform(args, args.tavrel)
    if args.scenario == "normal-and-silent":
        scenario_normal_and_silent(args)
    elif args.scenario == "absent":
        scenario_absent(args, args.arg)
    elif args.scenario == "vanish":
        scenario_vanish(args, int(args.arg))
    elif args.scenario == "interrupt":
        scenario_interrupt(args, args.arg)
    elif args.scenario == "interrupt-set-up":
        scenario_interrupt_set_up(args)
    elif args.scenario == "second-interrupt":
        scenario_second_interrupt(args)
    else:
        parser.error("unknown scenario " + args.scenario)


if __name__ == "__main__":
    main()
