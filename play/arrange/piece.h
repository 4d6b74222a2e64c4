// Music ready to schedule: each voice as the notes it sounds over time, in microseconds from
// the start, with the levels each band takes for it.
#pragma once

#include <string>
#include <vector>

// From AtUs on, until the voice's next step, the voice sounds Note (RestNote: nothing) at these
// levels (0-10) on the high and the low band.
struct VoiceStep {
    long long AtUs;
    int Note;
    int HighLevel;
    int LowLevel;
    int Channel = -1;  // the MIDI channel of the note, whose vibrato it takes
};

// From AtUs on, the notes of a MIDI channel waver this much: the modulation wheel's 0 (not at
// all) to 127.
struct VibratoSetting {
    long long AtUs;
    int Channel;
    int Depth;
};

// Something the listing points out: a note that cannot sound as written.
struct PieceNotice {
    int Line;
    int Column;
    std::string Text;
};

struct PieceVoice {
    std::vector<VoiceStep> Steps;  // in time order; silent after the last
    int Notes = 0;                 // notes that sound
    int Rests = 0;                 // rests, and notes played as rests
    long long LengthUs = 0;
};

struct Piece {
    std::vector<PieceVoice> Voices;
    std::vector<PieceNotice> Notices;
    long long LengthUs = 0;        // the longest voice's length
    std::vector<VibratoSetting> Vibrato;  // in time order
};

// How notes start and stop: each rises from silence over the attack and, once it ends, fades
// over the release (streamed, in 5 ms samples); 0 and 0: at once.
struct NoteShape {
    long long AttackUs = 0;
    long long ReleaseUs = 0;
};

constexpr long long LongestShapeUs = 2000000;
