// The page: controllers through WebHID, a file or a MIDI keyboard in, the engine's schedules out
// to every controller connected. The page's state is shown on the body's data-state (idle,
// setting up, playing, restoring) so that people and tests can see what it is doing.
import { BnvibBytes, DecodedSchedule, Listing, LoadEngine, PlanFor, ReadMusicBytes, SetChoices } from './engine.js';
import {
  BatteryText, HidFilters, KindOf, RestoreController, RestoreControllerAtOnce, SetUpController, StartConnection,
  StopListening,
} from './joycon.js';
import { NextWriteAt, PerformSchedules } from './performer.js';
import { OpenSound, PerformCapture } from './capture.js';
import { OpenMidi, PerformLive } from './live.js';
import { DrawRoll } from './piano_roll.js';

const DefaultMinIntervalMs = 15;
const LampsOfFirst = 0x01;  // controller k shows lamp k + 1
// A frame is not drawn this close before a report is due: its layout and drawing would hold the
// report up.
const DrawClearanceMs = 8;

const $ = (id) => document.getElementById(id);
const page = {
  engine: null,
  devices: [],       // HIDDevices connected and opened, in the order they came
  battery: new Map(), // device -> what its reports last said
  file: null,        // {bytes, name}
  ready: false,      // the file was read and can play
  readAfter: false,  // the choices or controllers changed while playing: read again at the end
  schedules: [],     // decoded, for the piano roll
  lengthMs: 0,
  playedMs: 0,
  session: null,     // {stop, connections} while playing
  midi: null,
};

function SetState(state) {
  document.body.dataset.state = state;
  const busy = state !== 'idle';
  $('play').disabled = busy || !page.file || !page.ready;
  $('stop').disabled = !busy;
  $('save').disabled = busy || !page.ready;
  $('live-start').disabled = busy;
  $('capture-microphone').disabled = busy;
  $('capture-shared').disabled = busy;
}

function Say(text, kind = 'error') {
  const message = $('message');
  message.textContent = text;
  message.className = kind;
  message.hidden = !text;
}

function NameOf(device) {
  const kind = KindOf(device);
  const same = page.devices.filter((d) => KindOf(d) === kind);
  const name = kind ? kind.name : device.productName;
  return same.length > 1 ? `${name} ${same.indexOf(device) + 1}` : name;
}

function ShowControllers() {
  const list = $('controllers');
  list.replaceChildren();
  if (page.devices.length === 0) {
    const none = document.createElement('li');
    none.className = 'none';
    none.textContent = 'None connected yet.';
    list.append(none);
  }
  for (const device of page.devices) {
    const item = document.createElement('li');
    item.textContent = NameOf(device) + ' ';
    const state = document.createElement('span');
    state.className = 'state';
    state.textContent = `(${page.battery.get(device) || 'battery known once it plays'})`;
    item.append(state);
    list.append(item);
  }
}

// A controller is listed when the browser grants it and opened only while it plays, so that other
// programs may use it in between.
async function AddDevice(device) {
  if (!KindOf(device) || page.devices.includes(device)) return;
  page.devices.push(device);
  ShowControllers();
  if (page.file) await ReadFile();  // the listing follows the controllers
}

async function Connect() {
  let chosen;
  try {
    chosen = await navigator.hid.requestDevice({ filters: HidFilters });
  } catch (e) {
    Say(`The browser refused access to the controller: ${(e && e.message) || e}`);
    return;
  }
  if (chosen.length === 0) {
    Say('No controller was chosen. Pair it with the computer first (Bluetooth, or a Pro Controller by USB), ' +
      'then choose it in the browser\'s list.', 'info');
    return;
  }
  Say('');
  for (const device of chosen) await AddDevice(device);
}

function Choices() {
  const f = new FormData($('choices'));
  const number = (name) => Number(f.get(name)) || 0;
  return {
    tracks: String(f.get('tracks') || '').trim(), channels: String(f.get('channels') || '').trim(),
    transpose: number('transpose'), tempo: number('tempo') || 100, volume: number('volume'),
    loops: number('loops'), startMs: number('start') * 1000, attackMs: number('attack'),
    releaseMs: number('release'), soundChannel: number('channel'), minIntervalMs: DefaultMinIntervalMs,
  };
}

// The browser's own decoder, for sound the engine does not read itself; at the file's own rate.
async function DecodeSound(bytes) {
  const context = new OfflineAudioContext(1, 1, 44100);
  const buffer = await context.decodeAudioData(bytes.slice().buffer);
  const channels = buffer.numberOfChannels;
  const samples = new Float32Array(buffer.length * channels);
  for (let ch = 0; ch < channels; ++ch) {
    const data = buffer.getChannelData(ch);
    for (let i = 0; i < buffer.length; ++i) samples[i * channels + ch] = data[i];
  }
  return { samples, frames: buffer.length, channels, rate: buffer.sampleRate, format: 'decoded by the browser' };
}

function ProductIds(devices) { return devices.map((d) => d.productId); }

// Plans for the controllers connected (one right Joy-Con when none is) and shows it.
function ShowPlan(devices) {
  const n = PlanFor(page.engine, ProductIds(devices));
  page.schedules = [];
  for (let c = 0; c < n; ++c) {
    const reports = DecodedSchedule(page.engine, c);
    // A Joy-Con's one actuator takes the same block twice: it is drawn once.
    reports.actuators = devices.length > 0 ? KindOf(devices[c]).actuators : 1;
    page.schedules.push(reports);
  }
  page.lengthMs = page.engine._EngineLengthMs(0);
  // Laid out anew only when it changed: a long listing's layout would hold up the first reports.
  const listing = Listing(page.engine);
  if ($('listing').textContent !== listing) $('listing').textContent = listing;
  page.playedMs = 0;
  DrawRoll($('roll'), page.schedules, 0);
}

// Reads the file again with the choices; while playing that waits for the end, since the engine
// plans one piece at a time.
async function ReadFile() {
  if (!page.file || !page.engine) return;
  if (page.session) {
    page.readAfter = true;
    return;
  }
  SetChoices(page.engine, Choices());
  const refused = await ReadMusicBytes(page.engine, page.file.bytes, page.file.name, DecodeSound);
  page.ready = !refused;
  if (refused) {
    Say(refused);
    $('listing').textContent = '';
  } else {
    Say('');
    ShowPlan(page.devices);
  }
  SetState(document.body.dataset.state || 'idle');
}

async function OpenFile(file) {
  if (page.session) {
    Say('Stop first, then open the next file.', 'info');
    return;
  }
  page.file = { bytes: new Uint8Array(await file.arrayBuffer()), name: file.name };
  await ReadFile();
}

function FormatTime(ms) {
  const s = Math.max(0, ms) / 1000;
  return `${Math.floor(s / 60)}:${(s % 60).toFixed(1).padStart(4, '0')}`;
}

function ShowProgress() {
  if (!page.session) return;
  if (NextWriteAt(page.session.stop) - performance.now() < DrawClearanceMs) {
    requestAnimationFrame(ShowProgress);
    return;
  }
  const length = page.lengthMs || 1;
  $('progress-bar').value = Math.min(1, (page.playedMs % length) / length);
  const text = `${FormatTime(page.playedMs)} of ${FormatTime(page.lengthMs)}`;
  if ($('progress-text').textContent !== text) $('progress-text').textContent = text;
  DrawRoll($('roll'), page.schedules, page.playedMs);
  requestAnimationFrame(ShowProgress);
}

function Percentile(sorted, share) {
  return sorted.length === 0 ? 0 : sorted[Math.min(sorted.length - 1, Math.floor(share * sorted.length))];
}

function ShowLateness(lateMs, passedOver) {
  const sorted = [...lateMs].sort((a, b) => a - b);
  $('timing').textContent = `${sorted.length} reports sent; late by ${Percentile(sorted, 0.5).toFixed(2)} ms ` +
    `(median), ${Percentile(sorted, 0.99).toFixed(2)} ms (99th percentile), ` +
    `${(sorted[sorted.length - 1] || 0).toFixed(2)} ms (most); ${passedOver} passed over after a stall.`;
}

// Opens a session on every controller: each set up in turn with its own lamp. Returns the
// connections, or null (said, and what was set up given back) when one fails.
async function SetUpSession(stop) {
  if (page.devices.length === 0) {
    Say('Connect a controller first.', 'info');
    return null;
  }
  SetState('setting up');
  const connections = [];
  page.session = { stop, connections };
  for (const device of page.devices) {
    try {
      if (!device.opened) await device.open();
    } catch (e) {
      Say(`The ${NameOf(device)} could not be opened: ${(e && e.message) || e}. Another program may be using it.`);
      await EndSession(connections);
      return null;
    }
    connections.push(StartConnection(device, DefaultMinIntervalMs));
  }
  for (let k = 0; k < connections.length; ++k) {
    const outcome = await SetUpController(connections[k], LampsOfFirst << k);
    page.battery.set(connections[k].device, BatteryText(connections[k]));
    ShowControllers();
    if (outcome === 'ready' && !stop.requested) continue;
    const name = NameOf(connections[k].device);
    if (!stop.requested) {
      Say(outcome === 'lost' ? `The ${name} was lost while it was being set up.`
        : outcome === 'handshake failed' ? `The ${name} does not answer on USB: unplug it and plug it in again.`
          : `The ${name} does not answer: it may be asleep or too far away. Press a button on it and try again.`);
    }
    await EndSession(connections, k + 1);
    return null;
  }
  return connections;
}

// Gives back the first setUp connections (every one when not given) and closes them all.
async function EndSession(connections, setUp = connections.length) {
  SetState('restoring');
  for (const [k, c] of connections.entries()) {
    if (k < setUp) await RestoreController(c);
    StopListening(c);
    if (!c.lost && c.device.opened) await c.device.close().catch(() => {});
  }
  page.session = null;
  SetState('idle');
  if (page.readAfter) {
    page.readAfter = false;
    await ReadFile();
  }
}

function SayHowItEnded(result, connections, ending) {
  if (page.session.disconnected) Say(`The ${page.session.disconnected} was disconnected; the others were stopped.`);
  else if (result.outcome === 'lost') Say(`The ${NameOf(connections[result.lost].device)} was lost; the others were stopped.`);
  else Say(ending, 'info');
}

async function Play() {
  const stop = { requested: false };
  Say('');
  const connections = await SetUpSession(stop);
  if (!connections) return;
  ShowPlan(connections.map((c) => c.device));
  SetState('playing');
  requestAnimationFrame(ShowProgress);
  const result = await PerformSchedules(page.engine, connections, stop, (c, report) => {
    if (c === 0) page.playedMs = report.dueMs;
  });
  ShowLateness(result.lateMs, result.passedOver);
  SayHowItEnded(result, connections, result.outcome === 'played' ? 'Played.' : 'Stopped.');
  await EndSession(connections);
}

function Save() {
  const bytes = BnvibBytes(page.engine);
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
  link.download = page.file.name.replace(/\.[^.]*$/, '') + '.bnvib';
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 1000);
}

function ShowMidiInputs() {
  const select = $('midi-inputs');
  select.replaceChildren();
  const inputs = page.midi ? [...page.midi.inputs.values()] : [];
  for (const input of inputs) select.append(new Option(input.name, input.id));
  if (inputs.length === 0) select.append(new Option('none found', ''));
}

async function PlayLive() {
  if (!page.midi) {
    const opened = await OpenMidi();
    if (opened.error) {
      Say(opened.error);
      return;
    }
    page.midi = opened.access;
    page.midi.onstatechange = ShowMidiInputs;
    ShowMidiInputs();
  }
  const input = page.midi.inputs.get($('midi-inputs').value) || [...page.midi.inputs.values()][0];
  if (!input) {
    Say('No MIDI input is connected: plug in a keyboard and try again.', 'info');
    return;
  }
  const stop = { requested: false };
  Say('');
  const connections = await SetUpSession(stop);
  if (!connections) return;
  SetState('playing');
  Say(`Playing ${input.name} live; Stop ends it.`, 'info');
  const result = await PerformLive(page.engine, input, connections, Choices(), stop, (keys) => {
    $('live-keys').textContent = keys;
  });
  SayHowItEnded(result, connections, 'Stopped.');
  const sorted = [...result.fromArrivalMs].sort((a, b) => a - b);
  $('timing').textContent = `${sorted.length} changes sent; from a message to its report ` +
    `${Percentile(sorted, 0.5).toFixed(2)} ms (median), ${(sorted[sorted.length - 1] || 0).toFixed(2)} ms (most).`;
  await EndSession(connections);
}

async function PlayCapture(source) {
  // The sound first: the browser asks the user, and a refusal sets up no controller.
  const opened = await OpenSound(source);
  if (opened.error) {
    Say(opened.error);
    return;
  }
  const stop = { requested: false };
  Say('');
  const connections = await SetUpSession(stop);
  if (!connections) {
    opened.stream.getTracks().forEach((t) => t.stop());
    return;
  }
  SetState('playing');
  Say(`Playing ${source === 'microphone' ? 'the microphone' : 'the shared sound'}; Stop ends it.`, 'info');
  const result = await PerformCapture(page.engine, opened.stream, connections, stop);
  SayHowItEnded(result, connections, result.outcome === 'ended' ? 'The sound ended.' : 'Stopped.');
  $('timing').textContent = `${result.samples} samples of rumble made of the sound.`;
  await EndSession(connections);
}

function Disconnected(device) {
  const at = page.devices.indexOf(device);
  if (at < 0) return;
  const name = NameOf(device);
  page.devices.splice(at, 1);
  ShowControllers();
  const session = page.session;
  const connection = session && session.connections.find((c) => c.device === device);
  if (connection) {
    // Gone: nothing more can be sent to it; the others stop and are given back.
    connection.lost = true;
    session.stop.requested = true;
    session.disconnected = name;
    Say(`The ${name} was disconnected; the others were stopped.`);
  }
}

async function Start() {
  SetState('idle');
  $('file').addEventListener('change', (e) => e.target.files[0] && OpenFile(e.target.files[0]));
  const drop = $('drop');
  drop.addEventListener('dragover', (e) => { e.preventDefault(); drop.classList.add('over'); });
  drop.addEventListener('dragleave', () => drop.classList.remove('over'));
  drop.addEventListener('drop', (e) => {
    e.preventDefault();
    drop.classList.remove('over');
    if (e.dataTransfer.files[0]) OpenFile(e.dataTransfer.files[0]);
  });
  $('choices').addEventListener('change', () => ReadFile());
  $('play').addEventListener('click', Play);
  $('stop').addEventListener('click', () => { if (page.session) page.session.stop.requested = true; });
  $('save').addEventListener('click', Save);
  $('live-start').addEventListener('click', PlayLive);
  $('capture-microphone').addEventListener('click', () => PlayCapture('microphone'));
  $('capture-shared').addEventListener('click', () => PlayCapture('shared'));
  // The page going away for good: its timers stop, so the tear-down is handed over at once.
  window.addEventListener('pagehide', () => {
    if (!page.session) return;
    page.session.stop.requested = true;
    page.session.connections.forEach(RestoreControllerAtOnce);
  });
  try {
    page.engine = await LoadEngine();
  } catch (e) {
    Say(`The player could not start: ${(e && e.message) || e}`);
    return;
  }
  if (!('hid' in navigator)) {
    Say('This browser cannot reach game controllers (it has no WebHID): use Chrome or Edge on a computer.');
    $('connect').disabled = true;
  } else {
    $('connect').addEventListener('click', Connect);
    navigator.hid.addEventListener('connect', (e) => AddDevice(e.device));
    navigator.hid.addEventListener('disconnect', (e) => Disconnected(e.device));
    for (const device of await navigator.hid.getDevices()) await AddDevice(device);
  }
  document.body.dataset.engine = 'ready';
}

Start();
