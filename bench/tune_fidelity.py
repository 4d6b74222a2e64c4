"""Timing fidelity of the whole tune on the virtual controller, on Linux and under Wine.

Runs the real tavrel once on each virtual controller given (Linux: the hidapi stand-in
preloaded; Windows: tavrel.exe under Wine beside the stand-in DLLs), one after the other, and
prints side by side, from each controller's log: the nominal tune length (the sum of the waits
the tune's commands ask for) and the actual one (first rumble report to the silence report) with
their ratio; the overshoot of every wait (actual gap between consecutive rumble reports minus
the wait asked) as p50, p99, max and min in microseconds; and the CPU time the process used.

On Windows the log is written by the virtual controller's server, another process, which
stamps each report when the system wakes it for it: its figures include that latency.

Usage: tune_fidelity.py [--tavrel PATH --library PATH] [--tavrel-exe PATH --stand-ins DIR]
(or: cmake --build --preset default --target tune_fidelity, for Linux alone)
"""
import argparse
import math
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import tavrel_model as model  # noqa: E402
from figure_rows import print_figures  # noqa: E402
from tavrel_e2e import Platform  # noqa: E402


def percentile(sorted_values, fraction):
    """Nearest-rank percentile."""
    rank = max(1, math.ceil(fraction * len(sorted_values)))
    return sorted_values[rank - 1]


def measure(platform, log):
    """Plays the tune once; returns its figures, or exits with what went wrong."""
    env = dict(os.environ, TAVREL_VJ_LOG=platform.log_path(log), TAVREL_VJ_MODE="normal", **platform.env)
    if os.path.exists(log):
        os.remove(log)
    with tempfile.TemporaryFile(mode="w+b") as out:
        proc = subprocess.Popen(platform.command, env=env, stdin=subprocess.DEVNULL, stdout=out,
                                stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(proc.pid, 0)
        out.seek(0)
        console = platform.console(out.read().decode("latin-1"))
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("%s exited with %r" % (platform.command[-1], os.waitstatus_to_exitcode(status)))

    _, echoes, _ = model.parse_console(console)
    ops = model.expected_run(echoes)
    writes = [e for e in model.parse_log(log) if e[1] == "write"]
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
    return {
        "reports": silence - first,
        "nominal": nominal_ns / 1e9,
        "actual": actual_ns / 1e9,
        "ratio": actual_ns / nominal_ns,
        "p50": percentile(overshoots_us, 0.50),
        "p99": percentile(overshoots_us, 0.99),
        "max": overshoots_us[-1],
        "min": overshoots_us[0],
        "cpu": usage.ru_utime + usage.ru_stime,
    }


ROWS = [
    ("rumble reports", "reports", "%d"),
    ("nominal tune length (s)", "nominal", "%.3f"),
    ("actual tune length (s)", "actual", "%.3f"),
    ("actual / nominal", "ratio", "%.5f"),
    ("wait overshoot p50 (us)", "p50", "%.1f"),
    ("wait overshoot p99 (us)", "p99", "%.1f"),
    ("wait overshoot max (us)", "max", "%.1f"),
    ("wait overshoot min (us)", "min", "%.1f"),
    ("CPU time user+sys (s)", "cpu", "%.3f"),
]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tavrel", help="the Linux tavrel")
    parser.add_argument("--library", help="the Linux virtual controller")
    parser.add_argument("--tavrel-exe", help="the Windows tavrel.exe")
    parser.add_argument("--stand-ins", help="folder of the Windows virtual controller")
    parser.add_argument("--work", default=os.path.join(tempfile.gettempdir(), "tavrel-tune-fidelity"))
    args = parser.parse_args()
    if bool(args.tavrel) != bool(args.library) or bool(args.tavrel_exe) != bool(args.stand_ins) or \
            not (args.tavrel or args.tavrel_exe):
        parser.error("give --tavrel with --library, --tavrel-exe with --stand-ins, or both pairs")
    os.makedirs(args.work, exist_ok=True)

    runs = []
    load_before = os.getloadavg()
    if args.tavrel:
        linux = Platform(argparse.Namespace(library=args.library, stand_ins=None, work=args.work), args.tavrel)
        runs.append(("Linux", measure(linux, os.path.join(args.work, "linux.log"))))
    if args.tavrel_exe:
        windows = Platform(argparse.Namespace(library=None, stand_ins=args.stand_ins, work=args.work), args.tavrel_exe)
        runs.append(("Windows (Wine)", measure(windows, os.path.join(args.work, "windows.log"))))

    print("tune_fidelity: the whole tune on the virtual controller")
    print_figures(ROWS, runs, 26, 16)
    print("load average before   %.2f %.2f %.2f; after %.2f %.2f %.2f" % (load_before + os.getloadavg()))


if __name__ == "__main__":
    main()
