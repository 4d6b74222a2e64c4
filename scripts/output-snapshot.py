#!/usr/bin/env python3
"""Records what tavrel-play prints and writes without a controller, for a fixed set of inputs, so
that a change meant to keep behaviour can be checked to keep every byte.

    scripts/output-snapshot.py PROGRAM DIR            records into DIR (emptied first)
    scripts/output-snapshot.py PROGRAM DIR --against OLD
                                                      records, then compares with OLD; exit 1 on a difference

Each case is one run: its exit status, standard output and standard error, and the bytes of any
.bnvib it wrote, in DIR/CASE. Inputs: the examples, generated MIDI files (an ensemble, a piece,
doublings in unison and octaves, a format 0 file), rumble files with and without a loop, a .jcvib,
WAV files in mono and stereo, and files that must be refused.
"""
import argparse
import filecmp
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "midi"))

from midiutil import MIDIFile  # noqa: E402

import fixtures  # noqa: E402


def doublings(path):
    """A melody doubled in unison on another channel and an octave below on a third, over a held bass."""
    f = MIDIFile(3, ticks_per_quarternote=480, removeDuplicates=False)
    for i, key in enumerate(fixtures.MELODY * 2):
        if key:
            f.addNote(0, 0, key, i * 0.5, 0.5, 100)
            f.addNote(1, 1, key, i * 0.5, 0.5, 80)
            f.addNote(1, 2, key - 12, i * 0.5, 0.5, 70)
    for bar in range(4):
        f.addNote(2, 3, 36 + bar, bar * 4, 4, 110)
    with open(path, "wb") as out:
        f.writeFile(out)


def format0(path):
    f = MIDIFile(1, file_format=0, ticks_per_quarternote=96)
    f.addTempo(0, 0, 100)
    for i, chord in enumerate(fixtures.CHORDS * 2):
        for key in chord:
            f.addNote(0, i % 3, key, i, 1, 90)
    with open(path, "wb") as out:
        f.writeFile(out)


def bnvib(samples, loop=None):
    data = b"".join(bytes(s) for s in samples)
    if loop:
        return struct.pack("<IHHIIII", 0x10, 3, 200, *loop, len(data)) + data
    return struct.pack("<IHHI", 4, 3, 200, len(data)) + data


def wav(path, channels, seconds=1.0, rate=22050):
    """channels: per channel a list of (frequency, amplitude); the second half of each tone glides up a fifth."""
    frames = bytearray()
    count = int(rate * seconds)
    for n in range(count):
        t = n / rate
        for tones in channels:
            v = sum(a * math.sin(2 * math.pi * f * t * (1 + 0.25 * max(0.0, t - seconds / 2))) for f, a in tones)
            frames += struct.pack("<h", int(32767 * max(-1.0, min(1.0, v))))
    with wave.open(path, "wb") as w:
        w.setnchannels(len(channels))
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(bytes(frames))


def make_inputs(work):
    files = {}
    for name in ("greensleeves.txt", "two-voices.txt", "greensleeves.mid"):
        files[name] = os.path.join(ROOT, "examples", name)
    for kind in ("ensemble", "piece"):
        files[kind + ".mid"] = os.path.join(work, kind + ".mid")
        fixtures.FIXTURES[kind](files[kind + ".mid"])
    files["doublings.mid"] = os.path.join(work, "doublings.mid")
    doublings(files["doublings.mid"])
    files["format0.mid"] = os.path.join(work, "format0.mid")
    format0(files["format0.mid"])
    swell = [(min(255, 4 * i), 100 + i % 40, min(255, 3 * i), 140 + i % 60) for i in range(120)]
    for name, data in (("swell.bnvib", bnvib(swell)), ("looped.bnvib", bnvib(swell[:60], loop=(20, 50, 6)))):
        files[name] = os.path.join(work, name)
        with open(files[name], "wb") as out:
            out.write(data)
    blocks = [bytes([0x3C, 0x00, 0x2F, 0x40]), bytes([0x00, 0xC9, 0x40, 0x40]), bytes([0x70, 0xB1, 0x50, 0x72])] * 20
    files["recorded.jcvib"] = os.path.join(work, "recorded.jcvib")
    with open(files["recorded.jcvib"], "wb") as out:
        out.write(b"RRAW" + struct.pack(">HI", 15, len(blocks)) + b"".join(blocks))
    files["mono.wav"] = os.path.join(work, "mono.wav")
    wav(files["mono.wav"], [[(220, 0.4), (660, 0.2)]])
    files["stereo.wav"] = os.path.join(work, "stereo.wav")
    wav(files["stereo.wav"], [[(110, 0.5)], [(880, 0.3), (440, 0.1)]], seconds=0.8)
    midi = open(files["greensleeves.mid"], "rb").read()
    files["wrapped.rmi"] = os.path.join(work, "wrapped.rmi")
    with open(files["wrapped.rmi"], "wb") as out:
        out.write(b"RIFF" + struct.pack("<I", 12 + len(midi)) + b"RMIDdata" + struct.pack("<I", len(midi)) + midi)
    bad = {
        "cut.mid": open(files["ensemble.mid"], "rb").read()[:300],
        "binary.bin": bytes(range(256)) * 4,
        "bad.txt": b"T120 L4 O4 C D E Q\n",
        "empty.txt": b"",
        "short.bnvib": struct.pack("<IHHI", 4, 3, 200, 40) + b"\x01\x02",
        "truncated.wav": open(files["mono.wav"], "rb").read()[:60],
        "riff.rmi": b"RIFF" + struct.pack("<I", 12) + b"RMIDdata" + struct.pack("<I", 0),
    }
    for name, data in bad.items():
        files[name] = os.path.join(work, name)
        with open(files[name], "wb") as out:
            out.write(data)
    return files


def cases(files):
    """(case name, arguments); {NAME} is an input, {OUT} the .bnvib the run may write."""
    every = ["--controller", "right,left,pro"]
    out = []
    for name in files:
        out.append((name + ".schedule", ["--schedule", "{%s}" % name]))
        out.append((name + ".list", ["--list", "--controller", "right", "{%s}" % name]))
    for name in ("greensleeves.txt", "two-voices.txt", "greensleeves.mid", "ensemble.mid", "doublings.mid",
                 "looped.bnvib", "stereo.wav"):
        out.append((name + ".every.schedule", ["--schedule", *every, "{%s}" % name]))
        out.append((name + ".every.list", ["--list", *every, "{%s}" % name]))
        out.append((name + ".write", ["--write-bnvib", "{OUT}", "{%s}" % name]))
    out += [
        ("shaped.txt.schedule", ["--schedule", "--attack", "40", "--release", "120", "{two-voices.txt}"]),
        ("shaped.mid.pro.schedule", ["--schedule", "--controller", "pro", "--attack", "20", "--release", "300",
                                     "{doublings.mid}"]),
        ("shaped.write", ["--write-bnvib", "{OUT}", "--attack", "40", "--release", "120", "{greensleeves.mid}"]),
        ("options.mid.schedule", ["--schedule", "--volume", "60", "--min-interval", "8", "--tempo", "130",
                                  "--transpose", "-5", "--tracks", "2-3", "{ensemble.mid}"]),
        ("channels.mid.list", ["--list", "--controller", "left,pro", "--channels", "1,3", "{ensemble.mid}"]),
        ("start.mid.schedule", ["--schedule", "--start", "0:03.5", "--controller", "pro", "{piece.mid}"]),
        ("start.txt.list", ["--list", "--controller", "right", "--start", "2", "{greensleeves.txt}"]),
        ("loop.bnvib.schedule", ["--schedule", "--loop", "3", "{looped.bnvib}"]),
        ("loop.bnvib.list", ["--list", "--controller", "pro", "--loop", "{looped.bnvib}"]),
        ("loop.txt.list", ["--list", "--controller", "right", "--loop", "2", "{two-voices.txt}"]),
        ("sides.schedule", ["--schedule", "--controller", "pro,left", "--left", "{swell.bnvib}",
                            "--right", "{recorded.jcvib}"]),
        ("sides.list", ["--list", "--controller", "pro", "--left", "{swell.bnvib}", "{looped.bnvib}"]),
        ("channel.wav.schedule", ["--schedule", "--channel", "right", "{stereo.wav}"]),
        ("volume.wav.schedule", ["--schedule", "--controller", "pro", "--volume", "250", "{stereo.wav}"]),
        ("start.wav.list", ["--list", "--controller", "left", "--start", "0.3", "{mono.wav}"]),
        ("refused.midi-choice.wav", ["--schedule", "--tempo", "80", "{mono.wav}"]),
        ("refused.midi-choice.txt", ["--schedule", "--transpose", "2", "{two-voices.txt}"]),
        ("refused.sides.txt", ["--schedule", "--left", "{swell.bnvib}", "{two-voices.txt}"]),
        ("refused.side-kind", ["--schedule", "--right", "{two-voices.txt}"]),
        ("refused.start", ["--schedule", "--start", "9:00", "{two-voices.txt}"]),
        ("refused.start-text", ["--schedule", "--start", "soon", "{two-voices.txt}"]),
        ("refused.tracks", ["--schedule", "--tracks", "9", "{ensemble.mid}"]),
        ("refused.channels", ["--schedule", "--channels", "10", "{doublings.mid}"]),
        ("refused.missing", ["--schedule", "{missing.mid}"]),
        ("refused.write-sides", ["--write-bnvib", "{OUT}", "--left", "{swell.bnvib}"]),
        ("refused.live-file", ["--live", "--schedule"]),
        ("refused.record", ["--record", "x.mid", "{two-voices.txt}"]),
        ("help", ["--help"]),
    ]
    return out


def run_case(program, files, work, args):
    out_path = os.path.join(work, "out.bnvib")
    if os.path.exists(out_path):
        os.remove(out_path)
    argv = [program]
    for a in args:
        if a == "{OUT}":
            argv.append(out_path)
        elif a.startswith("{"):
            argv.append(files.get(a[1:-1], os.path.join(work, a[1:-1])))
        else:
            argv.append(a)
    p = subprocess.run(argv, stdin=subprocess.DEVNULL, capture_output=True, timeout=300)
    # Paths differ between runs; what is printed about them must not.
    text = b"status %d\n--- stdout\n%s--- stderr\n%s" % (p.returncode, p.stdout, p.stderr)
    text = text.replace(work.encode(), b"WORK").replace(ROOT.encode(), b"ROOT")
    written = open(out_path, "rb").read() if os.path.exists(out_path) else None
    return text, written


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("program")
    parser.add_argument("dir")
    parser.add_argument("--against", help="a folder recorded before, to compare with")
    args = parser.parse_args()
    program = os.path.abspath(args.program)
    if os.path.exists(args.dir):
        shutil.rmtree(args.dir)
    os.makedirs(args.dir)
    with tempfile.TemporaryDirectory(prefix="tavrel-snapshot-") as work:
        files = make_inputs(work)
        all_cases = cases(files)
        for i, (name, arguments) in enumerate(all_cases):
            print("\r%d/%d %s" % (i + 1, len(all_cases), name.ljust(40)), end="", file=sys.stderr, flush=True)
            text, written = run_case(program, files, work, arguments)
            with open(os.path.join(args.dir, name), "wb") as f:
                f.write(text)
            if written is not None:
                with open(os.path.join(args.dir, name + ".bnvib"), "wb") as f:
                    f.write(written)
        print(file=sys.stderr)
    print("%d cases recorded in %s" % (len(all_cases), args.dir))
    if not args.against:
        return 0
    old, new = set(os.listdir(args.against)), set(os.listdir(args.dir))
    _, mismatch, errors = filecmp.cmpfiles(args.against, args.dir, sorted(old & new), shallow=False)
    differing = sorted(mismatch + errors + list(old ^ new))
    for name in differing:
        print("differs: %s" % name)
    print("%d of %d files differ from %s" % (len(differing), len(os.listdir(args.against)), args.against))
    return 1 if differing else 0


if __name__ == "__main__":
    sys.exit(main())
