// Live input from a MIDI keyboard through WebMIDI, played as --live plays it: the engine's voices
// take each message as it arrives, and each controller gets a report as soon as a change is
// allowed (its least interval after the last), else a refresh.
import { LiveBytes, LiveKeys, LiveNextDueMs, LiveSent, LiveSilence, LiveTake, StartLive } from './engine.js';
import { NextReportTurn, SendRumble } from './joycon.js';
import { ClaimWriteTime, StartWriteClaims, WaitUntil } from './performer.js';

const LiveWakeMs = 5;  // how often a waiting controller looks for a change
const DefaultBendRangeSemitones = 2;

const NoteNames = ['C', 'C#', 'D', 'D#', 'E', 'F', 'F#', 'G', 'G#', 'A', 'A#', 'B'];
const KeysPerOctave = 12;

function Now() { return performance.now(); }

// "C5 E5 (controller 2)" from the engine's "key@controller" list: MIDI key 60 is C4.
function KeysText(list, controllers) {
  return list.split(' ').filter(Boolean).map((item) => {
    const [key, c] = item.split('@').map(Number);
    const name = NoteNames[key % KeysPerOctave] + (Math.floor(key / KeysPerOctave) - 1);
    return controllers > 1 ? `${name} (controller ${c + 1})` : name;
  }).join(' ');
}

// The inputs the browser offers, or a message when it offers none.
export async function OpenMidi() {
  if (!navigator.requestMIDIAccess) return { error: 'This browser has no WebMIDI: use Chrome or Edge on a computer.' };
  try {
    return { access: await navigator.requestMIDIAccess() };
  } catch (e) {
    return { error: `MIDI input was refused: ${(e && e.message) || e}` };
  }
}

// Plays input on connections (set up) until stop.requested or a controller is lost. onKeys(text) shows
// what sounds. Resolves to {outcome, lost, fromArrivalMs: [...]}.
// choices: {channels (comma-separated), transpose, volume} as for files.
export async function PerformLive(m, input, connections, choices, stop, onKeys) {
  StartLive(m, connections.map((c) => c.kind.productId), choices.channels, choices.transpose, choices.volume,
    DefaultBendRangeSemitones);
  const start = Now();
  const result = { outcome: 'stopped', lost: -1, fromArrivalMs: [] };
  const arrivals = connections.map(() => []);
  const wakes = new Set();  // the controllers waiting, woken by a change
  input.onmidimessage = (e) => {
    if (LiveBytes(m, e.data, Now() - start)) {
      arrivals.forEach((a) => a.push(Now()));
      onKeys(KeysText(LiveKeys(m), connections.length));
      wakes.forEach((w) => w());
    }
  };
  const claims = StartWriteClaims(connections.length, Math.max(...connections.map((c) => c.minIntervalMs)));
  const playOne = async (c) => {
    const connection = connections[c];
    while (!stop.requested) {
      const now = Now();
      const due = start + LiveNextDueMs(m, c, now - start, NextReportTurn(connection) - start);
      if (due - now > LiveWakeMs) {
        await new Promise((resolve) => {
          const done = () => { clearTimeout(timer); wakes.delete(done); resolve(); };
          const timer = setTimeout(done, Math.min(due - now - LiveWakeMs, LiveWakeMs));
          wakes.add(done);
        });
        continue;
      }
      await WaitUntil(ClaimWriteTime(claims, c, due), stop);
      if (stop.requested) break;
      // What sounds now: changes that came while it waited go out in this report.
      const bytes = LiveTake(m, c);
      const sentAt = Now();
      if (!await SendRumble(connection, bytes.subarray(0, 4), bytes.subarray(4, 8))) {
        stop.requested = true;
        result.lost = c;
        result.outcome = 'lost';
        return;
      }
      LiveSent(m, c, sentAt - start);
      arrivals[c].splice(0).forEach((a) => result.fromArrivalMs.push(sentAt - a));
    }
  };
  await Promise.all(connections.map((_, c) => playOne(c)));
  input.onmidimessage = null;
  LiveSilence(m, Now() - start);
  return result;
}
