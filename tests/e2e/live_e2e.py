"""End-to-end checks of tavrel-play --live on the virtual controller.

Usage: live_e2e.py --play PATH (--library PATH | --stand-ins DIR) --work DIR SCENARIO
Scenarios: stream (timed notes through a named pipe on Linux, standard input under Wine: each
change written after its message, the interval kept, silence and restore at the end, and
--record's file scheduled the same), interrupt, vanish (Linux), ports (what --live-ports and
--live say where the machine has no MIDI port). Exits 0 when every check passed, 1 with the
failures listed otherwise.
"""
import argparse
import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tavrel_model as model  # noqa: E402
from play_e2e import collapse, schedule_of  # noqa: E402
from tavrel_e2e import TEAR_DOWN_TAIL, Checks, Platform, Run, add_controller_arguments, tail_of, writes_of  # noqa: E402

INTERVAL_NS = 15_000_000
STOP_LIMIT_NS = 500_000_000
SETTLE_S = 0.4  # set-up time before the first note
# A melody, a chord and junk: (seconds after the previous message, bytes). Changes lie at least
# 60 ms apart, so that no two of them can meet within one interval however the refreshes fall.
MELODY = [
    (0.0, [0x90, 72, 100]),
    (0.15, [0xF8, 0x80, 72, 0]),              # a clock tick before the note-off
    (0.06, [0x90, 74, 90]),
    (0.12, [76, 90]),                          # running status: E5 over D5
    (0.10, [0x80, 74, 0, 0x80, 76, 0]),
    (0.08, [0xF0, 0x7E, 0x09, 0xF7, 0x01, 0x02, 0x90, 60, 100, 67, 100]),  # sysex, junk, a chord
    (0.30, [0xB0, 123, 0]),                    # all notes off
    (0.20, []),                                # the stream ends
]


def rumble_writes(run):
    return [w for w in writes_of(run.events) if w[2][0] == 0x10]


def start_live(args, tag, source, extra=None, stdin=None, options=(), mode="normal"):
    env = {"TAVREL_VJ_CONTROLLER": "right"}
    env.update(extra or {})
    return Run(args, tag, arguments=["--controller", "right", "--live", source, "--record",
                                     args.platform.log_path(os.path.join(args.work, tag + ".mid"))] + list(options),
               extra_env=env, stdin=stdin, mode=mode)


def send_melody(args, stream):
    """Writes the melody's messages at their times; returns (time sent, whether it changes what
    sounds) of each."""
    sent = []
    time.sleep(SETTLE_S)
    for pause, data in MELODY:
        time.sleep(pause)
        if data:
            sent.append((args.platform.now_ns(), data))
            stream.write(bytes(data))
            stream.flush()
    stream.close()
    return sent


def scenario_stream(args):
    c = Checks("live input from a stream")
    if args.platform.windows:
        run = start_live(args, "stream", "-", stdin=subprocess.PIPE)
        sent = send_melody(args, run.proc.stdin.buffer)  # the run reads text; the melody is bytes
        run.proc.stdin = None  # closed: nothing more for the run to flush
    else:
        fifo = os.path.join(args.work, "midi.fifo")
        if os.path.exists(fifo):
            os.remove(fifo)
        os.mkfifo(fifo)
        run = start_live(args, "stream", fifo)
        with open(fifo, "wb", buffering=0) as stream:
            sent = send_melody(args, stream)
    run.finish()
    c.expect(run.status == 0, "exit status %r at the end of the stream, stderr %r" % (run.status, run.stderr[:300]))
    c.expect("live on the right Joy-Con" in run.stdout, "no start line: %r" % run.stdout[:200])
    c.expect("Played 5 notes (1 moved by octaves)" in run.stdout and "2 bytes that are not MIDI skipped" in run.stdout,
             "summary: %r" % run.stdout[-300:])
    writes = writes_of(run.events)
    c.expect(tail_of(writes) == TEAR_DOWN_TAIL, "the run does not end with the tear-down: %r" % tail_of(writes))
    jitter = args.platform.stamp_jitter_ns
    close = [i for i in range(1, len(writes)) if writes[i][0] - writes[i - 1][0] < INTERVAL_NS - jitter - 500_000]
    c.expect(not close, "writes closer than the interval at %r" % close[:3])
    rumble = rumble_writes(run)
    # Every message changes what sounds, and no change can be written before a message asked for
    # it: by any time, no more changes were written than messages sent (messages that a stall
    # brought in together make one change). How soon they go is the live bench's to measure.
    changes = [b for a, b in zip(rumble, rumble[1:]) if bytes(a[2][2:6]) != bytes(b[2][2:6])]
    c.expect(0 < len(changes) <= len(sent), "%d changes written for %d messages" % (len(changes), len(sent)))
    early = [k for k, (change, (at, _)) in enumerate(zip(changes, sent)) if change[0] < at - jitter]
    c.expect(not early, "change %r written before the message that made it was sent" % early[:1])
    for at, data in sent:
        c.expect([w for w in rumble if w[0] >= at - jitter], "nothing written after the message %r" % data)
    # The last sound before the tear-down is silence: all notes off came before the end.
    c.expect(len(rumble) > 1 and bytes(rumble[-2][2][2:6]) == bytes(model.SILENCE), "no silence before the tear-down")
    # What was recorded schedules the same changes as were played.
    reports, _ = schedule_of(args, args.platform.log_path(os.path.join(args.work, "stream.mid")), "--controller", "right")
    live = collapse([bytes(w[2][2:6]) for w in rumble])
    recorded = collapse([bytes(model.SILENCE)] + [r[1][:4] for r in reports])
    c.expect(live == recorded, "live %r, the recording %r" % ([b.hex() for b in live], [b.hex() for b in recorded]))
    c.finish()


def held_note(args, tag, extra=None, mode="normal"):
    """A run on a named pipe that holds one note; returns the run and the open pipe."""
    fifo = os.path.join(args.work, tag + ".fifo")
    if os.path.exists(fifo):
        os.remove(fifo)
    os.mkfifo(fifo)
    run = start_live(args, tag, fifo, extra=extra, mode=mode)
    stream = open(fifo, "wb", buffering=0)
    time.sleep(SETTLE_S)
    stream.write(bytes([0x90, 69, 100]))
    return run, stream


def scenario_interrupt(args):
    c = Checks("live input interrupted")
    run, stream = held_note(args, "interrupt")
    time.sleep(0.3)
    at = run.signal(signal.SIGINT)
    run.finish(timeout=20)
    stream.close()
    c.expect(run.status == 130, "exit status %r after Ctrl-C" % run.status)
    writes = writes_of(run.events)
    c.expect(tail_of(writes) == TEAR_DOWN_TAIL, "no tear-down after Ctrl-C: %r" % tail_of(writes))
    c.expect(writes and writes[-1][0] - at < STOP_LIMIT_NS, "the tear-down ended %.0f ms after Ctrl-C" %
             ((writes[-1][0] - at) / 1e6 if writes else -1))
    c.finish()


def scenario_vanish(args):
    c = Checks("a controller lost while playing live")
    run, stream = held_note(args, "vanish", {"TAVREL_VJ_VANISH_AFTER": "12"}, mode="vanish")
    run.finish(timeout=20)
    stream.close()
    c.expect(run.status == 3, "exit status %r when the controller went" % run.status)
    c.expect("stopped taking reports" in run.stderr, "stderr %r" % run.stderr[:300])
    c.finish()


def scenario_ports(args):
    """Where the machine has no MIDI port (CI has none), --live-ports says so and --live alone
    fails with the reason, touching no controller."""
    c = Checks("no MIDI ports")
    listed = Run(args, "ports", arguments=["--live-ports"]).finish()
    c.expect(listed.status == 0, "--live-ports exit status %r" % listed.status)
    if not listed.stdout.startswith("No MIDI input ports"):
        print("this machine has MIDI ports: %r; the rest is not checked" % listed.stdout[:200])
        c.finish()
    default = Run(args, "default-port", arguments=["--controller", "right", "--live"],
                  extra_env={"TAVREL_VJ_CONTROLLER": "right"}).finish()
    c.expect(default.status == 2, "--live without ports: exit status %r" % default.status)
    reason = "no MIDI input port" if args.platform.windows else "no MIDI sequencer on this machine"
    c.expect(reason in default.stderr, "--live without ports: stderr %r" % default.stderr[:300])
    c.expect(not writes_of(default.events), "the controller was written to")
    c.finish()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--play", required=True)
    add_controller_arguments(parser)
    parser.add_argument("--work", required=True)
    parser.add_argument("scenario", choices=["stream", "interrupt", "vanish", "ports"])
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    args.platform = Platform(args, args.play)
    {"stream": scenario_stream, "interrupt": scenario_interrupt, "vanish": scenario_vanish,
     "ports": scenario_ports}[args.scenario](args)


if __name__ == "__main__":
    main()
