// Feeds arbitrary text through the tune reader, and what it accepts through the voice builder
// and the scheduler. Checks that a rejection names a place inside the text, and that a schedule
// starts at 0, keeps the least interval between reports, never sends above level 10, and ends
// in silence. The first byte chooses the least interval (8-100 ms) and the volume.
#include "controller/link.h"
#include "fuzz/require.h"
#include "play/schedule/report_schedule.h"
#include "play/readers/text_reader.h"
#include "play/arrange/voice_builder.h"
#include "rumble/tone_tables.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr long long LeastIntervalUs = 8000;
constexpr long long IntervalStepUs = 1000;
constexpr int IntervalChoices = 93;  // 8 to 100 ms
constexpr int VolumeChoices = 401;   // 0 to 400 %
constexpr unsigned char HighestHighAmplitude = 0xC8;
constexpr unsigned char HighestLowAmplitude = 0x72;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    BuildToneTables();
    const long long interval = LeastIntervalUs + data[0] % IntervalChoices * IntervalStepUs;
    const int volume = data[0] * 7 % VolumeChoices;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    std::vector<tune_text::Voice> voices;
    tune_text::TextError error{};
    Piece piece;
    if (!tune_text::ReadTuneText(text, &voices, &error) || !BuildPiece(voices, volume, &piece, &error)) {
        int lines = 1;
        for (char c : text) lines += c == '\n';
        Require(error.Line >= 1 && error.Line <= lines && error.Column >= 1, "an error outside the text");
        Require(!error.Message.empty(), "an error without a message");
        return 0;
    }
    Require(!voices.empty() && voices.size() <= tune_text::MaxVoices, "a wrong number of voices");

    const Schedule schedule = BuildSchedule(piece, interval);
    Require(!schedule.Reports.empty() && schedule.Reports[0].DueUs == 0, "no report at the start");
    for (std::size_t i = 0; i < schedule.Reports.size(); ++i) {
        const unsigned char* r = schedule.Reports[i].Left.Bytes;
        Require((r[1] & 0xFE) <= HighestHighAmplitude && r[3] <= HighestLowAmplitude, "a level above 10");
        if (i > 0) Require(schedule.Reports[i].DueUs - schedule.Reports[i - 1].DueUs >= interval, "reports too close");
    }
    Require(std::memcmp(schedule.Reports.back().Left.Bytes, SilenceRumble, RumbleBlockSize) == 0,
            "the piece does not end in silence");
    return 0;
}
