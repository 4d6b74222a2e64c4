// The file tavrel-play is given, read whole: its bytes, or why it cannot be played.
#pragma once

#include <cstddef>
#include <string>

// The bytes of path, or of standard input for "-". False with error set to a sentence that says
// what is wrong: the system's reason a file cannot be opened or read, a directory, an empty file,
// one larger than midi_file::MaxFileBytes.
bool ReadInputFile(const std::string& path, std::string* bytes, std::string* error);

// The first count bytes of path (fewer if it is shorter), read to tell what it holds; for
// standard input they are taken from it, and ReadInputFile gives them back first. False when the
// file cannot be read (ReadInputFile then says why).
bool PeekInputFile(const std::string& path, std::size_t count, std::string* first);
