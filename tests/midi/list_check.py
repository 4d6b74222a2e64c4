"""What tavrel-play --list reports for MIDI files against an independent reading of the same
files with mido (Debian's python3-mido): format, tracks, resolution, tempo changes, the notes
of every track and channel, the length, and that every note is accounted for. Also a format 0
file written by mido with running status, a tempo change by option, a track that is not there,
and a truncated file.

Usage: list_check.py --play PATH --work DIR. Exits 0 when every check passed.
"""
import argparse
import os
import re
import struct
import subprocess
import sys

import mido

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import fixtures  # noqa: E402

LENGTH_SLACK_US = 50  # mido sums float seconds


def independent(path):
    f = mido.MidiFile(path)
    counts, tempo_changes = {}, 0
    for t, track in enumerate(f.tracks):
        for msg in track:
            if msg.type == "note_on" and msg.velocity > 0:
                counts[(t + 1, msg.channel + 1)] = counts.get((t + 1, msg.channel + 1), 0) + 1
            tempo_changes += msg.type == "set_tempo"
    # Playing the file yields its messages in time order, each time in seconds since the one before.
    at, drums_end = 0.0, 0.0
    for msg in f:
        at += msg.time
        if msg.type in ("note_on", "note_off") and msg.channel == 9:
            drums_end = at
    return {"format": f.type, "tracks": len(f.tracks), "ticks": f.ticks_per_beat, "tempo_changes": tempo_changes,
            "counts": counts, "length_us": f.length * 1e6, "drums_end_us": drums_end * 1e6}


def listed(play, path, *options):
    run = subprocess.run([play, "--list", "--controller", "right,left"] + list(options) + [path],
                         capture_output=True, text=True)
    if run.returncode != 0:
        raise SystemExit("tavrel-play --list %s: exit %d, %s" % (path, run.returncode, run.stderr))
    out = run.stdout
    head = re.search(r"format (\d+), (\d+) tracks?, (\d+) ticks per quarter note, (\d+) tempo changes?", out)
    length = re.search(r"^length: (\d+):(\d+)\.(\d+) to the end of the last note; the file (\d+):(\d+)\.(\d+) "
                       r"\((\d+) us at the file's tempo\)", out, re.M)
    counts = {}
    for track, rest in re.findall(r"^track (\d+)(?: \"[^\"]*\")?:(.*)$", out, re.M):
        for channel, notes in re.findall(r"channel (\d+): (\d+) notes?", rest):
            counts[(int(track), int(channel))] = int(notes)
    number = lambda label: int((re.search(r"^%s: (\d+)" % label, out, re.M) or [0, 0])[1])  # noqa: E731
    g = [int(x) for x in length.groups()]
    return {"format": int(head[1]), "tracks": int(head[2]), "ticks": int(head[3]), "tempo_changes": int(head[4]),
            "counts": counts, "length_us": g[6], "played_ms": (g[0] * 60 + g[1]) * 1000 + g[2],
            "file_ms": (g[3] * 60 + g[4]) * 1000 + g[5],
            "accounted": sum(number(label) for label in ("played", "dropped", "of no length", "left out"))}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--play", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    failures = []

    def expect(condition, text):
        if not condition:
            failures.append(text)

    one = os.path.join(args.work, "ensemble.mid")
    fixtures.ensemble(one)
    zero = os.path.join(args.work, "ensemble-format0.mid")
    source = mido.MidiFile(one)
    merged = mido.MidiFile(type=0, ticks_per_beat=source.ticks_per_beat)
    merged.tracks.append(mido.merge_tracks(source.tracks))
    merged.save(zero)  # mido writes running status
    for path in (one, zero):
        theirs, mine = independent(path), listed(args.play, path)
        name = os.path.basename(path)
        for key in ("format", "tracks", "ticks", "tempo_changes", "counts"):
            expect(mine[key] == theirs[key], "%s: %s %r, mido reads %r" % (name, key, mine[key], theirs[key]))
        expect(abs(mine["length_us"] - theirs["length_us"]) <= LENGTH_SLACK_US,
               "%s: length %d us, mido reads %.0f us" % (name, mine["length_us"], theirs["length_us"]))
        total = sum(theirs["counts"].values())
        expect(mine["accounted"] == total, "%s: %d notes accounted for of %d" % (name, mine["accounted"], total))
        faster = listed(args.play, path, "--tempo", "200", "--channels", "10")
        expect(abs(faster["file_ms"] - theirs["length_us"] / 2000) <= 1,
               "%s at 200 %%: the file %d ms, expected %.1f" % (name, faster["file_ms"], theirs["length_us"] / 2000))
        expect(abs(faster["played_ms"] - theirs["drums_end_us"] / 2000) <= 1,
               "%s at 200 %%: played %d ms, the last drum note ends at %.1f" %
               (name, faster["played_ms"], theirs["drums_end_us"] / 2000))
        drums = sum(n for (_, channel), n in theirs["counts"].items() if channel == 10)
        expect(faster["accounted"] == total and re.search(r"played: %d notes" % drums, subprocess.run(
            [args.play, "--list", "--controller", "pro,pro", "--channels", "10", path], capture_output=True,
            text=True).stdout), "%s: --channels 10 does not play the %d drum notes alone" % (name, drums))

    # The same file wrapped as RIFF MIDI (.rmi), an odd-sized chunk before its data, lists the same.
    with open(one, "rb") as f:
        smf = f.read()
    rmi = os.path.join(args.work, "ensemble.rmi")
    chunk = lambda tag, data: tag + struct.pack("<I", len(data)) + data + b"\0" * (len(data) % 2)  # noqa: E731
    with open(rmi, "wb") as f:
        f.write(chunk(b"RIFF", b"RMID" + chunk(b"INFO", b"odd") + chunk(b"data", smf)))
    plain, wrapped = (subprocess.run([args.play, "--list", p], capture_output=True, text=True) for p in (one, rmi))
    expect(wrapped.returncode == 0 and wrapped.stdout.replace(rmi, one) == plain.stdout,
           "RIFF MIDI: exit %d, %r" % (wrapped.returncode, wrapped.stderr))

    run = subprocess.run([args.play, "--list", "--tracks", "2,99", one], capture_output=True, text=True)
    expect(run.returncode == 2 and "no track 99" in run.stderr, "--tracks 99: exit %d, %r" % (run.returncode, run.stderr))

    cut = os.path.join(args.work, "truncated.mid")
    with open(one, "rb") as f:
        data = f.read()
    with open(cut, "wb") as f:
        f.write(data[:len(data) // 2])
    run = subprocess.run([args.play, "--list", cut], capture_output=True, text=True)
    expect(run.returncode == 2 and re.match(r"%s: byte \d+: " % re.escape(cut), run.stderr),
           "a truncated file: exit %d, %r" % (run.returncode, run.stderr))

    if failures:
        print("MIDI listing: %d check(s) failed:\n  - %s" % (len(failures), "\n  - ".join(failures)))
        sys.exit(1)
    print("MIDI listing: all checks passed")


if __name__ == "__main__":
    main()
