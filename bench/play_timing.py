"""Timing of tavrel-play on the virtual controller (Linux), beside tavrel.

Plays, one after the other: the built-in tune by tavrel; the same tune as text
(examples/greensleeves.txt) by tavrel-play; and a two-voice piece of about three minutes by
tavrel-play; then two streamed runs (three 5 ms samples a report): examples/greensleeves.mid
written as a .bnvib with a 50 ms release and played back, and the same file played with
--attack 20 --release 80. For tavrel-play it compares every rumble report's time in the virtual controller's
log (from the first report) with its due time from `tavrel-play --schedule`, and prints the
overshoot p50/p99/max, the drift at the end (the last report's overshoot), the reports per
second and the CPU time used; and the lateness tavrel-play's own counter saw (--timing), which
leaves out the time the virtual controller's write call takes before it stamps the log. For tavrel it prints the tune's actual against nominal length and
its CPU time.

Usage: play_timing.py --play PATH --tavrel PATH --library PATH
(or: cmake --build --preset default --target play_timing)
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import tavrel_model as model  # noqa: E402
from figure_rows import print_figures  # noqa: E402
from schedule_places import parse_schedules, place_writes  # noqa: E402
from tune_fidelity import percentile  # noqa: E402

SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
# About three minutes in two voices: a melody over a bass line, 57 times through.
LONG_PIECE = """# bench piece: 57 times a melody over a bass line, about 3 minutes
t25 l8 o4 [ e c e g >c< g e c d f a >c< b g d g ]57
;
t25 l16 o2 [ c c <a> a f f g g ]57
"""


def memory_folder(name):
    """A work folder in memory where there is a tmpfs: a write to a disk-backed log can hold the
    program up inside the virtual controller's write call for hundreds of milliseconds."""
    memory = "/dev/shm" if os.path.isdir("/dev/shm") else tempfile.gettempdir()
    return os.path.join(memory, name)


def run(command, log, library, controllers="right"):
    """(standard output, standard error, the rumble writes logged for each controller, CPU
    seconds) of one run on the virtual controller standing for controllers (comma-separated)."""
    logs = [log] + ["%s.%d" % (log, k + 1) for k in range(1, len(controllers.split(",")))]
    env = dict(os.environ, LD_PRELOAD=library, TAVREL_VJ_LOG=log, TAVREL_VJ_MODE="normal",
               TAVREL_VJ_CONTROLLER=controllers)
    for path in logs:
        if os.path.exists(path):
            os.remove(path)
    with tempfile.TemporaryFile(mode="w+b") as out, tempfile.TemporaryFile(mode="w+b") as err:
        proc = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        _, status, usage = os.wait4(proc.pid, 0)
        out.seek(0)
        err.seek(0)
        text, errors = out.read().decode("latin-1"), err.read().decode("latin-1")
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("%s exited with %r: %s" % (command, os.waitstatus_to_exitcode(status), errors))
    rumble = [[e for e in model.parse_log(path) if e[1] == "write" and e[2][0] == 0x10] for path in logs]
    return text, errors, rumble, usage.ru_utime + usage.ru_stime


def place_in_schedule(log, rumble, reports, what):
    """Each rumble write's index in reports (schedule_places.place_writes, bound by the set-up's
    last write in log): reports passed over after a stall are counted, not a fault. Exits at a
    write that fits no report."""
    writes = [e for e in model.parse_log(log) if e[1] == "write"]
    first = next((i for i, w in enumerate(writes) if w[2][0] == 0x10), 0)
    placed = place_writes(rumble, reports, writes[first - 1][0] if first > 0 else None, 2_000_000)
    if None in placed:
        sys.exit("%s: rumble report %d logged fits no report of the schedule" % (what, len(placed)))
    return placed


def measure_play(play, library, path, log, options=()):
    reports = parse_schedules(subprocess.run([play, "--schedule", *options, path], capture_output=True, text=True,
                                             check=True).stdout)[0][0]
    due = [d for d, _ in reports]
    _, errors, (rumble,), cpu = run([play, "--quiet", "--timing", *options, path], log, library)
    own = re.search(r"(\d+) passed over; .* p50 ([\d.]+) us, p99 ([\d.]+) us, max ([\d.]+) us", errors)
    rumble = rumble[:-1]  # the tear-down's silence
    matched = place_in_schedule(log, rumble, reports, path)
    first = rumble[0][0]
    over = sorted(((w[0] - first) - due[k]) / 1000.0 for w, k in zip(rumble, matched))
    length = (rumble[-1][0] - first) / 1e9
    return {
        "reports": len(due), "length": length,
        "p50": percentile(over, 0.5), "p99": percentile(over, 0.99), "max": over[-1],
        "drift": ((rumble[-1][0] - first) - due[matched[-1]]) / 1000.0,
        "rate": len(due) / length, "cpu": cpu, "cpu_share": 100.0 * cpu / length,
        "passed": int(own.group(1)), "own50": float(own.group(2)), "own99": float(own.group(3)),
        "own_max": float(own.group(4)),
    }


def measure_tavrel(tavrel, library, log):
    out, _, (rumble,), cpu = run([tavrel], log, library)
    _, echoes, _ = model.parse_console(out)
    nominal = sum(w for _, w in model.play(echoes).sends) / 1000.0
    actual = (rumble[-1][0] - rumble[0][0]) / 1e9
    return {"reports": len(rumble) - 1, "length": actual, "drift": (actual - nominal) * 1e6,
            "rate": (len(rumble) - 1) / actual, "cpu": cpu, "cpu_share": 100.0 * cpu / actual}


ROWS = [
    ("rumble reports", "reports", "%d"),
    ("length (s)", "length", "%.3f"),
    ("log: overshoot p50 (us)", "p50", "%.1f"),
    ("log: overshoot p99 (us)", "p99", "%.1f"),
    ("log: overshoot max (us)", "max", "%.1f"),
    ("own counter: late p50 (us)", "own50", "%.1f"),
    ("own counter: late p99 (us)", "own99", "%.1f"),
    ("own counter: late max (us)", "own_max", "%.1f"),
    ("passed over after a stall", "passed", "%d"),
    ("drift at the end (us)", "drift", "%.1f"),
    ("reports per second", "rate", "%.1f"),
    ("CPU time user+sys (s)", "cpu", "%.3f"),
    ("CPU share of one core (%)", "cpu_share", "%.2f"),
]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--play", required=True)
    parser.add_argument("--tavrel", required=True)
    parser.add_argument("--library", required=True)
    parser.add_argument("--work", default=memory_folder("tavrel-play-timing"))
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    piece = os.path.join(args.work, "long-piece.txt")
    with open(piece, "w") as f:
        f.write(LONG_PIECE)
    midi = os.path.join(SOURCE, "examples", "greensleeves.mid")
    rumble_file = os.path.join(args.work, "greensleeves.bnvib")
    subprocess.run([args.play, "--write-bnvib", rumble_file, "--release", "50", midi], check=True)
    load_before = os.getloadavg()
    runs = [
        ("tavrel, tune", measure_tavrel(args.tavrel, args.library, os.path.join(args.work, "tavrel.log"))),
        ("play, tune", measure_play(args.play, args.library, os.path.join(SOURCE, "examples", "greensleeves.txt"),
                                    os.path.join(args.work, "tune.log"))),
        ("play, 3 min", measure_play(args.play, args.library, piece, os.path.join(args.work, "long.log"))),
        ("stream .bnvib", measure_play(args.play, args.library, rumble_file, os.path.join(args.work, "bnvib.log"))),
        ("stream shaped", measure_play(args.play, args.library, midi, os.path.join(args.work, "shaped.log"),
                                       ("--attack", "20", "--release", "80"))),
    ]
    print("play_timing: on the virtual controller (Linux); tavrel's drift is actual minus nominal length")
    print_figures(ROWS, runs, 27, 14)
    print("load average before   %.2f %.2f %.2f; after %.2f %.2f %.2f" % (load_before + os.getloadavg()))


if __name__ == "__main__":
    main()
