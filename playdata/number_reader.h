// Reads a decimal integer as the "%d" conversion does, without its undefined behaviour.
#pragma once

// Skips leading white space, takes one optional sign and then digits up to the first
// non-digit; the rest of text is ignored. Returns false, leaving *value alone, when no digit
// follows. A number beyond the int range is held at INT_MAX or INT_MIN.
bool ReadNumber(const char* text, int* value);
