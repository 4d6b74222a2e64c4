// Sends each controller's reports at their due times from one start, as the native performer
// does: absolute due times (nothing drifts), the least interval after each write, controllers
// spread over the interval, and after a stall the overdue reports passed over for the latest,
// which the engine's cursor makes carry the state. The page's drawing runs between reports; the
// wait for a report sleeps until shortly before it and then checks the clock often.
import { NextDueMs, PlanFigures, TakeReport } from './engine.js';
import { NextReportTurn, SendRumble } from './joycon.js';

const SpinMarginMs = 6;                   // setTimeout may wake this late
const LeastGapBetweenControllersMs = 2;   // writes to two controllers never closer than this

// Resolves at performance.now() >= at, or early once stop.requested is set.
export function WaitUntil(at, stop) {
  return new Promise((resolve) => {
    const channel = new MessageChannel();
    const check = () => {
      if (stop.requested || performance.now() >= at) {
        channel.port1.close();
        resolve();
        return;
      }
      const left = at - performance.now();
      if (left > SpinMarginMs) setTimeout(check, left - SpinMarginMs);
      else channel.port2.postMessage(0);  // a task of its own, not clamped as nested timeouts are
    };
    channel.port1.onmessage = check;
    check();
  });
}

// The claims of n controllers whose reports keep intervalMs: writes to two of them never closer
// than a share of it, at most LeastGapBetweenControllersMs.
export function StartWriteClaims(n, intervalMs) {
  const claims = new Array(n).fill(null);
  claims.gap = Math.min(intervalMs / n, LeastGapBetweenControllersMs);
  return claims;
}

// Each controller's next write time kept a short gap from every other controller's.
export function ClaimWriteTime(claims, c, at) {
  for (let moved = true; moved;) {
    moved = false;
    claims.forEach((x, other) => {
      if (other === c || x === null || at <= x - claims.gap || at >= x + claims.gap) return;
      at = x + claims.gap;
      moved = true;
    });
  }
  claims[c] = at;
  return at;
}

// When the next report of any controller goes out (performance.now() time): the page's drawing
// keeps clear of it.
export function NextWriteAt(stop) { return stop.writeAt ? Math.min(...stop.writeAt) : Infinity; }

// Plays the engine's planned schedules on connections (one each, in order). onSent(c, report,
// sentAt) is told of every report. Resolves to {outcome: 'played' | 'stopped' | 'lost', lost,
// lateMs: [...], passedOver}.
export async function PerformSchedules(m, connections, stop, onSent) {
  const n = connections.length;
  const interval = Math.max(...connections.map((c) => c.minIntervalMs));
  const start = performance.now() + interval;
  const phase = interval / n;
  const claims = StartWriteClaims(n, interval);
  const result = { outcome: 'played', lost: -1, lateMs: [], passedOver: 0, start };
  stop.writeAt = new Array(n).fill(Infinity);

  const performOne = async (c) => {
    const connection = connections[c];
    const figures = PlanFigures(m, c);
    const origin = start + phase * c;
    let lastPassStart = origin;
    while (NextDueMs(m, c) >= 0) {
      if (stop.requested) return 'stopped';
      const turn = Math.max(NextReportTurn(connection) - figures.writeAllowanceMs, origin);
      const earliest = Math.max(performance.now(), turn);
      const report = TakeReport(m, c, earliest - origin);
      result.passedOver += report.passedOver;
      const due = origin + report.dueMs;
      lastPassStart = origin + report.pass * figures.passMs;
      const at = ClaimWriteTime(claims, c, Math.max(due, turn));
      stop.writeAt[c] = at;
      await WaitUntil(at, stop);
      if (stop.requested) return 'stopped';
      const sentAt = performance.now();
      result.lateMs.push(sentAt - due);
      if (!await SendRumble(connection, report.bytes.subarray(0, 4), report.bytes.subarray(4, 8))) {
        stop.requested = true;
        result.lost = c;
        return 'lost';
      }
      stop.writeAt[c] = Infinity;
      if (onSent) onSent(c, report, sentAt - origin);
    }
    const end = Math.max(lastPassStart + figures.lengthMs, NextReportTurn(connection));
    await WaitUntil(end, stop);
    return stop.requested ? 'stopped' : 'played';
  };

  const outcomes = await Promise.all(connections.map((_, c) => performOne(c)));
  if (outcomes.includes('lost')) result.outcome = 'lost';
  else if (outcomes.includes('stopped')) result.outcome = 'stopped';
  return result;
}
