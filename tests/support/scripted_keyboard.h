// Key reading from a script instead of the console; linked in place of the platform's
// keyboard.cpp. Each IsKeyWaiting call takes the script's next step.
#pragma once

#include <string>
#include <vector>

namespace scripted_keyboard {

constexpr int NoKey = -1;      // this IsKeyWaiting answers false
constexpr int Interrupt = -2;  // this IsKeyWaiting requests an interrupt and answers false

// Steps in order: a key code (IsKeyWaiting answers true, ReadKey hands it out), NoKey or
// Interrupt. Clears the call log and the overrun count.
void Script(const std::vector<int>& steps);

// Calls in order, one letter each: B(egin), E(nd), W(IsKeyWaiting), R(eadKey).
std::string Calls();

// Times (the test clock's counter) of the IsKeyWaiting calls.
std::vector<long long> WaitingCallTimes();

// IsKeyWaiting calls after the script ran out. After a few of them an interrupt is requested,
// so that a loop that fails to stop still ends.
int Overruns();

// ReadKey calls when no key was waiting.
int UnexpectedReads();

}  // namespace scripted_keyboard
