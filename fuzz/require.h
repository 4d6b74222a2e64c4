// A fuzz target's check. One that fails ends the run with what broke; libFuzzer reports it as a
// crash and keeps the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

inline void Require(bool condition, const char* what)
{
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}
