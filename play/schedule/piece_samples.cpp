#include "play/schedule/piece_samples.h"

#include "common/midi_bytes.h"
#include "common/time_units.h"


#include <algorithm>
#include <cmath>

namespace {

// What a band sounds for a voice step, as the one-sample report of it would set it.
BandLevel BandLevelOf(const VoiceStep& step, bool high)
{
    const RumbleBytes bytes = high ? FormBandRumbleBytes(step.Note, step.HighLevel, RestNote, 0)
                                   : FormBandRumbleBytes(RestNote, 0, step.Note, step.LowLevel);
    RumbleSample state = RestingRumbleSample;
    RumbleSample samples[MaxSamplesPerBlock];
    DecodeRumbleBlock(bytes.Bytes, &state, samples);
    return high ? state.High : state.Low;
}

bool Sounds(const BandLevel& level) { return level.Amplitude >= QuietestAmplitude; }

// amplitude scaled by share (0 to 1) of its loudness, in the log units of the levels.
int Scaled(int amplitude, double share)
{
    if (share <= 0.0) return SilentAmplitude;
    if (share >= 1.0) return amplitude;
    return std::max(SilentAmplitude, amplitude + static_cast<int>(std::lround(LogStepsPerOctave * std::log2(share))));
}

constexpr double Pi = 3.14159265358979323846;

// The vibrato settings in effect, channel by channel, as time moves on.
struct VibratoReader {
    const std::vector<VibratoSetting>& Settings;
    std::size_t Next = 0;
    int Depth[MidiChannelCount] = {};

    void MoveTo(long long t)
    {
        for (; Next < Settings.size() && Settings[Next].AtUs <= t; ++Next) {
            const VibratoSetting& s = Settings[Next];
            if (s.Channel >= 0 && s.Channel < MidiChannelCount) Depth[s.Channel] = s.Depth;
        }
    }

    // How far a note of channel, sounding since onsetUs, is off its pitch at t.
    int OffsetAt(int channel, long long onsetUs, long long t) const
    {
        if (channel < 0 || channel >= MidiChannelCount || Depth[channel] == 0) return 0;
        const double phase = 2.0 * Pi * VibratoHz * static_cast<double>(t - onsetUs) / MicrosecondsPerSecond;
        return static_cast<int>(std::lround(WidestVibratoSteps * Depth[channel] / FullVibratoDepth * std::sin(phase)));
    }
};

// One band's samples from one voice's steps.
void RenderBand(const PieceVoice& voice, bool high, const NoteShape& shape, const std::vector<VibratoSetting>& vibrato,
                std::vector<RumbleSample>& samples)
{
    VibratoReader wavering{vibrato};
    int channel = -1;           // of the note sounding or fading
    long long noteOnsetUs = 0;  // the vibrato's phase counts from it
    std::size_t next = 0;
    BandLevel note{SilentAmplitude, 0};   // the note sounding, at its full level
    long long onsetUs = -1;
    BandLevel released{SilentAmplitude, 0};  // the note fading after its end, from the level it had
    long long endUs = -1;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const long long t = static_cast<long long>(i) * SampleSpacingUs;
        // A step lands on the sample nearest its time.
        for (; next < voice.Steps.size() && voice.Steps[next].AtUs <= t + SampleSpacingUs / 2; ++next) {
            const BandLevel level = BandLevelOf(voice.Steps[next], high);
            if (Sounds(note)) {
                // The note before ends here; it fades from where its attack had brought it.
                const double reached = shape.AttackUs > 0 ? std::min(1.0, static_cast<double>(t - onsetUs) / shape.AttackUs) : 1.0;
                released = BandLevel{Scaled(note.Amplitude, reached), note.Frequency};
                endUs = t;
            }
            note = level;
            onsetUs = t;
            if (Sounds(level)) {
                channel = voice.Steps[next].Channel;
                noteOnsetUs = t;
            }
        }
        wavering.MoveTo(t);
        const int offset = wavering.OffsetAt(channel, noteOnsetUs, t);
        BandLevel& band = high ? samples[i].High : samples[i].Low;
        if (Sounds(note)) {
            const double rising = shape.AttackUs > 0 ? std::min(1.0, static_cast<double>(t - onsetUs + SampleSpacingUs) / shape.AttackUs) : 1.0;
            band = BandLevel{Scaled(note.Amplitude, rising), note.Frequency + offset};
        } else if (endUs >= 0 && shape.ReleaseUs > 0 && t - endUs < shape.ReleaseUs && Sounds(released)) {
            band = BandLevel{Scaled(released.Amplitude, 1.0 - static_cast<double>(t - endUs) / shape.ReleaseUs),
                             released.Frequency + offset};
        } else {
            band = BandLevel{SilentAmplitude, note.Frequency};
        }
    }
}

}  // namespace

bool AsksForVibrato(const Piece& piece)
{
    return std::any_of(piece.Vibrato.begin(), piece.Vibrato.end(), [](const VibratoSetting& s) { return s.Depth > 0; });
}

RumbleStream RenderPieceSamples(const Piece& piece, const NoteShape& shape)
{
    RumbleStream stream;
    stream.Format = "piece";
    const long long lengthUs = piece.LengthUs + shape.ReleaseUs;
    stream.Samples.assign(static_cast<std::size_t>((lengthUs + SampleSpacingUs - 1) / SampleSpacingUs), RestingRumbleSample);
    if (piece.Voices.empty()) return stream;
    RenderBand(piece.Voices[0], true, shape, piece.Vibrato, stream.Samples);
    RenderBand(piece.Voices.size() > 1 ? piece.Voices[1] : piece.Voices[0], false, shape, piece.Vibrato, stream.Samples);
    LowerToSafeMaximum(stream);
    return stream;
}
