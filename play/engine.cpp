#include "play/engine.h"

#include <utility>

bool ReadMusic(std::string bytes, const std::string& name, const PlayChoices& choices, Music* music, MusicError* error)
{
    MusicBytes told;
    MusicFile file;
    return TellMusicFormat(std::move(bytes), name, &told, error) && ReadMusicFile(told, name, &file, error) &&
           ArrangeMusic(std::move(file), name, choices, music, error) && PrepareMusic(choices, music, error);
}
