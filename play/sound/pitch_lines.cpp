#include "play/sound/pitch_lines.h"

#include "rumble/rumble_blocks.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double StepBaseHz = 10.0;
constexpr int MostHarmonics = 16;
constexpr double HighestPartialShare = 0.9;   // of the spectrum's top: partials above are not looked for
// Whitening: each bin is scaled by its neighbourhood's level (the mean power a third of an
// octave wide, never narrower than a span wider than a partial's lobe, so that the scale is
// even across a peak and does not tilt it) raised to a power below one.
constexpr double NeighbourhoodOctaves = 1.0 / 3;
constexpr double LeastNeighbourhoodHz = 120.0;
constexpr double WhiteningPower = 0.33;
constexpr double QuietestLevelShare = 1e-3;    // of the loudest neighbourhood: quieter ones are raised no further
constexpr float Tiny = 1e-12f;
// A harmonic's weight falls with its frequency, the more the higher the fundamental, so that a
// note's octave below (which owns every other partial of it) never outweighs the note.
constexpr double WeightAddedHz = 52.0;
constexpr double WeightPartialHz = 320.0;
constexpr double PartialReachOctaves = 1.0 / 64;  // half the grid's spacing either side
constexpr float WeakestLineShare = 0.3f;       // of the first line's salience: weaker ones are not lines
constexpr double RefineReachOctaves = 0.3;     // a partial's peak this near its candidate places it
constexpr float PlacingPartialShare = 0.1f;    // of the line's strongest partial: weaker ones do not place it
constexpr int SameLineSteps = 2;               // what the taking out left this near a line is that line's

double StepHz(int step) { return StepBaseHz * std::exp2(step / static_cast<double>(LogStepsPerOctave)); }

std::size_t Slot(int candidate, int harmonic)
{
    return static_cast<std::size_t>(candidate) * MostHarmonics + static_cast<std::size_t>(harmonic);
}

// The top of the peak that bin lies on in spectrum, where it lies no more than most bins away;
// else bin.
int PeakNear(const float* spectrum, int bins, int bin, int most)
{
    int k = bin;
    while (k + 1 < bins && spectrum[k + 1] > spectrum[k]) ++k;
    while (k > 0 && spectrum[k - 1] > spectrum[k]) --k;
    return std::abs(k - bin) <= most ? k : bin;
}

// The fundamental's step from where its partials' peaks lie in the sound's own spectrum (each
// placed between bins by a parabola through the log magnitudes around it), weighted by their
// magnitude: the candidates' grid is finer than a low note's lobe, and the weights and the
// whitening would tilt it.
int RefinedStep(const PitchSearch& s, const float* magnitudes, int candidate, const int* peakBin, const float* peak, int harmonics)
{
    const double f0 = StepHz(LowestPitchStep + candidate);
    float strongest = 0;
    for (int h = 0; h < harmonics; ++h) strongest = std::max(strongest, magnitudes[peakBin[h]]);
    double sum = 0, weights = 0;
    for (int h = 0; h < harmonics; ++h) {
        const int k = PeakNear(magnitudes, s.Bins, peakBin[h], static_cast<int>(s.Lobe.size()) / 2);
        // Weak partials are left out: in a weak one's place may lie another sound's skirt.
        if (peak[h] <= 0 || magnitudes[k] < PlacingPartialShare * strongest || k == 0 || k + 1 >= s.Bins) continue;
        const double below = std::log(magnitudes[k - 1] + Tiny);
        const double centre = std::log(magnitudes[k] + Tiny);
        const double above = std::log(magnitudes[k + 1] + Tiny);
        const double bend = below - 2 * centre + above;
        const double offset = bend < 0 ? std::clamp(0.5 * (below - above) / bend, -0.5, 0.5) : 0.0;
        const double hz = (k + offset) * s.BinHz / (h + 1);
        if (std::abs(std::log2(hz / f0)) > RefineReachOctaves) continue;
        sum += magnitudes[k] * hz;
        weights += magnitudes[k];
    }
    const double hz = weights > 0 ? sum / weights : f0;
    return static_cast<int>(std::lround(LogStepsPerOctave * std::log2(hz / StepBaseHz)));
}

}  // namespace

void StartPitchSearch(PitchSearch* search, int bins, double binHz, double windowSum, const std::vector<float>& lobe)
{
    PitchSearch& s = *search;
    s = PitchSearch{};
    s.Bins = bins;
    s.BinHz = binHz;
    s.Lobe = lobe;
    s.AmplitudeScale = static_cast<float>(2.0 / windowSum);
    const double topHz = (bins - 1) * binHz;
    s.Reach.resize(static_cast<std::size_t>(bins));
    for (int k = 0; k < bins; ++k) {
        const double width = std::max(LeastNeighbourhoodHz, k * binHz * (std::exp2(NeighbourhoodOctaves) - 1));
        s.Reach[static_cast<std::size_t>(k)] = std::max(1, static_cast<int>(std::lround(width / 2 / binHz)));
    }
    s.Whitened.resize(static_cast<std::size_t>(bins));
    s.Nearby.resize(static_cast<std::size_t>(bins));
    s.Queue.resize(static_cast<std::size_t>(bins));
    s.Spread.resize(static_cast<std::size_t>(bins));
    for (int k = 0; k < bins; ++k)
        s.Spread[static_cast<std::size_t>(k)] = static_cast<int>(k * (std::exp2(PartialReachOctaves) - 1));
    s.Sums.resize(static_cast<std::size_t>(bins) + 1);
    const int candidates = HighestPitchStep - LowestPitchStep + 1;
    s.Centre.assign(Slot(candidates, 0), 0);
    s.FirstBin.assign(Slot(candidates, 0), 0);
    s.LastBin.assign(Slot(candidates, 0), 0);
    s.Weight.assign(Slot(candidates, 0), 0.0f);
    s.Harmonics.assign(static_cast<std::size_t>(candidates), 0);
    for (int c = 0; c < candidates; ++c) {
        const double f0 = StepHz(LowestPitchStep + c);
        const int harmonics = std::min(MostHarmonics, static_cast<int>(HighestPartialShare * topHz / f0));
        s.Harmonics[static_cast<std::size_t>(c)] = std::max(0, harmonics);
        for (int h = 0; h < harmonics; ++h) {
            const double hz = (h + 1) * f0;
            int first = static_cast<int>(std::ceil(hz * std::exp2(-PartialReachOctaves) / binHz));
            int last = static_cast<int>(std::floor(hz * std::exp2(PartialReachOctaves) / binHz));
            if (first > last) first = last = static_cast<int>(std::lround(hz / binHz));
            s.Centre[Slot(c, h)] = std::clamp(static_cast<int>(std::lround(hz / binHz)), 0, bins - 1);
            s.FirstBin[Slot(c, h)] = std::clamp(first, 0, bins - 1);
            s.LastBin[Slot(c, h)] = std::clamp(last, 0, bins - 1);
            s.Weight[Slot(c, h)] = static_cast<float>((f0 + WeightAddedHz) / (hz + WeightPartialHz));
        }
    }
}

int FindPitchLines(PitchSearch* search, const float* magnitudes, PitchLine* lines)
{
    PitchSearch& s = *search;
    const std::size_t bins = static_cast<std::size_t>(s.Bins);
    s.Sums[0] = 0;
    for (std::size_t k = 0; k < bins; ++k) s.Sums[k + 1] = s.Sums[k] + static_cast<double>(magnitudes[k]) * magnitudes[k];
    double loudest = 0;
    for (std::size_t k = 0; k < bins; ++k) {
        const std::size_t from = k >= static_cast<std::size_t>(s.Reach[k]) ? k - static_cast<std::size_t>(s.Reach[k]) : 0;
        const std::size_t to = std::min(bins, k + static_cast<std::size_t>(s.Reach[k]) + 1);
        s.Whitened[k] = static_cast<float>((s.Sums[to] - s.Sums[from]) / static_cast<double>(to - from));
        loudest = std::max(loudest, static_cast<double>(s.Whitened[k]));
    }
    if (loudest <= Tiny) return 0;
    const float quietest = static_cast<float>(QuietestLevelShare * QuietestLevelShare * loudest);  // in power
    const float power = static_cast<float>((WhiteningPower - 1) / 2);
    for (std::size_t k = 0; k < bins; ++k) s.Whitened[k] = magnitudes[k] * std::exp(power * std::log(std::max(s.Whitened[k], quietest)));

    // Each round: the candidate whose harmonics sum strongest is a line; its partials (each no
    // stronger than its neighbours' mean, so that a partial another note shares is left to it) go.
    const int candidates = static_cast<int>(s.Harmonics.size());
    const int reach = static_cast<int>(s.Lobe.size()) - 1;
    const int climb = reach / 2;  // a partial's peak lies within half its lobe of where it is looked for
    int found = 0;
    float first = 0;
    while (found < MostPitchLines) {
        // Each bin's strongest neighbour within a candidate's reach, so that a candidate's sum
        // looks up one bin a harmonic. Both ends of the reach only move up with the bin, so a
        // queue of falling values finds each maximum in one pass.
        std::size_t head = 0, tail = 0, added = 0;
        for (std::size_t k = 0; k < bins; ++k) {
            const std::size_t spread = static_cast<std::size_t>(s.Spread[k]);
            for (; added < bins && added <= k + spread; ++added) {
                while (tail > head && s.Whitened[s.Queue[tail - 1]] <= s.Whitened[added]) --tail;
                s.Queue[tail++] = added;
            }
            while (s.Queue[head] + spread < k) ++head;
            s.Nearby[k] = s.Whitened[s.Queue[head]];
        }
        int best = -1;
        float bestSalience = 0;
        for (int c = 0; c < candidates; ++c) {
            bool taken = false;
            for (int i = 0; i < found; ++i) taken = taken || std::abs(LowestPitchStep + c - lines[i].Step) <= SameLineSteps;
            if (taken) continue;
            float salience = 0;
            const std::size_t first = Slot(c, 0);
            const std::size_t last = first + static_cast<std::size_t>(s.Harmonics[static_cast<std::size_t>(c)]);
            for (std::size_t i = first; i < last; ++i) salience += s.Weight[i] * s.Nearby[static_cast<std::size_t>(s.Centre[i])];
            if (salience > bestSalience) {
                bestSalience = salience;
                best = c;
            }
        }
        if (best < 0 || bestSalience < WeakestLineShare * first) break;
        if (found == 0) first = bestSalience;
        const int harmonics = s.Harmonics[static_cast<std::size_t>(best)];
        int peakBin[MostHarmonics];
        float peak[MostHarmonics];
        float energy = 0;
        for (int h = 0; h < harmonics; ++h) {
            peakBin[h] = s.FirstBin[Slot(best, h)];
            for (int k = peakBin[h] + 1; k <= s.LastBin[Slot(best, h)]; ++k)
                if (s.Whitened[static_cast<std::size_t>(k)] > s.Whitened[static_cast<std::size_t>(peakBin[h])]) peakBin[h] = k;
            // The partial's own peak, which may lie just outside the candidate's reach, but not
            // another partial's beyond it.
            peakBin[h] = PeakNear(s.Whitened.data(), s.Bins, peakBin[h], climb);
            peak[h] = s.Whitened[static_cast<std::size_t>(peakBin[h])];
            const float amplitude = s.AmplitudeScale * magnitudes[peakBin[h]];
            energy += amplitude * amplitude;
        }
        for (int h = 0; h < harmonics; ++h) {
            // The fundamental's partial is its own; a higher one may be another note's too: what
            // stands above the mean of it and its neighbours in the sound is left.
            float taken = peak[h];
            if (h > 0) {
                const float raw = magnitudes[peakBin[h]];
                const float after = h + 1 < harmonics ? magnitudes[peakBin[h + 1]] : raw;
                const float smooth = (magnitudes[peakBin[h - 1]] + raw + after) / 3;
                if (raw > smooth) taken *= smooth / raw;
            }
            for (int o = -reach; o <= reach; ++o) {
                const int k = peakBin[h] + o;
                if (k < 0 || k >= s.Bins) continue;
                float& w = s.Whitened[static_cast<std::size_t>(k)];
                w = std::max(0.0f, w - taken * s.Lobe[static_cast<std::size_t>(std::abs(o))]);
            }
        }
        lines[found++] = PitchLine{RefinedStep(s, magnitudes, best, peakBin, peak, harmonics), bestSalience, std::sqrt(energy)};
    }
    return found;
}
