#!/usr/bin/env python3
"""Runs the example commands of README.md on the virtual controller.

Usage: readme_examples.py --source DIR --build DIR --library PATH --work DIR

Every command line of the README's ```sh blocks that runs one of the programs
(build/default/tavrel, tavrel-play, tavrel-preview or tavrel-monitor, after any VAR=value
assignments; or at the end of a pipeline) is run with bash from the source folder, in README order, with build/default/
replaced by the build folder and /tmp/ by a folder of this run's own. The programs see
LD_PRELOAD=the virtual controller, TAVREL_VJ_CONTROLLER=right,left,pro and TAVREL_VJ_LOG in the
work folder, unless the command sets its own, a PulseAudio server of the run's own (a null sink)
for --capture where pulseaudio is installed, and standard input from /dev/null. A command still
running after 3 s is sent SIGINT. Each must exit 0, or 130 after that SIGINT.
"""
import argparse
import os
import re
import shlex
import shutil
import signal
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from capture_e2e import Server  # noqa: E402

PROGRAMS = ("tavrel", "tavrel-play", "tavrel-preview", "tavrel-monitor")
RUN_BEFORE_INTERRUPT_S = 3.0
END_AFTER_INTERRUPT_S = 20.0  # seconds a program has to restore the controllers
LEAST_COMMANDS = 5

ASSIGNMENT = re.compile(r"[A-Za-z_][A-Za-z0-9_]*=")
# build/default/ (also as $PWD/build/default/ or ./build/default/) and /tmp/ where a path starts.
PLACES = re.compile(r"(?<![\w./-])(?:(?P<build>(?:\$PWD/|\./)?build/default/)|/tmp/)")


def strip_comment(line):
    """The line without a trailing '# comment' (a '#' that starts a word outside quotes)."""
    quote = None
    for i, c in enumerate(line):
        if quote:
            if c == quote:
                quote = None
        elif c in "'\"":
            quote = c
        elif c == "#" and (i == 0 or line[i - 1].isspace()):
            return line[:i].rstrip()
    return line.rstrip()


def sh_blocks(text):
    """The logical lines (continuations joined) of every ```sh block, in order."""
    lines, inside, pending = [], False, ""
    for raw in text.splitlines():
        stripped = raw.strip()
        if not inside:
            inside = stripped == "```sh"
            continue
        if stripped.startswith("```"):
            inside, pending = False, ""
            continue
        line = strip_comment(raw)
        if line.endswith("\\"):
            pending += line[:-1] + " "
            continue
        lines.append((pending + line).strip())
        pending = ""
    return lines


def program_of(command):
    """The program a command line runs when it is one of ours (the last of a pipeline), else None."""
    try:
        words = shlex.split(command.rsplit("|", 1)[-1])
    except ValueError:
        return None
    while words and ASSIGNMENT.match(words[0]):
        words.pop(0)
    if not words:
        return None
    word = words[0][2:] if words[0].startswith("./") else words[0]
    for program in PROGRAMS:
        if word == "build/default/" + program:
            return program
    return None


def example_commands(readme):
    with open(readme, encoding="utf-8") as f:
        return [line for line in sh_blocks(f.read()) if program_of(line)]


def localize(command, build, tmp):
    """The command with build/default/ as the build folder and /tmp/ as this run's own, in one
    pass, so that a build folder under /tmp is left alone."""
    def place(match):
        return shlex.quote((build if match.group("build") else tmp).rstrip("/") + "/")
    return PLACES.sub(place, command)


def run(command, source, env, output_stem):
    """Runs one command; returns (passed, status, interrupted, stderr text)."""
    with open(output_stem + ".out", "wb") as out, open(output_stem + ".err", "wb") as err:
        process = subprocess.Popen(["bash", "-c", command], cwd=source, env=env, stdin=subprocess.DEVNULL,
                                   stdout=out, stderr=err, start_new_session=True)
        interrupted = False
        try:
            status = process.wait(timeout=RUN_BEFORE_INTERRUPT_S)
        except subprocess.TimeoutExpired:
            interrupted = True
            os.killpg(process.pid, signal.SIGINT)
            try:
                status = process.wait(timeout=END_AFTER_INTERRUPT_S)
            except subprocess.TimeoutExpired:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()
                status = None
    with open(output_stem + ".err", encoding="utf-8", errors="replace") as f:
        stderr = f.read()
    passed = status == 0 or (interrupted and status == 130)
    return passed, status, interrupted, stderr


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source", required=True, help="the source folder (README.md, examples/)")
    parser.add_argument("--build", required=True, help="the build folder that stands for build/default")
    parser.add_argument("--library", required=True, help="libvirtual_joycon.so")
    parser.add_argument("--work", required=True, help="a folder of this test's own")
    args = parser.parse_args()

    source, build = os.path.abspath(args.source), os.path.abspath(args.build)
    work = os.path.abspath(args.work)
    tmp = os.path.join(work, "tmp")
    shutil.rmtree(tmp, ignore_errors=True)  # no file of an earlier run stands in for one of this run
    os.makedirs(tmp)

    commands = example_commands(os.path.join(source, "README.md"))
    if len(commands) < LEAST_COMMANDS:
        print(f"FAIL: found {len(commands)} example commands in README.md, expected at least {LEAST_COMMANDS}")
        return 1

    env = {k: v for k, v in os.environ.items() if not k.startswith("TAVREL_VJ_") and k != "LD_PRELOAD"}
    env.update(LD_PRELOAD=os.path.abspath(args.library), TAVREL_VJ_CONTROLLER="right,left,pro",
               TAVREL_VJ_LOG=os.path.join(work, "virtual-controller.log"))
    # --capture reads a PulseAudio server of this run's own (a null sink), where the machine has one.
    server = Server(work, shutil.which("pulseaudio")) if shutil.which("pulseaudio") else None
    if server:
        env.update(server.env)
    try:
        return run_all(commands, source, build, tmp, env, work)
    finally:
        if server:
            server.stop()


def run_all(commands, source, build, tmp, env, work):
    failed = 0
    for number, command in enumerate(commands, 1):
        local = localize(command, build, tmp)
        passed, status, interrupted, stderr = run(local, source, env, os.path.join(work, f"command-{number}"))
        how = (f"still running {END_AFTER_INTERRUPT_S:.0f} s after SIGINT" if status is None else
               f"ended by signal {-status}" if status < 0 else f"exit {status}")
        how += " after SIGINT" if interrupted and status is not None else ""
        print(f"{'ok  ' if passed else 'FAIL'} {number:2}: {command}  ({how})")
        if not passed:
            failed += 1
            print(f"      ran: {local}")
            for line in stderr.strip().splitlines()[-15:]:
                print(f"      stderr: {line}")
        sys.stdout.flush()
    print(f"{len(commands) - failed} of {len(commands)} README examples passed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
