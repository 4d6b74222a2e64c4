#include "rumble/tone_tables.h"

#include "controller/link.h"

#include <cmath>

namespace {

// Frequency codes count CodeStepsPerOctave steps an octave above this base frequency.
constexpr double CodeBaseHz = 10.0;
// Offsets of each band's code on that scale, and the largest code a band takes.
constexpr int HighBandOffset = 0x60;
constexpr int LowBandOffset = 0x40;
constexpr int MaxBandCode = 127;
// The high band code is sent shifted left by two.
constexpr int HighCodeScale = 4;

bool BandReaches(int t, int offset) { return t >= offset && t - offset <= MaxBandCode; }

int BandCode(int t, int offset)
{
    // Out of range falls to the band's lowest code, not its edge.
    return BandReaches(t, offset) ? t - offset : 0;
}

}  // namespace

// Equal temperament, A = 440 Hz at index 36, stored to six significant digits.
const double ToneFrequencies[NoteCount] = {
    55,      58.2705, 61.7354, 65.4064, 69.2957, 73.4162, 77.7817, 82.4069, 87.3071, 92.4986,
    97.9989, 103.826, 110,     116.541, 123.471, 130.813, 138.591, 146.832, 155.563, 164.814,
    174.614, 184.997, 195.998, 207.652, 220,     233.082, 246.942, 261.626, 277.183, 293.665,
    311.127, 329.628, 349.228, 369.994, 391.995, 415.305, 440,     466.164, 493.883, 523.251,
    554.365, 587.33,  622.254, 659.255, 698.456, 739.989, 783.991, 830.609, 880,     932.328,
    987.767, 1046.5,  1108.73, 1174.66, 1244.51, 1318.51, 1396.91, 1479.98, 1567.98, 1661.22,
};

int HighFrequencyCodes[NoteCount];
int LowFrequencyCodes[NoteCount];

const unsigned char HighAmplitudeCodes[LevelCount] = {
    0x00, 0x1C, 0x38, 0x58, 0x74, 0x88, 0x98, 0xA8, 0xB4, 0xC0, 0xC8,
};

const unsigned char LowAmplitudeCodes[LevelCount] = {
    0x40, 0x47, 0x4E, 0x56, 0x5D, 0x62, 0x66, 0x6A, 0x6D, 0x70, 0x72,
};

// Notes below 110 Hz stay silent; the rest are evened out for the motor's response.
const int HighLevelByNote[NoteCount] = {
    0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
    10, 10, 9,  8,  8,  7,  5,  3,  2,  3,  4,  5,
    6,  7,  7,  7,  7,  7,  7,  4,  4,  9,  9,  9,
    8,  10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10,
    10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10,
};

const int LowLevelByNote[NoteCount] = {
    0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
    10, 10, 9,  8,  8,  7,  5,  3,  2,  3,  4,  5,
    6,  7,  7,  7,  7,  7,  7,  4,  4,  9,  9,  9,
    8,  10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10,
    10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10,
};

bool HighBandReaches[NoteCount];
bool LowBandReaches[NoteCount];

void BuildToneTables()
{
    for (int i = 0; i < NoteCount; ++i) {
        int t = static_cast<int>(std::log2(ToneFrequencies[i] / CodeBaseHz) * CodeStepsPerOctave);
        HighFrequencyCodes[i] = BandCode(t, HighBandOffset) * HighCodeScale;
        LowFrequencyCodes[i] = BandCode(t, LowBandOffset);
        HighBandReaches[i] = BandReaches(t, HighBandOffset);
        LowBandReaches[i] = BandReaches(t, LowBandOffset);
    }
}

RumbleBytes FormRumbleBytes(int note, int highLevel, int lowLevel)
{
    int highCode = HighFrequencyCodes[note];
    // Bit 8 of the high code lands in bit 0 of byte 1, beside the even amplitude code.
    return RumbleBytes{{
        static_cast<unsigned char>(highCode & 0xFF),
        static_cast<unsigned char>((highCode >> 8) + HighAmplitudeCodes[highLevel]),
        static_cast<unsigned char>(LowFrequencyCodes[note]),
        LowAmplitudeCodes[lowLevel],
    }};
}

RumbleBytes FormBandRumbleBytes(int highNote, int highLevel, int lowNote, int lowLevel)
{
    const bool highSounds = highNote >= 0 && highNote < NoteCount && HighBandReaches[highNote];
    const bool lowSounds = lowNote >= 0 && lowNote < NoteCount && LowBandReaches[lowNote];
    const RumbleBytes high = highSounds ? FormRumbleBytes(highNote, highLevel, 0) : RumbleBytes{};
    const RumbleBytes low = lowSounds ? FormRumbleBytes(lowNote, 0, lowLevel) : RumbleBytes{};
    return RumbleBytes{{
        highSounds ? high.Bytes[0] : SilenceRumble[0],
        highSounds ? high.Bytes[1] : SilenceRumble[1],
        lowSounds ? low.Bytes[2] : SilenceRumble[2],
        lowSounds ? low.Bytes[3] : SilenceRumble[3],
    }};
}

RumbleBytes FormBentRumbleBytes(int highNote, int highLevel, int highSteps, int lowNote, int lowLevel, int lowSteps)
{
    RumbleBytes bytes = FormBandRumbleBytes(highNote, highLevel, lowNote, lowLevel);
    const auto held = [](int code) { return code < 0 ? 0 : (code > MaxBandCode ? MaxBandCode : code); };
    if (highSteps != 0 && highNote >= 0 && highNote < NoteCount && HighBandReaches[highNote]) {
        const int code = held(HighFrequencyCodes[highNote] / HighCodeScale + highSteps) * HighCodeScale;
        bytes.Bytes[0] = static_cast<unsigned char>(code & 0xFF);
        bytes.Bytes[1] = static_cast<unsigned char>((code >> 8) + HighAmplitudeCodes[highLevel]);
    }
    if (lowSteps != 0 && lowNote >= 0 && lowNote < NoteCount && LowBandReaches[lowNote])
        bytes.Bytes[2] = static_cast<unsigned char>(held(LowFrequencyCodes[lowNote] + lowSteps));
    return bytes;
}
