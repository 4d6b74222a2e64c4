// The fundamentals sounding in one spectrum: several notes at once, each found by the sum of its
// harmonics' strengths (so that a note's fundamental wins over its own louder overtones), then
// taken out of the spectrum before the next is looked for. The spectrum is whitened first, so
// that a loud low note does not hide a softer high one.
#pragma once

#include <cstddef>
#include <vector>

// Candidates lie on the rumble's tone-step grid (32 an octave above 10 Hz), from below the low
// band to an octave above the high band, so that what lies outside the bands folds into them.
constexpr int LowestPitchStep = 48;   // 28 Hz
constexpr int HighestPitchStep = 255; // 2510 Hz
constexpr int MostPitchLines = 4;

struct PitchLine {
    int Step;          // the fundamental's tone step
    float Salience;    // its harmonics' summed (whitened) strength
    float Amplitude;   // its harmonics' amplitude together, 1 for a full-scale sine
};

struct PitchSearch {
    int Bins = 0;                                   // magnitudes per spectrum
    double BinHz = 0;
    std::vector<int> Reach;                         // bins either side of each bin that set its whitening
    std::vector<double> Sums;                       // the power summed to each bin
    std::vector<float> Whitened;
    std::vector<float> Nearby;                      // the strongest whitened bin within Spread of each
    std::vector<int> Spread;                        // bins either side of a bin a partial may lie in
    std::vector<std::size_t> Queue;
    // Per candidate and harmonic, the bins its partial may lie in, and the harmonic's weight.
    std::vector<int> Centre, FirstBin, LastBin;
    std::vector<float> Weight;
    std::vector<int> Harmonics;                     // per candidate
    std::vector<float> Lobe;                        // the window's main lobe, by bins from its peak
    float AmplitudeScale = 0;                       // from a bin's magnitude to a sine's amplitude
};

// Prepares the search for spectra of bins magnitudes, binHz apart, of a signal windowed by a
// window whose samples sum to windowSum and whose main lobe (magnitude by bins from the peak,
// the peak 1) is lobe.
void StartPitchSearch(PitchSearch* search, int bins, double binHz, double windowSum, const std::vector<float>& lobe);

// The fundamentals in magnitudes, the most salient first; at most MostPitchLines, none weaker
// than a share of the first. Returns how many were found.
int FindPitchLines(PitchSearch* search, const float* magnitudes, PitchLine* lines);
