// The one progress line on a terminal: elapsed and total time and how far along, rewritten in
// place at most a few times a second.
#pragma once

#include <cstdio>

class ProgressLine {
public:
    ProgressLine(std::FILE* out, long long totalUs) : out_(out), totalUs_(totalUs) {}

    // Rewrites the line for playedUs, unless it was written less than a quarter second of
    // playing time ago (and playedUs is not the end).
    void Show(long long playedUs);

    // Ends the line, so that what follows starts on a line of its own.
    void Finish();

private:
    std::FILE* out_;
    long long totalUs_;
    long long shownUs_ = -1;
};
