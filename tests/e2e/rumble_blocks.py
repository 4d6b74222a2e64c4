"""This test suite's own decoder of the 4-byte rumble block, written from the published tables
(not from tavrel's code). Levels are in 1/32 octave: an amplitude (SILENT for none) and a
frequency step from the band's base."""

SAFE_MAXIMUM = -27      # amplitude code 100, in 1/32 octave
SILENT = -256
CODE_COUNT = 128        # 7-bit codes

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


def resting_state():
    """[[high amp, high freq], [low amp, low freq]] before any block."""
    return [[SILENT, 0], [SILENT, 0]]


def decode(block, state):
    """The samples a block plays (state: [[high amp, high freq], [low amp, low freq]], changed)."""
    v = int.from_bytes(bytes(block), "little")
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


def sets_both_bands(block):
    """Whether a block is the one-sample form of 7-bit codes."""
    v = int.from_bytes(bytes(block), "little")
    return v >> 30 == 1 and v & 0xFFFFF != 0 and v & 3 == 0


def sets_state(block, state):
    """Whether block, a one-sample block of 7-bit codes, sets both bands to state as nearly as its
    codes can without being louder: each amplitude the loudest code at or below the state's (and
    the safe maximum), each sounding band's frequency the state's (held within the codes' range)."""
    if not sets_both_bands(block):
        return False
    got = decode(block, resting_state())[0]
    for (amp, freq), (want_amp, want_freq) in zip(got, state):
        ceiling = min(want_amp, SAFE_MAXIMUM)
        loudest = max((a for a in map(amplitude_of_code, range(1, CODE_COUNT)) if a <= ceiling), default=SILENT)
        if amp != loudest or (amp > SILENT and freq != max(-64, min(63, want_freq))):
            return False
    return True
