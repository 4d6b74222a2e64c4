#!/usr/bin/env python3
"""Plays arpeggios as live MIDI bytes on standard output, in time, for tavrel-play --live:

    python3 examples/live_arpeggio.py | tavrel-play --live -

A bass note held under each chord with the sustain pedal, the chord's notes rising over it, and a
pitch bend at the end; about ten seconds. Standard library only.
"""
import sys
import time

NOTE_ON, NOTE_OFF, CONTROL, BEND = 0x90, 0x80, 0xB0, 0xE0
SUSTAIN, ALL_NOTES_OFF = 64, 123
STEP_S = 0.125
# (bass, chord) in MIDI keys: C, A minor, F, G.
PROGRESSION = [(36, [60, 64, 67, 72]), (45, [57, 60, 64, 69]), (41, [53, 57, 60, 65]), (43, [55, 59, 62, 67])]


def send(out, *data):
    out.write(bytes(data))
    out.flush()


def play(out):
    for bass, chord in PROGRESSION:
        send(out, NOTE_ON, bass, 90, CONTROL, SUSTAIN, 127)
        send(out, NOTE_OFF, bass, 0)  # the pedal holds it
        for note in chord + chord[::-1]:
            send(out, NOTE_ON, note, 100)
            time.sleep(STEP_S)
            send(out, NOTE_OFF, note, 0)
        send(out, CONTROL, SUSTAIN, 0)
    send(out, NOTE_ON, 72, 110)
    for step in range(0, 8192, 512):  # bend up two semitones
        send(out, BEND, step & 0x7F, (8192 + step) >> 7)
        time.sleep(0.03)
    time.sleep(0.5)
    send(out, CONTROL, ALL_NOTES_OFF, 0, BEND, 0, 0x40)


if __name__ == "__main__":
    try:
        play(sys.stdout.buffer)
    except (BrokenPipeError, KeyboardInterrupt):
        pass  # the player stopped, or Ctrl-C: nothing more to send
