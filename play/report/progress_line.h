// The one progress line on a terminal: elapsed and total time and how far along, rewritten in
// place at most a few times a second; when the piece plays several times, also which time.
#pragma once

#include <cstdio>
#include <string>

class ProgressLine {
public:
    // passes: how many times the piece of totalUs plays; 0 until interrupted.
    ProgressLine(std::FILE* out, long long totalUs, int passes = 1) : out_(out), totalUs_(totalUs), passes_(passes) {}

    // Rewrites the line for playedUs (over all passes), unless it was written less than a
    // quarter second of playing time ago (and playedUs is not the end).
    void Show(long long playedUs);
    // Rewrites the line as "label: N %" for a share of work done (0 to 1), when N changes.
    void ShowShare(const std::string& label, double share);

    // Ends the line, so that what follows starts on a line of its own.
    void Finish();

private:
    std::FILE* out_;
    long long totalUs_;
    int passes_;
    long long shownUs_ = -1;
    long long shownPercent_ = -1;
};
