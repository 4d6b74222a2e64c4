"""End-to-end checks of the real tavrel-play executable on the virtual controller.

Usage: play_e2e.py --play PATH (--library PATH | --stand-ins DIR) --work DIR SCENARIO
Scenarios: tune --tavrel PATH (the built-in tune as text against tavrel itself), bad-file,
interrupt, hang-up, vanish, controllers, several (a MIDI file on two and three controllers; needs
midiutil), strict (controllers that queue, delay and drop as real ones; needs midiutil)
(Windows: bad-file, vanish, controllers, several and strict). Exits 0 when every check passed, 1 with the failures listed otherwise.
"""
import argparse
import os
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tavrel_model as model  # noqa: E402
from schedule_places import parse_schedules, place_writes  # noqa: E402
from tavrel_e2e import TEAR_DOWN_TAIL, Checks, Platform, Run, add_controller_arguments, tail_of, writes_of  # noqa: E402

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TUNE_TEXT = os.path.join(SOURCE, "examples", "greensleeves.txt")
EARLY_LIMIT_NS = 2_000_000  # how much sooner than its due time the log may show a report
MIN_INTERVAL_NS = 15_000_000
CONTROLLER_GAP_NS = 2_000_000  # the least time between writes to two controllers
SHORT_TUNE = "t20 o3 c4 e4 g4 r2 >c8<"
VANISH_AFTER = 40


def play_run(args, tag, arguments, controller="right", mode="normal", env=None, stdout=None):
    """One tavrel-play process on the virtual controller, as the given kind of controller. On
    Windows the virtual controller lists a left Joy-Con as a decoy, which tavrel-play would play
    as well when it opens every controller connected: there each run names its controller."""
    if args.platform.windows and "--controller" not in arguments:
        arguments = ["--controller", controller] + list(arguments)
    extra = {"TAVREL_VJ_CONTROLLER": controller, "TAVREL_VJ_VANISH_AFTER": str(VANISH_AFTER)}
    extra.update(env or {})
    return Run(args, tag, mode=mode, arguments=arguments, extra_env=extra, stdout=stdout)


def write_file(args, name, text):
    path = os.path.join(args.work, name)
    with open(path, "w") as f:
        f.write(text)
    return args.platform.log_path(path)


def schedules_of(args, path, *options):
    run = Run(args, "schedule", arguments=list(options) + ["--schedule", path]).finish()
    if run.status != 0:
        raise SystemExit("tavrel-play --schedule failed with status %r: %s" % (run.status, run.stderr[:300]))
    return parse_schedules(run.stdout)


def schedule_of(args, path, *options):
    return schedules_of(args, path, *options)[0]


def collapse(blocks):
    """Each item once where it repeats the one before: a subcommand's retries, a held report."""
    out = []
    for b in blocks:
        if not out or out[-1] != b:
            out.append(b)
    return out


def check_played(c, run, reports, events=None, lamp=0x01, found_mode=0x3F, usb=False, interval_ns=MIN_INTERVAL_NS):
    """Every write exact (the USB handshake where there is one, the set-up, the scheduled reports,
    the tear-down that gives back the input mode found; subcommands tried again where the
    controller dropped one), opened and closed once, the reports the schedule's in its order,
    none before its due time, and no write closer than the least interval to the one before.
    After a stall of the machine reports may be passed over: how late they went is the bench's."""
    events = run.events if events is None else events
    c.expect(run.status == 0, "exit status %r, expected 0 (stderr %r)" % (run.status, run.stderr[:200]))
    writes = writes_of(events)
    kinds = [e[1] for e in events if e[1] in ("open", "close")]
    c.expect(kinds == ["open", "close"], "opens and closes: %r" % kinds)
    c.expect(not [e for e in events if e[1] == "fault"], "faults logged: %r" % [e for e in events if e[1] == "fault"][:3])
    handshake = [w for w in writes if w[2][0] == 0x80]
    c.expect([w[2][1] for w in handshake] == ([2, 3, 2, 4] if usb else []),
             "USB commands %r" % [w[2][1] for w in handshake])
    c.expect(writes[:len(handshake)] == handshake, "USB commands after other reports")
    writes = writes[len(handshake):]
    rumble_at = [i for i, w in enumerate(writes) if w[2][0] == 0x10]
    if not c.expect(rumble_at, "no rumble report written"):
        return
    set_up = [(w[2][10], w[2][11]) for w in writes[:rumble_at[0]]]
    tear_down = [(w[2][10], w[2][11]) for w in writes[rumble_at[-1] + 1:]]
    c.expect(collapse(set_up) == [(model.SUB_MODE, 0x3F), (model.SUB_LIGHTS, lamp), (model.SUB_VIBRATION, 1)],
             "set-up %r" % set_up)
    c.expect(collapse(tear_down) == [(model.SUB_VIBRATION, 0), (model.SUB_LIGHTS, 0), (model.SUB_MODE, found_mode)],
             "tear-down %r" % tear_down)
    rumble = writes[rumble_at[0]:rumble_at[-1] + 1]
    jitter = run.platform.stamp_jitter_ns
    # The play begins an interval after the set-up's last write at the soonest. Under Wine the log
    # may stamp that write late, so no report's time is bound there.
    origin = writes[rumble_at[0] - 1][0] + interval_ns if rumble_at[0] > 0 and not jitter else None
    matched = place_writes(rumble[:-1], reports, origin, EARLY_LIMIT_NS) if len(rumble) > 1 else [None]
    if not c.expect(None not in matched, "write %d matches no report of the schedule, or went out before its time" %
                    len(matched)):
        return
    ops = ([("sub",) + op for op in set_up] + [("rumble",) + tuple(w[2][2:10]) for w in rumble[:-1]] +
           [("rumble",) + model.SILENCE] + [("sub",) + op for op in tear_down])
    expected = model.build_reports(ops, model.NEUTRAL_BLOCKS)
    c.expect(len(writes) == len(expected), "%d writes, expected %d" % (len(writes), len(expected)))
    for i, (got, want) in enumerate(zip(writes, expected)):
        if not c.expect(got[2][:len(want)] == want, "write %d is %s, expected %s" % (i + 1, got[2].hex(), want.hex())):
            break
    # The program counts the interval from the end of a write and the Linux log stamps a write
    # once it has begun: a stall cannot bring two stamps closer than the program kept them.
    every = handshake + writes
    close = [i for i in range(1, len(every)) if every[i][0] - every[i - 1][0] < interval_ns - jitter - 500_000]
    c.expect(not close, "%d writes closer than %g ms to the one before: %r" % (len(close), interval_ns / 1e6, close[:3]))
    first = rumble[0][0] - reports[matched[0]][0]
    off = sorted((w[0] - first) - reports[k][0] for w, k in zip(rumble, matched))
    print("%d reports, %d passed over; offset from due time after the first: median %.3f ms, largest %.3f ms" %
          (len(reports), len(reports) - len(matched), off[len(off) // 2] / 1e6, off[-1] / 1e6))


def scenario_tune(args):
    """The built-in tune as text: the same rumble bytes in the same order as tavrel sends them,
    with silence where tavrel rests, runs of identical reports collapsed; and what tavrel-play
    wrote is its schedule."""
    c = Checks("the built-in tune as text")
    reports, length = schedule_of(args, args.platform.log_path(TUNE_TEXT))
    played = play_run(args, "tune", [args.platform.log_path(TUNE_TEXT)]).finish()
    check_played(c, played, reports)

    args.platform = Platform(args, args.tavrel)
    tavrel = Run(args, "tavrel").finish()
    c.expect(tavrel.status == 0, "tavrel exit status %r" % tavrel.status)
    _, echoes, _ = model.parse_console(tavrel.stdout)
    sent = iter(bytes(w[2][2:6]) for w in writes_of(tavrel.events) if w[2][0] == 0x10)
    player = model.Player()
    heard = []
    for text in echoes:
        made = player.command(text)
        if made == 0 and text[:1].lower() in "abcdefghr":
            heard.append(bytes(model.SILENCE))  # a rest: tavrel lets the tone ring, tavrel-play is silent
        heard.extend(next(sent) for _ in range(made))
    heard.extend(sent)  # the tear-down's silence
    mine = collapse([rumble for _, rumble in reports] + [bytes(model.SILENCE)])
    theirs = collapse(heard)
    c.expect(mine == theirs, "rumble sequences differ: %d against tavrel's %d, first difference at %r" %
             (len(mine), len(theirs), next((i for i, (a, b) in enumerate(zip(mine, theirs)) if a != b), None)))
    nominal = sum(w for _, w in model.play(echoes).sends) * 1_000_000
    c.expect(length == nominal, "tavrel-play's length %d ns, tavrel's nominal %d ns" % (length, nominal))
    c.finish()


def scenario_bad_file(args):
    """Text that is not the language: named by line and column, exit 2, the controller untouched;
    a folder, an empty file, a missing file and an image refused the same way, saying why."""
    c = Checks("a bad file")
    path = write_file(args, "bad.txt", "t25 l2\no3 c4 d4 $ e4\n")
    run = play_run(args, "bad-file", [path]).finish()
    c.expect(run.status == 2, "exit status %r, expected 2" % run.status)
    c.expect(":2:10: unexpected '$'" in run.stderr, "stderr does not name line 2, column 10: %r" % run.stderr)
    c.expect(not run.events, "the controller was touched: %r" % run.events[:3])
    # Files that are no tune at all: each refused with the reason, nothing opened.
    os.makedirs(os.path.join(args.work, "folder.mid"), exist_ok=True)
    with open(os.path.join(args.work, "photo.mid"), "wb") as f:
        f.write(b"\xff\xd8\xff\xe0\x00\x10JFIF\x00\x01")
    jpeg = args.platform.log_path(os.path.join(args.work, "photo.mid"))
    for name, path, says in [
            ("a folder", args.platform.log_path(os.path.join(args.work, "folder.mid")), "is a directory"),
            ("an empty file", write_file(args, "empty.txt", ""), "is empty"),
            ("a missing file", args.platform.log_path(os.path.join(args.work, "missing.mid")),
             "No such file or directory"),
            ("an image", jpeg, "not a MIDI file and not a tune")]:
        run = play_run(args, "bad-file", [path]).finish()
        c.expect(run.status == 2, "%s: exit status %r, expected 2" % (name, run.status))
        c.expect(says in run.stderr, "%s: stderr %r does not say %r" % (name, run.stderr, says))
        c.expect(not run.events, "%s: the controller was touched" % name)
    c.finish()


def scenario_interrupt(args):
    """SIGINT while playing: the controller silenced and restored, exit 130."""
    c = Checks("SIGINT while playing")
    run = play_run(args, "interrupt", [args.platform.log_path(TUNE_TEXT)])
    time.sleep(2.0)
    run.proc.send_signal(signal.SIGINT)
    run.finish(timeout=30)
    c.expect(run.status == 130, "exit status %r, expected 130" % run.status)
    writes = writes_of(run.events)
    tail = tail_of(writes)
    c.expect(tail == TEAR_DOWN_TAIL, "the last writes are not the tear-down: %r" % tail)
    c.expect(len(writes) > 20, "only %d writes before the signal 2 s in" % len(writes))
    c.expect(run.events and run.events[-1][1] == "close", "not closed last")
    c.finish()


def scenario_hang_up(args):
    """The terminal closed while playing (SIGHUP, twice as the kernel and the shell send it), and
    a closed standard output: the controller silenced and restored either way."""
    c = Checks("hang-up and closed output")
    run = play_run(args, "hang-up", [args.platform.log_path(TUNE_TEXT)])
    time.sleep(2.0)
    run.proc.send_signal(signal.SIGHUP)
    time.sleep(0.01)
    run.proc.send_signal(signal.SIGHUP)
    run.finish(timeout=30)
    c.expect(run.status == 130, "SIGHUP: exit status %r, expected 130" % run.status)
    c.expect(tail_of(writes_of(run.events)) == TEAR_DOWN_TAIL, "SIGHUP: the last writes are not the tear-down")
    c.expect(run.events and run.events[-1][1] == "close", "SIGHUP: not closed last")

    reading, writing = os.pipe()
    os.close(reading)
    run = play_run(args, "closed-output", [write_file(args, "short.txt", SHORT_TUNE)], stdout=writing)
    os.close(writing)
    run.finish(timeout=30)
    c.expect(run.status == 0, "closed output: exit status %r, expected 0" % run.status)
    c.expect(tail_of(writes_of(run.events)) == TEAR_DOWN_TAIL, "closed output: the last writes are not the tear-down")
    c.finish()


def scenario_vanish(args):
    """The controller disappears while playing: no hang, a message, exit status 3."""
    c = Checks("controller lost while playing")
    run = play_run(args, "vanish", ["--quiet", args.platform.log_path(TUNE_TEXT)], mode="vanish")
    run.finish(timeout=30)
    c.expect(run.status == 3, "exit status %r, expected 3" % run.status)
    c.expect("stopped taking reports" in run.stderr, "stderr does not say the controller was lost: %r" % run.stderr)
    c.expect(len(writes_of(run.events)) == VANISH_AFTER, "%d writes logged, the controller took %d" %
             (len(writes_of(run.events)), VANISH_AFTER))
    c.finish()


def scenario_controllers(args):
    """A right Joy-Con, a left Joy-Con and a Pro Controller each play; the wrong kind is not found."""
    c = Checks("controllers")
    path = write_file(args, "short.txt", SHORT_TUNE)
    reports, _ = schedule_of(args, path)
    for kind, product in (("right", "2007"), ("left", "2006"), ("pro", "2009")):
        run = play_run(args, "controller-" + kind, ["--controller", kind, "--quiet", path], controller=kind).finish()
        sub = Checks(kind)
        check_played(sub, run, reports)
        opened = [e for e in run.events if e[1] == "open"]
        sub.expect(opened and opened[0][3] == product, "opened %r, expected product %s" % (opened[:1], product))
        c.failures += ["%s: %s" % (kind, f) for f in sub.failures]
    # On Windows the virtual controller's decoy becomes a right Joy-Con when the left one plays.
    if not args.platform.windows:
        run = play_run(args, "controller-mismatch", ["--controller", "right", path], controller="left").finish()
        c.expect(run.status == 1, "right Joy-Con asked, left present: exit status %r, expected 1" % run.status)
        c.expect(run.stderr == "JoyCon not found.\n", "stderr %r, expected the not-found message" % run.stderr)
        c.expect(not writes_of(run.events), "written to a controller of the wrong kind")
    c.finish()


def scenario_several(args):
    """A MIDI file on two right Joy-Cons, then on a right and a left Joy-Con and a Pro Controller:
    every controller connected opens, each is set up with its own lamp, plays its own schedule
    (the song's voices given out over all their bands) under its own interval, and is restored."""
    sys.path.insert(0, os.path.join(SOURCE, "tests", "midi"))
    import fixtures  # noqa: E402 (needs midiutil)
    c = Checks("several controllers")
    path = os.path.join(args.work, "ensemble.mid")
    fixtures.ensemble(path)
    path = args.platform.log_path(path)
    for kinds in (["right", "right"], ["right", "left", "pro"]):
        schedules = schedules_of(args, path, "--controller", ",".join(kinds))
        run = play_run(args, "several-%d" % len(kinds), ["--quiet", path], controller=",".join(kinds)).finish()
        for k, kind in enumerate(kinds):
            sub = Checks("%s %d" % (kind, k + 1))
            events = run.device_events(k)
            check_played(sub, run, schedules[k][0], events=events, lamp=1 << k)
            opened = [e for e in events if e[1] == "open"]
            product = {"right": "2007", "left": "2006", "pro": "2009"}[kind]
            sub.expect(opened and opened[0][3] == product, "opened %r, expected product %s" % (opened[:1], product))
            sounding = [r for _, r in schedules[k][0] if r[:4] != bytes(model.SILENCE)]
            sub.expect(sounding, "nothing sounds on it")
            c.failures += ["%d controllers, %s" % (len(kinds), f) for f in sub.failures]
        if kinds[-1] == "pro":
            c.expect(any(len(r) == 8 and r[:4] != r[4:] for _, r in schedules[2][0]),
                     "the Pro Controller's two actuators never play apart")
    c.finish()


def scenario_strict(args):
    """Controllers as strict as real ones: their input reports queued from the open, replies 15 to
    30 ms late, a write closer than 15 ms to the one before logged as a fault. A MIDI file on a
    Pro Controller on a USB cable that its driver left streaming full reports (the handshake
    first and nothing before it, the full mode given back); on a right Joy-Con that drops the
    first "enable vibration" and says its battery is low (tried again; said once); on two
    Joy-Cons (their writes spread apart); and on one that never answers (an error that names it,
    the controller restored, nothing played)."""
    sys.path.insert(0, os.path.join(SOURCE, "tests", "midi"))
    import fixtures  # noqa: E402 (needs midiutil)
    c = Checks("strict controllers")
    path = os.path.join(args.work, "strict.mid")
    fixtures.ensemble(path, bars=1, tempo_changes=((0, 150),))
    path = args.platform.log_path(path)
    strict = {"TAVREL_VJ_STRICT": "1", "TAVREL_VJ_START_MODE": "30"}
    if args.platform.windows:
        # The Windows server stamps a write when the system wakes it for it, up to tens of ms
        # late: it cannot tell 15 ms apart. The spacing is checked on Linux.
        strict["TAVREL_VJ_SPACING_MS"] = "0"

    def sub_checks(name, check):
        sub = Checks(name)
        check(sub)
        c.failures.extend("%s: %s" % (name, f) for f in sub.failures)

    reports = schedules_of(args, path, "--controller", "pro")[0][0]
    run = play_run(args, "strict-usb", ["--quiet", path], controller="pro", env=dict(strict, TAVREL_VJ_BUS="usb")).finish()

    def usb(sub):
        check_played(sub, run, reports, found_mode=0x30, usb=True)
        streamed = [e for e in run.events if e[1] == "deliver" and e[2][0] == 0x30]
        sub.expect(streamed, "no streamed report was read: the queue was not taken")
    sub_checks("USB Pro Controller", usb)

    reports = schedules_of(args, path, "--controller", "right")[0][0]
    run = play_run(args, "strict-drop", ["--quiet", path],
                   env=dict(strict, TAVREL_VJ_DROP="48", TAVREL_VJ_BATTERY="low")).finish()

    def dropped(sub):
        check_played(sub, run, reports, found_mode=0x30)
        sub.expect([e for e in run.events if e[1:] == ("drop", "48")], "the virtual controller dropped nothing")
        tries = [w for w in writes_of(run.events) if w[2][0] == 0x01 and tuple(w[2][10:12]) == (model.SUB_VIBRATION, 1)]
        sub.expect(len(tries) == 2, "\"enable vibration\" sent %d times, expected 2" % len(tries))
        sub.expect(run.stderr.count("battery is low") == 1, "stderr %r does not say the battery is low once" % run.stderr)
    sub_checks("right Joy-Con dropping a subcommand", dropped)

    schedules = schedules_of(args, path, "--controller", "right,left")
    run = play_run(args, "strict-two", ["--quiet", path], controller="right,left", env=strict).finish()

    def two(sub):
        for k in range(2):
            check_played(sub, run, schedules[k][0], events=run.device_events(k), lamp=1 << k, found_mode=0x30)
        both = sorted((w[0], k) for k in range(2) for w in writes_of(run.device_events(k)))
        near = [i for i in range(1, len(both)) if both[i][1] != both[i - 1][1] and
                both[i][0] - both[i - 1][0] < CONTROLLER_GAP_NS - run.platform.stamp_jitter_ns - 500_000]
        # A write that a stall of the machine held up may come near the other controller's: a
        # figure, not a check.
        print("two Joy-Cons: %d of %d writes closer than 2 ms to the other controller's" % (len(near), len(both)))
    sub_checks("two Joy-Cons", two)

    run = play_run(args, "strict-silent", ["--quiet", path], mode="silent", env=strict).finish()

    def silent(sub):
        sub.expect(run.status == 3, "exit status %r, expected 3" % run.status)
        sub.expect("the right Joy-Con did not take \"enable vibration\"" in run.stderr, "stderr %r" % run.stderr)
        writes = writes_of(run.events)
        sub.expect(len([w for w in writes if w[2][0] == 0x10]) == 1, "rumble sent besides the tear-down's silence")
        last = max(i for i, w in enumerate(writes) if w[2][0] == 0x10)
        tear_down = collapse([tuple(w[2][10:12]) for w in writes[last + 1:]])
        sub.expect(bytes(writes[last][2][2:6]) == bytes(model.SILENCE) and
                   tear_down == [(model.SUB_VIBRATION, 0), (model.SUB_LIGHTS, 0), (model.SUB_MODE, 0x3F)],
                   "the last writes are not the tear-down: %r" % tear_down)
        sub.expect(run.events and run.events[-1][1] == "close", "not closed last")
    sub_checks("a right Joy-Con that never answers", silent)
    c.finish()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--play", required=True)
    parser.add_argument("--tavrel")
    add_controller_arguments(parser)
    parser.add_argument("--work", required=True)
    parser.add_argument("scenario", choices=["tune", "bad-file", "interrupt", "hang-up", "vanish", "controllers", "several",
                                             "strict"])
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    args.platform = Platform(args, args.play)
    {"tune": scenario_tune, "bad-file": scenario_bad_file, "interrupt": scenario_interrupt,
     "hang-up": scenario_hang_up,
     "vanish": scenario_vanish, "controllers": scenario_controllers, "several": scenario_several,
     "strict": scenario_strict}[args.scenario](args)


if __name__ == "__main__":
    main()
