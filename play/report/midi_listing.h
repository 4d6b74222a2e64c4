// What --list prints for a MIDI file: what the file holds, which voices went to which band of
// which controller, and what was moved or dropped.
#pragma once

#include "play/readers/midi_reader.h"
#include "play/arrange/note_selection.h"
#include "play/schedule/report_schedule.h"
#include "play/arrange/voice_allocation.h"

#include <cstdio>
#include <string>
#include <vector>

void PrintMidiListing(std::FILE* out, const std::string& name, const midi_file::MidiSong& song,
                      const NoteChoice& choice, const ChosenNotes& chosen, const Allocation& allocation,
                      const std::vector<std::string>& controllers, const std::vector<Schedule>& schedules);
