#include "play/report/wording.h"

#include "common/time_units.h"
#include "play/arrange/voice_builder.h"  // MaxPieceLengthUs

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace {

constexpr int MostColons = 2;  // hours, minutes and seconds
constexpr std::size_t MostFractionDigits = 6;
constexpr std::size_t MostWholeDigits = 9;

}  // namespace

std::string CountOf(long long count, const char* noun)
{
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string FormatPlayTime(long long us)
{
    const long long ms = us / MicrosecondsPerMillisecond;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld.%03lld", ms / MillisecondsPerSecond / SecondsPerMinute,
                  ms / MillisecondsPerSecond % SecondsPerMinute, ms % MillisecondsPerSecond);
    return text;
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

std::string NamesOf(const std::vector<const ControllerKind*>& kinds)
{
    std::string names;
    for (std::size_t c = 0; c < kinds.size(); ++c) {
        if (c > 0) names += c + 1 == kinds.size() ? " and " : ", ";
        names += "the ";
        names += kinds[c]->Name;
    }
    return names;
}
