// A piano roll of what the controllers are sent, drawn from the engine's schedules: each band's
// frequency (height, by octaves) and loudness (brightness) from one report to the next, with the
// moment being played a quarter of the way across.
const WindowMs = 8000;
const NowAt = 0.25;
const LowestHz = 40;
const HighestHz = 1300;
const LastReportMs = 50;  // how long the last report is drawn
const BandColours = ['#ffb347', '#ff6f61', '#6fc3ff', '#7dffa8'];  // left high, left low, right high, right low

function HeightOf(hz, height) {
  const share = Math.log2(hz / LowestHz) / Math.log2(HighestHz / LowestHz);
  return height - Math.max(0, Math.min(1, share)) * height;
}

// The first report that may still sound at ms: reports are in time order.
function FirstFrom(reports, ms) {
  let low = 0;
  let high = reports.length;
  while (low < high) {
    const mid = (low + high) >> 1;
    if (reports[mid].dueMs < ms) low = mid + 1;
    else high = mid;
  }
  return Math.max(0, low - 1);
}

// schedules: per controller the engine's decoded reports (with .actuators, 1 or 2); playedMs: where the cursor stands.
export function DrawRoll(canvas, schedules, playedMs) {
  const g = canvas.getContext('2d');
  const { width, height } = canvas;
  g.clearRect(0, 0, width, height);
  g.strokeStyle = '#2a2a3a';
  for (let hz = 55; hz < HighestHz; hz *= 2) {  // the A of each octave
    const y = HeightOf(hz, height);
    g.beginPath(); g.moveTo(0, y); g.lineTo(width, y); g.stroke();
  }
  const from = playedMs - WindowMs * NowAt;
  const x = (ms) => ((ms - from) / WindowMs) * width;
  schedules.forEach((reports, c) => {
    const lane = schedules.length > 1 ? c / schedules.length : 0;
    for (let i = FirstFrom(reports, from); i < reports.length && reports[i].dueMs <= from + WindowMs; ++i) {
      const start = reports[i].dueMs;
      const end = i + 1 < reports.length ? reports[i + 1].dueMs : start + LastReportMs;
      reports[i].bands.slice(0, 2 * (reports.actuators || 2)).forEach(([hz, share], b) => {
        if (share <= 0) return;
        g.globalAlpha = Math.min(1, 0.25 + share * 2);
        g.fillStyle = BandColours[b];
        g.fillRect(x(start), HeightOf(hz, height) - 2 + lane * 3, Math.max(1, x(end) - x(start)), 4);
      });
    }
  });
  g.globalAlpha = 1;
  g.strokeStyle = '#ffffff';
  g.beginPath(); g.moveTo(width * NowAt, 0); g.lineTo(width * NowAt, height); g.stroke();
}
