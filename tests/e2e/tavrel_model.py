"""What tavrel should send, worked out on its own from the commands it echoes.

The play-data rules and the rumble code tables are typed in here from their documentation,
independently of the C++ sources, so that the end-to-end checks compare the program against a
second reading of the rules. Also reads the virtual controller's log.
"""
import re

BANNER = "Tavrel ver 0.1 by Orvane."
ECHO_RE = re.compile(r'^play data = "(.*)"$')

# Rumble codes by note index 0-59.
HIGH_FREQUENCY_CODES = [
    0, 0, 0, 0, 0, 0, 0, 4, 16, 24, 36, 48,
    56, 68, 80, 88, 100, 112, 120, 132, 144, 152, 164, 176,
    184, 196, 208, 216, 228, 240, 248, 260, 272, 280, 292, 304,
    312, 324, 336, 344, 356, 368, 376, 388, 400, 408, 420, 432,
    440, 452, 464, 472, 484, 496, 504, 0, 0, 0, 0, 0,
]
LOW_FREQUENCY_CODES = [
    14, 17, 20, 22, 25, 28, 30, 33, 36, 38, 41, 44,
    46, 49, 52, 54, 57, 60, 62, 65, 68, 70, 73, 76,
    78, 81, 84, 86, 89, 92, 94, 97, 100, 102, 105, 108,
    110, 113, 116, 118, 121, 124, 126, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
]
HIGH_AMPLITUDE_CODES = [0x00, 0x1C, 0x38, 0x58, 0x74, 0x88, 0x98, 0xA8, 0xB4, 0xC0, 0xC8]
LOW_AMPLITUDE_CODES = [0x40, 0x47, 0x4E, 0x56, 0x5D, 0x62, 0x66, 0x6A, 0x6D, 0x70, 0x72]
LEVEL_BY_NOTE = (
    [0] * 12
    + [10, 10, 9, 8, 8, 7, 5, 3, 2, 3, 4, 5]
    + [6, 7, 7, 7, 7, 7, 7, 4, 4, 9, 9, 9]
    + [8] + [10] * 11
    + [10] * 12
)
assert len(HIGH_FREQUENCY_CODES) == len(LOW_FREQUENCY_CODES) == len(LEVEL_BY_NOTE) == 60

NOTE_STEPS = {"c": 3, "d": 5, "e": 7, "f": 8, "g": 10, "a": 12, "b": 14, "h": 12}
INT_MIN, INT_MAX = -(2 ** 31), 2 ** 31 - 1

SILENCE = (0x3C, 0x00, 0x2F, 0x40)
SUB_MODE, SUB_LIGHTS, SUB_IMU, SUB_VIBRATION = 0x03, 0x30, 0x40, 0x48
SET_UP = [("sub", SUB_MODE, 0x3F), ("sub", SUB_LIGHTS, 0x01), ("sub", SUB_VIBRATION, 0x01)]
TEAR_DOWN = [("rumble",) + SILENCE, ("sub", SUB_VIBRATION, 0x00), ("sub", SUB_LIGHTS, 0x00),
             ("sub", SUB_MODE, 0x3F)]
REPORT_SIZE = 49


def rumble_bytes(note, high_level, low_level):
    high = HIGH_FREQUENCY_CODES[note]
    return (high & 0xFF, (high >> 8) + HIGH_AMPLITUDE_CODES[high_level],
            LOW_FREQUENCY_CODES[note] & 0xFF, LOW_AMPLITUDE_CODES[low_level])


def read_number(text):
    """A decimal number as %d reads it from text, or None; held within the int range."""
    m = re.match(r"[ \t\n\v\f\r]*([+-]?[0-9]+)", text)
    if not m:
        return None
    return max(INT_MIN, min(INT_MAX, int(m.group(1))))


class Player:
    """Interprets echoed commands into rumble sends and the waits asked after each."""

    def __init__(self):
        self.unit, self.default_length, self.octave = 80, 4, 4
        # Each entry: [op, wait_ms_after]; op is ("rumble", r0, r1, r2, r3).
        self.sends = []
        self.leading_wait = 0   # waits asked before the first send
        self.note_halves = 0    # one last half unit (ms) per note played
        self.last_halves = []   # indexes in sends of each note's softer last half

    def wait(self, ms):
        if self.sends:
            self.sends[-1][1] += ms
        else:
            self.leading_wait += ms

    def send(self, rumble):
        self.sends.append([("rumble",) + rumble, 0])

    def play_note(self, note, count, unit):
        for k in range(count):
            if note < 0:
                self.wait(unit)
                continue
            level = LEVEL_BY_NOTE[note]
            self.send(rumble_bytes(note, level, level))
            if k < count - 1:
                self.wait(unit)
            else:
                half = int(unit / 2)
                self.note_halves += half
                self.wait(half)
                self.last_halves.append(len(self.sends))
                self.send(rumble_bytes(note, level // 2, level // 2))
                self.wait(half)

    def command(self, text):
        """Plays one command; returns the number of sends it made."""
        before = len(self.sends)
        if not text:
            return 0
        raw = text.encode("latin-1")[0]
        first = raw - 256 if raw > 127 else raw
        if first < ord("<") or first > ord("t"):
            return 0
        c = text[0].lower()
        rest = text[1:]
        if c == "<":
            self.octave = max(1, self.octave - 1)
        elif c == ">":
            self.octave = min(5, self.octave + 1)
        elif c == "t":
            n = read_number(rest)
            if n is not None:
                self.unit = n
            if self.unit <= 0:
                self.unit = 100
        elif c == "l":
            n = read_number(rest)
            if n is not None:
                self.default_length = n
            self.default_length = max(1, min(16, self.default_length))
        elif c == "o":
            n = read_number(rest)
            if n is not None:
                self.octave = n
            self.octave = max(1, min(5, self.octave))
        elif c == "r":
            n = read_number(rest)
            self.play_note(-1, self.default_length if n is None else n, self.unit)
        elif c in NOTE_STEPS and text[0] in "abcdefghABCDEFGH":
            index = (self.octave - 1) * 12 + NOTE_STEPS[c]
            if rest[:1] == "+":
                index, rest = index + 1, rest[1:]
            elif rest[:1] == "-":
                index, rest = index - 1, rest[1:]
            if index < 0 or index > 59:
                index = -1
            n = read_number(rest)
            self.play_note(index, self.default_length if n is None else n, self.unit)
        return len(self.sends) - before


# The rumble blocks of tavrel-play's subcommand reports: neutral, where tavrel's are zero.
NEUTRAL_BLOCKS = bytes([0x00, 0x01, 0x40, 0x40] * 2)


def build_reports(ops, subcommand_blocks=bytes(8)):
    """The 49-byte reports written for ops, one output buffer and packet counter shared."""
    buffer = bytearray(256)
    counter = 0
    reports = []
    for op in ops:
        counter += 1
        buffer[1] = counter % 16
        if op[0] == "sub":
            buffer[0] = 0x01
            buffer[2:10] = subcommand_blocks
            buffer[10], buffer[11] = op[1], op[2]
        else:  # one block for both actuators, or the left one's and the right one's
            buffer[0] = 0x10
            buffer[2:6] = bytes(op[1:5])
            buffer[6:10] = bytes(op[5:9] if len(op) == 9 else op[1:5])
        reports.append(bytes(buffer[:REPORT_SIZE]))
    return reports


def parse_console(stdout):
    """(banner seen first, echoed commands, lines that are neither)."""
    lines = stdout.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    banner_first = bool(lines) and lines[0] == BANNER
    echoes, other = [], []
    for line in lines[1:] if banner_first else lines:
        m = ECHO_RE.match(line)
        if m:
            echoes.append(m.group(1))
        else:
            other.append(line)
    return banner_first, echoes, other


def parse_log(path):
    """Events as (ns, kind, fields...) with report bytes decoded."""
    events = []
    with open(path) as f:
        for line in f:
            parts = line.split()
            ns, kind = int(parts[0]), parts[1]
            if kind in ("write", "deliver"):
                n, data = int(parts[2]), bytes.fromhex(parts[3])
                if n != len(data):
                    raise ValueError("length %d does not match %d bytes: %s" % (n, len(data), line))
                events.append((ns, kind, data))
            else:
                events.append((ns, kind) + tuple(parts[2:]))
    return events


def play(echoes):
    """A player that has interpreted these commands."""
    player = Player()
    for text in echoes:
        player.command(text)
    return player


def expected_run(echoes):
    """Expected writes (ops) and the wait asked after each, for a run that echoed these commands."""
    player = play(echoes)
    ops = [(op, 0) for op in SET_UP]
    if player.leading_wait:
        ops[-1] = (ops[-1][0], player.leading_wait)
    ops += [(op, wait) for op, wait in player.sends]
    ops += [(op, 0) for op in TEAR_DOWN]
    return ops


def last_half_writes(echoes):
    """Indexes, among a run's writes, of every note's softer last half."""
    return [len(SET_UP) + i for i in play(echoes).last_halves]


def note_halves_ms(echoes):
    """The last half units of every note played, added up (ms): what a run that played every
    note half a unit long would take longer."""
    return play(echoes).note_halves
