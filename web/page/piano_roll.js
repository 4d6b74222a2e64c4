// A piano roll of what the controllers are sent, drawn from the engine's schedules: each band's
// frequency (height, by octaves) and loudness (brightness) from one report to the next, with the
// moment being played a quarter of the way across.
const WindowMs = 8000;
const NowAt = 0.25;
const LowestHz = 40;
const HighestHz = 1300;
const BandColours = ['#ffb347', '#ff6f61', '#6fc3ff', '#7dffa8'];  // left high, left low, right high, right low

function HeightOf(hz, height) {
  const share = Math.log2(hz / LowestHz) / Math.log2(HighestHz / LowestHz);
  return height - Math.max(0, Math.min(1, share)) * height;
}

// schedules: per controller the engine's decoded reports; playedMs: where the cursor stands.
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
    for (let i = 0; i < reports.length; ++i) {
      const start = reports[i].dueMs;
      const end = i + 1 < reports.length ? reports[i + 1].dueMs : start + 50;
      if (end < from || start > from + WindowMs) continue;
      reports[i].bands.forEach(([hz, share], b) => {
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
