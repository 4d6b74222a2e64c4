// Sleeping until shortly before a deadline, so that a wait can spin on the counter for only
// its last stretch.
#pragma once

// Prepares the most precise sleep the system offers (Windows: a high-resolution waitable timer,
// or a 1 ms system timer period where there is none); EndPreciseSleep gives it back.
void BeginPreciseSleep();
void EndPreciseSleep();

// Sleeps about us microseconds; may wake early (a signal) or late by up to SleepMarginUs().
void SleepMicroseconds(long long us);

// How long before a deadline a sleep should end so that its lateness stays ahead of it.
long long SleepMarginUs();
