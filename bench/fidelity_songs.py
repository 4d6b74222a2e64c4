"""Arrangements for bench/sound_fidelity.py, made with midiutil: a melody, a bass line and inner
chords, some with drums, each on its own channel, seeded so that every run writes the same files.

Each song reaches past the rumble's bands now and then: a melody note above 1253 Hz every eighth
bar, a bass note below 41 Hz every eighth bar; every eighth bar ends in a rest of all parts (a beat
or two, at least 200 ms) so that the time the bands take to fall silent can be seen.

Usage as a program: fidelity_songs.py FOLDER (writes every song there)
"""
import os
import random
import sys

from midiutil import MIDIFile

MAJOR = [0, 2, 4, 5, 7, 9, 11]
MINOR = [0, 2, 3, 5, 7, 8, 10]
DRUMS = 9  # channel 10
# (name, seed, bpm, tonic, scale, chord degrees a bar, melody programs, lowest melody key,
#  note lengths in beats, bass program, bass keys from, chord program, drums)
SONGS = [
    ("flute", 1, 96, 62, MAJOR, [0, 5, 3, 4], [73], 74, [0.5, 1, 1, 2], 32, 38, 48, False),
    ("violin", 2, 72, 57, MINOR, [0, 3, 5, 4], [40], 69, [1, 1, 2, 3], 42, 33, 0, False),
    ("trumpet", 3, 120, 58, MAJOR, [0, 3, 4, 0, 5, 1, 4, 4], [56], 70, [0.5, 0.5, 1, 2], 58, 34, 19, True),
    ("clarinet", 4, 140, 65, MAJOR, [0, 5, 1, 4], [71], 72, [0.5, 0.5, 0.5, 1], 33, 29, 0, True),
    ("voices", 5, 80, 64, MINOR, [0, 5, 2, 6], [52, 54], 71, [1, 1, 2, 2], 34, 28, 49, False),
    ("piano", 6, 160, 55, MAJOR, [0, 4, 5, 3], [0], 72, [0.5, 0.5, 1, 1.5], 35, 31, 16, True),
]


def chord_of(tonic, scale, degree):
    """The triad on a degree of the scale, as keys from the tonic's octave up."""
    return [tonic + scale[(degree + s) % 7] + 12 * ((degree + s) // 7) for s in (0, 2, 4)]


def nearest(key, pitch_classes, low, high):
    """The key of one of pitch_classes within [low, high] nearest to key."""
    return min((k for k in range(low, high + 1) if k % 12 in pitch_classes), key=lambda k: abs(k - key))


def write_song(path, song, seconds=36):
    """Writes one of SONGS, about seconds long, to path."""
    name, seed, bpm, tonic, scale, degrees, programs, low, lengths, bass_program, bass_low, chord_program, drums = song
    rng = random.Random(seed)
    f = MIDIFile(4, ticks_per_quarternote=480)
    f.addTempo(0, 0, bpm)
    for track, channel, program in ((0, 0, programs[0]), (1, 1, bass_program), (2, 2, chord_program)):
        f.addProgramChange(track, channel, 0, program)
    bars = max(4, round(seconds * bpm / 240))
    key = low + 5
    scale_classes = {(tonic + s) % 12 for s in scale}
    for bar in range(bars):
        start = bar * 4
        if len(programs) > 1 and bar == bars // 2:
            f.addProgramChange(0, 0, start, programs[1])
        chord = chord_of(tonic, scale, degrees[bar % len(degrees)])
        classes = {k % 12 for k in chord}
        pause = bar % 8 == 7 or bar == bars - 1  # every part rests at the bar's end
        end = start + (3 if pause and bpm < 120 else 2 if pause else 4)
        # Melody: a walk on the scale, a chord tone on each beat, now and then a rest.
        t = start
        while t < end:
            length = min(rng.choice(lengths), end - t)
            if rng.random() < 0.08 and t > start:
                t += length
                continue
            on_beat = t == int(t)
            key = nearest(key + rng.choice([-2, -1, 1, 2, 3, -3]), classes if on_beat else scale_classes, low, low + 14)
            if bar % 8 == 3 and t == start + 2:  # above the high band's reach
                f.addNote(0, 0, nearest(key + 12, classes, 88, 100), t, length, 100)
            else:
                f.addNote(0, 0, key, t, length, 100)
            t += length
        # Bass: the root and the fifth on the beats; every eighth bar it dips below 41 Hz.
        for beat in range(int(end - start)):
            k = nearest(bass_low + 5, {chord[0] % 12} if beat % 2 == 0 else {chord[2] % 12}, bass_low, bass_low + 11)
            if bar % 8 == 5 and beat == 0:
                k = nearest(23, classes, 23, 27)
            f.addNote(1, 1, k, start + beat, 1 if bpm >= 120 else 0.9, 95)
        # Chords, held below the melody's register.
        for k in chord:
            f.addNote(2, 2, nearest(k, {k % 12}, low - 16, low - 5), start, end - start, 60)
        if drums:
            for half in range(int(2 * (end - start))):
                drum = 36 if half % 4 == 0 else 38 if half % 4 == 2 else 42
                f.addNote(3, DRUMS, drum, start + half / 2, 0.25, 80)
    with open(path, "wb") as out:
        f.writeFile(out)


if __name__ == "__main__":
    for song in SONGS:
        write_song(os.path.join(sys.argv[1], song[0] + ".mid"), song)
