"""Timing of tavrel-play with a MIDI piece on three controllers at once (Linux, virtual controller).

Makes a multi-track piece of about three minutes (tests/midi/fixtures.py, with midiutil), plays it
on a right Joy-Con, a left Joy-Con and a Pro Controller that the virtual controller stands for,
and for each controller compares every rumble report's time in its log with its due time from
`tavrel-play --schedule`: overshoot p50/p99/max, the least gap between two of its reports, reports
per second; and what tavrel-play's own counter saw (--timing) for all of them together.

Usage: midi_timing.py --play PATH --library PATH  (needs /usr/bin/python3 with midiutil)
(or: cmake --build --preset default --target midi_timing)
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "midi"))
import fixtures  # noqa: E402
import tavrel_model as model  # noqa: E402
from play_e2e import match_schedule  # noqa: E402
from tune_fidelity import percentile  # noqa: E402

CONTROLLERS = ["right", "left", "pro"]


def schedules(play, path):
    out = subprocess.run([play, "--schedule", "--controller", ",".join(CONTROLLERS), path], capture_output=True,
                         text=True, check=True).stdout
    result, reports = [], []
    for fields in (line.split() for line in out.split("\n")):
        if not fields or fields[0] == "controller":
            continue
        if fields[0] == "end":
            result.append(reports)
            reports = []
        else:
            reports.append((int(fields[0]) * 1000, b"".join(bytes.fromhex(f) for f in fields[1:])))
    return result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--play", required=True)
    parser.add_argument("--library", required=True)
    # Logs in memory: a disk-backed log can hold a write up for hundreds of milliseconds.
    memory = "/dev/shm" if os.path.isdir("/dev/shm") else tempfile.gettempdir()
    parser.add_argument("--work", default=os.path.join(memory, "tavrel-midi-timing"))
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    piece = os.path.join(args.work, "piece.mid")
    fixtures.piece(piece)
    plans = schedules(args.play, piece)
    log = os.path.join(args.work, "vj.log")
    logs = [log] + ["%s.%d" % (log, k + 1) for k in range(1, len(CONTROLLERS))]
    for path in logs:
        if os.path.exists(path):
            os.remove(path)
    env = dict(os.environ, LD_PRELOAD=args.library, TAVREL_VJ_LOG=log, TAVREL_VJ_CONTROLLER=",".join(CONTROLLERS))
    load_before = os.getloadavg()
    with tempfile.TemporaryFile(mode="w+") as err:
        proc = subprocess.Popen([args.play, "--quiet", "--timing", piece], env=env, stdin=subprocess.DEVNULL, stderr=err)
        _, status, usage = os.wait4(proc.pid, 0)
        err.seek(0)
        errors = err.read()
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("tavrel-play exited with %r: %s" % (os.waitstatus_to_exitcode(status), errors))
    print("midi_timing: a %s MIDI piece on %s at once (virtual controller, Linux)" %
          (re.search(r"\d+:\d+", subprocess.run([args.play, "--list", piece], capture_output=True, text=True).stdout)[0],
           ", ".join(CONTROLLERS)))
    print("%-10s %8s %8s %10s %10s %10s %12s %12s" %
          ("controller", "reports", "per s", "p50 (us)", "p99 (us)", "max (us)", "least gap", "passed over"))
    for kind, path, reports in zip(CONTROLLERS, logs, plans):
        rumble = [e for e in model.parse_log(path) if e[1] == "write" and e[2][0] == 0x10][:-1]  # less the tear-down
        matched = match_schedule(rumble, reports, 2_000_000)
        if None in matched:
            sys.exit("%s: rumble report %d logged matches no report of the schedule" % (kind, len(matched)))
        first = rumble[0][0]
        over = sorted(((w[0] - first) - reports[k][0]) / 1000.0 for w, k in zip(rumble, matched))
        gap = min(b[0] - a[0] for a, b in zip(rumble, rumble[1:])) / 1e6
        length = (rumble[-1][0] - first) / 1e9
        print("%-10s %8d %8.1f %10.1f %10.1f %10.1f %9.3f ms %12d" %
              (kind, len(rumble), len(rumble) / length, percentile(over, 0.5), percentile(over, 0.99), over[-1], gap,
               len(reports) - len(matched)))
    print(errors.strip())
    print("CPU time user+sys %.3f s; load average before %.2f %.2f %.2f, after %.2f %.2f %.2f" %
          ((usage.ru_utime + usage.ru_stime,) + load_before + os.getloadavg()))


if __name__ == "__main__":
    main()
