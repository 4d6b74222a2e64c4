#!/usr/bin/env python3
"""Runs tavrel-preview on generated logs: exit statuses, messages, a readable WAV of the
log's span and a well-formed SVG with one bar per note and band."""
import os
import subprocess
import sys
import wave
import xml.etree.ElementTree as ElementTree

TOOL, WORK = sys.argv[1], sys.argv[2]
SVG_NS = "{http://www.w3.org/2000/svg}"
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def run(*args):
    return subprocess.run([TOOL, *args], capture_output=True, text=True, timeout=60)


def rumble(ns, r):
    report = bytes([0x10, 0] + r + r) + bytes(39)
    return f"{ns} write 49 {report.hex()}"


os.makedirs(WORK, exist_ok=True)
wav_path = os.path.join(WORK, "out.wav")
svg_path = os.path.join(WORK, "out.svg")

# Usage and bad input.
result = run()
check(result.returncode == 2 and "usage: tavrel-preview LOG [LOG...] OUT.wav OUT.svg" in result.stderr,
      f"no arguments: status {result.returncode}, stderr {result.stderr!r}")
result = run(os.path.join(WORK, "missing.log"), wav_path, svg_path)
check(result.returncode == 1 and "cannot open log" in result.stderr,
      f"missing log: status {result.returncode}, stderr {result.stderr!r}")
empty_log = os.path.join(WORK, "empty.log")
with open(empty_log, "w") as f:
    f.write("not a log\n\n")
result = run(empty_log, wav_path, svg_path)
check(result.returncode == 1 and "line 1:" in result.stderr and "no events" in result.stderr,
      f"log without events: status {result.returncode}, stderr {result.stderr!r}")

# Three notes (loud reports every 25 ms, the last half unit soft), a broken line among them.
ms = 1_000_000
t0 = 7_000_000_000
lines = [f"{t0} open 057e 2007 ok"]
notes = [([0x04, 0x75, 0x61, 0x5D], [0x04, 0x39, 0x61, 0x4E]),
         ([0x38, 0xC8, 0x2E, 0x72], [0x38, 0x88, 0x2E, 0x62]),
         ([0x04, 0x75, 0x61, 0x5D], [0x04, 0x39, 0x61, 0x4E])]
t = t0 + 50 * ms
for loud, soft in notes:
    lines += [rumble(t, loud), rumble(t + 25 * ms, loud), rumble(t + 37 * ms, soft)]
    t += 50 * ms
lines.insert(3, f"{t} write 49 zz")
lines += [rumble(t, [0x3C, 0x00, 0x2F, 0x40]), f"{t + 40 * ms} close"]
log_path = os.path.join(WORK, "notes & rests.log")
with open(log_path, "w") as f:
    f.write("\n".join(lines) + "\n")

result = run(log_path, wav_path, svg_path)
check(result.returncode == 0, f"good log: status {result.returncode}, stderr {result.stderr!r}")
check("line 4:" in result.stderr, f"the broken line is not reported: {result.stderr!r}")

with wave.open(wav_path) as w:
    span = (t + 40 * ms - t0) / 1e9
    check(w.getnchannels() == 1 and w.getsampwidth() == 2 and w.getframerate() == 44100,
          f"WAV format {w.getparams()}")
    check(abs(w.getnframes() - span * 44100) <= 1, f"WAV of {w.getnframes()} samples, span {span}")

root = ElementTree.parse(svg_path).getroot()  # raises on malformed XML
check(root.tag == SVG_NS + "svg", f"root element {root.tag}")
bars = [g for g in root.iter(SVG_NS + "g") if g.get("class", "").startswith("bar ")]
check([g.get("class") for g in bars] == ["bar high"] * 3 + ["bar low"] * 3,
      f"bars {[g.get('class') for g in bars]}")
check(all(len(g.findall(SVG_NS + "rect")) == 2 for g in bars), "each bar has a loud and a soft step")
title = "".join(root.find(SVG_NS + "text").itertext())
check(title.endswith("notes & rests.log"), f"title {title!r}")

# A Pro Controller playing its left actuator alone, then beside a right Joy-Con's log: a lane
# for each actuator, the left one heard on the left only.
def blocks(ns, left, right):
    return f"{ns} write 49 {(bytes([0x10, 0] + left + right) + bytes(39)).hex()}"


silence = [0x3C, 0x00, 0x2F, 0x40]
pro_path = os.path.join(WORK, "pro.log")
with open(pro_path, "w") as f:
    f.write("\n".join([f"{t0} open 057e 2009 ok", blocks(t0 + 10 * ms, notes[1][0], silence),
                       blocks(t0 + 200 * ms, silence, silence), f"{t0 + 250 * ms} close"]) + "\n")
result = run(pro_path, wav_path, svg_path)
check(result.returncode == 0 and "2 lanes" in result.stdout, f"Pro Controller: {result.returncode}, {result.stdout!r}")
with wave.open(wav_path) as w:
    frames = w.readframes(w.getnframes())
    check(w.getnchannels() == 2, f"Pro Controller: {w.getnchannels()} channels")
    left = [abs(int.from_bytes(frames[i:i + 2], "little", signed=True)) for i in range(0, len(frames), 4)]
    right = [abs(int.from_bytes(frames[i:i + 2], "little", signed=True)) for i in range(2, len(frames), 4)]
    check(max(left) > 20000 and max(right) == 0, f"left peak {max(left)}, right peak {max(right)}")
result = run(pro_path, log_path, wav_path, svg_path)
lanes = [g for g in ElementTree.parse(svg_path).getroot().iter(SVG_NS + "g") if g.get("class") == "lane"]
check(result.returncode == 0 and len(lanes) == 3, f"two logs: {result.returncode}, {len(lanes)} lanes, {result.stderr!r}")

sys.exit(1 if failures else 0)
