"""End to end: tavrel-play --capture on the virtual controller, against a PulseAudio server of the
test's own (a private runtime folder, a null sink, nothing of the machine's).

Usage: capture_e2e.py --play PATH (--library PATH | --stand-ins DIR) --work DIR --pulseaudio PATH --pacat PATH

Checks: --capture-sources lists the null sink (its monitor on Linux; under Wine, WASAPI's endpoint
for it); tones played into the sink with pacat (440 Hz, then 660 Hz) come out on the high band in
that order. On Linux: the median sample written within 30 ms of its sound beyond the interval
(--timing), Ctrl-C restores the controller and --record's .bnvib is a rumble file tavrel-play
reads. Everywhere: the server going away mid-play ends it with exit 2 and the controller
restored; with no server, exit 2 and nothing sent. Exits 0 when every check passed.
"""
import argparse
import math
import os
import re
import signal
import struct
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from rumble_blocks import decode, resting_state  # noqa: E402
from tavrel_e2e import TEAR_DOWN_TAIL, Checks, Platform, Run, tail_of, writes_of  # noqa: E402

RATE = 48000
SINK = "tavrel_test"
MONITOR = "Monitor of Null Output"  # the sink's monitor as Wine's audio driver names the input
HIGH_STEP_OFFSET = 160   # the high band's frequency code + this is its tone step
INTERVAL_US = 15000
LATENCY_LIMIT_US = 30000 + INTERVAL_US
TONES = [(0.3, 0), (0.6, 440), (0.6, 660), (0.4, 0)]  # (seconds, Hz; 0 silence)


def step_of(hz):
    return round(32 * math.log2(hz / 10))


class Server:
    """A PulseAudio daemon (the program at pulseaudio) with a null sink, in a folder of work."""

    def __init__(self, work, pulseaudio):
        self.folder = os.path.join(work, "pulse")
        os.makedirs(os.path.join(self.folder, "run"), exist_ok=True)
        socket = os.path.join(self.folder, "native")
        # What its clients need to find it (added to their environment); the daemon keeps its own
        # files in the folder too.
        self.env = {"XDG_RUNTIME_DIR": os.path.join(self.folder, "run"), "PULSE_SERVER": "unix:" + socket}
        self.proc = subprocess.Popen([pulseaudio, "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                                      "-F", os.devnull, "--load=module-null-sink sink_name=" + SINK,
                                      "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket],
                                     env=dict(os.environ, HOME=self.folder, **self.env), stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 15
        while not os.path.exists(socket) and time.monotonic() < deadline and self.proc.poll() is None:
            time.sleep(0.05)
        time.sleep(0.2)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def tone_bytes():
    out = bytearray()
    phase = 0.0
    for seconds, hz in TONES:
        for _ in range(int(seconds * RATE)):
            phase += 2 * math.pi * hz / RATE
            v = 0.4 * math.sin(phase) if hz else 0.0
            out += struct.pack("<ff", v, v)
    return bytes(out)


def capture(args, tag, env, options=(), source=None):
    return Run(args, tag, extra_env=dict(env, TAVREL_VJ_CONTROLLER="right"),
               arguments=["--controller", "right", "--timing"] + list(options) + ["--capture"] + ([source] if source else []))


def high_steps(run):
    """The high band's tone step of every sample the rumble reports play while it sounds."""
    state, steps = resting_state(), []
    for w in writes_of(run.events):
        if w[2][0] == 0x10:
            for sample in decode(w[2][6:10], state):
                if sample[0][0] > -256:
                    steps.append(sample[0][1] + HIGH_STEP_OFFSET)
    return steps


def check_restored(c, run, what):
    tail = tail_of(writes_of(run.events))
    c.expect(tail == TEAR_DOWN_TAIL, "%s: no tear-down at the end: %r" % (what, tail))


def play_tones(args, server, tones):
    subprocess.run([args.pacat, "--raw", "--format=float32le", "--rate=%d" % RATE, "--channels=2", "-d", SINK, tones],
                   env=dict(os.environ, **server.env), check=True)
    time.sleep(0.3)


def check_tones(c, run):
    """The tones came out on the high band, in their order."""
    steps = high_steps(run)
    at = {hz: [i for i, s in enumerate(steps) if abs(s - step_of(hz)) <= 1] for hz in (440, 660)}
    c.expect(len(at[440]) > 60 and len(at[660]) > 60,
             "the tones are not on the high band: %d samples at 440 Hz, %d at 660 Hz" % (len(at[440]), len(at[660])))
    if at[440] and at[660]:
        c.expect(at[440][len(at[440]) // 2] < at[660][len(at[660]) // 2], "660 Hz came before 440 Hz")


def main():
    parser = argparse.ArgumentParser()
    for option in ("--play", "--work", "--pulseaudio", "--pacat"):
        parser.add_argument(option, required=True)
    controller = parser.add_mutually_exclusive_group(required=True)
    controller.add_argument("--library", help="Linux: the virtual controller to preload")
    controller.add_argument("--stand-ins", help="Windows: the folder of the stand-in DLLs (the .exe runs under Wine)")
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    args.platform = Platform(args, args.play)
    windows = args.platform.windows
    c = Checks("capture under Wine" if windows else "capture")
    tones = os.path.join(args.work, "tones.raw")
    with open(tones, "wb") as f:
        f.write(tone_bytes())
    server = Server(args.work, args.pulseaudio)
    try:
        listed = Run(args, "sources", extra_env=server.env, arguments=["--capture-sources"]).finish()
        wanted = "Null Output" if windows else SINK + ".monitor"
        c.expect(wanted in listed.stdout, "--capture-sources says %r" % listed.stdout)

        if not windows:
            # Tones into the sink while tavrel-play captures its monitor; then Ctrl-C.
            record = os.path.join(args.work, "played.bnvib")
            run = capture(args, "play", server.env, ["--record", record])
            c.expect(run.wait_for_log(lambda line: " write 49 10" in line), "no rumble report before the tones")
            play_tones(args, server, tones)
            run.signal(signal.SIGINT)
            run.finish()
            c.expect(run.status == 130, "exit %r after Ctrl-C: %r" % (run.status, run.stderr))
            check_restored(c, run, "Ctrl-C")
            check_tones(c, run)
            latency = re.search(r"written after their sound arrived by p50 ([0-9.]+) us", run.stderr)
            c.expect(latency and float(latency.group(1)) <= LATENCY_LIMIT_US, "latency: %r" % run.stderr)
            listing = subprocess.run([args.play, "--list", record], capture_output=True, text=True)
            c.expect(listing.returncode == 0, "--record's file does not read back: %r" % listing.stderr)

        if windows:
            # Wine's audio driver has no loopback: what an output plays cannot be captured, and
            # tavrel-play says so before it sets up any controller.
            run = capture(args, "loopback", server.env).finish()
            c.expect(run.status == 2 and "cannot capture what an output plays" in run.stderr,
                     "loopback under Wine: exit %r, %r" % (run.status, run.stderr))
            c.expect(not writes_of(run.events), "loopback under Wine, yet %d reports sent" % len(writes_of(run.events)))

        # The server goes away mid-play (under Wine, capturing the sink's monitor as an input,
        # after the tones).
        run = capture(args, "gone", server.env, source=MONITOR if windows else None)
        c.expect(run.wait_for_log(lambda line: " write 49 10" in line), "no rumble report before the server went")
        if windows:
            play_tones(args, server, tones)
        server.stop()
        run.finish()
        c.expect(run.status == 2 and "went away" in run.stderr, "server gone: exit %r, %r" % (run.status, run.stderr))
        check_restored(c, run, "server gone")
        if windows:
            check_tones(c, run)
    finally:
        server.stop()

    # Options that mean nothing live are refused before anything opens.
    run = Run(args, "refused", arguments=["--capture", "--tempo", "50"]).finish()
    c.expect(run.status == 2 and "--tempo is not for --capture" in run.stderr, "--tempo: exit %r, %r" % (run.status, run.stderr))

    # No server at all: said, and nothing sent.
    run = capture(args, "none", dict(server.env, PULSE_SERVER="unix:" + os.path.join(args.work, "no-server"))).finish()
    c.expect(run.status == 2 and "no sound" in run.stderr, "no server: exit %r, %r" % (run.status, run.stderr))
    c.expect(not writes_of(run.events), "no server, yet %d reports sent" % len(writes_of(run.events)))
    c.finish()


if __name__ == "__main__":
    main()
