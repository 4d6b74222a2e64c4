"""Sound into rumble: how closely the bands tavrel-play makes of a sound file follow the notes,
beside aubio's yinfft on the same sound.

Songs: the arrangements of fidelity_songs.py, examples/greensleeves.mid and any --midi file, each
cut to its first --seconds. Each is rendered by fluidsynth (FluidR3 GM) as a whole and each of its
lines (a channel's notes, drums left out) alone; `tavrel-play --write-bnvib` and aubio's yinfft
(one estimate every 5 ms) read the same WAV files. The truth is the MIDI file's notes in each 5 ms
frame (channel 10 left out): the top line is the highest note sounding, the bass line the lowest.

Prints for each song, each cell "rumble/yinfft", over the frames where a note sounds: the high
band against the top line and the low band against the bass line (yinfft's one estimate against
both), strict (within a semitone once both are folded by octaves into the band's reach) and
octave-tolerant (within a semitone of any octave); the frames where the high band is below the low
one; the lag that best aligns the top line (positive: late); and after each stop of every note
followed by 200 ms of rest or more, the time until both bands (yinfft: its estimate) fall silent,
p50 and max. Then each line alone: the share of its frames whose note is on the high band, on the
low band, on either, and yinfft's strict share. Totals weigh each song by its frames; then the
analysis's speed (seconds of sound per CPU second) and its largest resident memory.

Usage: sound_fidelity.py --play PATH [--work DIR] [--midi FILE.mid ...] [--seconds S] [--quick]
(needs Debian's python3-aubio, python3-mido, python3-midiutil, fluidsynth and fluid-soundfont-gm, and time for
the memory figure; run with /usr/bin/python3)
(or: cmake --build --preset default --target sound_fidelity)
"""
import argparse
import collections
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import wave

import aubio
import mido

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
import fidelity_songs  # noqa: E402
from figure_rows import print_rows  # noqa: E402
from rumble_blocks import amplitude_of_code  # noqa: E402
from rumble_files_e2e import level_of_bytes  # noqa: E402
from tune_fidelity import percentile  # noqa: E402

SOUND_FONT = "/usr/share/sounds/sf2/FluidR3_GM.sf2"
RATE = 48000  # 5 ms is a whole number of samples (240); at 44.1 kHz it is not
HOP = RATE // 200
WINDOW = 2048
DRUMS = 9
LAGS = range(-10, 21)  # -50 to +100 ms
REST_FRAMES = 40  # 200 ms
QUIETEST = amplitude_of_code(1)  # the quietest level a block can set: a band at or above it sounds
GNU_TIME = shutil.which("time", path="/usr/bin:/bin")


def band_hz(level, high):
    """A band's frequency level (level_of_bytes: 1/32 octave from the band's base) in Hz; the base
    is 160 steps above 10 Hz for the high band, 128 for the low one (sound_e2e.step_of)."""
    return 10 * 2 ** ((level + (160 if high else 128)) / 32)


HIGH_REACH = (band_hz(-64, True), band_hz(63, True))
LOW_REACH = (band_hz(-64, False), band_hz(63, False))


def tempo_points(midi):
    """(tick, seconds, tempo) at the start and at each tempo change, all tracks merged."""
    points, tick, seconds, tempo = [(0, 0.0, 500000)], 0, 0.0, 500000
    for msg in mido.merge_tracks(midi.tracks):
        seconds += mido.tick2second(msg.time, midi.ticks_per_beat, tempo)
        tick += msg.time
        if msg.type == "set_tempo":
            tempo = msg.tempo
            points.append((tick, seconds, tempo))
    return points


def excerpt(midi, path, seconds, channel=None):
    """Writes midi cut after seconds (the notes sounding then end there) with a second of silence
    after; with channel, that channel's notes alone (every other event kept: programs, tempo)."""
    points = tempo_points(midi)

    def tick_at(s):
        tick, at, tempo = [p for p in points if p[1] <= s][-1]
        return tick + round(mido.second2tick(s - at, midi.ticks_per_beat, tempo))
    end = min(seconds, midi.length)
    cut, silent_end = tick_at(end), tick_at(end + 1)
    out = mido.MidiFile(type=midi.type, ticks_per_beat=midi.ticks_per_beat)
    for track in midi.tracks:
        kept, tick, last, held = mido.MidiTrack(), 0, 0, collections.Counter()
        for msg in track:
            tick += msg.time
            if tick >= cut:
                break
            note = msg.type in ("note_on", "note_off")
            if msg.type == "end_of_track" or (note and channel is not None and msg.channel != channel):
                continue
            if note:
                held[(msg.channel, msg.note)] += 1 if msg.type == "note_on" and msg.velocity > 0 else -1
            kept.append(msg.copy(time=tick - last))
            last = tick
        for (ch, key), count in held.items():
            for _ in range(count):
                kept.append(mido.Message("note_off", channel=ch, note=key, time=cut - last))
                last = cut
        kept.append(mido.MetaMessage("end_of_track", time=max(0, silent_end - last)))
        out.tracks.append(kept)
    out.save(path)


def sounding(path, frames):
    """The MIDI file's notes by 5 ms frame, a frame k ([5k, 5k + 5) ms) taken at its middle:
    ({channel: [keys sounding, a list a frame]}, frames where any note sounds (drums too),
    {channel: its first program})."""
    started, notes, programs, now = collections.defaultdict(list), [], {}, 0.0
    for msg in mido.MidiFile(path):  # times in seconds, through every tempo change
        now += msg.time
        if msg.type == "program_change":
            programs.setdefault(msg.channel, msg.program)
        elif msg.type == "note_on" and msg.velocity > 0:
            started[(msg.channel, msg.note)].append(now)
        elif msg.type in ("note_on", "note_off") and started[(msg.channel, msg.note)]:
            notes.append((started[(msg.channel, msg.note)].pop(0), now, msg.channel, msg.note))
    lines, busy = {}, [False] * frames
    for start, end, ch, key in notes:
        keys = lines.setdefault(ch, [[] for _ in range(frames)])
        for k in range(max(0, math.ceil(start * 200 - 0.5)), min(frames, math.ceil(end * 200 - 0.5))):
            keys[k].append(key)
            busy[k] = True
    return lines, busy, programs


def render(midi_path, wav):
    """Renders with fluidsynth; returns the WAV's 5 ms frames."""
    subprocess.run(["fluidsynth", "-ni", "-q", "-F", wav, "-r", str(RATE), "-g", "0.6", SOUND_FONT, midi_path],
                   check=True, stdout=subprocess.DEVNULL)
    with wave.open(wav) as w:
        return math.ceil(w.getnframes() / HOP)


def rumble(play, wav):
    """tavrel-play --write-bnvib's samples of wav as (high Hz, low Hz), None for a silent band;
    and the run's CPU seconds and largest resident memory (KiB, None without GNU time). The memory
    comes from GNU time: a child's own ru_maxrss holds this script's size from before its exec."""
    out = wav[:-4] + ".bnvib"
    timer = [GNU_TIME, "-f", "%M", "-o", out + ".rss"] if GNU_TIME else []
    proc = subprocess.Popen(timer + [play, "--write-bnvib", out, wav], stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("tavrel-play --write-bnvib %s exited %d" % (wav, os.waitstatus_to_exitcode(status)))
    rss = None
    if GNU_TIME:
        with open(out + ".rss") as f:
            rss = int(f.read().split()[-1])
    with open(out, "rb") as f:
        data = f.read()
    at = 4 + struct.unpack("<I", data[:4])[0] + 4  # the header, then the data's size
    samples = []
    for i in range(at, len(data), 4):  # low amplitude, low frequency, high amplitude, high frequency
        bands = [level_of_bytes(data[i + 2], data[i + 3], True), level_of_bytes(data[i], data[i + 1], False)]
        samples.append(tuple(band_hz(freq, b == 0) if amp >= QUIETEST else None for b, (amp, freq) in enumerate(bands)))
    return samples, usage.ru_utime + usage.ru_stime, rss


def yinfft(wav):
    """aubio's yinfft in Hz for each 5 ms frame of wav (its channels mixed), None when unvoiced.
    yinfft answers 0 itself when its best lag's normalised difference is above its tolerance (0.85,
    a confidence under 0.15) or the hop is below its silence gate. Its get_confidence() is only
    brought up to date for pitches above 1300 Hz in aubio 0.4.9 (below, it reads 0), so 0 is the
    one mark of unvoiced used here."""
    source = aubio.source(wav, RATE, HOP)
    pitch = aubio.pitch("yinfft", WINDOW, HOP, RATE)
    pitch.set_unit("Hz")
    estimates = []
    while True:
        block, read = source()
        hz = float(pitch(block)[0])
        estimates.append(hz if hz > 0 else None)
        if read < HOP:
            break
    # Call n analyses the WINDOW samples that end with hop n, centred at (n + 1) * HOP - WINDOW / 2;
    # frame k's middle is at (k + 0.5) * HOP: frame k takes call k + 4 (its centre 1 ms later).
    return estimates[round(WINDOW / 2 / HOP - 0.5):]


def fold(hz, reach):
    """hz moved by octaves into reach (low, high), unmoved if within."""
    while hz > reach[1]:
        hz /= 2
    while hz < reach[0]:
        hz *= 2
    return hz


def matches(hz, keys, reach):
    """(strict, octave-tolerant): hz within a semitone of one of keys, both folded into reach; or
    of an octave of one."""
    strict = octave = False
    for key in keys if hz else ():
        d = 12 * math.log2(fold(hz, reach) / fold(440 * 2 ** ((key - 69) / 12), reach))
        strict, octave = strict or abs(d) < 1, octave or min(d % 12, -d % 12) < 1
    return strict, octave


def score(estimate, truth, reach, lag=0, either=None):
    """[frames, strict, octave-tolerant] of estimate (per frame, lag frames late) against truth
    (keys per frame) over truth's sounding frames; with either (estimate, reach), a hit of one or
    the other."""
    counts = [0, 0, 0]
    for k, keys in enumerate(truth):
        if keys:
            j = k + lag
            s, o = matches(estimate[j] if 0 <= j < len(estimate) else None, keys, reach)
            if either:
                s2, o2 = matches(either[0][k] if k < len(either[0]) else None, keys, either[1])
                s, o = s or s2, o or o2
            counts[0], counts[1], counts[2] = counts[0] + 1, counts[1] + s, counts[2] + o
    return counts


def stops(busy, silent):
    """(ms until silent(k), never) after each place where every note stops (drums too: they sound
    in the mix) and 200 ms of rest or more follow; never: it stayed sounding through the rest,
    whose length is given."""
    found = []
    for k in range(1, len(busy)):
        if busy[k - 1] and not busy[k]:
            rest = next((j for j in range(k, len(busy)) if busy[j]), len(busy)) - k
            if rest >= REST_FRAMES:
                quiet = next((j - k for j in range(k, k + rest) if silent(j)), None)
                found.append((5 * (rest if quiet is None else quiet), quiet is None))
    return found


def estimates(args, source, path, channel=None):
    """Renders the excerpt of source (channel's notes alone, if given) to path's WAV; returns the
    high band, the low band and yinfft, Hz or None a frame, with the frame count and the
    analysis's CPU seconds and largest memory."""
    excerpt(source, path, args.seconds, channel)
    frames = render(path, path[:-4] + ".wav")
    bands, cpu, rss = rumble(args.play, path[:-4] + ".wav")
    return [b[0] for b in bands], [b[1] for b in bands], yinfft(path[:-4] + ".wav"), frames, cpu, rss


def measure_song(args, name, path):
    """Every figure of one song: the mix's and each line's alone."""
    source = mido.MidiFile(path)
    mix = os.path.join(args.work, name + ".mid")
    high, low, yin, frames, cpu, rss = estimates(args, source, mix)
    lines, busy, programs = sounding(mix, frames)
    lines.pop(DRUMS, None)
    notes = [[key for keys in lines.values() for key in keys[k]] for k in range(frames)]
    top, bass = [[max(n)] if n else [] for n in notes], [[min(n)] if n else [] for n in notes]
    voiced = sum(1 for n in notes if n)
    song = {"frames": voiced, "cpu": cpu, "rss": rss, "seconds": frames / 200, "lines": [],
            # A top line is never below its bass: every frame where the high band is below the low one counts.
            "rumble": {"cross": [voiced, sum(1 for k, n in enumerate(notes) if n and k < len(high) and
                                             high[k] and low[k] and high[k] < low[k])],
                       "stops": stops(busy, lambda j: j >= len(high) or not (high[j] or low[j]))},
            "yinfft": {"stops": stops(busy, lambda j: j >= len(yin) or not yin[j])}}
    for side, top_estimate, bass_estimate in (("rumble", high, low), ("yinfft", yin, yin)):
        song[side].update({"top": score(top_estimate, top, HIGH_REACH), "bass": score(bass_estimate, bass, LOW_REACH),
                           "lags": [score(top_estimate, top, HIGH_REACH, lag)[2] for lag in LAGS]})
    for ch, keys in sorted(lines.items()):
        h, l, y = estimates(args, source, os.path.join(args.work, "%s-ch%d.mid" % (name, ch + 1)), ch)[:3]
        song["lines"].append(("%s ch%d p%d" % (name, ch + 1, programs.get(ch, 0)), {
            "high": score(h, keys, HIGH_REACH), "low": score(l, keys, LOW_REACH),
            "either": score(h, keys, HIGH_REACH, either=(l, LOW_REACH)),
            "yinfft": score(y, keys, HIGH_REACH, either=(y, LOW_REACH))}))
    return song


def share(counts, which=1):
    """counts[which] in per cent of counts[0] (the frames)."""
    return "%.1f" % (100.0 * counts[which] / counts[0]) if counts[0] else "-"


def stop_cells(found):
    """p50 and max of the stops' times (ms), the max marked > when it stayed sounding through its rest."""
    ms = sorted(m for m, _ in found)
    if not ms:
        return "-", "-"
    return "%d" % percentile(ms, 0.5), (">" if any(n for m, n in found if m == ms[-1]) else "") + "%d" % ms[-1]


def best_lag(hits):
    """The lag (ms) of the most hits, the earliest of equals."""
    return 5 * LAGS[hits.index(max(hits))]


def song_cells(song):
    """The song table's cells: rumble/yinfft in each."""
    r, y = song["rumble"], song["yinfft"]
    (r50, rmax), (y50, ymax) = stop_cells(r["stops"]), stop_cells(y["stops"])
    cells = [(share(r[line], which), share(y[line], which)) for line in ("top", "bass") for which in (1, 2)]
    cells += [(share(r["cross"]), "-"), (best_lag(r["lags"]), best_lag(y["lags"])), (r50, y50), (rmax, ymax)]
    return ["%d" % song["frames"]] + ["%s/%s" % pair for pair in cells]


def line_cells(figures):
    """The lines table's cells: strict/octave-tolerant on each band and either, yinfft strict."""
    return (["%d" % figures["high"][0]] + ["%s/%s" % (share(figures[k]), share(figures[k], 2))
                                           for k in ("high", "low", "either")] + [share(figures["yinfft"])])


def total(songs):
    """The songs' figures added up, frame by frame; the stops of all of them."""
    whole = {"frames": sum(s["frames"] for s in songs)}
    for side in ("rumble", "yinfft"):
        whole[side] = {key: sum((s[side][key] for s in songs), []) if key == "stops" else
                       [sum(c) for c in zip(*(s[side][key] for s in songs))] for key in songs[0][side]}
    return whole


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--play", required=True, help="tavrel-play")
    parser.add_argument("--work", default=os.path.join(tempfile.gettempdir(), "tavrel-sound-fidelity"))
    parser.add_argument("--midi", nargs="*", default=[], help="more MIDI files, each cut to --seconds")
    parser.add_argument("--seconds", type=float, help="the length each song is cut to (default 40; --quick 15)")
    parser.add_argument("--quick", action="store_true", help="three of the made songs, each 15 s")
    args = parser.parse_args()
    args.seconds = args.seconds or (15 if args.quick else 40)
    os.makedirs(args.work, exist_ok=True)
    began = time.monotonic()
    sources = []
    for song in fidelity_songs.SONGS[::2] if args.quick else fidelity_songs.SONGS:
        path = os.path.join(args.work, "made-" + song[0] + ".mid")
        fidelity_songs.write_song(path, song)
        sources.append((song[0], path))
    for path in [os.path.join(HERE, "..", "examples", "greensleeves.mid")] + args.midi:
        sources.append((os.path.splitext(os.path.basename(path))[0], path))
    songs = [(name, measure_song(args, name, path)) for name, path in sources]

    print("sound_fidelity: %s against the MIDI notes; each cell rumble/yinfft, %% of the frames a note sounds"
          % os.path.basename(args.play))
    columns = ["frames", "top strict", "top octave", "bass strict", "bass octave", "crossed", "lag ms",
               "stop p50 ms", "stop max ms"]
    rows = [(name, song_cells(s)) for name, s in songs] + [("all songs", song_cells(total([s for _, s in songs])))]
    print_rows(columns, rows, 14, 12)
    print("\nlines alone (channel, GM program): % of a line's frames whose note is on a band, strict/octave-tolerant;"
          " yinfft strict")
    lines = [line for _, s in songs for line in s["lines"]]
    whole = {key: [sum(c) for c in zip(*(f[key] for _, f in lines))] for key in ("high", "low", "either", "yinfft")}
    print_rows(["frames", "high band", "low band", "either", "yinfft"],
               [(label, line_cells(f)) for label, f in lines + [("all lines", whole)]], 22, 12)
    seconds, cpu = sum(s["seconds"] for _, s in songs), sum(s["cpu"] for _, s in songs)
    rss = [s["rss"] for _, s in songs if s["rss"]]
    memory = "%.1f MiB" % (max(rss) / 1024) if rss else "-"
    print("\nspeed: %.1f s of sound (the mixes) in %.2f CPU s: %.0f s of sound per CPU second; largest resident "
          "memory %s; whole bench %.0f s" % (seconds, cpu, seconds / cpu, memory, time.monotonic() - began))


if __name__ == "__main__":
    main()
