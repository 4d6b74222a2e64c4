// Sound in the formats the Linux build reads through libsndfile: written here by libsndfile
// itself, then read and analysed as tavrel-play reads them.
#include "play/sound/sound_rumble.h"
#include "play/sound/sound_source.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr int Rate = 22050;

int StepOf(double hz) { return static_cast<int>(std::lround(32 * std::log2(hz / 10))); }

// A second of a bass at 110 Hz under a tone at 660 Hz in the format, in a file of this test's own.
std::string WriteTones(int format, const char* suffix)
{
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("tavrel-sound-" + std::to_string(getpid()) + suffix)).string();
    SF_INFO info{};
    info.samplerate = Rate;
    info.channels = 1;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
    if (file == nullptr) return path;
    std::vector<float> samples(Rate);
    for (int n = 0; n < Rate; ++n)
        samples[n] = static_cast<float>(0.4 * std::sin(2 * Pi * 110 * n / Rate) + 0.3 * std::sin(2 * Pi * 660 * n / Rate));
    sf_writef_float(file, samples.data(), Rate);
    sf_close(file);
    return path;
}

TEST(SoundFormats, FlacOggAndMp3AreReadAsTheyComeAndAnalysed)
{
    for (const auto& [format, suffix, name] : {std::tuple{SF_FORMAT_FLAC | SF_FORMAT_PCM_16, ".flac", "FLAC"},
                                               std::tuple{SF_FORMAT_OGG | SF_FORMAT_VORBIS, ".ogg", "OGG"},
                                               std::tuple{SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, ".mp3", "MPEG"}}) {
        const std::string path = WriteTones(format, suffix);
        std::string first(SoundSignatureBytes, '\0');
        std::ifstream(path, std::ios::binary).read(&first[0], static_cast<std::streamsize>(first.size()));
        EXPECT_TRUE(LooksLikeSound(first)) << name;
        SoundSource source;
        std::string error;
        ASSERT_TRUE(OpenSoundSource(path, first, &source, &error)) << name << ": " << error;
        EXPECT_NE(source.Info.Format.find(name), std::string::npos) << source.Info.Format;
        EXPECT_EQ(source.Info.Rate, Rate);
        SoundRumble rumble;
        ASSERT_TRUE(AnalyseSound(source, SoundChannel::Mix, &rumble, &error, nullptr)) << error;
        ASSERT_EQ(rumble.One.Samples.size(), 200u) << name;
        const RumbleSample& middle = rumble.One.Samples[100];
        EXPECT_NEAR(ToneStepOfFrequency(middle.Low.Frequency, false), StepOf(110), 1) << name;
        EXPECT_NEAR(ToneStepOfFrequency(middle.High.Frequency, true), StepOf(660), 1) << name;
        std::filesystem::remove(path);
    }
}

}  // namespace
