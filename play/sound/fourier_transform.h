// The magnitude spectrum of a real signal, by a radix-2 fast Fourier transform of half the length
// on the signal's even and odd samples taken as one complex signal. Written here because the
// libraries packaged for every build (Linux, Windows, the browser's WebAssembly) offer no FFT.
#pragma once

#include <cstddef>
#include <vector>

struct FourierTransform {
    std::size_t Size = 0;                  // real samples in, a power of two
    std::vector<float> TurnRe, TurnIm;     // e^(-2 pi i k / Size), k < Size / 2
    std::vector<std::size_t> Reversed;     // bit-reversed order of the half-length transform
    std::vector<float> Re, Im;             // the half-length transform's work
};

// Prepares a transform of size real samples (a power of two, at least 4).
void StartFourierTransform(FourierTransform* transform, std::size_t size);

// The magnitudes of bins 0 to Size / 2 of signal (Size samples) into magnitudes (Size / 2 + 1).
void MagnitudeSpectrum(FourierTransform* transform, const float* signal, float* magnitudes);
