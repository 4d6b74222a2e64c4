#include "play/report/schedule_text.h"

#include "controller/link.h"

#include <string>

namespace {

std::string Hex(const RumbleBytes& rumble)
{
    char text[2 * RumbleBlockSize + 1];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x", rumble.Bytes[0], rumble.Bytes[1], rumble.Bytes[2],
                  rumble.Bytes[3]);
    return text;
}

}  // namespace

void PrintSchedules(std::FILE* out, const Performance& performance)
{
    for (std::size_t c = 0; c < performance.Schedules.size(); ++c) {
        if (performance.Schedules.size() > 1) std::fprintf(out, "controller %zu %s\n", c + 1, performance.Kinds[c]->Option);
        for (const ScheduledReport& report : performance.Schedules[c].Reports) {
            const std::string left = Hex(report.Left);
            const std::string right = Hex(report.Right);
            std::fprintf(out, "%lld %s%s%s\n", report.DueUs, left.c_str(), right == left ? "" : " ",
                         right == left ? "" : right.c_str());
        }
        std::fprintf(out, "end %lld\n", performance.Schedules[c].LengthUs);
    }
}
