#include "tests/support/scripted_keyboard.h"

#include "platform/interrupt.h"
#include "platform/keyboard.h"
#include "tests/support/test_clock.h"

#include <deque>

namespace scripted_keyboard {
namespace {

constexpr int OverrunLimit = 20;

std::deque<int> Steps;
std::string Log;
std::vector<long long> WaitingTimes;
int OverrunCount = 0;
int UnexpectedReadCount = 0;

}  // namespace

void Script(const std::vector<int>& steps)
{
    Steps.assign(steps.begin(), steps.end());
    Log.clear();
    WaitingTimes.clear();
    OverrunCount = 0;
    UnexpectedReadCount = 0;
}

std::string Calls() { return Log; }
std::vector<long long> WaitingCallTimes() { return WaitingTimes; }
int Overruns() { return OverrunCount; }
int UnexpectedReads() { return UnexpectedReadCount; }

}  // namespace scripted_keyboard

using namespace scripted_keyboard;

void BeginKeyReading() { Log += 'B'; }
void EndKeyReading() { Log += 'E'; }

bool IsKeyWaiting()
{
    Log += 'W';
    WaitingTimes.push_back(test_clock::Now());
    if (Steps.empty()) {
        if (++OverrunCount >= OverrunLimit) RequestInterrupt();
        return false;
    }
    const int step = Steps.front();
    if (step >= 0) return true;
    Steps.pop_front();
    if (step == Interrupt) RequestInterrupt();
    return false;
}

int ReadKey()
{
    Log += 'R';
    if (Steps.empty() || Steps.front() < 0) {
        ++UnexpectedReadCount;
        return NoKey;
    }
    const int key = Steps.front();
    Steps.pop_front();
    return key;
}
