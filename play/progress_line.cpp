#include "play/progress_line.h"

#include "play/listing.h"

namespace {

constexpr long long ShowEveryUs = 250000;
constexpr int PercentAll = 100;

}  // namespace

void ProgressLine::Show(long long playedUs)
{
    if (shownUs_ >= 0 && playedUs - shownUs_ < ShowEveryUs && playedUs < totalUs_) return;
    shownUs_ = playedUs;
    const long long percent = totalUs_ > 0 ? playedUs * PercentAll / totalUs_ : PercentAll;
    std::fprintf(out_, "\r%s / %s  %3lld %%", FormatPlayTime(playedUs).c_str(), FormatPlayTime(totalUs_).c_str(), percent);
    std::fflush(out_);
}

void ProgressLine::Finish()
{
    if (shownUs_ < 0) return;
    std::fputc('\n', out_);
    std::fflush(out_);
    shownUs_ = -1;
}
