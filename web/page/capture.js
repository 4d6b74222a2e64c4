// Sound caught live on the page, played as tavrel-play --capture plays it: the microphone, or the
// sound of a tab or the screen the user shares. An AudioWorklet hands the samples over as they
// come; the engine makes the rumble samples (waiting for no more than 10 ms of sound after each)
// and says what each controller's next report carries; every controller gets a report every
// interval, spread as for files.
import { CaptureFeed, CaptureTake, StartCapture } from './engine.js';
import { NextReportTurn, SendRumble } from './joycon.js';
import { ClaimWriteTime, StartWriteClaims, WaitUntil } from './performer.js';

const Stereo = 2;

// The stream of source: 'microphone' or 'shared' (a tab's or the screen's sound). Resolves to
// {stream} or {error}.
export async function OpenSound(source) {
  const media = navigator.mediaDevices;
  if (!media || !media.getUserMedia) return { error: 'This browser cannot capture sound here (it needs https or localhost).' };
  // The sound as it is: no echo cancelling, noise suppression or gain control to bend its notes.
  const plain = { echoCancellation: false, noiseSuppression: false, autoGainControl: false };
  try {
    if (source === 'microphone') return { stream: await media.getUserMedia({ audio: plain }) };
    const stream = await media.getDisplayMedia({ video: true, audio: plain });
    if (stream.getAudioTracks().length === 0) {
      stream.getTracks().forEach((t) => t.stop());
      return { error: 'What was shared has no sound: share a tab (or the screen) with its sound, ticking "Share audio".' };
    }
    return { stream };
  } catch (e) {
    return { error: `Sound capture was refused: ${(e && e.message) || e}` };
  }
}

// Plays stream on connections (set up) until stop.requested, the sound ends or a controller is
// lost. Resolves to {outcome: 'stopped' | 'ended' | 'lost', lost, samples}.
export async function PerformCapture(m, stream, connections, stop) {
  const context = new AudioContext({ latencyHint: 'interactive' });
  await context.audioWorklet.addModule('capture_worklet.js');
  const source = context.createMediaStreamSource(stream);
  const channels = Math.min(source.channelCount || 1, Stereo);
  const tap = new AudioWorkletNode(context, 'capture-tap', { channelCount: channels, channelCountMode: 'explicit' });
  StartCapture(m, connections.map((c) => c.kind.productId), context.sampleRate, channels);
  const result = { outcome: 'stopped', lost: -1, samples: 0 };
  tap.port.onmessage = (e) => {
    // A block of another width than the stream's is left out: the engine takes one width.
    if (e.data.channels === channels) result.samples += CaptureFeed(m, e.data.block, channels);
  };
  source.connect(tap);
  const ended = () => { result.outcome = 'ended'; stop.requested = true; };
  stream.getTracks().forEach((t) => t.addEventListener('ended', ended));
  const claims = StartWriteClaims(connections.length, Math.max(...connections.map((c) => c.minIntervalMs)));
  const start = performance.now();
  const playOne = async (c) => {
    const connection = connections[c];
    for (let report = 0; !stop.requested; ++report) {
      // Every interval from one start, never sooner than the least interval after the last write.
      const due = Math.max(start + report * connection.minIntervalMs, NextReportTurn(connection));
      await WaitUntil(ClaimWriteTime(claims, c, due), stop);
      if (stop.requested) break;
      const bytes = CaptureTake(m, c);
      if (!await SendRumble(connection, bytes.subarray(0, 4), bytes.subarray(4, 8))) {
        stop.requested = true;
        result.lost = c;
        result.outcome = 'lost';
        return;
      }
    }
  };
  await Promise.all(connections.map((_, c) => playOne(c)));
  stream.getTracks().forEach((t) => { t.removeEventListener('ended', ended); t.stop(); });
  tap.port.onmessage = null;
  await context.close();
  return result;
}
