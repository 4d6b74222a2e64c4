"""End to end: rumble files (.bnvib, .jcvib) played by tavrel-play on the strict virtual controller.

Usage: rumble_files_e2e.py --play PATH (--library PATH | --stand-ins DIR) --work DIR [--preview PATH]

Writes .bnvib files (one with a loop of its own, played three times, alone and beside another on a
Pro Controller's two actuators) and a .jcvib from their documented layouts, plays each, and decodes the rumble
blocks in the controller's log with a decoder of this test's own (from the published tables, not
from tavrel's code): the samples played must follow the file's within the encoder's error, never
above the safe maximum, three to a report every 15 ms (never closer than 12), then silence and the
tear-down. With --preview, tavrel-preview must render the .bnvib run's log at its 5 ms
resolution: every sample read, none lost, notes changing between reports. Exits 0 when every check passed, 1 with the failures listed otherwise.
"""
import argparse
import math
import os
import re
import subprocess
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from tavrel_e2e import TEAR_DOWN_TAIL, Checks, Platform, Run, add_controller_arguments, tail_of, writes_of  # noqa: E402

SAFE_MAXIMUM = -27      # amplitude code 100, in 1/32 octave
SILENT = -256
STREAM_SPACING_MS = 12  # the least gap a stream keeps after a slow write
MEAN_ERROR_LIMIT = 3.0  # 1/32 octave a band and a sample, on average

# The 5-bit commands: (amplitude action, value, frequency action, value); actions k(eep), r(eset),
# s(et), a(dd, held within range).
COMMANDS = ([("r", 0, "r", 0)] + [("s", -16 * i, "k", 0) for i in range(0, 11)] +
            [("k", 0, "s", v) for v in (-12, -6, 0, 6, 12)] +
            [(a, av, f, fv) for av in (4, 1) for (f, fv) in (("a", 1), ("k", 0), ("a", -1)) for a in ("a",)] +
            [("k", 0, "a", 1), ("k", 0, "k", 0), ("k", 0, "a", -1)] +
            [("a", av, f, fv) for av in (-1, -4) for (f, fv) in (("a", 1), ("k", 0), ("a", -1))])


def amplitude_of_code(i):
    if i == 0:
        return SILENT
    if i < 16:
        return 8 * i - 248
    if i < 32:
        return 2 * i - 158
    return i - 127


def act(action, value, current, reset, low, high):
    return {"k": current, "r": reset, "s": value, "a": max(low, min(high, current + value))}[action]


def command(band, c):
    am, av, fm, fv = COMMANDS[c]
    return [act(am, av, band[0], SILENT, SILENT, 0), act(fm, fv, band[1], 0, -64, 64)]


def decode(block, state):
    """The samples a block plays (state: [[high amp, high freq], [low amp, low freq]], changed)."""
    v = int.from_bytes(block, "little")
    field = lambda low, bits: (v >> low) & ((1 << bits) - 1)  # noqa: E731
    out = []

    def step(h, l):
        state[0] = command(state[0], field(h, 5))
        state[1] = command(state[1], field(l, 5))
        out.append([list(state[0]), list(state[1])])
    form = v >> 30
    if form == 3:
        step(20, 25), step(10, 15), step(0, 5)
    elif form == 2 and field(0, 10) == 0:
        step(20, 25), step(10, 15)
    elif form == 2:
        band, other = (0, 1) if field(0, 1) else (1, 0)
        state[band] = [amplitude_of_code(field(23, 7)), field(1, 7) - 64]
        state[other] = command(state[other], field(18, 5))
        out.append([list(state[0]), list(state[1])])
        step(8, 13)
    elif form == 1 and field(0, 20) == 0:
        step(20, 25)
    elif form == 1 and field(0, 2) == 0:
        state[0] = [amplitude_of_code(field(9, 7)), field(2, 7) - 64]
        state[1] = [amplitude_of_code(field(23, 7)), field(16, 7) - 64]
        out.append([list(state[0]), list(state[1])])
    elif form == 1:
        band = 0 if field(0, 1) else 1
        state[band][1 if field(2, 1) else 0] = (field(23, 7) - 64) if field(2, 1) else amplitude_of_code(field(23, 7))
        out.append([list(state[0]), list(state[1])])
        step(13, 18), step(3, 8)
    return out


def bnvib(samples, loop=None):
    """A .bnvib at 200 a second: (low amp, low freq, high amp, high freq) bytes a sample; loop:
    (start, end, wait) in samples."""
    data = b"".join(bytes(s) for s in samples)
    if loop:
        return struct.pack("<IHHIIII", 0x10, 3, 200, *loop, len(data)) + data
    return struct.pack("<IHHI", 4, 3, 200, len(data)) + data


def level_of_bytes(amp, freq, high):
    a = SILENT if amp == 0 else max(SILENT, round(32 * math.log2(amp / 255)))
    return [min(a, SAFE_MAXIMUM), max(-64, min(63, freq - (160 if high else 128)))]


def check_stream(c, args, name, path, wanted, options=(), controller="right", blocks=((6, None),), louder_than=SILENT,
                 limit=MEAN_ERROR_LIMIT):
    """Plays path (None: the options name the files) and decodes each report's block at each of blocks'
    bytes against its wanted samples (None: wanted); a band's error counts where its wanted
    amplitude is above louder_than (a .bnvib's byte is coarse for quiet levels)."""
    arguments = ["--controller", controller, *options] + ([path] if path else [])
    # Under Wine the controller's server stamps a write when the system wakes it, up to tens of
    # ms late, and a busy machine can stall a write: there the spacing and the stalls are not
    # checked (Linux checks them), and each report's samples are placed by its place in the
    # schedule, not by its time.
    windows = args.platform.windows
    for attempt in (1, 2):
        run = Run(args, name, arguments=["--timing"] + arguments,
                  extra_env={"TAVREL_VJ_CONTROLLER": controller, "TAVREL_VJ_STRICT": "1",
                             "TAVREL_VJ_SPACING_MS": "0" if windows else str(STREAM_SPACING_MS)}).finish(timeout=60)
        # Under Wine on a busy machine a run now and then ends at once, before it plays (about
        # once in 500 runs; exit status 1 with nothing said, having written one report or none):
        # a failed run there is repeated once, its failure printed. A fault fails both.
        if not (windows and attempt == 1 and run.status != 0):
            break
        print("%s: exit status %r after %d writes, run again; stderr %r" %
              (name, run.status, len(writes_of(run.events)), run.stderr[:300]))
    c.expect(run.status == 0, "%s: exit status %r, stderr %r" % (name, run.status, run.stderr[:300]))
    writes = writes_of(run.events)
    if run.status != 0 or len(writes) < len(TEAR_DOWN_TAIL):
        c.expect(False, "%s: %d writes logged; stdout %r" % (name, len(writes), run.stdout[-300:]))
        return run, []
    c.expect(not run.log_lines_matching(lambda line: " fault " in line), "%s: the controller logged faults" % name)
    # A streamed block passed over after a stall loses its samples: none may be.
    c.expect(windows or ", 0 passed over" in run.stderr, "%s: reports passed over: %r" % (name, run.stderr[-200:]))
    c.expect(tail_of(writes) == TEAR_DOWN_TAIL, "%s: no tear-down at the end" % name)
    rumble = [w for w in writes if w[2][0] == 0x10][:-1]  # the stream's reports; the last is the tear-down's
    gaps = [(b[0] - a[0]) / 1e6 for a, b in zip(rumble, rumble[1:])]
    c.expect(windows or (gaps and min(gaps) >= STREAM_SPACING_MS - 0.5), "%s: reports %.2f ms apart" % (name, min(gaps or [0])))
    c.expect(gaps and sorted(gaps)[len(gaps) // 2] < 15.5, "%s: reports a median %.2f ms apart" %
             (name, sorted(gaps or [0])[len(gaps) // 2] if gaps else 0))
    slots = places_in_schedule(args, arguments, rumble, blocks)
    c.expect(None not in slots, "%s: report %d is not in the schedule" % (name, slots.index(None) if None in slots else 0))
    for block, block_wanted in blocks:
        check_block(c, "%s, block at %d" % (name, block), rumble, slots, writes, block,
                    wanted if block_wanted is None else block_wanted, louder_than, limit)
    return run, rumble


def program_output(args, *arguments):
    """The program's exit status, standard output (line ends made plain) and standard error."""
    done = subprocess.run(args.platform.command + list(arguments), capture_output=True, timeout=120,
                          env={**os.environ, **args.platform.env})
    return done.returncode, args.platform.console(done.stdout.decode("latin-1")), done.stderr.decode("latin-1")


def written_samples(c, args, path, options=()):
    """The samples --write-bnvib makes of path, as [high, low] levels."""
    out = os.path.join(args.work, os.path.basename(path) + ".bnvib")
    status, _, errors = program_output(args, "--write-bnvib", args.platform.log_path(out), *options,
                                       args.platform.log_path(path))
    c.expect(status == 0, "%s: --write-bnvib exited %d: %r" % (path, status, errors[:300]))
    if status != 0:
        return []
    with open(out, "rb") as f:
        data = f.read()
    at = 4 + struct.unpack("<I", data[:4])[0] + 4
    return [[level_of_bytes(data[i + 2], data[i + 3], True), level_of_bytes(data[i], data[i + 1], False)]
            for i in range(at, len(data), 4)]


def sets_both_bands(block):
    """Whether a block is the one-sample form of 7-bit codes."""
    v = int.from_bytes(bytes(block), "little")
    return v >> 30 == 1 and v & 0xFFFFF != 0 and v & 3 == 0


def places_in_schedule(args, arguments, rumble, blocks):
    """Each logged report's index in the schedule --schedule prints for the same arguments, in
    order: reports passed over after a stall are left out. The report sent in place of the
    latest one passed over sets both bands outright, as the schedule's report does not: it is
    placed just before the next one found (None where a report is neither)."""
    schedule = []
    for line in program_output(args, "--schedule", *arguments)[1].splitlines():
        parts = line.split()
        if len(parts) >= 2 and parts[0] != "end":
            schedule.append(bytes.fromhex(parts[1]) + bytes.fromhex(parts[2] if len(parts) > 2 else parts[1]))
    slots, at = [], 0
    for w in rumble:
        found = next((k for k in range(at, len(schedule)) if schedule[k] == bytes(w[2][2:10])), None)
        slots.append(found)
        if found is not None:
            at = found + 1
    for i in reversed(range(len(slots))):
        if slots[i] is None and all(sets_both_bands(rumble[i][2][b:b + 4]) for b, _ in blocks):
            later = slots[i + 1] if i + 1 < len(slots) and slots[i + 1] is not None else len(schedule)
            earlier = max((s for s in slots[:i] if s is not None), default=-1)
            slots[i] = later - 1 if later - 1 > earlier else None
    return slots


def check_block(c, name, rumble, slots, writes, block, wanted, louder_than=SILENT, limit=MEAN_ERROR_LIMIT):
    state = [[SILENT, 0], [SILENT, 0]]
    by_slot = {}
    for w, slot in zip(rumble, slots):
        samples = decode(w[2][block:block + 4], state)
        by_slot[slot] = samples + [samples[-1]] * (3 - len(samples))
    # A report passed over leaves its slot to the samples before it, held.
    played = []
    for slot in range(max((s for s in by_slot if s is not None), default=-1) + 1):
        played.extend(by_slot.get(slot, played[-1:] * 3 if played else [[[SILENT, 0], [SILENT, 0]]] * 3))
    c.expect(len(rumble) >= len(wanted) // 3, "%s: %d reports for %d samples" % (name, len(rumble), len(wanted)))
    c.expect(all(p[b][0] <= SAFE_MAXIMUM for p in played for b in (0, 1)), "%s: above the safe maximum" % name)
    error = 0
    counted = 0
    for w, p in zip(wanted, played):
        for b in (0, 1):
            if w[b][0] < louder_than:
                continue
            sounds = w[b][0] >= -254 and p[b][0] >= -254
            error += abs(max(w[b][0], SILENT) - p[b][0]) + (abs(w[b][1] - p[b][1]) if sounds else 0)
            counted += 1
    mean = error / max(1, counted)
    c.expect(mean <= limit, "%s: the played samples are %.2f steps from the file's on average" % (name, mean))
    c.expect(bytes(writes[-4][2][block:block + 4]) == bytes([0x3C, 0x00, 0x2F, 0x40]), "%s: no silence at the end" % name)
    print("%s: %d reports, mean error %.2f steps a band" % (name, len(rumble), mean))


def check_preview(c, args, run, rumble):
    """The preview follows the run sample by sample: its high band's bars start between reports."""
    wav, svg = os.path.join(args.work, "bnvib.wav"), os.path.join(args.work, "bnvib.svg")
    done = subprocess.run([args.preview, run.log, wav, svg], capture_output=True, text=True, timeout=60)
    c.expect(done.returncode == 0 and not done.stderr, "preview: exit %d, %r" % (done.returncode, done.stderr[:300]))
    c.expect(" %d rumble reports" % (len(rumble) + 1) in done.stdout, "preview: %r" % done.stdout)
    start = run.events[0][0]
    writes = [(w[0] - start) / 1e9 for w in rumble]
    offsets = set()
    for bar in re.findall(r'<g class="bar high" data-start="([0-9.]+)"', open(svg).read() if os.path.exists(svg) else ""):
        before = [w for w in writes if w <= float(bar) + 1e-4]
        if before:
            offsets.add(round((float(bar) - before[-1]) * 1000 / 5))
    c.expect({1, 2} <= offsets, "preview: high band bars start only %r samples after a report" % sorted(offsets))


def start(title, option, about):
    """The arguments of a stream test (--play, the controller, --work and its own option) and its
    checks."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--play", required=True)
    add_controller_arguments(parser)
    parser.add_argument("--work", required=True)
    parser.add_argument(option, help=about)
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    args.platform = Platform(args, args.play)
    return args, Checks(title)


def main():
    args, c = start("rumble files", "--preview", "tavrel-preview, to render the .bnvib run's log")

    # Two seconds: a swell and a sweep on the high band, pulses on the low one, one sample too loud.
    samples = []
    for i in range(400):
        high_amp = int(40 + 60 * (1 + math.sin(i / 15)))
        low_amp = 110 if i % 40 < 20 else 0
        samples.append((low_amp, 120 + i % 24, 255 if i == 200 else high_amp, 140 + (i // 4) % 60))
    path = os.path.join(args.work, "swell.bnvib")
    with open(path, "wb") as f:
        f.write(bnvib(samples))
    wanted = [[level_of_bytes(s[2], s[3], True), level_of_bytes(s[0], s[1], False)] for s in samples]
    run, rumble = check_stream(c, args, "bnvib", args.platform.log_path(path), wanted)
    if args.preview:
        check_preview(c, args, run, rumble)

    # The file's own loop, three times: samples 0 to 50, twice a wait of 6 and 20 to 50, then 50 to 60.
    path = os.path.join(args.work, "looped.bnvib")
    with open(path, "wb") as f:
        f.write(bnvib(samples[:60], loop=(20, 50, 6)))
    looped = samples[:50] + ([(0, 0, 0, 0)] * 6 + samples[20:50]) * 2 + samples[50:60]
    wanted = [[level_of_bytes(s[2], s[3], True), level_of_bytes(s[0], s[1], False)] for s in looped]
    check_stream(c, args, "looped bnvib", args.platform.log_path(path), wanted, options=["--loop", "3"])

    # A Pro Controller with a file for each actuator, three times: half a second of the swell on
    # the left (whole, having no loop), the looped file on the right (its loop).
    short = os.path.join(args.work, "short.bnvib")
    with open(short, "wb") as f:
        f.write(bnvib(samples[:100]))
    files = ["--left", args.platform.log_path(short), "--right", args.platform.log_path(path)]
    whole = [[level_of_bytes(s[2], s[3], True), level_of_bytes(s[0], s[1], False)] for s in samples[:100] * 3]
    check_stream(c, args, "pro", None, None, options=files + ["--loop", "3"], controller="pro",
                 blocks=((2, whole), (6, wanted)))
    # Joy-Cons: the left one plays the left file, the right one the right file.
    def schedule(*options):
        return program_output(args, "--schedule", *options)[1]
    pair = schedule("--controller", "left,right", *files)
    alone = [schedule("--controller", side, files[1 + 2 * k]) for k, side in enumerate(("left", "right"))]
    c.expect(pair == "controller 1 left\n%scontroller 2 right\n%s" % tuple(alone),
             "Joy-Cons with --left and --right: %r" % pair[:300])

    # Shaped notes: what --write-bnvib writes is what plays.
    piece = os.path.join(args.work, "shaped.txt")
    with open(piece, "w") as f:
        f.write("t25 l8 o4 e c e g >c< g e c\n")
    shape = ["--attack", "20", "--release", "60"]
    wanted = written_samples(c, args, piece, shape)
    loudest = max((w[0][0] for w in wanted), default=SILENT)
    c.expect(len(wanted) > 100 and any(SILENT < w[0][0] < loudest for w in wanted),
             "shaped: %d samples written, none on the way up or down" % len(wanted))
    check_stream(c, args, "shaped", args.platform.log_path(piece), wanted, options=shape)

    # A MIDI note of 2.5 s under a full modulation wheel wavers: it is streamed, a report every 15 ms.
    track = bytes([0x00, 0xB0, 1, 127, 0x00, 0x90, 69, 100, 0x83, 0x60, 0x80, 69, 0, 0x00, 0xFF, 0x2F, 0])
    midi = os.path.join(args.work, "vibrato.mid")
    with open(midi, "wb") as f:
        f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 96) + b"MTrk" + struct.pack(">I", len(track)) + track)
    reports = schedule(args.platform.log_path(midi)).splitlines()[:-1]
    blocks = {r.split()[1] for r in reports[1:-1]}
    c.expect(len(reports) >= 2500 // 15 and len(blocks) > 2, "vibrato: %d reports, %d blocks" % (len(reports), len(blocks)))

    # A .jcvib of tavrel's own one-sample blocks, 15 ms apart: each held for three samples.
    blocks = [bytes([0x3C, 0x00, 0x2F, 0x40]), bytes([0x00, 0xC9, 0x40, 0x40]), bytes([0x70, 0xB1, 0x50, 0x72])] * 20
    path = os.path.join(args.work, "recorded.jcvib")
    with open(path, "wb") as f:
        f.write(b"RRAW" + struct.pack(">HI", 15, len(blocks)) + b"".join(blocks))
    state = [[SILENT, 0], [SILENT, 0]]
    wanted = []
    for block in blocks:
        sample = decode(block, state)[0]
        wanted.extend([[[min(sample[b][0], SAFE_MAXIMUM), sample[b][1]] for b in (0, 1)]] * 3)
    check_stream(c, args, "jcvib", args.platform.log_path(path), wanted)
    c.finish()


if __name__ == "__main__":
    main()
