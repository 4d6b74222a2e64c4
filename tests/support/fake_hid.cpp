#include "tests/support/fake_hid.h"

#include "controller/hid.h"
#include "tests/support/test_clock.h"

#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

namespace fake_hid {
namespace {

struct Answer {
    std::vector<unsigned char> bytes;
    int length;
    int afterWrites;
    long long delayNs;
};

std::mutex Lock;
std::vector<Event> Recorded;
std::deque<Answer> Answers;
bool Repeating = false;
Answer Repeated;
int ReadDelayMs = 0;
bool Absent = false;
int ReadsInProgress = 0;
int MostReadsInProgress = 0;
long long WriteDurationNs = 0;
int DeviceCount = 1;
std::vector<bool> DeviceOpen;
HidBus Bus = HidBus::Bluetooth;
int StalledHandle = -1;
int StallMs = 0;

Event MakeEvent(Event::Kind kind, int handle = OpenHandle)
{
    Event event{kind, test_clock::Now(), {}, 0, handle};
    return event;
}

// A read's bound that ran out: on the test clock it moves on; following real time it passes.
void WaitOut(long long ns)
{
    if (ns <= 0) return;
    if (test_clock::FollowsRealTime())
        std::this_thread::sleep_for(std::chrono::nanoseconds(ns));
    else
        test_clock::Advance(ns);
}

}  // namespace

void Reset()
{
    std::lock_guard<std::mutex> guard(Lock);
    Recorded.clear();
    Answers.clear();
    Repeating = false;
    Repeated = Answer{};
    ReadDelayMs = 0;
    Absent = false;
    ReadsInProgress = 0;
    MostReadsInProgress = 0;
    WriteDurationNs = 0;
    DeviceCount = 1;
    DeviceOpen.clear();
    Bus = HidBus::Bluetooth;
    StalledHandle = -1;
    StallMs = 0;
}

void SetWriteStallMs(int handle, int ms)
{
    std::lock_guard<std::mutex> guard(Lock);
    StalledHandle = handle;
    StallMs = ms;
}

void SetBus(HidBus bus)
{
    std::lock_guard<std::mutex> guard(Lock);
    Bus = bus;
}

void SetDeviceCount(int count)
{
    std::lock_guard<std::mutex> guard(Lock);
    DeviceCount = count;
}

void SetWriteDurationNs(long long ns)
{
    std::lock_guard<std::mutex> guard(Lock);
    WriteDurationNs = ns;
}

void SetDeviceAbsent(bool absent)
{
    std::lock_guard<std::mutex> guard(Lock);
    Absent = absent;
}

void QueueReadAnswer(const std::vector<unsigned char>& bytes, int length, int afterWrites, long long delayNs)
{
    std::lock_guard<std::mutex> guard(Lock);
    Answers.push_back(Answer{bytes, length, afterWrites, delayNs});
}

namespace {

// When the first queued answer comes on the test clock, -1 while its write has not been made.
long long FirstAnswerDueNs()
{
    const Answer& answer = Answers.front();
    if (answer.afterWrites == 0) return 0;
    int writes = 0;
    for (const Event& event : Recorded)
        if (event.kind == Event::Write && ++writes == answer.afterWrites) return event.timeNs + answer.delayNs;
    return -1;
}

}  // namespace

void SetRepeatedReadAnswer(const std::vector<unsigned char>& bytes, int length)
{
    std::lock_guard<std::mutex> guard(Lock);
    Repeating = true;
    Repeated = Answer{bytes, length, 0, 0};
}

void SetReadDelayMs(int ms)
{
    std::lock_guard<std::mutex> guard(Lock);
    ReadDelayMs = ms;
}

int MostReadsAtOnce()
{
    std::lock_guard<std::mutex> guard(Lock);
    return MostReadsInProgress;
}

std::vector<Event> Events()
{
    std::lock_guard<std::mutex> guard(Lock);
    return Recorded;
}

std::vector<Event> Writes()
{
    std::vector<Event> writes;
    for (const Event& event : Events())
        if (event.kind == Event::Write) writes.push_back(event);
    return writes;
}

int ReadCount()
{
    int count = 0;
    for (const Event& event : Events())
        if (event.kind == Event::Read) ++count;
    return count;
}

std::string CallSequence()
{
    static const char Letters[] = "OWRC";
    std::string sequence;
    for (const Event& event : Events()) sequence += Letters[event.kind];
    return sequence;
}

}  // namespace fake_hid

using fake_hid::Event;

int OpenHidHandle(int, int)
{
    std::lock_guard<std::mutex> guard(fake_hid::Lock);
    if (fake_hid::Absent) return -1;
    fake_hid::Recorded.push_back(fake_hid::MakeEvent(Event::Open));
    return fake_hid::OpenHandle;
}

int OpenNextHidHandle(int, int)
{
    std::lock_guard<std::mutex> guard(fake_hid::Lock);
    if (fake_hid::Absent) return -1;
    fake_hid::DeviceOpen.resize(fake_hid::DeviceCount, false);
    for (int k = 0; k < fake_hid::DeviceCount; ++k) {
        if (fake_hid::DeviceOpen[k]) continue;
        fake_hid::DeviceOpen[k] = true;
        fake_hid::Recorded.push_back(fake_hid::MakeEvent(Event::Open, fake_hid::OpenHandle + k));
        return fake_hid::OpenHandle + k;
    }
    return -1;
}

int WriteReport(int handle, const unsigned char* report, int* written)
{
    // A handle that never opened fails, as with the real backends; nothing is recorded.
    if (handle < 0) {
        *written = -1;
        return -1;
    }
    int stallMs = 0;
    {
        std::lock_guard<std::mutex> guard(fake_hid::Lock);
        Event event = fake_hid::MakeEvent(Event::Write, handle);
        std::memcpy(event.bytes.data(), report, event.bytes.size());
        fake_hid::Recorded.push_back(event);
        test_clock::Advance(fake_hid::WriteDurationNs);
        if (handle == fake_hid::StalledHandle) stallMs = fake_hid::StallMs;
    }
    if (stallMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(stallMs));
    *written = HidOutputReportSize;
    return HidOutputReportSize;
}

int ReadReport(int handle, unsigned char* report, int* length) { return ReadReportWithin(handle, report, length, -1); }

int ReadReportWithin(int, unsigned char* report, int* length, int waitMs)
{
    Event event = fake_hid::MakeEvent(Event::Read);
    int delayMs = 0;
    {
        std::lock_guard<std::mutex> guard(fake_hid::Lock);
        delayMs = fake_hid::ReadDelayMs;
        if (++fake_hid::ReadsInProgress > fake_hid::MostReadsInProgress)
            fake_hid::MostReadsInProgress = fake_hid::ReadsInProgress;
    }
    if (delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));

    std::unique_lock<std::mutex> guard(fake_hid::Lock);
    --fake_hid::ReadsInProgress;
    *length = 0;
    long long waitedNs = waitMs > 0 ? waitMs * 1000000LL : 0;
    // An answer that is not due yet: the repeated answer comes meanwhile, as a controller's
    // streamed reports do; without one the read waits for it, or its whole bound.
    bool frontDue = true;
    if (!fake_hid::Answers.empty()) {
        const long long due = fake_hid::FirstAnswerDueNs();
        const long long now = test_clock::Now();
        frontDue = due >= 0 && due <= now;
        if (!frontDue && !fake_hid::Repeating && due > now && due <= now + waitedNs && !test_clock::FollowsRealTime()) {
            test_clock::Advance(due - now);
            waitedNs = 0;
            frontDue = true;
        }
    }
    if (!frontDue && !fake_hid::Repeating) {
        event.length = 0;
        fake_hid::Recorded.push_back(event);
        guard.unlock();
        fake_hid::WaitOut(waitedNs);
        return 0;
    }
    if ((frontDue && !fake_hid::Answers.empty()) || fake_hid::Repeating) {
        fake_hid::Answer answer = fake_hid::Repeated;
        if (frontDue && !fake_hid::Answers.empty()) {
            answer = fake_hid::Answers.front();
            fake_hid::Answers.pop_front();
        }
        unsigned char padded[HidInputReportSize] = {};
        std::memcpy(padded, answer.bytes.data(),
                    answer.bytes.size() < sizeof padded ? answer.bytes.size() : sizeof padded);
        std::memcpy(report, padded, sizeof padded);
        *length = answer.length;
        std::memcpy(event.bytes.data(), padded, event.bytes.size());
    }
    event.length = *length;
    fake_hid::Recorded.push_back(event);
    guard.unlock();
    if (*length == 0) fake_hid::WaitOut(waitedNs);
    return *length;
}

HidBus ReadHidBus(int)
{
    std::lock_guard<std::mutex> guard(fake_hid::Lock);
    return fake_hid::Bus;
}

bool IsSystemDriverBound(int) { return false; }

int CloseHidHandle(int handle)
{
    std::lock_guard<std::mutex> guard(fake_hid::Lock);
    fake_hid::Recorded.push_back(fake_hid::MakeEvent(Event::Close, handle));
    const int k = handle - fake_hid::OpenHandle;
    if (k >= 0 && k < static_cast<int>(fake_hid::DeviceOpen.size())) fake_hid::DeviceOpen[k] = false;
    return 0;
}
