"""Where each rumble report a program wrote stands in the schedule `tavrel-play --schedule`
prints, whatever the machine's timing did.

What tavrel-play promises under any timing, and all that is checked here: its reports go out in
the schedule's order, none before its due time; after a stall it passes over the reports whose
time went by (never the last one), and the report it sends after a pass carries its own bytes
except that each block that steps on from the state before (one that does not set both bands)
becomes a block setting both bands to the state the schedule leaves after that report. How late
reports went out and how many were passed over are the benches' to measure, not a test's."""

from rumble_blocks import decode, resting_state, sets_both_bands, sets_state

BLOCK_BYTES = 4
RUMBLE_AT = 2  # a rumble report's first block byte
REPORT_BLOCKS = 2  # the left and the right actuator's


def parse_schedules(text):
    """For each controller: (due ns, rumble bytes) of every report, and the length, from what
    tavrel-play --schedule prints. The bytes are one block for both actuators, or the left and
    the right one's."""
    result, reports = [], []
    for line in text.split("\n"):
        fields = line.split()
        if not fields or fields[0] == "controller":
            continue
        if fields[0] == "end":
            result.append((reports, int(fields[1]) * 1000))
            reports = []
        else:
            reports.append((int(fields[0]) * 1000, b"".join(bytes.fromhex(f) for f in fields[1:])))
    return result


def both_blocks(data):
    """A schedule's rumble bytes as a report carries them: one block stands for both."""
    return data if len(data) == REPORT_BLOCKS * BLOCK_BYTES else data * REPORT_BLOCKS


def states_after(reports):
    """For each report, each of its blocks' state once the schedule up to it has played."""
    chain = [resting_state() for _ in range(REPORT_BLOCKS)]
    states = []
    for _, data in reports:
        data = both_blocks(data)
        for b in range(REPORT_BLOCKS):
            decode(data[BLOCK_BYTES * b:BLOCK_BYTES * (b + 1)], chain[b])
        states.append([[list(band) for band in chain[b]] for b in range(REPORT_BLOCKS)])
    return states


def fit(data, planned, state):
    """"same" when a report's bytes are the planned ones, "resync" when they are the planned
    ones with every differing block setting the state reached, else None."""
    if data == planned:
        return "same"
    for b in range(REPORT_BLOCKS):
        sent, wanted = data[BLOCK_BYTES * b:BLOCK_BYTES * (b + 1)], planned[BLOCK_BYTES * b:BLOCK_BYTES * (b + 1)]
        if sent != wanted and (sets_both_bands(wanted) or not sets_state(sent, state[b])):
            return None
    return "resync"


def place_writes(writes, reports, origin_ns=None, slack_ns=0):
    """Each logged rumble write's index in reports (the schedule's (due ns, bytes)), in order; the
    list ends with None at the first write that fits no report. writes leave out the tear-down's
    silence; the last must be the last report. A report with a block that steps on from the state
    before goes out as planned only right after the report before it; after a pass it sets the
    state instead. With origin_ns, a time before the program began to play (its set-up's last
    write), a write fits no report due after it was logged (plus slack_ns). Identical reports
    make the fit ambiguous: every fit is kept, and at the end each write takes the latest report
    it can."""
    states = states_after(reports)
    planned = [both_blocks(data) for _, data in reports]
    streamed = [not all(sets_both_bands(p[BLOCK_BYTES * b:BLOCK_BYTES * (b + 1)]) for b in range(REPORT_BLOCKS))
                for p in planned]
    fits = []  # for each write, {index: "same" or "resync"}
    for i, w in enumerate(writes):
        data = bytes(w[2][RUMBLE_AT:RUMBLE_AT + REPORT_BLOCKS * BLOCK_BYTES])
        before = fits[-1] if fits else {-1: "same"}
        lowest = min(before)
        found = {}
        for k in range(lowest + 1, len(reports)):
            if origin_ns is not None and reports[k][0] > w[0] - origin_ns + slack_ns:
                break
            kind = fit(data, planned[k], states[k])
            if (kind == "same" and (not streamed[k] or k - 1 in before)) or (kind == "resync" and k >= lowest + 2):
                found[k] = kind
        if i == len(writes) - 1:
            found = {k: kind for k, kind in found.items() if k == len(reports) - 1}
        if not found:
            return [min(f) for f in fits] + [None]
        fits.append(found)
    if not fits:
        return []
    placed = [len(reports) - 1]
    for i in range(len(fits) - 2, -1, -1):
        after = placed[-1]
        kind = fits[i + 1][after]
        if kind == "same" and streamed[after]:
            placed.append(after - 1)
        else:
            placed.append(max(k for k in fits[i] if k <= after - (2 if kind == "resync" else 1)))
    return placed[::-1]
