// Text from a file made safe to print: names in MIDI files come in any encoding, and control
// bytes in them could drive the terminal.
#pragma once

#include <string>

// Whether byte is a C0 control character or DEL.
bool IsControlByte(unsigned char byte);

// text as UTF-8: kept where it is valid UTF-8, else read as Latin-1; control characters (C0, DEL
// and C1) shown as '?'.
std::string ShownText(const std::string& text);
