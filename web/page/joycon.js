// A controller over WebHID as a careful player talks to it, the same reports in the same order as
// the native programs: the USB handshake where there is one, subcommands acknowledged and tried
// again, every report kept the least interval from the one before, the input mode it streamed in
// noted and given back. Real controllers queue their input reports, answer a subcommand 15-30 ms
// after it, now and then drop one, and lose reports that come closer than their own period.
// (Facts from Linux's hid-nintendo, SDL's Switch driver and dekuNukem's protocol notes.)

export const NintendoVendorId = 0x057e;
export const ControllerKinds = [
  { productId: 0x2007, name: 'right Joy-Con', actuators: 1 },
  { productId: 0x2006, name: 'left Joy-Con', actuators: 1 },
  { productId: 0x2009, name: 'Pro Controller', actuators: 2 },
];
export const HidFilters = ControllerKinds.map((k) => ({ vendorId: NintendoVendorId, productId: k.productId }));

// Output reports and where they keep their fields; an output report is 49 bytes with its ID, 64
// over USB.
const SubcommandReportId = 0x01;
const RumbleReportId = 0x10;
const UsbCommandReportId = 0x80;
const OutputReportSize = 49;
const UsbOutputReportSize = 64;
const PacketNumberModulus = 16;
const FirstRumbleBlock = 2;
const SubcommandIdByte = 10;
const SubcommandArgumentByte = 11;
// Input reports.
const SubcommandReplyId = 0x21;
const FullModeReportId = 0x30;
const NfcIrModeReportId = 0x31;
const SimpleModeReportId = 0x3f;
const UsbReplyId = 0x81;
const BatteryByte = 2;
const ReplyAckByte = 13;
const RepliedIdByte = 14;
const SubcommandAckBit = 0x80;
const AnsweredCommandByte = 1;
// Subcommands and USB commands.
const SetInputReportMode = 0x03;
const SetPlayerLights = 0x30;
const EnableVibration = 0x48;
const UsbHandshake = 0x02;
const UsbHighSpeed = 0x03;
const UsbNoTimeout = 0x04;
const AnsweredUsbSteps = [UsbHandshake, UsbHighSpeed, UsbHandshake];

const SubcommandReplyWaitMs = 200;
const SubcommandAttempts = 3;
const UsbReplyWaitMs = 250;
const UsbAttempts = 3;
const InputModeWatchMs = 40;
const MostQueuedReports = 64;

// Silence: high band code 0x3C at amplitude 0, low band code 0x2F at its zero amplitude code; the
// block the drivers put in subcommand reports plays nothing either.
export const SilenceRumble = [0x3c, 0x00, 0x2f, 0x40];
const NeutralRumble = [0x00, 0x01, 0x40, 0x40];

// The battery byte's high nibble: 8 full, 6 medium, 4 low, 2 critical, 0 empty; bit 0 charging.
const BatteryNames = { 8: 'full', 6: 'medium', 4: 'low', 2: 'critical', 0: 'empty' };
const BatteryNibbleShift = 4;
const ChargingBit = 0x1;
const HighestLowLevel = 4;

export function KindOf(device) {
  return ControllerKinds.find((k) => k.productId === device.productId) || null;
}

function Sleep(ms) { return new Promise((resolve) => setTimeout(resolve, Math.max(0, ms))); }

// A controller's record: its device, its one output buffer (a rumble report keeps the bytes of the
// subcommand before it, as the native link's does), and what its reports said.
export function StartConnection(device, minIntervalMs) {
  const c = {
    device, kind: KindOf(device), minIntervalMs,
    output: new Uint8Array(OutputReportSize), packetCounter: 0,
    usb: false, lastWriteAt: null,
    foundInputMode: 0, inputModeSet: false,
    battery: null, charging: false, batteryLow: false,
    queue: [], waiter: null, lost: false,
  };
  c.onInput = (e) => {
    const report = new Uint8Array(1 + e.data.byteLength);
    report[0] = e.reportId;
    report.set(new Uint8Array(e.data.buffer, e.data.byteOffset, e.data.byteLength), 1);
    if (c.queue.length >= MostQueuedReports) c.queue.shift();
    c.queue.push(report);
    if (c.waiter) c.waiter();
  };
  device.addEventListener('inputreport', c.onInput);
  return c;
}

export function StopListening(c) { c.device.removeEventListener('inputreport', c.onInput); }

// When the next output report may go out: the least interval after the end of the last write.
export function NextReportTurn(c) {
  return c.lastWriteAt === null ? performance.now() : c.lastWriteAt + c.minIntervalMs;
}

async function WaitForReportTurn(c) {
  const wait = NextReportTurn(c) - performance.now();
  if (wait > 0) await Sleep(wait);
  while (performance.now() < NextReportTurn(c)) await Sleep(0);
}

// Writes one whole report (its ID first). False when the controller did not take it: it is gone.
async function WriteReport(c, report) {
  const size = c.usb ? UsbOutputReportSize : OutputReportSize;
  const data = new Uint8Array(size - 1);
  data.set(report.subarray(1, Math.min(report.length, size)));
  try {
    await c.device.sendReport(report[0], data);
    c.lastWriteAt = performance.now();
    return true;
  } catch (e) {
    c.lastWriteAt = performance.now();
    c.lost = true;
    return false;
  }
}

function BeginReport(c, id) {
  ++c.packetCounter;
  c.output[0] = id;
  c.output[1] = c.packetCounter % PacketNumberModulus;
}

// One rumble-only report: left and right are the two actuators' 4-byte blocks.
export function SendRumble(c, left, right) {
  BeginReport(c, RumbleReportId);
  c.output.set(left, FirstRumbleBlock);
  c.output.set(right, FirstRumbleBlock + left.length);
  return WriteReport(c, c.output);
}

function WriteSubcommand(c, id, argument) {
  BeginReport(c, SubcommandReportId);
  c.output.set(NeutralRumble, FirstRumbleBlock);
  c.output.set(NeutralRumble, FirstRumbleBlock + NeutralRumble.length);
  c.output[SubcommandIdByte] = id;
  c.output[SubcommandArgumentByte] = argument;
  return WriteReport(c, c.output);
}

function NoteInputReport(c, r) {
  const id = r[0];
  if (!c.inputModeSet && c.foundInputMode === 0 &&
      (id === FullModeReportId || id === NfcIrModeReportId || id === SimpleModeReportId)) c.foundInputMode = id;
  if (id === SubcommandReplyId || id === FullModeReportId || id === NfcIrModeReportId) {
    const nibble = r[BatteryByte] >> BatteryNibbleShift;
    c.charging = (nibble & ChargingBit) !== 0;
    c.battery = BatteryNames[nibble & ~ChargingBit] || 'unknown';
    if (!c.charging && nibble <= HighestLowLevel) c.batteryLow = true;
  }
}

// The next input report before deadline (performance.now() time), noted; null when none came.
async function ReadBefore(c, deadline) {
  while (c.queue.length === 0) {
    const left = deadline - performance.now();
    if (left <= 0 || c.lost) return null;
    await new Promise((resolve) => {
      const timer = setTimeout(resolve, left);
      c.waiter = () => { clearTimeout(timer); resolve(); };
    });
    c.waiter = null;
  }
  const r = c.queue.shift();
  NoteInputReport(c, r);
  return r;
}

function TakeQueuedReports(c) {
  while (c.queue.length > 0) NoteInputReport(c, c.queue.shift());
}

async function WatchForInputMode(c, waitMs) {
  const deadline = performance.now() + waitMs;
  while (c.foundInputMode === 0 && performance.now() < deadline) await ReadBefore(c, deadline);
}

// 'acknowledged', 'refused', 'no answer' or 'lost'.
async function SendAcknowledgedSubcommand(c, id, argument) {
  let answer = 'no answer';
  for (let attempt = 0; attempt < SubcommandAttempts; ++attempt) {
    await WaitForReportTurn(c);
    TakeQueuedReports(c);
    // From here on the controller's reports follow the mode this page chose.
    if (id === SetInputReportMode) c.inputModeSet = true;
    if (!await WriteSubcommand(c, id, argument)) return 'lost';
    answer = 'no answer';
    const deadline = performance.now() + SubcommandReplyWaitMs;
    while (answer === 'no answer' && performance.now() < deadline) {
      const r = await ReadBefore(c, deadline);
      if (!r || r[0] !== SubcommandReplyId || r[RepliedIdByte] !== id) continue;
      if (r[ReplyAckByte] & SubcommandAckBit) return 'acknowledged';
      answer = 'refused';
    }
  }
  return answer;
}

async function WriteUsbCommand(c, command) {
  const report = new Uint8Array(OutputReportSize);
  report[0] = UsbCommandReportId;
  report[1] = command;
  return WriteReport(c, report);
}

async function TryUsbCommand(c, command, attempts) {
  for (let attempt = 0; attempt < attempts; ++attempt) {
    await WaitForReportTurn(c);
    TakeQueuedReports(c);
    if (!await WriteUsbCommand(c, command)) return false;
    const deadline = performance.now() + UsbReplyWaitMs;
    while (performance.now() < deadline) {
      const r = await ReadBefore(c, deadline);
      if (r && r[0] === UsbReplyId && r[AnsweredCommandByte] === command) return true;
    }
  }
  return false;
}

// Whether the controller is on a USB cable: only there does its report descriptor have the USB
// command report (0x80); over Bluetooth it has none.
export function IsOnUsb(device) {
  return (device.collections || []).some((collection) =>
    (collection.outputReports || []).some((report) => report.reportId === UsbCommandReportId));
}

// Sets the controller up to play: 'ready', 'lost', 'handshake failed' or 'vibration refused'.
export async function SetUpController(c, lamps) {
  c.usb = IsOnUsb(c.device);
  await WatchForInputMode(c, InputModeWatchMs);
  if (c.usb) {
    for (const step of AnsweredUsbSteps)
      if (!await TryUsbCommand(c, step, UsbAttempts)) return c.lost ? 'lost' : 'handshake failed';
    await WaitForReportTurn(c);
    if (!await WriteUsbCommand(c, UsbNoTimeout)) return 'lost';
    // A controller that streamed nothing before the handshake may do so now.
    await WatchForInputMode(c, InputModeWatchMs);
  }
  // The simple mode streams least while playing; the mode and the lamps are not needed to play.
  if (await SendAcknowledgedSubcommand(c, SetInputReportMode, SimpleModeReportId) === 'lost') return 'lost';
  if (await SendAcknowledgedSubcommand(c, SetPlayerLights, lamps) === 'lost') return 'lost';
  const vibration = await SendAcknowledgedSubcommand(c, EnableVibration, 1);
  if (vibration === 'acknowledged') return 'ready';
  return vibration === 'lost' ? 'lost' : 'vibration refused';
}

// Silence, vibration off, lamps off and the input mode it was found in (the simple mode when none
// was seen), each paced and acknowledged where it can be.
export async function RestoreController(c) {
  if (c.lost) return;
  await WaitForReportTurn(c);
  if (!await SendRumble(c, SilenceRumble, SilenceRumble)) return;
  await SendAcknowledgedSubcommand(c, EnableVibration, 0);
  await SendAcknowledgedSubcommand(c, SetPlayerLights, 0);
  await SendAcknowledgedSubcommand(c, SetInputReportMode, c.foundInputMode || SimpleModeReportId);
}

// When the page goes away for good its timers stop: the tear-down's reports are handed to the
// browser at once, silence first, each still its least interval after the one before (the page
// waits for that on the clock), without waiting for answers.
export function RestoreControllerAtOnce(c) {
  if (c.lost) return;
  const waitForTurn = () => { while (performance.now() < NextReportTurn(c)); };
  const sent = () => { c.lastWriteAt = performance.now(); };
  waitForTurn();
  SendRumble(c, SilenceRumble, SilenceRumble);
  sent();
  for (const [id, argument] of [[EnableVibration, 0], [SetPlayerLights, 0],
    [SetInputReportMode, c.foundInputMode || SimpleModeReportId]]) {
    waitForTurn();
    WriteSubcommand(c, id, argument);
    sent();
  }
}

// What the controller's reports last said of its battery: replies and full-mode reports carry it,
// so it is known once the controller has been set up (or streams in the full mode).
export function BatteryText(c) {
  if (c.battery === null) return 'battery not known yet';
  // As tavrel-play warns: a controller low on battery may switch itself off mid-tune.
  if (c.batteryLow) return `battery ${c.battery}: it may switch itself off while playing`;
  return `battery ${c.battery}${c.charging ? ', charging' : ''}`;
}
