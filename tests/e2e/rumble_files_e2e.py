"""End to end: rumble files (.bnvib, .jcvib) played by tavrel-play on the strict virtual controller.

Usage: rumble_files_e2e.py --play PATH (--library PATH | --stand-ins DIR) --work DIR [--preview PATH]

Writes .bnvib files (one with a loop of its own, played three times, alone and beside another on a
Pro Controller's two actuators) and a .jcvib from their documented layouts, plays each, and decodes the rumble
blocks in the controller's log with a decoder of this test's own (from the published tables, not
from tavrel's code): the samples played must follow the file's within the encoder's error, never
above the safe maximum, three to a report, the schedule's reports in its order (never closer than
12 ms; after a stall of the machine the report sent in place of those passed over sets the state
they leave), then silence and the tear-down. With --preview, tavrel-preview must render the .bnvib run's log at its 5 ms
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
from rumble_blocks import SAFE_MAXIMUM, SILENT, decode, resting_state  # noqa: E402
from schedule_places import both_blocks, parse_schedules, place_writes  # noqa: E402
from tavrel_e2e import TEAR_DOWN_TAIL, Checks, Platform, Run, add_controller_arguments, tail_of, writes_of  # noqa: E402

INTERVAL_NS = 15_000_000  # tavrel-play's least interval between reports
STREAM_SPACING_MS = 12  # the least gap a stream keeps after a slow write
MEAN_ERROR_LIMIT = 3.0  # 1/32 octave a band and a sample, on average


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
                 limit=MEAN_ERROR_LIMIT, stall=None):
    """Plays path (None: the options name the files) and decodes each report's block at each of blocks'
    bytes against its wanted samples (None: wanted); a band's error counts where its wanted
    amplitude is above louder_than (a .bnvib's byte is coarse for quiet levels). stall: the
    share of writes the virtual controller holds up 30 to 60 ms (Linux), so that reports are
    passed over."""
    arguments = ["--controller", controller, *options] + ([path] if path else [])
    # Under Wine the controller's server stamps a write when the system wakes it, up to tens of
    # ms late: there the spacing is not checked (Linux checks it). Everywhere each report's
    # samples are placed by its place in the schedule, not by its time.
    windows = args.platform.windows
    for attempt in (1, 2):
        run = Run(args, name, arguments=["--timing"] + arguments,
                  extra_env={"TAVREL_VJ_CONTROLLER": controller, "TAVREL_VJ_STRICT": "1",
                             "TAVREL_VJ_SPACING_MS": "0" if windows else str(STREAM_SPACING_MS),
                             **({"TAVREL_VJ_STALL": str(stall)} if stall else {})}).finish(timeout=60)
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
    # The strict controller logs a fault for writes closer than the spacing: the program counts
    # its interval from the end of a write, and the log stamps a write once it has begun, so on
    # Linux no stall of the machine can bring two stamps closer than the program kept them.
    c.expect(not run.log_lines_matching(lambda line: " fault " in line), "%s: the controller logged faults" % name)
    c.expect(tail_of(writes) == TEAR_DOWN_TAIL, "%s: no tear-down at the end" % name)
    rumble = [w for w in writes if w[2][0] == 0x10][:-1]  # the stream's reports; the last is the tear-down's
    gaps = [(b[0] - a[0]) / 1e6 for a, b in zip(rumble, rumble[1:])]
    c.expect(windows or (gaps and min(gaps) >= STREAM_SPACING_MS - 0.5), "%s: reports %.2f ms apart" % (name, min(gaps or [0])))
    schedule = stream_schedule(args, arguments)
    # The play begins an interval after the set-up's last write at the soonest. Under Wine the log
    # may stamp that write late, so no report's time is bound there.
    first = writes.index(rumble[0]) if rumble else 0
    origin = writes[first - 1][0] + INTERVAL_NS if first > 0 and not windows else None
    slots = place_writes(rumble, schedule, origin)
    if not c.expect(rumble and None not in slots, "%s: report %d is not in the schedule, or went out before its time" %
                    (name, len(slots) - 1)):
        return run, rumble
    resynced = sum(1 for w, k in zip(rumble, slots) if bytes(w[2][2:10]) != schedule[k][1])
    c.expect(not stall or windows or resynced, "%s: writes were held up, yet no report was sent in place of "
             "passed-over ones" % name)
    for block, block_wanted in blocks:
        check_block(c, "%s, block at %d" % (name, block), rumble, slots, schedule, writes, block,
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


def stream_schedule(args, arguments):
    """The schedule --schedule prints for the same arguments, both blocks in each report."""
    return [(due, both_blocks(data)) for due, data in parse_schedules(program_output(args, "--schedule", *arguments)[1])[0][0]]


def check_block(c, name, rumble, slots, schedule, writes, block, wanted, louder_than=SILENT, limit=MEAN_ERROR_LIMIT):
    """The samples the block at byte block plays, each at its place in the schedule, against the
    wanted ones. A report passed over plays nothing; one sent in its place after a pass plays
    the state at the end of its own place."""
    state = resting_state()
    played = {}
    at = block - 2  # the block's place in the schedule's bytes
    for w, slot in zip(rumble, slots):
        data = bytes(w[2][block:block + 4])
        samples = decode(data, state)
        if data == schedule[slot][1][at:at + 4]:
            for j, sample in enumerate(samples + [samples[-1]] * (3 - len(samples))):
                played[3 * slot + j] = sample
        else:
            played[3 * slot + 2] = samples[-1]
    c.expect(3 * len(schedule) >= len(wanted), "%s: %d reports for %d samples" % (name, len(schedule), len(wanted)))
    c.expect(all(p[b][0] <= SAFE_MAXIMUM for p in played.values() for b in (0, 1)), "%s: above the safe maximum" % name)
    error = 0
    counted = 0
    for i, p in played.items():
        if i >= len(wanted):
            continue
        w = wanted[i]
        for b in (0, 1):
            if w[b][0] < louder_than:
                continue
            sounds = w[b][0] >= -254 and p[b][0] >= -254
            error += abs(max(w[b][0], SILENT) - p[b][0]) + (abs(w[b][1] - p[b][1]) if sounds else 0)
            counted += 1
    mean = error / max(1, counted)
    c.expect(mean <= limit, "%s: the played samples are %.2f steps from the file's on average" % (name, mean))
    c.expect(bytes(writes[-4][2][block:block + 4]) == bytes([0x3C, 0x00, 0x2F, 0x40]), "%s: no silence at the end" % name)
    print("%s: %d reports, %d passed over, mean error %.2f steps a band" %
          (name, len(rumble), len(schedule) - len(rumble), mean))


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
    # Writes held up now and then, as on a busy machine: the reports passed over are left out
    # and the one after each pass sets the state they leave, across the loop's passes too.
    check_stream(c, args, "looped bnvib", args.platform.log_path(path), wanted, options=["--loop", "3"], stall=0.1)

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
