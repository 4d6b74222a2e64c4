#include "play/readers/music_file.h"

#include "play/readers/bnvib_reader.h"
#include "play/readers/jcvib_reader.h"
#include "play/readers/riff_midi.h"
#include "play/report/shown_text.h"

#include <utility>

bool TellMusicFormat(std::string bytes, const std::string& name, MusicBytes* music, MusicError* error)
{
    music->Offset = 0;
    // A RIFF MIDI file is read as the Standard MIDI File it wraps; its errors name bytes of the whole file.
    if (midi_file::LooksLikeRiffMidi(bytes)) {
        std::string midi;
        std::size_t at = 0;
        std::string failure;
        if (!midi_file::FindRiffMidiData(bytes, &midi, &music->Offset, &at, &failure))
            return FailMusic(error, name + ": byte " + std::to_string(at) + ": " + failure);
        bytes.swap(midi);
        if (!midi_file::LooksLikeMidi(bytes))
            return FailMusic(error, name + ": byte " + std::to_string(music->Offset) +
                                        ": the RIFF \"data\" chunk holds no Standard MIDI File");
    }
    music->Format = LooksLikeRumbleFile(bytes)    ? MusicFormat::RumbleFile
                    : midi_file::LooksLikeMidi(bytes) ? MusicFormat::Midi
                    : LooksLikeBinary(bytes)          ? MusicFormat::NotMusic
                                                      : MusicFormat::Tune;
    music->Bytes = std::move(bytes);
    return true;
}

bool ReadMusicFile(const MusicBytes& music, const std::string& name, MusicFile* file, MusicError* error)
{
    file->Format = music.Format;
    switch (music.Format) {
    case MusicFormat::RumbleFile: return ReadRumbleFile(music.Bytes, name, &file->Stream, error);
    case MusicFormat::NotMusic: return RefuseNotMusic(name, error);
    case MusicFormat::Midi: {
        midi_file::MidiError failure{};
        if (midi_file::ReadMidiFile(music.Bytes, &file->Song, &failure)) return true;
        return FailMusic(error, name + ": byte " + std::to_string(music.Offset + failure.Offset) + ": " + failure.Message);
    }
    case MusicFormat::Tune: break;
    }
    tune_text::TextError failure{};
    if (tune_text::ReadTuneText(music.Bytes, &file->Voices, &failure)) return true;
    return FailMusic(error, TuneFaultText(name, failure));
}

std::string TuneFaultText(const std::string& name, const tune_text::TextError& fault)
{
    return name + ":" + std::to_string(fault.Line) + ":" + std::to_string(fault.Column) + ": " + fault.Message;
}

bool RefuseNotMusic(const std::string& name, MusicError* error)
{
    return FailMusic(error, name + ": not a MIDI file and not a tune", true);
}

bool LooksLikeRumbleFile(const std::string& bytes) { return LooksLikeBnvib(bytes) || LooksLikeJcvib(bytes); }

bool ReadRumbleFile(const std::string& bytes, const std::string& name, RumbleStream* stream, MusicError* error)
{
    RumbleFileError failure{};
    const bool read = LooksLikeBnvib(bytes) ? ReadBnvib(bytes, stream, &failure) : ReadJcvib(bytes, stream, &failure);
    if (!read) return FailMusic(error, name + ": byte " + std::to_string(failure.Offset) + ": " + failure.Message);
    if (stream->Samples.empty()) return FailMusic(error, name + ": the file has no samples to play");
    return true;
}

bool LooksLikeBinary(const std::string& bytes)
{
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        // Tab, line feed, vertical tab, form feed and carriage return are text's own.
        if (IsControlByte(byte) && (byte < '\t' || byte > '\r')) return true;
    }
    return false;
}
