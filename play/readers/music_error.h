// Why music cannot be played, as a value: nothing in the engine prints, a front end says it.
#pragma once

#include <string>
#include <utility>

struct MusicError {
    // The whole sentence, naming the file first where it is about the file's contents:
    // "song.mid: byte 12: a track chunk runs past the end of the file".
    std::string Text;
    // Said about the run rather than a place in the file: a command line puts its own name first.
    bool AboutTheRun = false;
};

// Sets *error; false, for the caller to return.
inline bool FailMusic(MusicError* error, std::string text, bool aboutTheRun = false)
{
    error->Text = std::move(text);
    error->AboutTheRun = aboutTheRun;
    return false;
}
