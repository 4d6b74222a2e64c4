#include "rumble/rumble_blocks.h"

#include "common/byte_order.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>

namespace {

constexpr int BlockBytes = 4;
constexpr int FormShift = 30;
constexpr std::uint32_t FormOneOrThree7Bit = 1;  // one 5-bit, one 7-bit or three (the first 7-bit)
constexpr std::uint32_t FormTwo = 2;             // two 5-bit, or two with a 7-bit band
constexpr std::uint32_t FormThree5Bit = 3;
constexpr int CodeBits7 = 7;
constexpr int CommandBits = 5;
constexpr int CommandCount = 1 << CommandBits;
constexpr int CodeCount7 = 1 << CodeBits7;
constexpr int FrequencyCodeOffset = 64;  // 7-bit frequency code 64 is the band's centre
// The bands' centres as tone steps (32 to an octave above 10 Hz): 320 Hz and 160 Hz.
constexpr int HighBandToneOffset = 160;
constexpr int LowBandToneOffset = 128;

// Where the fields lie in the u32, from bit 0. The 5-bit forms: each sample's high and low
// command, the first sample's highest; the one- and two-sample forms leave the low bits zero.
constexpr int FirstHigh = 20;
constexpr int FirstLow = 25;
constexpr int SecondHigh = 10;
constexpr int SecondLow = 15;
constexpr int ThirdHigh = 0;
constexpr int ThirdLow = 5;
constexpr int One5BitPadding = 20;
constexpr int Two5BitPadding = 10;
// One sample of 7-bit codes (its two lowest bits zero).
constexpr int One7BitPadding = 2;
constexpr int OneHighFrequency = 2;
constexpr int OneHighAmplitude = 9;
constexpr int OneLowFrequency = 16;
constexpr int OneLowAmplitude = 23;
// Three samples, the first a 7-bit code: bit 0 says the high band, bit 1 is always set, bit 2
// says the frequency; the code at the top, the later samples' commands between.
constexpr int SelectsHigh = 0;
constexpr int ThreeMarker = 1;
constexpr int ThreeSetsFrequency = 2;
constexpr int ThreeThirdHigh = 3;
constexpr int ThreeThirdLow = 8;
constexpr int ThreeSecondHigh = 13;
constexpr int ThreeSecondLow = 18;
constexpr int ThreeCode = 23;
// Two samples, the first setting one band by its 7-bit frequency and amplitude codes.
constexpr int TwoFrequency = 1;
constexpr int TwoSecondHigh = 8;
constexpr int TwoSecondLow = 13;
constexpr int TwoOther = 18;
constexpr int TwoAmplitude = 23;

// 7-bit amplitude codes: 0 is still; then steps of 1/4, 1/16 and 1/32 octave, finer as they
// get louder; code 100 is the safe maximum.
constexpr int AmplitudeCoarseEnd = 16;
constexpr int AmplitudeMediumEnd = 32;
constexpr int AmplitudeCoarseStep = 8;
constexpr int AmplitudeCoarseBase = -248;
constexpr int AmplitudeMediumStep = 2;
constexpr int AmplitudeMediumBase = -158;
constexpr int AmplitudeFineBase = -127;

// What a 5-bit command does to a band's amplitude or frequency.
enum class Action { Keep, Reset, Set, Step };

struct Command {
    Action AmplitudeAction;
    int Amplitude;
    Action FrequencyAction;
    int Frequency;
};

// The 32 commands, in 1/32 octave: 0 resets the band (still, at its centre); 1-11 set the
// amplitude (1 and 2 above the safe maximum); 12-16 set the frequency; 17-31 step either or both.
constexpr Command Commands[CommandCount] = {
    {Action::Reset, 0, Action::Reset, 0},     {Action::Set, 0, Action::Keep, 0},
    {Action::Set, -16, Action::Keep, 0},      {Action::Set, -32, Action::Keep, 0},
    {Action::Set, -48, Action::Keep, 0},      {Action::Set, -64, Action::Keep, 0},
    {Action::Set, -80, Action::Keep, 0},      {Action::Set, -96, Action::Keep, 0},
    {Action::Set, -112, Action::Keep, 0},     {Action::Set, -128, Action::Keep, 0},
    {Action::Set, -144, Action::Keep, 0},     {Action::Set, -160, Action::Keep, 0},
    {Action::Keep, 0, Action::Set, -12},      {Action::Keep, 0, Action::Set, -6},
    {Action::Keep, 0, Action::Set, 0},        {Action::Keep, 0, Action::Set, 6},
    {Action::Keep, 0, Action::Set, 12},       {Action::Step, 4, Action::Step, 1},
    {Action::Step, 4, Action::Keep, 0},       {Action::Step, 4, Action::Step, -1},
    {Action::Step, 1, Action::Step, 1},       {Action::Step, 1, Action::Keep, 0},
    {Action::Step, 1, Action::Step, -1},      {Action::Keep, 0, Action::Step, 1},
    {Action::Keep, 0, Action::Keep, 0},       {Action::Keep, 0, Action::Step, -1},
    {Action::Step, -1, Action::Step, 1},      {Action::Step, -1, Action::Keep, 0},
    {Action::Step, -1, Action::Step, -1},     {Action::Step, -4, Action::Step, 1},
    {Action::Step, -4, Action::Keep, 0},      {Action::Step, -4, Action::Step, -1},
};
constexpr int KeepCommand = 24;

int Clamp(int value, int low, int high) { return value < low ? low : (value > high ? high : value); }

int Apply(Action action, int value, int current, int reset, int low, int high)
{
    switch (action) {
    case Action::Keep: return current;
    case Action::Reset: return reset;
    case Action::Set: return value;
    case Action::Step: return Clamp(current + value, low, high);
    }
    return current;
}

void ApplyCommand(BandLevel& band, unsigned command)
{
    const Command& c = Commands[command];
    band.Amplitude = Apply(c.AmplitudeAction, c.Amplitude, band.Amplitude, SilentAmplitude, SilentAmplitude, FullAmplitude);
    band.Frequency = Apply(c.FrequencyAction, c.Frequency, band.Frequency, 0, LowestFrequency, HighestFrequency);
}

int AmplitudeOfCode(unsigned code)
{
    const int i = static_cast<int>(code);
    if (i == 0) return SilentAmplitude;
    if (i < AmplitudeCoarseEnd) return AmplitudeCoarseStep * i + AmplitudeCoarseBase;
    if (i < AmplitudeMediumEnd) return AmplitudeMediumStep * i + AmplitudeMediumBase;
    return i + AmplitudeFineBase;
}

int FrequencyOfCode(unsigned code) { return static_cast<int>(code) - FrequencyCodeOffset; }

// The 7-bit amplitude code nearest amplitude, never above the safe maximum.
unsigned CodeOfAmplitude(int amplitude)
{
    unsigned best = 0;
    for (unsigned code = 0; code < CodeCount7; ++code) {
        const int a = AmplitudeOfCode(code);
        if (a > SafeMaximumAmplitude) break;
        if (std::abs(a - amplitude) < std::abs(AmplitudeOfCode(best) - amplitude)) best = code;
    }
    return best;
}

// The highest 7-bit amplitude code at or below amplitude (and the safe maximum).
unsigned CodeAtOrBelowAmplitude(int amplitude)
{
    unsigned best = 0;
    for (unsigned code = 1; code < CodeCount7; ++code) {
        const int a = AmplitudeOfCode(code);
        if (a > SafeMaximumAmplitude || a > amplitude) break;
        best = code;
    }
    return best;
}

unsigned CodeOfFrequency(int frequency)
{
    return static_cast<unsigned>(Clamp(frequency + FrequencyCodeOffset, 0, CodeCount7 - 1));
}

std::uint32_t Field(std::uint32_t value, int low, int bits) { return (value >> low) & ((1u << bits) - 1); }

std::uint32_t Put(std::uint32_t value, int low) { return value << low; }

int BandError(const BandLevel& wanted, const BandLevel& played)
{
    const bool wantedSounds = wanted.Amplitude >= QuietestAmplitude;
    const bool playedSounds = played.Amplitude >= QuietestAmplitude;
    if (!wantedSounds && !playedSounds) return 0;
    const int amplitude = std::abs((wantedSounds ? wanted.Amplitude : SilentAmplitude) -
                                   (playedSounds ? played.Amplitude : SilentAmplitude));
    return amplitude + (wantedSounds && playedSounds ? std::abs(wanted.Frequency - played.Frequency) : 0);
}

// The commands (for samples first..2) that play a band's wanted levels with the least error
// from start, none above the safe maximum; their total error. A search of every sequence: 32^3
// at most, a band's commands acting on that band alone.
int BestCommands(const BandLevel* wanted, BandLevel start, int first, unsigned* commands)
{
    int bestError = -1;
    unsigned sequence[MaxSamplesPerBlock] = {KeepCommand, KeepCommand, KeepCommand};
    const auto search = [&](auto& self, int sample, BandLevel state, int error) -> void {
        if (bestError >= 0 && error >= bestError) return;
        if (sample == MaxSamplesPerBlock) {
            bestError = error;
            for (int k = first; k < MaxSamplesPerBlock; ++k) commands[k] = sequence[k];
            return;
        }
        for (unsigned c = 0; c < CommandCount; ++c) {
            BandLevel next = state;
            ApplyCommand(next, c);
            if (next.Amplitude > SafeMaximumAmplitude) continue;
            sequence[sample] = c;
            self(self, sample + 1, next, error + BandError(wanted[sample], next));
        }
    };
    search(search, first, start, 0);
    return bestError;
}

void StoreBlock(std::uint32_t value, unsigned char* block)
{
    StoreLittleEndian(value, block, BlockBytes);
}

// The samples a block plays over the three sample times (a shorter block's last one holds),
// their error against wanted, and the state after; -1 when any is above the safe maximum.
int BlockError(const unsigned char* block, const RumbleSample* wanted, RumbleSample* state)
{
    RumbleSample samples[MaxSamplesPerBlock];
    const int count = DecodeRumbleBlock(block, state, samples);
    if (count == 0) return -1;
    int error = 0;
    for (int k = 0; k < MaxSamplesPerBlock; ++k) {
        const RumbleSample& played = samples[k < count ? k : count - 1];
        if (played.High.Amplitude > SafeMaximumAmplitude || played.Low.Amplitude > SafeMaximumAmplitude) return -1;
        error += SampleError(wanted[k], played);
    }
    return error;
}

// The one-sample block of 7-bit codes for sample, each amplitude's code as codeOfAmplitude picks
// it. A still band's frequency code is never 0, so that the block cannot be taken for a one-sample
// block of 5-bit commands (whose low 20 bits are zero).
std::uint32_t AbsoluteBlock(const RumbleSample& sample, unsigned (*codeOfAmplitude)(int))
{
    const unsigned highAmplitude = codeOfAmplitude(sample.High.Amplitude);
    unsigned highFrequency = CodeOfFrequency(sample.High.Frequency);
    if (highAmplitude == 0 && highFrequency == 0) highFrequency = FrequencyCodeOffset;
    return Put(FormOneOrThree7Bit, FormShift) | Put(codeOfAmplitude(sample.Low.Amplitude), OneLowAmplitude) |
           Put(CodeOfFrequency(sample.Low.Frequency), OneLowFrequency) | Put(highAmplitude, OneHighAmplitude) |
           Put(highFrequency, OneHighFrequency);
}

std::uint32_t BlockValue(const unsigned char* block)
{
    return LittleEndianAt(block, BlockBytes);
}

}  // namespace

void EncodeAbsoluteRumbleBlock(const RumbleSample& wanted, RumbleSample* state, unsigned char* block)
{
    StoreBlock(AbsoluteBlock(wanted, CodeOfAmplitude), block);
    RumbleSample samples[MaxSamplesPerBlock];
    DecodeRumbleBlock(block, state, samples);
}

void EncodeStateRumbleBlock(const RumbleSample& state, unsigned char* block)
{
    StoreBlock(AbsoluteBlock(state, CodeAtOrBelowAmplitude), block);
}

bool IsAbsoluteRumbleBlock(const unsigned char* block)
{
    const std::uint32_t v = BlockValue(block);
    return v >> FormShift == FormOneOrThree7Bit && Field(v, 0, One5BitPadding) != 0 && Field(v, 0, One7BitPadding) == 0;
}

int DecodeRumbleBlock(const unsigned char* block, RumbleSample* state, RumbleSample* samples)
{
    const std::uint32_t v = BlockValue(block);
    BandLevel& high = state->High;
    BandLevel& low = state->Low;
    const auto step = [&](int highAt, int lowAt) {
        ApplyCommand(high, Field(v, highAt, CommandBits));
        ApplyCommand(low, Field(v, lowAt, CommandBits));
    };
    switch (v >> FormShift) {
    case FormOneOrThree7Bit:
        if (Field(v, 0, One5BitPadding) == 0) {  // one sample of 5-bit commands
            step(FirstHigh, FirstLow);
            samples[0] = *state;
            return 1;
        }
        if (Field(v, 0, One7BitPadding) == 0) {  // one sample of 7-bit codes: the form tavrel sends
            high.Frequency = FrequencyOfCode(Field(v, OneHighFrequency, CodeBits7));
            high.Amplitude = AmplitudeOfCode(Field(v, OneHighAmplitude, CodeBits7));
            low.Frequency = FrequencyOfCode(Field(v, OneLowFrequency, CodeBits7));
            low.Amplitude = AmplitudeOfCode(Field(v, OneLowAmplitude, CodeBits7));
            samples[0] = *state;
            return 1;
        }
        {  // three samples: the first sets one value by a 7-bit code, the others step both bands
            BandLevel& band = Field(v, SelectsHigh, 1) != 0 ? high : low;
            const unsigned code = Field(v, ThreeCode, CodeBits7);
            if (Field(v, ThreeSetsFrequency, 1) != 0)
                band.Frequency = FrequencyOfCode(code);
            else
                band.Amplitude = AmplitudeOfCode(code);
            samples[0] = *state;
            step(ThreeSecondHigh, ThreeSecondLow);
            samples[1] = *state;
            step(ThreeThirdHigh, ThreeThirdLow);
            samples[2] = *state;
            return 3;
        }
    case FormTwo:
        if (Field(v, 0, Two5BitPadding) == 0) {  // two samples of 5-bit commands
            step(FirstHigh, FirstLow);
            samples[0] = *state;
            step(SecondHigh, SecondLow);
            samples[1] = *state;
            return 2;
        }
        {  // the first sets one band by 7-bit codes and steps the other
            const bool setsHigh = Field(v, SelectsHigh, 1) != 0;
            BandLevel& set = setsHigh ? high : low;
            set.Amplitude = AmplitudeOfCode(Field(v, TwoAmplitude, CodeBits7));
            set.Frequency = FrequencyOfCode(Field(v, TwoFrequency, CodeBits7));
            ApplyCommand(setsHigh ? low : high, Field(v, TwoOther, CommandBits));
            samples[0] = *state;
            step(TwoSecondHigh, TwoSecondLow);
            samples[1] = *state;
            return 2;
        }
    case FormThree5Bit:
        step(FirstHigh, FirstLow);
        samples[0] = *state;
        step(SecondHigh, SecondLow);
        samples[1] = *state;
        step(ThirdHigh, ThirdLow);
        samples[2] = *state;
        return 3;
    default: return 0;
    }
}

void EncodeRumbleBlock(const RumbleSample* wanted, RumbleSample* state, unsigned char* block)
{
    RumbleSample goal[MaxSamplesPerBlock];
    for (int k = 0; k < MaxSamplesPerBlock; ++k) {
        goal[k] = wanted[k];
        for (BandLevel* band : {&goal[k].High, &goal[k].Low}) {
            band->Amplitude = Clamp(band->Amplitude, SilentAmplitude, SafeMaximumAmplitude);
            band->Frequency = Clamp(band->Frequency, LowestFrequency, HighestFrequency - 1);
        }
    }
    BandLevel highs[MaxSamplesPerBlock];
    BandLevel lows[MaxSamplesPerBlock];
    for (int k = 0; k < MaxSamplesPerBlock; ++k) {
        highs[k] = goal[k].High;
        lows[k] = goal[k].Low;
    }
    unsigned char candidate[BlockBytes];
    unsigned char best[BlockBytes] = {};
    int bestError = -1;
    RumbleSample bestState = *state;
    const auto consider = [&](std::uint32_t value) {
        StoreBlock(value, candidate);
        RumbleSample after = *state;
        const int error = BlockError(candidate, goal, &after);
        if (error < 0 || (bestError >= 0 && error >= bestError)) return;
        bestError = error;
        bestState = after;
        for (int i = 0; i < BlockBytes; ++i) best[i] = candidate[i];
    };

    // Three samples of 5-bit commands.
    unsigned highCommands[MaxSamplesPerBlock] = {KeepCommand, KeepCommand, KeepCommand};
    unsigned lowCommands[MaxSamplesPerBlock] = {KeepCommand, KeepCommand, KeepCommand};
    BestCommands(highs, state->High, 0, highCommands);
    BestCommands(lows, state->Low, 0, lowCommands);
    consider(Put(FormThree5Bit, FormShift) | Put(lowCommands[0], FirstLow) | Put(highCommands[0], FirstHigh) |
             Put(lowCommands[1], SecondLow) | Put(highCommands[1], SecondHigh) | Put(lowCommands[2], ThirdLow) |
             Put(highCommands[2], ThirdHigh));

    // Three samples, the first setting one of the four values by its 7-bit code.
    for (const bool setHigh : {true, false}) {
        for (const bool setFrequency : {true, false}) {
            RumbleSample first = *state;
            BandLevel& band = setHigh ? first.High : first.Low;
            const BandLevel& aim = setHigh ? goal[0].High : goal[0].Low;
            const unsigned code = setFrequency ? CodeOfFrequency(aim.Frequency) : CodeOfAmplitude(aim.Amplitude);
            if (setFrequency)
                band.Frequency = FrequencyOfCode(code);
            else
                band.Amplitude = AmplitudeOfCode(code);
            BestCommands(highs, first.High, 1, highCommands);
            BestCommands(lows, first.Low, 1, lowCommands);
            consider(Put(FormOneOrThree7Bit, FormShift) | Put(code, ThreeCode) | Put(lowCommands[1], ThreeSecondLow) |
                     Put(highCommands[1], ThreeSecondHigh) | Put(lowCommands[2], ThreeThirdLow) |
                     Put(highCommands[2], ThreeThirdHigh) | Put(setFrequency ? 1 : 0, ThreeSetsFrequency) |
                     Put(1, ThreeMarker) | Put(setHigh ? 1 : 0, SelectsHigh));
        }
    }

    // One sample of 7-bit codes, held for the three.
    consider(AbsoluteBlock(goal[0], CodeOfAmplitude));

    for (int i = 0; i < BlockBytes; ++i) block[i] = best[i];
    *state = bestState;
}

int SampleError(const RumbleSample& wanted, const RumbleSample& played)
{
    return BandError(wanted.High, played.High) + BandError(wanted.Low, played.Low);
}

double AmplitudeShare(int amplitude)
{
    return amplitude < QuietestAmplitude ? 0.0 : std::exp2(static_cast<double>(amplitude) / LogStepsPerOctave);
}

double FrequencyHz(int frequency, bool high)
{
    return (high ? HighBandCentreHz : LowBandCentreHz) * std::exp2(static_cast<double>(frequency) / LogStepsPerOctave);
}

int FrequencyOfToneStep(int toneStep, bool high) { return toneStep - (high ? HighBandToneOffset : LowBandToneOffset); }

int ToneStepOfFrequency(int frequency, bool high) { return frequency + (high ? HighBandToneOffset : LowBandToneOffset); }
