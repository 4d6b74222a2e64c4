#include "tools/preview/piano_roll_svg.h"

#include "common/pitch_units.h"
#include "common/time_units.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <vector>

#include "tools/preview/tone_bars.h"

namespace {

constexpr double ConcertAHz = 440.0;
constexpr int ConcertAMidi = 69;

constexpr int DefaultLowestNote = 48;   // C3, when nothing sounds
constexpr int DefaultHighestNote = 72;  // C5
constexpr int PitchMarginNotes = 1;

constexpr double RowHeight = 14.0;
constexpr double BarHalfHeight = 6.0;
constexpr double LeftMargin = 60.0;
constexpr double RightMargin = 20.0;
constexpr double TopMargin = 56.0;
constexpr double BottomMargin = 44.0;
constexpr double TargetPlotWidth = 2400.0;
constexpr double MinWidth = 900.0;  // room for the title and the legend
constexpr double LaneNameHeight = 16.0;
constexpr double MinPixelsPerSecond = 20.0;
constexpr double MaxPixelsPerSecond = 2000.0;
constexpr double MinTickSpacing = 60.0;
constexpr double MinOpacity = 0.2;
constexpr double NsPerSecond = NanosecondsPerSecond;  // for fractions of a second
constexpr int TimeDecimals = 4;  // times in titles and data attributes, to 0.1 ms

const char* const HighBandColour = "#d9480f";
const char* const LowBandColour = "#1864ab";
const char* const RestColour = "#868e96";
const char* const SilenceColour = "#dee2e6";
const char* const NoteNames[SemitonesPerOctave] = {"C",  "C#", "D",  "D#", "E",  "F",
                                                   "F#", "G",  "G#", "A",  "A#", "B"};
const bool BlackKeys[SemitonesPerOctave] = {false, true,  false, true,  false, false,
                                            true,  false, true,  false, true,  false};

struct RollLayout {
    double StartNs;
    double PixelsPerSecond;
    double SpanSeconds;
    int LowestNote;
    int HighestNote;
    double Width;
    double Height;
    double PlotWidth;
    double PlotHeight;
};

int FloorMod(int value, int divisor)
{
    const int r = value % divisor;
    return r < 0 ? r + divisor : r;
}

std::string Number(double value, int decimals = 2)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string s = text;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

double XOfNs(const RollLayout& layout, double ns)
{
    return LeftMargin + (ns - layout.StartNs) / NsPerSecond * layout.PixelsPerSecond;
}

double YOfPitch(const RollLayout& layout, double pitch)
{
    return TopMargin + (layout.HighestNote + 0.5 - pitch) * RowHeight;
}

RollLayout PlanLayout(const RumbleTimeline& timeline, const std::vector<ToneBar>& bars)
{
    RollLayout layout{};
    layout.StartNs = static_cast<double>(timeline.StartNs);
    layout.SpanSeconds = (timeline.EndNs - timeline.StartNs) / NsPerSecond;
    const double span = std::max(layout.SpanSeconds, 1e-3);
    layout.PixelsPerSecond =
        std::clamp(TargetPlotWidth / span, MinPixelsPerSecond, MaxPixelsPerSecond);
    layout.PlotWidth = span * layout.PixelsPerSecond;

    layout.LowestNote = DefaultLowestNote;
    layout.HighestNote = DefaultHighestNote;
    if (!bars.empty()) {
        double low = 1e9;
        double high = -1e9;
        for (const ToneBar& bar : bars) {
            const double pitch = PitchOfFrequency(bar.FrequencyHz);
            low = std::min(low, pitch);
            high = std::max(high, pitch);
        }
        layout.LowestNote = static_cast<int>(std::floor(low)) - PitchMarginNotes;
        layout.HighestNote = static_cast<int>(std::ceil(high)) + PitchMarginNotes;
    }
    layout.PlotHeight = (layout.HighestNote - layout.LowestNote + 1) * RowHeight;
    layout.Width = std::max(LeftMargin + layout.PlotWidth + RightMargin, MinWidth);
    layout.Height = TopMargin + layout.PlotHeight + BottomMargin;
    return layout;
}

void DrawPitchRows(std::ostream& svg, const RollLayout& layout)
{
    svg << "<g class=\"pitch-axis\" font-size=\"10\" text-anchor=\"end\">\n";
    for (int note = layout.LowestNote; note <= layout.HighestNote; ++note) {
        const double top = YOfPitch(layout, note + 0.5);
        const bool black = BlackKeys[FloorMod(note, SemitonesPerOctave)];
        const bool isC = FloorMod(note, SemitonesPerOctave) == 0;
        svg << "<rect x=\"" << LeftMargin << "\" y=\"" << Number(top) << "\" width=\""
            << Number(layout.PlotWidth) << "\" height=\"" << RowHeight << "\" fill=\""
            << (black ? "#f1f3f5" : "#ffffff") << "\"/>\n";
        svg << "<line x1=\"" << LeftMargin << "\" y1=\"" << Number(top + RowHeight) << "\" x2=\""
            << Number(LeftMargin + layout.PlotWidth) << "\" y2=\"" << Number(top + RowHeight)
            << "\" stroke=\"" << (isC ? "#868e96" : "#e9ecef") << "\" stroke-width=\""
            << (isC ? 1 : 0.5) << "\"/>\n";
        svg << "<text x=\"" << LeftMargin - 6 << "\" y=\"" << Number(top + RowHeight - 3)
            << "\"" << (isC ? " font-weight=\"bold\"" : "") << ">" << NoteName(note)
            << "</text>\n";
    }
    svg << "</g>\n";
}

void DrawTimeAxis(std::ostream& svg, const RollLayout& layout)
{
    static const double Steps[] = {0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1, 2, 5, 10, 30, 60, 300};
    double step = Steps[sizeof Steps / sizeof Steps[0] - 1];
    for (double candidate : Steps) {
        if (candidate * layout.PixelsPerSecond >= MinTickSpacing) {
            step = candidate;
            break;
        }
    }
    const double bottom = TopMargin + layout.PlotHeight;
    svg << "<g class=\"time-axis\" font-size=\"10\" text-anchor=\"middle\">\n";
    svg << "<line x1=\"" << LeftMargin << "\" y1=\"" << Number(bottom) << "\" x2=\""
        << Number(LeftMargin + layout.PlotWidth) << "\" y2=\"" << Number(bottom)
        << "\" stroke=\"#212529\"/>\n";
    const int ticks = static_cast<int>(std::floor(layout.SpanSeconds / step + 1e-9));
    for (int i = 0; i <= ticks; ++i) {
        const double x = LeftMargin + i * step * layout.PixelsPerSecond;
        svg << "<line x1=\"" << Number(x) << "\" y1=\"" << TopMargin << "\" x2=\"" << Number(x)
            << "\" y2=\"" << Number(bottom + 4) << "\" stroke=\"#ced4da\" stroke-width=\"0.5\"/>\n";
        svg << "<text x=\"" << Number(x) << "\" y=\"" << Number(bottom + 16) << "\">"
            << Number(i * step) << "</text>\n";
    }
    svg << "<text x=\"" << Number(LeftMargin + layout.PlotWidth / 2) << "\" y=\""
        << Number(bottom + 34) << "\" font-size=\"12\">time (s)</text>\n";
    svg << "</g>\n";
}

void DrawShadedSpans(std::ostream& svg, const RollLayout& layout,
                     const std::vector<TimeSpan>& spans, const char* cls, const char* colour,
                     double opacity, const char* label)
{
    for (const TimeSpan& span : spans) {
        const double x = XOfNs(layout, static_cast<double>(span.StartNs));
        const double width = XOfNs(layout, static_cast<double>(span.EndNs)) - x;
        svg << "<rect class=\"" << cls << "\" x=\"" << Number(x) << "\" y=\"" << TopMargin
            << "\" width=\"" << Number(width) << "\" height=\"" << Number(layout.PlotHeight)
            << "\" fill=\"" << colour << "\" fill-opacity=\"" << opacity << "\"><title>" << label
            << " " << Number((span.StartNs - layout.StartNs) / NsPerSecond, TimeDecimals) << " to "
            << Number((span.EndNs - layout.StartNs) / NsPerSecond, TimeDecimals)
            << " s</title></rect>\n";
    }
}

void DrawRestMarkers(std::ostream& svg, const RollLayout& layout,
                     const std::vector<TimeSpan>& rests)
{
    // A small downward triangle above the roll at the start of each rest.
    for (const TimeSpan& rest : rests) {
        const double x = XOfNs(layout, static_cast<double>(rest.StartNs));
        svg << "<path class=\"rest-marker\" d=\"M" << Number(x) << " " << TopMargin - 10 << " l6 0 l-3 7 z\" fill=\""
            << RestColour << "\"/>\n";
    }
}

void DrawBars(std::ostream& svg, const RollLayout& layout, const std::vector<ToneBar>& bars)
{
    for (const ToneBar& bar : bars) {
        const bool high = bar.Band == RumbleBand::High;
        const double pitch = PitchOfFrequency(bar.FrequencyHz);
        const double centre = YOfPitch(layout, pitch);
        const double top = high ? centre - BarHalfHeight : centre;
        const double startS = (bar.StartNs - layout.StartNs) / NsPerSecond;
        const double endS = (bar.EndNs - layout.StartNs) / NsPerSecond;
        const int nearest = static_cast<int>(std::lround(pitch));
        const double cents = (pitch - nearest) * 100.0;
        svg << "<g class=\"bar " << (high ? "high" : "low") << "\" data-start=\""
            << Number(startS, TimeDecimals) << "\" data-end=\"" << Number(endS, TimeDecimals)
            << "\" data-hz=\""
            << Number(bar.FrequencyHz) << "\" fill=\""
            << (high ? HighBandColour : LowBandColour) << "\">";
        svg << "<title>" << (high ? "high" : "low") << " band " << Number(bar.FrequencyHz)
            << " Hz (" << NoteName(nearest) << (cents >= 0 ? " +" : " ") << std::lround(cents)
            << " cents), " << Number(startS, TimeDecimals) << " to " << Number(endS, TimeDecimals)
            << " s</title>";
        for (const BarStep& step : bar.Steps) {
            const double x = XOfNs(layout, static_cast<double>(step.StartNs));
            const double width = XOfNs(layout, static_cast<double>(step.EndNs)) - x;
            const double opacity = MinOpacity + (1.0 - MinOpacity) * std::min(step.Amplitude, 1.0);
            svg << "<rect x=\"" << Number(x) << "\" y=\"" << Number(top) << "\" width=\""
                << Number(width) << "\" height=\"" << BarHalfHeight << "\" fill-opacity=\""
                << Number(opacity) << "\"/>";
        }
        svg << "</g>\n";
    }
}

void DrawLegend(std::ostream& svg, const std::string& title)
{
    struct LegendEntry {
        const char* Colour;
        double Opacity;
        const char* Text;
    };
    static const LegendEntry Entries[] = {
        {HighBandColour, 1.0, "high band"},
        {LowBandColour, 1.0, "low band"},
        {RestColour, 0.35, "rest (silence sent between notes)"},
        {SilenceColour, 0.8, "silence"},
    };
    svg << "<text x=\"" << LeftMargin << "\" y=\"18\" font-size=\"14\" font-weight=\"bold\">"
        << EscapeXml(title) << "</text>\n";
    svg << "<g class=\"legend\" font-size=\"11\">\n";
    double x = LeftMargin;
    for (const LegendEntry& entry : Entries) {
        svg << "<rect x=\"" << Number(x) << "\" y=\"28\" width=\"14\" height=\"10\" fill=\""
            << entry.Colour << "\" fill-opacity=\"" << entry.Opacity << "\"/>";
        svg << "<text x=\"" << Number(x + 18) << "\" y=\"37\">" << entry.Text << "</text>\n";
        x += 40 + 6.0 * std::string(entry.Text).size();
    }
    svg << "<text x=\"" << Number(x) << "\" y=\"37\" fill=\"#495057\">"
        << "opacity = loudness; bars of one note step down where it softens</text>\n";
    svg << "</g>\n";
}

}  // namespace

double PitchOfFrequency(double hz)
{
    return ConcertAMidi + SemitonesPerOctave * std::log2(hz / ConcertAHz);
}

std::string NoteName(int midiNote)
{
    const int octave = (midiNote - FloorMod(midiNote, SemitonesPerOctave)) / SemitonesPerOctave - 1;
    return std::string(NoteNames[FloorMod(midiNote, SemitonesPerOctave)]) + std::to_string(octave);
}

std::string EscapeXml(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
            // Control characters other than tab and line feed are not allowed in XML 1.0.
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') {
                out += '?';
            } else {
                out += c;
            }
        }
    }
    return out;
}

std::string RenderPianoRoll(const RumbleTimeline& timeline, const std::string& title)
{
    return RenderLanesRoll({{"", LanePan::Centre, timeline}}, title);
}

std::string RenderLanesRoll(const std::vector<RumbleLane>& lanes, const std::string& title)
{
    std::vector<std::vector<ToneBar>> bars;
    std::vector<RollLayout> layouts;
    double width = MinWidth;
    // Several lanes: room under the legend for the first lane's name.
    double height = lanes.size() > 1 ? LaneNameHeight : 0.0;
    for (const RumbleLane& lane : lanes) {
        bars.push_back(BuildToneBars(lane.Timeline, RumbleBand::High));
        const std::vector<ToneBar> lowBars = BuildToneBars(lane.Timeline, RumbleBand::Low);
        bars.back().insert(bars.back().end(), lowBars.begin(), lowBars.end());
        layouts.push_back(PlanLayout(lane.Timeline, bars.back()));
        width = std::max(width, layouts.back().Width);
        height += layouts.back().Height;
    }

    std::ostringstream svg;
    svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << Number(width) << "\" height=\""
        << Number(height) << "\" viewBox=\"0 0 " << Number(width) << " " << Number(height)
        << "\" font-family=\"sans-serif\">\n";
    svg << "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    DrawLegend(svg, title);
    double offset = lanes.size() > 1 ? LaneNameHeight : 0.0;
    for (std::size_t l = 0; l < lanes.size(); ++l) {
        const RumbleTimeline& timeline = lanes[l].Timeline;
        const RollLayout& layout = layouts[l];
        if (lanes.size() > 1) {
            svg << "<g class=\"lane\" transform=\"translate(0 " << Number(offset) << ")\">\n";
            svg << "<text x=\"" << LeftMargin << "\" y=\"" << TopMargin - LaneNameHeight
                << "\" font-size=\"12\" font-weight=\"bold\">" << EscapeXml(lanes[l].Name) << "</text>\n";
        }
        DrawPitchRows(svg, layout);
        DrawShadedSpans(svg, layout, timeline.Silences, "silence", SilenceColour, 0.8, "silence");
        DrawShadedSpans(svg, layout, timeline.Rests, "rest", RestColour, 0.35, "rest");
        DrawRestMarkers(svg, layout, timeline.Rests);
        DrawTimeAxis(svg, layout);
        DrawBars(svg, layout, bars[l]);
        if (lanes.size() > 1) svg << "</g>\n";
        offset += layout.Height;
    }
    svg << "</svg>\n";
    return svg.str();
}
