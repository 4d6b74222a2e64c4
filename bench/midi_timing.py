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

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "midi"))
import fixtures  # noqa: E402
from play_e2e import match_schedule, parse_schedules  # noqa: E402
from play_timing import memory_folder, run  # noqa: E402
from tune_fidelity import percentile  # noqa: E402

CONTROLLERS = ["right", "left", "pro"]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--play", required=True)
    parser.add_argument("--library", required=True)
    parser.add_argument("--work", default=memory_folder("tavrel-midi-timing"))
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    piece = os.path.join(args.work, "piece.mid")
    fixtures.piece(piece)
    kinds = ",".join(CONTROLLERS)
    plans = parse_schedules(subprocess.run([args.play, "--schedule", "--controller", kinds, piece],
                                           capture_output=True, text=True, check=True).stdout)
    load_before = os.getloadavg()
    _, errors, writes, cpu = run([args.play, "--quiet", "--timing", piece], os.path.join(args.work, "vj.log"),
                                 args.library, kinds)
    print("midi_timing: a %s MIDI piece on %s at once (virtual controller, Linux)" %
          (re.search(r"\d+:\d+", subprocess.run([args.play, "--list", piece], capture_output=True, text=True).stdout)[0],
           ", ".join(CONTROLLERS)))
    print("%-10s %8s %8s %10s %10s %10s %12s %12s" %
          ("controller", "reports", "per s", "p50 (us)", "p99 (us)", "max (us)", "least gap", "passed over"))
    for kind, rumble, (reports, _) in zip(CONTROLLERS, writes, plans):
        rumble = rumble[:-1]  # the tear-down's silence
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
          ((cpu,) + load_before + os.getloadavg()))


if __name__ == "__main__":
    main()
