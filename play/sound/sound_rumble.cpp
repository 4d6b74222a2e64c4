#include "play/sound/sound_rumble.h"

#include "play/sound/sound_analysis.h"

#include <algorithm>
#include <vector>

namespace {

constexpr long long BlockFrames = 4096;

void FindRanges(SoundRumble* rumble)
{
    const RumbleStream& one = rumble->One;
    std::size_t silent = 0;
    for (const RumbleSample& s : one.Samples) {
        bool any = false;
        for (const bool high : {true, false}) {
            const BandLevel& band = high ? s.High : s.Low;
            if (band.Amplitude < QuietestAmplitude) continue;
            any = true;
            BandRange& range = high ? rumble->High : rumble->Low;
            const double hz = FrequencyHz(band.Frequency, high);
            range.LowestHz = range.LowestHz == 0 ? hz : std::min(range.LowestHz, hz);
            range.HighestHz = std::max(range.HighestHz, hz);
        }
        if (!any) ++silent;
    }
    rumble->SilentShare = one.Samples.empty() ? 1.0 : static_cast<double>(silent) / one.Samples.size();
}

}  // namespace

bool AnalyseSound(SoundSource& source, SoundChannel channel, SoundRumble* rumble, std::string* error,
                  const std::function<void(double share)>& progress)
{
    const int channels = source.Info.Channels;
    const bool stereo = channels >= 2;
    SoundAnalysis one, left, right;
    // A stereo file's channel asked for is its side's analysis: the mix is analysed only when it plays.
    const bool mixed = !stereo || channel == SoundChannel::Mix;
    if (mixed) StartSoundAnalysis(&one, source.Info.Rate);
    if (stereo) {
        StartSoundAnalysis(&left, source.Info.Rate);
        StartSoundAnalysis(&right, source.Info.Rate);
    }
    std::vector<float> block(static_cast<std::size_t>(BlockFrames * channels));
    std::vector<float> mono(static_cast<std::size_t>(BlockFrames)), l(mono.size()), r(mono.size());
    rumble->Frames = 0;
    for (;;) {
        const long long got = source.Read(block.data(), BlockFrames, error);
        if (got < 0) return false;
        if (got == 0) break;
        for (long long i = 0; i < got; ++i) {
            const float* frame = block.data() + i * channels;
            float sum = 0;
            for (int c = 0; c < channels; ++c) sum += frame[c];
            l[static_cast<std::size_t>(i)] = frame[0];
            r[static_cast<std::size_t>(i)] = frame[stereo ? 1 : 0];
            mono[static_cast<std::size_t>(i)] = sum / channels;
        }
        if (mixed) FeedSoundAnalysis(&one, mono.data(), static_cast<std::size_t>(got));
        if (stereo) {
            FeedSoundAnalysis(&left, l.data(), static_cast<std::size_t>(got));
            FeedSoundAnalysis(&right, r.data(), static_cast<std::size_t>(got));
        }
        rumble->Frames += got;
        if (progress && source.Info.Frames > 0) progress(static_cast<double>(rumble->Frames) / source.Info.Frames);
    }
    if (mixed) FinishSoundAnalysis(&one);
    if (stereo) {
        FinishSoundAnalysis(&left);
        FinishSoundAnalysis(&right);
    }
    rumble->Info = source.Info;
    const SoundAnalysis& chosen = mixed ? one : channel == SoundChannel::Left ? left : right;
    rumble->One = RumbleOfSound(chosen.Frames, LoudestOf(chosen.Frames));
    rumble->One.Format = source.Info.Format;
    if (stereo) {
        // Both sides on one scale, so that a louder side stays louder.
        const float loudest = std::max(LoudestOf(left.Frames), LoudestOf(right.Frames));
        rumble->Left = RumbleOfSound(left.Frames, loudest);
        rumble->Right = RumbleOfSound(right.Frames, loudest);
        rumble->Left.Format = rumble->Right.Format = source.Info.Format;
    }
    FindRanges(rumble);
    return true;
}
