#include "play/sound/fourier_transform.h"

#include <cmath>

namespace {

constexpr double Pi = 3.14159265358979323846;

}  // namespace

void StartFourierTransform(FourierTransform* transform, std::size_t size)
{
    FourierTransform& t = *transform;
    t.Size = size;
    const std::size_t half = size / 2;
    t.TurnRe.resize(half);
    t.TurnIm.resize(half);
    for (std::size_t k = 0; k < half; ++k) {
        const double angle = -2 * Pi * static_cast<double>(k) / static_cast<double>(size);
        t.TurnRe[k] = static_cast<float>(std::cos(angle));
        t.TurnIm[k] = static_cast<float>(std::sin(angle));
    }
    t.Reversed.resize(half);
    std::size_t bits = 0;
    while ((std::size_t{1} << bits) < half) ++bits;
    for (std::size_t k = 0; k < half; ++k) {
        std::size_t r = 0;
        for (std::size_t b = 0; b < bits; ++b)
            if (k & (std::size_t{1} << b)) r |= std::size_t{1} << (bits - 1 - b);
        t.Reversed[k] = r;
    }
    t.Re.resize(half);
    t.Im.resize(half);
}

void MagnitudeSpectrum(FourierTransform* transform, const float* signal, float* magnitudes)
{
    FourierTransform& t = *transform;
    const std::size_t half = t.Size / 2;
    float* re = t.Re.data();
    float* im = t.Im.data();
    for (std::size_t k = 0; k < half; ++k) {
        re[t.Reversed[k]] = signal[2 * k];
        im[t.Reversed[k]] = signal[2 * k + 1];
    }
    // Iterative butterflies; the half-length transform's turns are every other one of the full.
    for (std::size_t span = 1; span < half; span *= 2) {
        const std::size_t stride = half / span;
        for (std::size_t start = 0; start < half; start += 2 * span)
            for (std::size_t j = 0; j < span; ++j) {
                const std::size_t a = start + j;
                const std::size_t b = a + span;
                const float cr = t.TurnRe[j * stride];
                const float ci = t.TurnIm[j * stride];
                const float oddRe = cr * re[b] - ci * im[b];
                const float oddIm = cr * im[b] + ci * re[b];
                re[b] = re[a] - oddRe;
                im[b] = im[a] - oddIm;
                re[a] += oddRe;
                im[a] += oddIm;
            }
    }
    // Even and odd samples' spectra apart again, then joined into the real signal's.
    for (std::size_t k = 0; k <= half; ++k) {
        const std::size_t i = k % half;
        const std::size_t j = (half - k) % half;
        const float evenRe = 0.5f * (re[i] + re[j]);
        const float evenIm = 0.5f * (im[i] - im[j]);
        const float oddRe = 0.5f * (im[i] + im[j]);
        const float oddIm = -0.5f * (re[i] - re[j]);
        const float cr = k < half ? t.TurnRe[k] : -1.0f;
        const float ci = k < half ? t.TurnIm[k] : 0.0f;
        const float binRe = evenRe + cr * oddRe - ci * oddIm;
        const float binIm = evenIm + cr * oddIm + ci * oddRe;
        magnitudes[k] = std::sqrt(binRe * binRe + binIm * binIm);
    }
}
