// The engine: what a front end needs to play music on these controllers, and nothing it must
// not do itself. Music is read from bytes (or, for sound, from frames as they come), arranged as
// the listener chose, and planned for a set of controller kinds into the reports each controller
// must receive with their due times. Errors come back as values; nothing here prints, opens a
// path or talks to a controller. The command line performs the plan with its threads and hidapi
// (play/perform/), the browser edition through WebHID.
//
//   ReadMusic (or TellMusicFormat, ReadMusicFile, ArrangeMusic, PrepareMusic in turn)
//       -> Music -> PlanPerformance(choices, music, kinds) -> Performance: a Schedule a controller
//   LooksLikeSound, then ArrangeSound from a SoundSource, PrepareMusic: the same for sound
//   PlanFirstActuatorStream, FormBnvib: what the first actuator plays, as a .bnvib
//   Live MIDI: play/live/live_voices.h and live_output.h make each next report as messages come.
#pragma once

#include "play/arrange/music.h"
#include "play/readers/bnvib_reader.h"
#include "play/readers/music_file.h"
#include "play/schedule/performance_plan.h"
#include "play/sound/sound_source.h"

#include <string>

// Reads, arranges and prepares a file's bytes (a tune, MIDI, RIFF MIDI, .bnvib or .jcvib) as the
// choices ask. False with error naming the file (and the byte or line at fault). The tone tables
// must be built.
bool ReadMusic(std::string bytes, const std::string& name, const PlayChoices& choices, Music* music, MusicError* error);
