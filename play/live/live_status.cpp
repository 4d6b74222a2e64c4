#include "play/live/live_status.h"

#include "play/arrange/voice_allocation.h"

namespace {

constexpr const char* KeyNames[SemitonesPerOctave] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
constexpr int OctaveOfKeyZero = -1;  // key 60 is C4

std::string NameOfBand(const LiveBand& band)
{
    return band.Key < 0 || band.Note == RestNote ? "-" : NameOfKey(band.Note + MidiKeyOfFirstNote);
}

}  // namespace

std::string NameOfKey(int key)
{
    return KeyNames[key % SemitonesPerOctave] + std::to_string(key / SemitonesPerOctave + OctaveOfKeyZero);
}

std::string FormLiveStatus(const std::vector<LiveBand>& bands, const std::vector<std::string>& names)
{
    std::string text;
    for (std::size_t high = 0; high + 1 < bands.size(); high += 2) {
        const LiveBand& band = bands[high];
        const bool first = high == 0 || bands[high - 2].Controller != band.Controller;
        const bool twoActuators = (high + 2 < bands.size() && bands[high + 2].Controller == band.Controller) ||
                                  band.Actuator > 0;
        if (first) {
            if (!text.empty()) text += " | ";
            text += names[static_cast<std::size_t>(band.Controller)];
        }
        if (twoActuators) text += band.Actuator == 0 ? " L:" : " R:";
        text += " " + NameOfBand(band) + " " + NameOfBand(bands[high + 1]);
    }
    return text;
}

void ShowStatusLine(std::FILE* out, const std::string& text, std::size_t* shownLength)
{
    const int blank = *shownLength > text.size() ? static_cast<int>(*shownLength - text.size()) : 0;
    std::fprintf(out, "\r%s%*s", text.c_str(), blank, "");
    std::fflush(out);
    *shownLength = text.size();
}
