#!/usr/bin/python3
"""Writes examples/greensleeves.mid: "Greensleeves" (English traditional) arranged for tavrel-play.

Format 1, four tracks: "Greensleeves" (tempo and time signature only), "Melody" (channel 1, a
recorder), "Lute bass" (channel 2) and "Viol bass" (channel 3, the lute's bass line doubled in
unison). In A minor and 3/4, the verse and the chorus twice, slowing down over the last two bars;
about 81 seconds.

Needs Debian's python3-midiutil; run it with the system's interpreter:
    /usr/bin/python3 examples/make_greensleeves_mid.py
"""
import os
import sys

from midiutil import MIDIFile

# MIDI key numbers.
E4, FS4, GS4, A4, B4 = 64, 66, 68, 69, 71
C5, D5, E5, F5, FS5, G5 = 72, 74, 76, 77, 78, 79
G4 = 67
E2, G2, A2, B2, C3, D3, E3 = 40, 43, 45, 47, 48, 50, 52

# The melody, bar by bar, as (key, beats); a quarter note is one beat, a bar three.
VERSE = [
    [(C5, 2), (D5, 1)], [(E5, 1.5), (F5, 0.5), (E5, 1)], [(D5, 2), (B4, 1)], [(G4, 1.5), (A4, 0.5), (B4, 1)],
    [(C5, 2), (A4, 1)], [(A4, 1.5), (GS4, 0.5), (A4, 1)], [(B4, 2), (GS4, 1)], [(E4, 2), (A4, 1)],
    [(C5, 2), (D5, 1)], [(E5, 1.5), (F5, 0.5), (E5, 1)], [(D5, 2), (B4, 1)], [(G4, 1.5), (A4, 0.5), (B4, 1)],
    [(C5, 1.5), (B4, 0.5), (A4, 1)], [(GS4, 1.5), (FS4, 0.5), (GS4, 1)], [(A4, 3)], [(A4, 2), (E4, 1)],
]
CHORUS = [
    [(G5, 3)], [(G5, 1.5), (FS5, 0.5), (E5, 1)], [(D5, 2), (B4, 1)], [(G4, 1.5), (A4, 0.5), (B4, 1)],
    [(C5, 2), (A4, 1)], [(A4, 1.5), (GS4, 0.5), (A4, 1)], [(B4, 2), (GS4, 1)], [(E4, 3)],
    [(G5, 3)], [(G5, 1.5), (FS5, 0.5), (E5, 1)], [(D5, 2), (B4, 1)], [(G4, 1.5), (A4, 0.5), (B4, 1)],
    [(C5, 1.5), (B4, 0.5), (A4, 1)], [(GS4, 1.5), (FS4, 0.5), (GS4, 1)], [(A4, 3)], [(A4, 2), (A4, 1)],
]
# The harmony under each bar, as the bass plays it: the root for two beats, then the fifth.
VERSE_BASS = [
    (A2, E3), (C3, G2), (G2, D3), (E2, B2), (A2, E3), (E2, B2), (E2, B2), (A2, E3),
    (A2, E3), (C3, G2), (G2, D3), (E2, B2), (A2, E3), (E2, B2), (A2, E3), (A2, E3),
]
CHORUS_BASS = [
    (C3, G2), (E2, B2), (G2, D3), (E2, B2), (A2, E3), (E2, B2), (E2, B2), (E2, B2),
    (C3, G2), (E2, B2), (G2, D3), (E2, B2), (A2, E3), (E2, B2), (A2, E3), (A2, E3),
]

BAR = 3  # beats
TEMPO = 144  # quarter notes a minute
ENDING = CHORUS[:-1] + [[(A4, 3)]]  # the last bar held, without the pickup into the verse
SECTIONS = [(VERSE, VERSE_BASS), (CHORUS, CHORUS_BASS), (VERSE, VERSE_BASS), (ENDING, CHORUS_BASS)]

MELODY, LUTE, VIOL = 0, 1, 2  # tracks (midiutil counts them after the tempo track)
RECORDER, NYLON_GUITAR, CELLO = 74, 24, 42  # General MIDI programs, from 0


def arrange():
    f = MIDIFile(3, file_format=1, ticks_per_quarternote=480, removeDuplicates=False)
    f.tracks[0].addTrackName(0, "Greensleeves")  # the tempo track, which midiutil's calls do not name
    f.addTimeSignature(0, 0, 3, 2, 24)
    f.addTempo(0, 0, TEMPO)
    for track, channel, name, program in ((MELODY, 0, "Melody", RECORDER), (LUTE, 1, "Lute bass", NYLON_GUITAR),
                                          (VIOL, 2, "Viol bass", CELLO)):
        f.addTrackName(track, 0, name)
        f.addProgramChange(track, channel, 0, program)

    f.addNote(MELODY, 0, A4, 0, 1, 90)  # the pickup into the first bar
    start = 1
    for tune, bass in SECTIONS:
        for bar, (notes, (root, fifth)) in enumerate(zip(tune, bass)):
            at = start + bar * BAR
            for key, beats in notes:
                f.addNote(MELODY, 0, key, at, beats, 100 if beats >= 1.5 else 84)
                at += beats
            for track, channel, velocity in ((LUTE, 1, 80), (VIOL, 2, 64)):
                f.addNote(track, channel, root, start + bar * BAR, 2, velocity)
                f.addNote(track, channel, fifth, start + bar * BAR + 2, 1, velocity - 10)
        start += len(tune) * BAR
    f.addTempo(0, start - 2 * BAR, TEMPO * 5 // 6)  # slower over the last two bars
    f.addTempo(0, start - BAR, TEMPO * 2 // 3)
    return f


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "greensleeves.mid")
    with open(path, "wb") as out:
        arrange().writeFile(out)


if __name__ == "__main__":
    main()
