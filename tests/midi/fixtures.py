"""MIDI files for the tests and the bench, made with midiutil (Debian's python3-midiutil).

Usage as a program: fixtures.py KIND PATH, KIND one of the names in FIXTURES.
"""
import sys

from midiutil import MIDIFile

MELODY = [76, 74, 72, 74, 76, 76, 76, 0, 74, 74, 74, 0, 76, 79, 79, 0]  # 0: a rest
CHORDS = [(60, 64, 67), (55, 59, 62), (57, 60, 64), (53, 57, 60)]
DRUMS = 9  # channel 10


def ensemble(path, bars=2, tempo_changes=((0, 120), (4, 90), (6, 150))):
    """Format 1: a tempo track, a melody (channel 1) with program and pitch-wheel events around
    it, three-note chords (channel 2), a bass reaching below the bands (channel 3), drums
    (channel 10), one very high note, overlapping notes of one key, and system exclusive data."""
    f = MIDIFile(5, ticks_per_quarternote=480, removeDuplicates=False)
    f.addTrackName(0, 0, "Tempo")
    for beat, bpm in tempo_changes:
        f.addTempo(0, beat, bpm)
    f.addTrackName(1, 0, "Melody")
    f.addProgramChange(1, 0, 0, 73)
    f.addSysEx(1, 0, 0x7D, b"\x01\x02\x03")
    for bar in range(bars):
        for i, key in enumerate(MELODY):
            if key:
                f.addNote(1, 0, key + 12 * (bar % 2), bar * 8 + i * 0.5, 0.5, 60 + 4 * i)
        f.addPitchWheelEvent(1, 0, bar * 8 + 1, 1000)
    f.addNote(1, 0, 108, bars * 8, 1, 127)  # above every band: moved down by octaves
    f.addTrackName(2, 0, "Chords")
    for bar in range(bars):
        for i, chord in enumerate(CHORDS):
            for key in chord:
                f.addNote(2, 1, key, bar * 8 + i * 2, 2, 70)
    f.addTrackName(3, 0, "Bass")
    for bar in range(bars):
        for i, chord in enumerate(CHORDS):
            f.addNote(3, 2, chord[0] - 24, bar * 8 + i * 2, 1.5, 100)
    f.addNote(3, 2, 40, 1, 3, 90)  # two notes of one key that overlap
    f.addNote(3, 2, 40, 2, 1, 90)
    f.addTrackName(4, 0, "Drums")
    for beat in range(bars * 8):
        f.addNote(4, DRUMS, 36 if beat % 2 == 0 else 38, beat, 0.25, 110)
    with open(path, "wb") as out:
        f.writeFile(out)


def piece(path, minutes=3, humanized=False):
    """A multi-track piece of a few minutes: melody, two inner voices and bass, with a tempo
    change every sixteen bars. Humanized, every note starts up to 0.04 beats (about 20 ms) early
    or late, a fixed pattern, as a player's notes do."""
    f = MIDIFile(5, ticks_per_quarternote=480)
    bars = int(minutes * 60 * 110 / 60 / 4)

    def at(beat, n):
        return beat + ((n * 7919) % 41 - 20) / 500.0 if humanized and beat > 0 else beat

    for b in range(0, bars, 16):
        f.addTempo(0, b * 4, 100 + 20 * (b // 16 % 2))
    for bar in range(bars):
        chord = CHORDS[bar % len(CHORDS)]
        for i, key in enumerate(MELODY):
            if key:
                f.addNote(1, 0, key + (bar // 8 % 2) * 2, at(bar * 4 + i * 0.25, bar * 16 + i), 0.25, 90)
        for v, key in enumerate(chord[1:]):
            f.addNote(2 + v, 1 + v, key, at(bar * 4, bar * 3 + v), 4, 70)
        for beat in range(4):
            f.addNote(4, 3, chord[0] - 24 + (beat % 2) * 7, at(bar * 4 + beat, bar * 5 + beat), 1, 100)
    with open(path, "wb") as out:
        f.writeFile(out)


FIXTURES = {"ensemble": ensemble, "piece": piece}

if __name__ == "__main__":
    FIXTURES[sys.argv[1]](sys.argv[2])
