// The rumble block's every form, both ways. A block is a little-endian u32 whose top two bits
// give its form: besides the one-sample form (both bands' 7-bit frequency and amplitude codes),
// forms carry one, two or three samples, each played 5 ms after the one before. 7-bit codes set
// a band's frequency or amplitude outright; 5-bit commands set or step each band's running
// state. The controller keeps that state from block to block, so the decoder does too.
// Facts from public decodes of the controller's behaviour (ndeadly/MissionControl's HD rumble
// decoder; HandHeldLegend/HOJA-LIB-RP2040's haptics); the code is our own.
#pragma once

#include "rumble/tone_tables.h"

// Levels count in 1/32 of an octave (log2 units of 1/32): an amplitude from SilentAmplitude (off)
// to 0 (full, far above what is safe), a frequency around the band's centre (320 Hz for the high
// band, 160 Hz for the low), -64 to 64.
constexpr int LogStepsPerOctave = 32;
constexpr int SilentAmplitude = -256;
constexpr int FullAmplitude = 0;
constexpr int LowestFrequency = -64;
constexpr int HighestFrequency = 64;
// Amplitude code 100 (-0.84 in log2), level 10 of the level tables: nothing may play louder.
constexpr int SafeMaximumAmplitude = -27;
// Below this the actuator is still: the quietest amplitude that sounds.
constexpr int QuietestAmplitude = -254;
constexpr double HighBandCentreHz = 320.0;
constexpr double LowBandCentreHz = 160.0;

constexpr int MaxSamplesPerBlock = 3;
constexpr int SampleSpacingUs = 5000;

struct BandLevel {
    int Amplitude;
    int Frequency;
};

// What an actuator plays for 5 ms, and the running state a controller keeps between samples.
struct RumbleSample {
    BandLevel High;
    BandLevel Low;
};

// The state a controller starts in: both bands still, at their centre.
constexpr RumbleSample RestingRumbleSample = {{SilentAmplitude, 0}, {SilentAmplitude, 0}};

// Plays block on state as a controller does; stores the samples it makes (0 to 3) and returns
// how many.
int DecodeRumbleBlock(const unsigned char* block, RumbleSample* state, RumbleSample* samples);

// The block that plays the next samples (wanted[0] now, wanted[1] and wanted[2] 5 and 10 ms
// later) from state with the least error, among the three-sample forms and the one-sample form
// (whose sample then holds for the other two); never above SafeMaximumAmplitude, whatever is
// wanted. Moves state on as the controller will, so that errors do not pile up.
void EncodeRumbleBlock(const RumbleSample* wanted, RumbleSample* state, unsigned char* block);

// The one-sample block of 7-bit codes that sets both bands to wanted outright (never above
// SafeMaximumAmplitude), whatever the controller played before; moves state on.
void EncodeAbsoluteRumbleBlock(const RumbleSample& wanted, RumbleSample* state, unsigned char* block);

// The one-sample block of 7-bit codes that puts a controller in state whatever it played before,
// each amplitude as near as the codes come without being louder: blocks that step on from state
// then never play louder than they would have from state itself.
void EncodeStateRumbleBlock(const RumbleSample& state, unsigned char* block);

// Whether block sets both bands outright, so that what it plays does not hang on the state
// before it.
bool IsAbsoluteRumbleBlock(const unsigned char* block);

// The error of playing played where wanted was meant, in 1/32 octave: amplitude and, where
// either sounds, frequency.
int SampleError(const RumbleSample& wanted, const RumbleSample& played);

// A band level's amplitude as a share of full (0 when still) and its frequency in Hz.
double AmplitudeShare(int amplitude);
double FrequencyHz(int frequency, bool high);

// A tone step (CodeStepsPerOctave above 10 Hz, as the tone tables count) as a band's frequency,
// and back.
int FrequencyOfToneStep(int toneStep, bool high);
int ToneStepOfFrequency(int frequency, bool high);
