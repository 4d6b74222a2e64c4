// The engine module (tavrel-engine.wasm) as the page calls it. Every piece of music logic is the
// engine's; this file only moves bytes and text in and out of its memory.
import createEngine from './tavrel-engine.js';

const ReportBytes = 8;
const DecodedValues = 9;  // per report: its due time, then each band's frequency and share

export async function LoadEngine() {
  const m = await createEngine();
  m._EngineStart();
  return m;
}

function WithBytes(m, bytes, use) {
  const at = m._malloc(Math.max(bytes.length, 1));
  m.HEAPU8.set(bytes, at);
  try { return use(at); } finally { m._free(at); }
}

function WithText(m, text, use) {
  const size = m.lengthBytesUTF8(text) + 1;
  const at = m._malloc(size);
  m.stringToUTF8(text, at, size);
  try { return use(at); } finally { m._free(at); }
}

function WithTexts(m, texts, use) {
  const ats = texts.map((t) => {
    const size = m.lengthBytesUTF8(t) + 1;
    const at = m._malloc(size);
    m.stringToUTF8(t, at, size);
    return at;
  });
  try { return use(...ats); } finally { ats.forEach((at) => m._free(at)); }
}

export function ReadError(m) { return m.UTF8ToString(m._EngineError()); }

// choices: {volume, tempo, transpose, loops, startMs, attackMs, releaseMs, minIntervalMs, tracks,
// channels, soundChannel (0 mix, 1 left, 2 right)}.
export function SetChoices(m, c) {
  WithTexts(m, [c.tracks || '', c.channels || ''], (tracks, channels) =>
    m._EngineSetChoices(c.volume, c.tempo, c.transpose, c.loops, c.startMs, c.attackMs, c.releaseMs,
      c.minIntervalMs, tracks, channels, c.soundChannel || 0));
}

// A file's bytes read as tavrel-play reads them. WAV is the engine's own; other sound is decoded by
// decodeSound (the browser's) into {samples (interleaved Float32Array), frames, channels, rate,
// format}. Returns null when read, else the engine's message.
export async function ReadMusicBytes(m, bytes, name, decodeSound) {
  const head = bytes.subarray(0, 12);
  const sound = WithBytes(m, head, (at) => m._EngineLooksLikeSound(at, head.length));
  const wav = sound && WithBytes(m, head, (at) => m._EngineLooksLikeWav(at, head.length));
  let decoded = null;
  if (sound && !wav) {
    try {
      decoded = await decodeSound(bytes);
    } catch (e) {
      return `${name}: the browser cannot decode this sound (${(e && e.message) || e})`;
    }
  }
  const ok = WithText(m, name, (nameAt) => {
    if (wav) return WithBytes(m, bytes, (at) => m._EngineReadWav(at, bytes.length, nameAt));
    if (decoded)
      return WithBytes(m, new Uint8Array(decoded.samples.buffer), (at) =>
        WithText(m, decoded.format, (formatAt) =>
          m._EngineReadSound(at, decoded.frames, decoded.channels, decoded.rate, nameAt, formatAt)));
    return WithBytes(m, bytes, (at) => m._EngineReadFile(at, bytes.length, nameAt));
  });
  return ok ? null : ReadError(m);
}

// Plans the music for controllers of these product IDs; returns how many schedules.
export function PlanFor(m, productIds) {
  return WithText(m, productIds.join(','), (at) => m._EnginePlan(at));
}

export function Listing(m) { return m.UTF8ToString(m._EngineListing()); }

// Controller c's cursor: the next report's due time (ms from its start; -1 when done), and the
// report to send when it can go out no sooner than earliestMs.
export function NextDueMs(m, c) { return m._EngineNextDueMs(c); }
export function TakeReport(m, c, earliestMs) {
  const passedOver = m._EngineTakeReport(c, earliestMs);
  const at = m._EngineReportBytes();
  return { bytes: m.HEAPU8.slice(at, at + ReportBytes), dueMs: m._EngineTakenDueMs(c), pass: m._EngineTakenPass(),
    passedOver };
}

export function PlanFigures(m, c) {
  return { lengthMs: m._EngineLengthMs(c), passMs: m._EnginePassMs(c), passes: m._EnginePasses(c),
    writeAllowanceMs: m._EngineWriteAllowanceMs(c) };
}

// Controller c's schedule decoded for drawing: [{dueMs, bands: [[hz, share] x4]}], the left
// actuator's high and low band, then the right one's.
export function DecodedSchedule(m, c) {
  const n = m._EngineScheduleSize(c);
  const at = m._EngineDecodedSchedule(c) / Float64Array.BYTES_PER_ELEMENT;
  const v = m.HEAPF64.slice(at, at + DecodedValues * n);
  const out = [];
  for (let i = 0; i < n; ++i) {
    const r = v.subarray(DecodedValues * i, DecodedValues * (i + 1));
    out.push({ dueMs: r[0], bands: [[r[1], r[2]], [r[3], r[4]], [r[5], r[6]], [r[7], r[8]]] });
  }
  return out;
}

// Controller c's schedule as planned: [{dueMs, bytes (8)}] of one pass.
export function PlannedSchedule(m, c) {
  const out = [];
  const n = m._EngineScheduleSize(c);
  for (let i = 0; i < n; ++i) {
    const dueMs = m._EngineScheduledReport(c, i);
    const at = m._EngineReportBytes();
    out.push({ dueMs, bytes: m.HEAPU8.slice(at, at + ReportBytes) });
  }
  return out;
}

export function BnvibBytes(m) {
  const at = m._EngineBnvib();
  return m.HEAPU8.slice(at, at + m._EngineBytesSize());
}

// Live input for controllers of these product IDs, with the channels (comma-separated), transpose,
// volume and pitch bend range --live takes.
export function StartLive(m, productIds, channels, transpose, volume, bendRange) {
  WithTexts(m, [productIds.join(','), channels || ''], (ids, chosen) =>
    m._EngineStartLive(ids, chosen, transpose, volume, bendRange));
}

// MIDI bytes arrived atMs after the start; true when they changed what sounds.
export function LiveBytes(m, bytes, atMs) {
  return WithBytes(m, bytes, (at) => m._EngineLiveBytes(at, bytes.length, atMs)) !== 0;
}

// The keys sounding, as "key@controller" items.
export function LiveKeys(m) { return m.UTF8ToString(m._EngineLiveKeys()); }

// When controller c's next live report is due (ms from the start), given the time now and its
// next turn; the report's 8 bytes to send now; and that it was sent at sentMs.
export function LiveNextDueMs(m, c, nowMs, turnMs) { return m._EngineLiveNextDueMs(c, nowMs, turnMs); }
export function LiveTake(m, c) {
  m._EngineLiveTake(c);
  const at = m._EngineReportBytes();
  return m.HEAPU8.slice(at, at + ReportBytes);
}
export function LiveSent(m, c, sentMs) { m._EngineLiveSent(c, sentMs); }
export function LiveSilence(m, atMs) { m._EngineLiveSilence(atMs); }

// Sound caught live for controllers of these product IDs, at rate with channels (interleaved).
export function StartCapture(m, productIds, rate, channels) {
  WithText(m, productIds.join(','), (ids) => m._EngineStartCapture(ids, rate, channels));
}

// A block of interleaved samples as it came; returns how many rumble samples it made.
export function CaptureFeed(m, block, channels) {
  return WithBytes(m, new Uint8Array(block.buffer, block.byteOffset, block.byteLength),
    (at) => m._EngineCaptureFeed(at, block.length / channels));
}

// Controller c's next report: its 8 bytes.
export function CaptureTake(m, c) {
  m._EngineCaptureTake(c);
  const at = m._EngineReportBytes();
  return m.HEAPU8.slice(at, at + ReportBytes);
}
