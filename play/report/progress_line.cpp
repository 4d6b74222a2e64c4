#include "play/report/progress_line.h"

#include "play/report/wording.h"

namespace {

constexpr long long ShowEveryUs = 250000;
constexpr int PercentAll = 100;

}  // namespace

void ProgressLine::Show(long long playedUs)
{
    const long long endUs = passes_ > 0 ? totalUs_ * passes_ : -1;
    if (shownUs_ >= 0 && playedUs - shownUs_ < ShowEveryUs && playedUs != endUs) return;
    shownUs_ = playedUs;
    // The last moment of a pass is shown as its end, not as the start of the next.
    const long long pass = totalUs_ > 0 && playedUs > 0 ? (playedUs - 1) / totalUs_ : 0;
    const long long inPass = playedUs - pass * totalUs_;
    const long long percent = totalUs_ > 0 ? inPass * PercentAll / totalUs_ : PercentAll;
    std::fprintf(out_, "\r%s / %s  %3lld %%", FormatPlayTime(inPass).c_str(), FormatPlayTime(totalUs_).c_str(), percent);
    if (passes_ != 1) {
        std::fprintf(out_, "  time %lld", pass + 1);
        if (passes_ > 1) std::fprintf(out_, " of %d", passes_);
    }
    std::fflush(out_);
}

void ProgressLine::ShowShare(const std::string& label, double share)
{
    const long long percent = static_cast<long long>(share * PercentAll);
    if (percent == shownPercent_) return;
    shownPercent_ = percent;
    std::fprintf(out_, "\r%s: %3lld %%", label.c_str(), percent);
    std::fflush(out_);
}

void ProgressLine::Finish()
{
    if (shownUs_ < 0 && shownPercent_ < 0) return;
    std::fputc('\n', out_);
    std::fflush(out_);
    shownUs_ = -1;
    shownPercent_ = -1;
}
