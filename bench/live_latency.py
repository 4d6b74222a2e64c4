"""Latency and CPU time of tavrel-play --live on the virtual controller (Linux).

Plays into a named pipe, on a right Joy-Con that the virtual controller stands for: first nothing
for a while (CPU time while idle), then note changes spaced wider than the least interval (20 to
80 ms apart), then narrower (3 to 10 ms apart, so that several meet within one interval); each
change a legato step to the next key. For each
message, from the time this script wrote it and the times in the controller's log: how long until
the first report after it was written (from arrival), and how long after the moment the least
interval allowed it (its arrival, or an interval after the report before): p50, p99, max. Then
the CPU time the player used while idle and while playing, and what its own counter saw (--timing).

Usage: live_latency.py --play PATH --library PATH [--changes N] [--idle S]
(or: cmake --build --preset default --target live_latency)
"""
import argparse
import os
import random
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
from play_timing import memory_folder  # noqa: E402
from tune_fidelity import percentile  # noqa: E402

INTERVAL_NS = 15_000_000
TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS  # utime and stime, all threads


def writes_of(log):
    writes = []
    with open(log) as f:
        for line in f:
            parts = line.split()
            if parts[1] == "write":
                writes.append((int(parts[0]), bytes.fromhex(parts[3])))
    return writes


def figures(values):
    values = sorted(values)
    return "p50 %7.1f us   p99 %7.1f us   max %7.1f us" % (
        percentile(values, 0.5) / 1e3, percentile(values, 0.99) / 1e3, values[-1] / 1e3)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--play", required=True)
    parser.add_argument("--library", required=True)
    parser.add_argument("--changes", type=int, default=400, help="messages in each spacing")
    parser.add_argument("--idle", type=float, default=20.0, help="seconds without input")
    args = parser.parse_args()
    work = memory_folder("tavrel-live-latency")
    os.makedirs(work, exist_ok=True)
    fifo, log = os.path.join(work, "midi.fifo"), os.path.join(work, "live.log")
    for path in (fifo, log):
        if os.path.exists(path):
            os.remove(path)
    os.mkfifo(fifo)
    env = dict(os.environ, LD_PRELOAD=args.library, TAVREL_VJ_LOG=log, TAVREL_VJ_CONTROLLER="right")
    proc = subprocess.Popen([args.play, "--live", fifo, "--controller", "right", "--timing", "--quiet"], env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    stream = open(fifo, "wb", buffering=0)
    time.sleep(1.0)  # set-up
    rng = random.Random(7)

    cpu0, wall0 = cpu_seconds(proc.pid), time.monotonic()
    time.sleep(args.idle)
    idle_cpu = (cpu_seconds(proc.pid) - cpu0) / (time.monotonic() - wall0)

    sent = {"wider": [], "narrower": []}
    cpu0, wall0 = cpu_seconds(proc.pid), time.monotonic()
    key = 48
    for name, (low, high) in (("wider", (0.020, 0.080)), ("narrower", (0.003, 0.010))):
        for _ in range(args.changes):
            time.sleep(rng.uniform(low, high))
            # Legato: the next key on and the one before off together, so that every message
            # changes what sounds and no two cancel out.
            following = 48 + (key - 47) % 36
            data = bytes([0x90, following, 100, 0x80, key, 0])
            key = following
            sent[name].append(time.monotonic_ns())
            stream.write(data)
        stream.write(bytes([0xB0, 123, 0]))
        time.sleep(0.3)
    playing_cpu = (cpu_seconds(proc.pid) - cpu0) / (time.monotonic() - wall0)
    stream.close()
    _, stderr = proc.communicate(timeout=30)
    if proc.returncode != 0:
        raise SystemExit("tavrel-play ended with %d: %s" % (proc.returncode, stderr[:400]))

    writes = writes_of(log)
    rumble = [w[0] for w in writes if w[1][0] == 0x10]
    print("tavrel-play --live on the virtual controller, least interval 15 ms")
    for name, times in sent.items():
        from_arrival, beyond = [], []
        for t in times:
            after = next(w for w in rumble if w >= t)
            before = [w[0] for w in writes if w[0] < t]
            allowed = max(t, before[-1] + INTERVAL_NS) if before else t
            from_arrival.append(after - t)
            beyond.append(max(0, after - allowed))
        print("changes %s than the interval (%d):" % (name, len(times)))
        print("  written after arrival:           " + figures(from_arrival))
        print("  after the interval allowed it:   " + figures(beyond))
    print("CPU time: idle %.2f %% of one core over %.0f s; playing %.2f %%" % (100 * idle_cpu, args.idle,
                                                                               100 * playing_cpu))
    print(stderr.strip())


if __name__ == "__main__":
    main()
