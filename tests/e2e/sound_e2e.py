"""End to end: sound files played by tavrel-play on the strict virtual controller.

Usage: sound_e2e.py --play PATH (--library PATH | --stand-ins DIR) --work DIR [--espeak PATH]

Writes WAV files with Python's wave module: a bass under a higher tone, and a stereo file with
another tone on each side. For each, --write-bnvib writes what the analysis made; playing the
sound must send those samples (decoded from the log by this test's own decoder, within the
encoder's error), three to a report every 15 ms, and the bands must hold the tones' frequencies.
On a Pro Controller each side of the stereo file plays on its own actuator. With --espeak, speech
made by espeak-ng goes the same way. Exits 0 when every check passed, 1 with the failures listed.
"""
import math
import os
import struct
import subprocess
import sys
import wave

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from rumble_files_e2e import check_stream, start, written_samples  # noqa: E402
from tavrel_e2e import Run, writes_of  # noqa: E402

RATE = 22050


def write_wav(path, channels):
    """channels: a list of lists of (frequency, amplitude), one list per channel; a second long."""
    with wave.open(path, "wb") as w:
        w.setnchannels(len(channels))
        w.setsampwidth(2)
        w.setframerate(RATE)
        frames = bytearray()
        for n in range(RATE):
            for tones in channels:
                v = sum(a * math.sin(2 * math.pi * f * n / RATE) for f, a in tones)
                frames += struct.pack("<h", int(32767 * v))
        w.writeframes(bytes(frames))


def step_of(hz):
    return round(32 * math.log2(hz / 10))


def main():
    args, c = start("sound", "--espeak", "espeak-ng, to make speech")

    # A bass at 110 Hz under a tone at 660 Hz: the low band holds the one, the high band the other.
    tones = os.path.join(args.work, "tones.wav")
    write_wav(tones, [[(110, 0.3), (660, 0.4)]])
    wanted = written_samples(c, args, tones)
    middle = wanted[len(wanted) // 2] if wanted else [[0, 0], [0, 0]]
    c.expect(abs(middle[0][1] + 160 - step_of(660)) <= 1 and abs(middle[1][1] + 128 - step_of(110)) <= 1,
             "tones: the bands hold %r in the middle" % (middle,))
    check_stream(c, args, "tones", args.platform.log_path(tones), wanted)
    # The .bnvib written of it plays back the same.
    check_stream(c, args, "tones.bnvib", args.platform.log_path(tones + ".bnvib"), wanted)

    # Stereo on a Pro Controller: 196 Hz on the left, 880 Hz on the right, each on its side.
    stereo = os.path.join(args.work, "stereo.wav")
    write_wav(stereo, [[(196, 0.5)], [(880, 0.5)]])
    sides = [written_samples(c, args, stereo, ["--channel", side]) for side in ("left", "right")]
    check_stream(c, args, "stereo", args.platform.log_path(stereo), None, controller="pro",
                 blocks=((2, sides[0]), (6, sides[1])))

    # Bad files: a clear error naming the byte, nothing sent, exit 2.
    with open(tones, "rb") as f:
        good = f.read()
    header = 44  # RIFF, a 16-byte "fmt " chunk, the data chunk's header
    bad = {
        "cut short": (good[:header + 1000], "byte %d: the header gives %d frames of data, the file holds 500"
                      % (header - 4, RATE)),
        "rate of 0": (good[:24] + b"\0\0\0\0" + good[28:], "byte 24: a sample rate of 0"),
        "ADPCM": (good[:20] + b"\2\0" + good[22:], "byte 20: sample format 2 is not PCM or IEEE float"),
        "five gigabytes": (good[:40] + b"\xff\xff\xff\xff", "longer than an hour"),
    }
    for name, (data, message) in bad.items():
        path = os.path.join(args.work, name.replace(" ", "-") + ".wav")
        with open(path, "wb") as f:
            f.write(data)
            if name == "five gigabytes":
                f.truncate(5 * 1024 ** 3)  # sparse: no disk taken
        run = Run(args, "bad-" + name.replace(" ", "-"), arguments=[args.platform.log_path(path)]).finish(timeout=60)
        c.expect(run.status == 2 and message in run.stderr and not writes_of(run.events),
                 "%s: exit %r, %d writes, stderr %r" % (name, run.status, len(writes_of(run.events)), run.stderr[:200]))
        if os.path.exists(path):
            os.remove(path)

    if args.espeak:
        speech = os.path.join(args.work, "speech.wav")
        subprocess.run([args.espeak, "-w", speech, "Hello. This is the rumble of a voice, five milliseconds at a time."],
                       check=True, timeout=60)
        # Speech fades in and out often: its samples are compared where the .bnvib's byte can
        # hold them to a step or so (from an eighth of full amplitude up). A voice changes its
        # loudness and its strongest partial nearly every sample, more than one block can follow:
        # the encoder's error on it is some 5 to 6 steps a band (tones: under 1).
        check_stream(c, args, "speech", args.platform.log_path(speech), written_samples(c, args, speech),
                     louder_than=-96, limit=8.0)
    c.finish()


if __name__ == "__main__":
    main()
