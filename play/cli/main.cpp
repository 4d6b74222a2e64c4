// tavrel-play: plays a tune, a MIDI file, a rumble file or a sound file, or MIDI as it arrives,
// on the rumble of every controller connected. This entry only reads the options and hands over.
#include "play/cli/options.h"
#include "play/cli/play_file.h"
#include "play/live/capture_play.h"
#include "play/live/live_play.h"
#include "play/perform/exit_status.h"
#include "rumble/tone_tables.h"

#include <cstdio>
#include <exception>

namespace {

int Run(int argc, char** argv)
{
    Options options;
    int exitStatus = ExitPlayed;
    if (!ReadOptions(argc, argv, &options, &exitStatus)) return exitStatus;
    if (options.ListPorts) return ListLivePorts();
    if (options.ListCaptureSources) return ListCaptureSourcesCommand();
    if (options.Capture) {
        BuildToneTables();
        return PlayCapture(CaptureOptionsOf(options));
    }
    if (options.Live) {
        BuildToneTables();
        return PlayLive(LiveOptionsOf(options));
    }
    return PlayFile(options);
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tavrel-play: %s\n", e.what());
        return ExitControllerLost;
    }
}
