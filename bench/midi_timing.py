"""Timing of tavrel-play with a MIDI piece on three controllers at once (Linux, virtual controller).

Makes a multi-track piece of about three minutes (tests/midi/fixtures.py, with midiutil), its notes
humanized (each up to about 20 ms early or late, as played music is), plays it
on a right Joy-Con, a left Joy-Con and a Pro Controller that the virtual controller stands for,
and for each controller compares every rumble report's time in its log with its due time from
`tavrel-play --schedule`: overshoot p50/p99/max, the least gap between two of its reports, reports
per second; and what tavrel-play's own counter saw (--timing) for all of them together. Then the
onset of the changes (reports whose bytes differ from the report before): how late each went out
against the time it was due, and, beside it, how much later the rule before refresh lookahead
would have put them: a refresh due 50 ms after the report before was sent first, and a change
that fell within one interval of it waited for the interval. That rule is applied by this bench
to the same changes; the player no longer has it.

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
from play_timing import memory_folder, place_in_schedule, run  # noqa: E402
from schedule_places import parse_schedules  # noqa: E402
from tune_fidelity import percentile  # noqa: E402

CONTROLLERS = ["right", "left", "pro"]
INTERVAL_NS = 15_000_000  # tavrel-play's default least interval
SOUNDING_REFRESH_NS = 50_000_000
SILENT_REFRESH_NS = 1_000_000_000


def delays_without_lookahead(changes, silence):
    """For each change (due ns, bytes), how much later the schedule without refresh lookahead
    would have sent it."""
    delays = []
    last_t, last_bytes, i = changes[0][0], changes[0][1], 1
    while i < len(changes):
        refresh = last_t + max(SILENT_REFRESH_NS if last_bytes == silence else SOUNDING_REFRESH_NS, INTERVAL_NS)
        if changes[i][0] > refresh:
            last_t = refresh
            continue
        t = max(changes[i][0], last_t + INTERVAL_NS)
        while i < len(changes) and changes[i][0] <= t:
            delays.append(t - changes[i][0])
            last_bytes = changes[i][1]
            i += 1
        last_t = t
    return delays


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--play", required=True)
    parser.add_argument("--library", required=True)
    parser.add_argument("--work", default=memory_folder("tavrel-midi-timing"))
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    piece = os.path.join(args.work, "piece.mid")
    fixtures.piece(piece, humanized=True)
    kinds = ",".join(CONTROLLERS)
    plans = parse_schedules(subprocess.run([args.play, "--schedule", "--controller", kinds, piece],
                                           capture_output=True, text=True, check=True).stdout)
    load_before = os.getloadavg()
    log = os.path.join(args.work, "vj.log")
    _, errors, writes, cpu = run([args.play, "--quiet", "--timing", piece], log, args.library, kinds)
    print("midi_timing: a %s MIDI piece on %s at once (virtual controller, Linux)" %
          (re.search(r"\d+:\d+", subprocess.run([args.play, "--list", piece], capture_output=True, text=True).stdout)[0],
           ", ".join(CONTROLLERS)))
    print("%-10s %8s %8s %10s %10s %10s %12s %12s" %
          ("controller", "reports", "per s", "p50 (us)", "p99 (us)", "max (us)", "least gap", "passed over"))
    onsets = []
    for c, (kind, rumble, (reports, _)) in enumerate(zip(CONTROLLERS, writes, plans)):
        rumble = rumble[:-1]  # the tear-down's silence
        matched = place_in_schedule(log if c == 0 else "%s.%d" % (log, c + 1), rumble, reports, kind)
        first = rumble[0][0]
        over = sorted(((w[0] - first) - reports[k][0]) / 1000.0 for w, k in zip(rumble, matched))
        gap = min(b[0] - a[0] for a, b in zip(rumble, rumble[1:])) / 1e6
        seconds = (rumble[-1][0] - first) / 1e9
        print("%-10s %8d %8.1f %10.1f %10.1f %10.1f %9.3f ms %12d" %
              (kind, len(rumble), len(rumble) / seconds, percentile(over, 0.5), percentile(over, 0.99), over[-1], gap,
               len(reports) - len(matched)))
        change_at = [k for k in range(1, len(reports)) if reports[k][1] != reports[k - 1][1]]
        late = sorted(((w[0] - first) - reports[k][0]) / 1000.0 for w, k in zip(rumble, matched) if k in set(change_at))
        silence = reports[-1][1]
        old = sorted(d / 1e6 for d in delays_without_lookahead([reports[0]] + [reports[k] for k in change_at], silence))
        onsets.append((kind, len(change_at), late, old))
    print(errors.strip())
    print("onset of changes: written late against due (us), and put off by the rule without lookahead (ms)")
    print("%-10s %8s %10s %10s %10s %12s %10s %10s" %
          ("controller", "changes", "p50 (us)", "p99 (us)", "max (us)", "put off", "mean (ms)", "max (ms)"))
    for kind, count, late, old in onsets:
        put_off = [d for d in old if d > 0]
        print("%-10s %8d %10.1f %10.1f %10.1f %12s %10.2f %10.2f" %
              (kind, count, percentile(late, 0.5), percentile(late, 0.99), late[-1],
               "%d (%.0f %%)" % (len(put_off), 100.0 * len(put_off) / max(1, len(old))),
               sum(put_off) / max(1, len(put_off)), max(old)))
    print("CPU time user+sys %.3f s; load average before %.2f %.2f %.2f, after %.2f %.2f %.2f" %
          ((cpu,) + load_before + os.getloadavg()))


if __name__ == "__main__":
    main()
