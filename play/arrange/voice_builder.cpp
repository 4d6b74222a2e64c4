#include "play/arrange/voice_builder.h"

#include "common/time_units.h"
#include "playdata/player_state.h"
#include "rumble/tone_tables.h"

#include <algorithm>
#include <cstdio>

namespace {

using tune_text::Command;
using tune_text::CommandKind;


enum class BandUse { Both, HighOnly, LowOnly };

// "below" a band's reach when a higher note of the table is in it, else "above".
const char* SideOutOfReach(const bool* reaches, int note)
{
    for (int n = note + 1; n < NoteCount; ++n)
        if (reaches[n]) return "below";
    return "above";
}

class VoicePlayer {
public:
    VoicePlayer(BandUse use, int volumePercent, Piece* piece, tune_text::TextError* error)
        : use_(use), volume_(volumePercent), piece_(piece), error_(error)
    {
    }

    bool Play(const std::vector<Command>& commands, PieceVoice* voice)
    {
        voice_ = voice;
        std::vector<int> remaining(commands.size(), 0);  // repeats still to go, at each ']'
        for (std::size_t i = 0; i < commands.size(); ++i) {
            const Command& c = commands[i];
            if (++played_ > MaxCommandsPlayed) {
                *error_ = tune_text::TextError{c.Line, c.Column, "the repeats play too many commands"};
                return false;
            }
            if (c.Kind == CommandKind::RepeatOpen) {
                remaining[c.Partner] = commands[c.Partner].Number - 1;
            } else if (c.Kind == CommandKind::RepeatClose) {
                if (remaining[i] > 0) {
                    --remaining[i];
                    i = static_cast<std::size_t>(c.Partner);
                }
            } else if (!PlayCommand(c)) {
                return false;
            }
        }
        voice_->LengthUs = now_;
        piece_->LengthUs = std::max(piece_->LengthUs, now_);
        return true;
    }

private:
    BandUse use_;
    int volume_;
    Piece* piece_;
    tune_text::TextError* error_;
    PieceVoice* voice_ = nullptr;
    PlayerStateRecord state_{InitialUnitMs, InitialDefaultLength, InitialOctave};
    long long now_ = 0;
    std::size_t played_ = 0;  // commands played, repeats counted

    bool PlayCommand(const Command& c)
    {
        switch (c.Kind) {
        case CommandKind::OctaveDown:
            state_.Octave = std::clamp(state_.Octave - 1, MinOctave, MaxOctave);
            return true;
        case CommandKind::OctaveUp:
            state_.Octave = std::clamp(state_.Octave + 1, MinOctave, MaxOctave);
            return true;
        case CommandKind::UnitTime:
            if (c.HasNumber) state_.UnitMs = c.Number;
            if (state_.UnitMs <= 0) state_.UnitMs = UnitMsFallback;
            return true;
        case CommandKind::DefaultLength:
            if (c.HasNumber) state_.DefaultLength = std::clamp(c.Number, MinDefaultLength, MaxDefaultLength);
            return true;
        case CommandKind::Octave:
            if (c.HasNumber) state_.Octave = std::clamp(c.Number, MinOctave, MaxOctave);
            return true;
        case CommandKind::Rest:
            return Sound(c, RestNote, c.HasNumber ? c.Number : state_.DefaultLength);
        case CommandKind::Note: {
            int note = (state_.Octave - 1) * SemitonesPerOctave + c.Step;
            if (note < 0 || note >= NoteCount) {
                Notice(c, "outside the tone table (index " + std::to_string(note) + "): plays as a rest");
                note = RestNote;
            }
            return Sound(c, note, c.HasNumber ? c.Number : state_.DefaultLength);
        }
        default:
            return true;
        }
    }

    void Notice(const Command& c, const std::string& text)
    {
        for (const PieceNotice& n : piece_->Notices)
            if (n.Line == c.Line && n.Column == c.Column) return;  // once per place, not per repeat
        piece_->Notices.push_back(PieceNotice{c.Line, c.Column, text});
    }

    void NoteNotices(const Command& c, int note)
    {
        char hz[32];
        std::snprintf(hz, sizeof hz, "%.1f Hz", ToneFrequencies[note]);
        const bool high = use_ != BandUse::LowOnly;
        const bool low = use_ != BandUse::HighOnly;
        if (high && !HighBandReaches[note])
            Notice(c, std::string(hz) + ": " + SideOutOfReach(HighBandReaches, note) + " the high band's reach, which stays silent");
        if (low && !LowBandReaches[note])
            Notice(c, std::string(hz) + ": " + SideOutOfReach(LowBandReaches, note) + " the low band's reach, which stays silent");
        const int level = high ? HighLevelByNote[note] : LowLevelByNote[note];
        if (level == 0) Notice(c, std::string(hz) + ": the level table gives it no amplitude");
    }

    bool Step(const Command& c, long long at, int note, int highLevel, int lowLevel)
    {
        if (voice_->Steps.size() >= MaxPieceSteps) {
            *error_ = tune_text::TextError{c.Line, c.Column, "the piece has too many notes to schedule"};
            return false;
        }
        voice_->Steps.push_back(VoiceStep{at, note, highLevel, lowLevel});
        return true;
    }

    // A note of count units as the note player plays it (count - 1 units, then two halves, the
    // second softer), or a rest of count units; nothing for a count of 0 or less.
    bool Sound(const Command& c, int note, int count)
    {
        if (count <= 0) return true;
        const long long unitUs = state_.UnitMs * MicrosecondsPerMillisecond;
        const long long halfUs = state_.UnitMs / 2 * MicrosecondsPerMillisecond;
        const long long lengthUs = note < 0 ? count * unitUs : (count - 1) * unitUs + 2 * halfUs;
        if (lengthUs > MaxPieceLengthUs - now_) {
            *error_ = tune_text::TextError{c.Line, c.Column, "the piece would last longer than a day"};
            return false;
        }
        if (note < 0) {
            ++voice_->Rests;
            if (!Step(c, now_, RestNote, 0, 0)) return false;
        } else {
            ++voice_->Notes;
            NoteNotices(c, note);
            const int high = ScaleLevel(HighLevelByNote[note], volume_);
            const int low = ScaleLevel(LowLevelByNote[note], volume_);
            if (!Step(c, now_, note, high, low)) return false;
            if (!Step(c, now_ + (count - 1) * unitUs + halfUs, note, high / 2, low / 2)) return false;
            if (!Step(c, now_ + lengthUs, RestNote, 0, 0)) return false;
        }
        now_ += lengthUs;
        return true;
    }
};

}  // namespace

int ScaleLevel(int level, int volumePercent)
{
    if (volumePercent == FullVolumePercent) return level;
    const long long scaled = (static_cast<long long>(level) * volumePercent + FullVolumePercent / 2) / FullVolumePercent;
    return static_cast<int>(std::clamp(scaled, 0LL, static_cast<long long>(LevelCount - 1)));
}

bool BuildPiece(const std::vector<tune_text::Voice>& voices, int volumePercent, Piece* piece,
                tune_text::TextError* error)
{
    *piece = Piece{};
    for (std::size_t v = 0; v < voices.size(); ++v) {
        const BandUse use = voices.size() == 1 ? BandUse::Both : (v == 0 ? BandUse::HighOnly : BandUse::LowOnly);
        piece->Voices.emplace_back();
        if (!VoicePlayer(use, volumePercent, piece, error).Play(voices[v].Commands, &piece->Voices.back()))
            return false;
    }
    return true;
}
