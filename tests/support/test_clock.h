// A high-resolution counter the unit tests control, linked in place of the platform's: it
// counts nanoseconds, starts at 0, and moves on by a fixed step at every reading (after the
// value read is taken), or jumps at a reading a test names. Safe to read from several threads.
//
// Two threads that wait on one stepping counter shorten each other's waits, and which of them
// gets there first is up to the scheduler: tests of the polling thread let it follow real
// time instead (FollowRealTime), as the program's own counter does.
#pragma once

#include "common/time_units.h"  // NanosecondsPerSecond: the counts a second unless a test sets another


namespace test_clock {

// Step after Reset: a microsecond, so that a wait of whole milliseconds ends on a step.
constexpr long long DefaultStepNs = 1000;

// Counter at 0, the default step and frequency, no jump planned, no readings counted; stepping,
// not following real time.
void Reset();

// From now until the next Reset the counter is the steady clock in nanoseconds.
void FollowRealTime();
bool FollowsRealTime();

// The step added after every reading from now on (0 stops the counter).
void SetStep(long long step);

// Moves the counter on by count now, as time spent in a call that does not read it.
void Advance(long long count);

// Moves the counter on by count right after the reading number `reading` (from 1) since Reset.
void JumpAtReading(long long reading, long long count);

void SetFrequency(long long countsPerSecond);

// The counter's value, without reading it as the program does (nothing moves).
long long Now();

// How early the test sleep asks a waiter to wake before a deadline.
constexpr long long SleepMarginUs = 1000;

// SleepMicroseconds calls since Reset; each moves the counter on by the time asked.
long long SleepCount();

// ReadCounter and ReadCounterFrequency calls since Reset.
long long CounterReadings();
long long FrequencyReadings();

// The counter moved on by a DelayMs(ms) that ran alone at stepNs per reading and 1 count per
// nanosecond: its first reading, and readings until more than ms had passed.
long long DelayCounts(int ms, long long stepNs = DefaultStepNs);

}  // namespace test_clock
