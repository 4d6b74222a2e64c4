"""Timing fidelity of the whole tune on the virtual controller.

Runs the real tavrel once with the virtual controller preloaded and prints, from the
controller's log: the nominal tune length (the sum of the waits the tune's commands ask for)
and the actual one (first rumble report to the silence report) with their ratio; the overshoot
of every wait (actual gap between consecutive rumble reports minus the wait asked) as p50, p99
and max in microseconds; and the CPU time the process used (user + sys).

Usage: tune_fidelity.py --tavrel PATH --library PATH [--log PATH]
(or: cmake --build --preset default --target tune_fidelity)
"""
import argparse
import math
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import tavrel_model as model  # noqa: E402


def percentile(sorted_values, fraction):
    """Nearest-rank percentile."""
    rank = max(1, math.ceil(fraction * len(sorted_values)))
    return sorted_values[rank - 1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tavrel", required=True)
    parser.add_argument("--library", required=True)
    parser.add_argument("--log", default=os.path.join(tempfile.gettempdir(), "tavrel-tune-fidelity.log"))
    args = parser.parse_args()

    env = dict(os.environ, LD_PRELOAD=args.library, TAVREL_VJ_LOG=args.log, TAVREL_VJ_MODE="normal")
    load_before = os.getloadavg()
    with tempfile.TemporaryFile(mode="w+") as out:
        proc = subprocess.Popen([args.tavrel], env=env, stdin=subprocess.DEVNULL, stdout=out)
        _, status, usage = os.wait4(proc.pid, 0)
        proc.returncode = os.waitstatus_to_exitcode(status) if hasattr(os, "waitstatus_to_exitcode") else status
        out.seek(0)
        console = out.read()
    if proc.returncode != 0:
        sys.exit("tavrel exited with %r" % proc.returncode)

    _, echoes, _ = model.parse_console(console)
    ops = model.expected_run(echoes)
    writes = [e for e in model.parse_log(args.log) if e[1] == "write"]
    if len(writes) != len(ops):
        sys.exit("%d writes logged, the echoed commands ask for %d" % (len(writes), len(ops)))

    # The tune: from the first rumble report to the silence report that ends it.
    first = next(i for i, (op, _) in enumerate(ops) if op[0] == "rumble")
    silence = len(ops) - 4
    overshoots_us = []
    nominal_ns = 0
    for i in range(first, silence):
        asked_ns = ops[i][1] * 1_000_000
        nominal_ns += asked_ns
        overshoots_us.append((writes[i + 1][0] - writes[i][0] - asked_ns) / 1000.0)
    actual_ns = writes[silence][0] - writes[first][0]
    overshoots_us.sort()

    print("tune_fidelity: %d rumble reports, %d waits" % (silence - first, len(overshoots_us)))
    print("nominal tune length   %10.3f s" % (nominal_ns / 1e9))
    print("actual tune length    %10.3f s" % (actual_ns / 1e9))
    print("actual / nominal      %10.5f" % (actual_ns / nominal_ns))
    print("wait overshoot p50    %10.1f us" % percentile(overshoots_us, 0.50))
    print("wait overshoot p99    %10.1f us" % percentile(overshoots_us, 0.99))
    print("wait overshoot max    %10.1f us" % overshoots_us[-1])
    print("wait overshoot min    %10.1f us" % overshoots_us[0])
    print("CPU time user+sys     %10.3f s (user %.3f, sys %.3f)" %
          (usage.ru_utime + usage.ru_stime, usage.ru_utime, usage.ru_stime))
    print("load average before   %.2f %.2f %.2f; after %.2f %.2f %.2f" % (load_before + os.getloadavg()))


if __name__ == "__main__":
    main()
