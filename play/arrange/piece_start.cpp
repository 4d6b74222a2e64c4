#include "play/arrange/piece_start.h"

#include "common/time_units.h"
#include "play/arrange/voice_builder.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr int MostColons = 2;  // hours, minutes and seconds
constexpr std::size_t MostFractionDigits = 6;
constexpr std::size_t MostWholeDigits = 9;

}  // namespace

Piece StartPieceAt(const Piece& piece, long long startUs)
{
    Piece started = piece;
    started.LengthUs = std::max(0LL, piece.LengthUs - startUs);
    for (PieceVoice& voice : started.Voices) {
        std::vector<VoiceStep> steps;
        for (const VoiceStep& step : voice.Steps) {
            VoiceStep moved = step;
            moved.AtUs = std::max(0LL, step.AtUs - startUs);
            // A step before the start is the state at the start until a later one replaces it.
            if (!steps.empty() && steps.back().AtUs == moved.AtUs)
                steps.back() = moved;
            else
                steps.push_back(moved);
        }
        voice.Steps = steps;
        voice.LengthUs = std::max(0LL, voice.LengthUs - startUs);
    }
    // Settings before the start hold from it, the latest of each channel winning.
    for (VibratoSetting& setting : started.Vibrato) setting.AtUs = std::max(0LL, setting.AtUs - startUs);
    return started;
}

bool ParsePlayTime(const std::string& text, long long* us)
{
    const std::size_t dot = text.find('.');
    const std::string clock = text.substr(0, dot);
    const std::string fractionText = dot == std::string::npos ? "" : text.substr(dot + 1);
    const auto allDigits = [](const std::string& t) {
        return std::all_of(t.begin(), t.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
    };
    if (dot != std::string::npos && (fractionText.empty() || fractionText.size() > MostFractionDigits ||
                                     !allDigits(fractionText)))
        return false;
    // The first field any length; minutes and seconds after a colon two digits, below 60.
    long long seconds = 0;
    std::size_t from = 0;
    for (int field = 0;; ++field) {
        const std::size_t colon = clock.find(':', from);
        const std::string digits = clock.substr(from, colon == std::string::npos ? std::string::npos : colon - from);
        if (digits.empty() || !allDigits(digits) || field > MostColons) return false;
        if (field == 0 ? digits.size() > MostWholeDigits : digits.size() != 2) return false;
        const long long value = std::stoll(digits);
        if (field > 0 && value >= SecondsPerMinute) return false;
        seconds = seconds * SecondsPerMinute + value;
        if (colon == std::string::npos) break;
        from = colon + 1;
    }
    long long fraction = fractionText.empty() ? 0 : std::stoll(fractionText);
    for (std::size_t d = fractionText.size(); d < MostFractionDigits; ++d) fraction *= 10;
    if (seconds > MaxPieceLengthUs / MicrosecondsPerSecond) return false;
    *us = seconds * MicrosecondsPerSecond + fraction;
    return true;
}
