#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "tests/support/preview_test_log.h"
#include "tools/preview/piano_roll_svg.h"
#include "tools/preview/rumble_timeline.h"
#include "tools/preview/tone_bars.h"

namespace {

struct SvgBar {
    std::string Band;
    double Start;
    double End;
    double Hz;
    int Rects;
};

double AttributeAfter(const std::string& svg, std::size_t from, const std::string& name)
{
    const std::size_t at = svg.find(name + "=\"", from);
    return at == std::string::npos ? -1.0 : std::atof(svg.c_str() + at + name.size() + 2);
}

// The bars of a piano roll, in document order, read from their <g class="bar ..."> elements.
std::vector<SvgBar> ReadBars(const std::string& svg)
{
    std::vector<SvgBar> bars;
    const std::string marker = "<g class=\"bar ";
    for (std::size_t at = svg.find(marker); at != std::string::npos;
         at = svg.find(marker, at + 1)) {
        SvgBar bar;
        bar.Band = svg.substr(at + marker.size(), svg.find('"', at + marker.size()) - at - marker.size());
        bar.Start = AttributeAfter(svg, at, "data-start");
        bar.End = AttributeAfter(svg, at, "data-end");
        bar.Hz = AttributeAfter(svg, at, "data-hz");
        const std::size_t end = svg.find("</g>", at);
        bar.Rects = 0;
        for (std::size_t r = svg.find("<rect", at); r < end; r = svg.find("<rect", r + 1)) {
            ++bar.Rects;
        }
        bars.push_back(bar);
    }
    return bars;
}

int CountOf(const std::string& text, const std::string& part)
{
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// Three notes, a rest, the same note again, then silence: at 25 ms a unit.
TestLog FewNotes()
{
    TestLog log;
    AddLine(log, "open 057e 2007 ok");
    Wait(log, 100);
    AddNote(log, NoteE, 4, 25);   // 0.1 to 0.2 s
    AddNote(log, NoteA, 2, 25);   // 0.2 to 0.25 s
    AddNote(log, NoteE, 2, 25);   // 0.25 to 0.3 s
    AddSilence(log);              // a rest to 0.4 s
    Wait(log, 100);
    AddNote(log, NoteE, 2, 25);   // 0.4 to 0.45 s: same note again, a bar of its own
    AddSilence(log);
    Wait(log, 50);
    AddLine(log, "close");        // 0.5 s
    return log;
}

}  // namespace

TEST(PreviewBars, OneBarPerNoteWithItsSofterHalfInside)
{
    const RumbleTimeline timeline = BuildRumbleTimeline(ReadTestLog(FewNotes()).Events);
    for (RumbleBand band : {RumbleBand::High, RumbleBand::Low}) {
        const std::vector<ToneBar> bars = BuildToneBars(timeline, band);
        ASSERT_EQ(bars.size(), 4u);
        const std::int64_t starts[] = {100, 200, 250, 400};
        const std::int64_t ends[] = {200, 250, 300, 450};
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(bars[i].Band, band);
            EXPECT_EQ(bars[i].StartNs, timeline.StartNs + starts[i] * TestMs) << i;
            EXPECT_EQ(bars[i].EndNs, timeline.StartNs + ends[i] * TestMs) << i;
            // Loud, then the soft last half.
            ASSERT_EQ(bars[i].Steps.size(), 2u) << i;
            EXPECT_GT(bars[i].Steps[0].Amplitude, bars[i].Steps[1].Amplitude);
            EXPECT_EQ(bars[i].Steps[0].EndNs, bars[i].Steps[1].StartNs);
        }
        EXPECT_EQ(bars[0].Steps[1].StartNs, timeline.StartNs + 187 * TestMs);
        EXPECT_EQ(bars[1].Frequency, band == RumbleBand::High ? 0x38 / 4 - 64 : 0x2E - 64);
        EXPECT_EQ(bars[3].Frequency, band == RumbleBand::High ? 260 / 4 - 64 : 0x61 - 64);
    }
}

TEST(PreviewPianoRoll, DrawsTheBarsRestsAndSilencesOfTheRun)
{
    const RumbleTimeline timeline = BuildRumbleTimeline(ReadTestLog(FewNotes()).Events);
    const std::string svg = RenderPianoRoll(timeline, "few notes");
    const std::vector<SvgBar> bars = ReadBars(svg);
    ASSERT_EQ(bars.size(), 8u);
    const double starts[] = {0.1, 0.2, 0.25, 0.4};
    const double hz[] = {327.0, 108.5, 327.0, 327.0};
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(bars[i].Band, i < 4 ? "high" : "low") << i;
        EXPECT_NEAR(bars[i].Start, starts[i % 4], 1e-4) << i;
        EXPECT_NEAR(bars[i].Hz, hz[i % 4], 1.0) << i;
        EXPECT_EQ(bars[i].Rects, 2) << i;  // loud and soft
    }
    EXPECT_EQ(CountOf(svg, "<rect class=\"rest\""), 1);
    EXPECT_EQ(CountOf(svg, "<rect class=\"silence\""), 1);
    // Note names on the pitch axis, A4 = 440 Hz, across the notes' range.
    EXPECT_NE(svg.find(">E4</text>"), std::string::npos);
    EXPECT_NE(svg.find(">A2</text>"), std::string::npos);
    EXPECT_NE(svg.find(">C3</text>"), std::string::npos);
    EXPECT_NE(svg.find("time (s)"), std::string::npos);
    EXPECT_EQ(svg.find(">C6</text>"), std::string::npos);
}

TEST(PreviewPianoRoll, BarsSitHigherForHigherNotes)
{
    const RumbleTimeline timeline = BuildRumbleTimeline(ReadTestLog(FewNotes()).Events);
    const std::string svg = RenderPianoRoll(timeline, "few notes");
    const std::size_t e = svg.find("<g class=\"bar high\" data-start=\"0.1\"");
    const std::size_t a = svg.find("<g class=\"bar high\" data-start=\"0.2\"");
    ASSERT_NE(e, std::string::npos);
    ASSERT_NE(a, std::string::npos);
    // SVG y grows downwards: the E bar (327 Hz) lies above the A bar (108.5 Hz), by about
    // the 19 semitones between them.
    const double eY = AttributeAfter(svg, svg.find("<rect", e), "y");
    const double aY = AttributeAfter(svg, svg.find("<rect", a), "y");
    EXPECT_LT(eY, aY);
    const double semitones = 12 * std::log2(327.0 / 108.5);
    EXPECT_NEAR((aY - eY) / semitones, 14.0, 0.5);  // rows of 14 px
}

TEST(PreviewPianoRoll, NotesAreNamedWithA4At440Hz)
{
    EXPECT_EQ(NoteName(69), "A4");
    EXPECT_EQ(NoteName(60), "C4");
    EXPECT_EQ(NoteName(61), "C#4");
    EXPECT_EQ(NoteName(59), "B3");
    EXPECT_EQ(NoteName(48), "C3");
    EXPECT_EQ(NoteName(28), "E1");
    EXPECT_EQ(NoteName(11), "B-1");
    EXPECT_NEAR(PitchOfFrequency(440.0), 69.0, 1e-9);
    EXPECT_NEAR(PitchOfFrequency(261.626), 60.0, 1e-4);
    EXPECT_NEAR(PitchOfFrequency(880.0), 81.0, 1e-9);
}

TEST(PreviewPianoRoll, TitleIsEscaped)
{
    TestLog log;
    AddLine(log, "open 057e 2007 ok");
    Wait(log, 10);
    AddLine(log, "close");
    const std::string svg =
        RenderPianoRoll(BuildRumbleTimeline(ReadTestLog(log).Events), "a<b & \"c\"\x01");
    EXPECT_NE(svg.find("a&lt;b &amp; &quot;c&quot;?"), std::string::npos);
    EXPECT_EQ(svg.find("a<b"), std::string::npos);
    EXPECT_TRUE(ReadBars(svg).empty());
    EXPECT_EQ(EscapeXml("'>"), "&apos;&gt;");
}
