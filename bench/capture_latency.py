"""Latency and CPU time of tavrel-play --capture on the virtual controller (Linux), capturing a
PulseAudio server of its own (a null sink's monitor, in a private folder).

First the sink plays nothing for a while (CPU time while idle: the monitor still delivers silence
every 5 ms), then a melody over a bass line, note changes 100 to 400 ms apart, harmonics and all
(CPU time while playing). tavrel-play's own counter (--timing) gives, for every sample sent, the
time from the arrival of the last of its 5 ms of sound to the report that carried it, and that
time beyond the report's own turn (the wait for the next interval left out): p50, p99, max.

Usage: capture_latency.py --play PATH --library PATH [--idle S] [--seconds S]
(needs Debian's pulseaudio and pulseaudio-utils; or: cmake --build --preset default --target capture_latency)
"""
import argparse
import math
import os
import random
import re
import shutil
import signal
import struct
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
from capture_e2e import SINK, Server  # noqa: E402
from live_latency import cpu_seconds  # noqa: E402
from play_timing import memory_folder  # noqa: E402

RATE = 48000


def melody(seconds, seed=7):
    """Interleaved float32 stereo: a melody over a bass, each note with a few harmonics."""
    rng = random.Random(seed)
    out = bytearray()
    n, total = 0, int(seconds * RATE)
    phases = [0.0, 0.0]
    while n < total:
        length = int(rng.uniform(0.1, 0.4) * RATE)
        top = 440 * 2 ** (rng.randrange(-5, 12) / 12)
        bass = 110 * 2 ** (rng.randrange(-5, 7) / 12)
        for _ in range(min(length, total - n)):
            phases[0] += 2 * math.pi * top / RATE
            phases[1] += 2 * math.pi * bass / RATE
            v = sum(0.2 / h * math.sin(h * phases[0]) + 0.25 / h * math.sin(h * phases[1]) for h in (1, 2, 3))
            out += struct.pack("<ff", v, v)
            n += 1
    return bytes(out)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--play", required=True)
    parser.add_argument("--library", required=True)
    parser.add_argument("--idle", type=float, default=10.0, help="seconds of nothing played")
    parser.add_argument("--seconds", type=float, default=30.0, help="seconds of music")
    args = parser.parse_args()
    pulseaudio, pacat = shutil.which("pulseaudio"), shutil.which("pacat")
    if not pulseaudio or not pacat:
        sys.exit("needs pulseaudio and pacat (Debian's pulseaudio and pulseaudio-utils)")
    work = memory_folder("tavrel-capture-latency")
    os.makedirs(work, exist_ok=True)
    music = os.path.join(work, "music.raw")
    with open(music, "wb") as f:
        f.write(melody(args.seconds))
    server = Server(work, pulseaudio)
    try:
        env = dict(os.environ, LD_PRELOAD=args.library, TAVREL_VJ_LOG=os.path.join(work, "capture.log"),
                   TAVREL_VJ_CONTROLLER="right", **server.env)
        proc = subprocess.Popen([args.play, "--capture", "--controller", "right", "--timing", "--quiet"], env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        time.sleep(1.0)  # set-up
        cpu0, wall0 = cpu_seconds(proc.pid), time.monotonic()
        time.sleep(args.idle)
        idle = (cpu_seconds(proc.pid) - cpu0) / (time.monotonic() - wall0)
        cpu0, wall0 = cpu_seconds(proc.pid), time.monotonic()
        subprocess.run([pacat, "--raw", "--format=float32le", "--rate=%d" % RATE, "--channels=2", "-d", SINK, music],
                       env=dict(os.environ, **server.env), check=True)
        playing = (cpu_seconds(proc.pid) - cpu0) / (time.monotonic() - wall0)
        proc.send_signal(signal.SIGINT)
        _, stderr = proc.communicate(timeout=30)
    finally:
        server.stop()
    print("tavrel-play --capture on the virtual controller, least interval 15 ms")
    found = re.search(r"written after their sound arrived by (.*); after the report's turn by ([^;\n]*)", stderr)
    if found:
        print("  from the sound's arrival to its report:   " + found.group(1))
        print("  beyond the report's own turn:             " + found.group(2))
    print("CPU time: idle %.2f %% of one core over %.0f s; playing %.2f %% over %.0f s" % (
        100 * idle, args.idle, 100 * playing, args.seconds))
    print(stderr.strip())


if __name__ == "__main__":
    main()
