// What the controller's rumble codes stand for: the frequency and the amplitude of each band.
//
// One rumble block is four bytes r0 r1 r2 r3:
//   high band frequency code = r0 | ((r1 & 1) << 8)   (9 bits)
//   high band amplitude code = r1 & 0xFE
//   low band frequency code  = r2 & 0x7F
//   low band amplitude code  = r3
// The controller also takes bit 7 of r2 as the lowest bit of the low band amplitude; we
// ignore it and read the low amplitude from r3 alone, in steps of two fine steps.
#pragma once

struct BandTone {
    int FrequencyCode;
    int AmplitudeCode;
    double FrequencyHz;
    double Amplitude;  // 1.0 at the largest safe code, 0 when silent
};

struct RumbleTone {
    BandTone High;
    BandTone Low;
};

// 10 Hz x 2^(t/32) with t = code/4 + 96 (high band) or t = code + 64 (low band).
double HighBandFrequency(int code);
double LowBandFrequency(int code);

// Amplitude of an amplitude code. Both bands count in the same fine steps s: s = code / 2 for
// the high band (0x00 to 0xFE), s = 2 x (code - 0x40) for the low band (0x40 to 0x72, held to
// 0 below 0x40 and to the high band's top step above). See AmplitudeOfStep.
double HighBandAmplitude(int code);
double LowBandAmplitude(int code);

// The amplitude curve over fine steps 0 to 127, rising through the published points
// (step 0: 0, step 14: 0.095, step 15: 0.112, step 16: 0.117, step 32: 0.23, step 100: 1.0):
//   step 0          0
//   steps 1 to 15   0.01 x 2^((s - 1) / 4)                 (doubles every 4 steps)
//   steps 16 to 32  geometric from 0.117 to the value at 32 (doubles about every 16 steps)
//   steps 32 up     2^((s - 100) / 32)                     (doubles every 32 steps)
// Strictly rising, so a larger code is always louder.
double AmplitudeOfStep(int step);

RumbleTone DecodeRumbleBlock(unsigned char r0, unsigned char r1, unsigned char r2,
                             unsigned char r3);
