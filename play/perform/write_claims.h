// Keeping writes to different controllers apart, so that an adapter never gets two back to back:
// each controller claims the time of its next write before it waits for it.
#pragma once

#include <mutex>
#include <vector>

struct WriteClaims {
    std::mutex Lock;
    std::vector<long long> Claimed;  // each controller's next or last write time (counter); -1 none
    long long GapCounts = 0;         // least time between writes to two different controllers
};

// Least time between writes to two different controllers: short, since a write it holds back may
// hold back that controller's next ones.
constexpr long long LeastGapBetweenControllersUs = 2000;

void StartWriteClaims(WriteClaims& claims, std::size_t controllers, long long gapCounts);

// The earliest counter reading from at on that keeps GapCounts from every other controller's
// claimed write, claimed for controller c. A claim is made before the wait, never held during a
// write.
long long ClaimWriteTime(WriteClaims& claims, std::size_t c, long long at);
