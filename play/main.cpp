// tavrel-play: plays a tune written in the play-data language on a controller's rumble.
#include "controller/session.h"
#include "play/controller_kinds.h"
#include "play/listing.h"
#include "play/performer.h"
#include "play/progress_line.h"
#include "play/schedule.h"
#include "play/text_reader.h"
#include "play/time_units.h"
#include "play/voice_builder.h"
#include "platform/interrupt.h"
#include "platform/message_box.h"
#include "platform/sleep.h"
#include "platform/terminal.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

constexpr int ExitPlayed = 0;
constexpr int ExitNoController = 1;
constexpr int ExitBadInput = 2;
constexpr int ExitControllerLost = 3;
constexpr int MinIntervalLowestMs = 8;
constexpr int MinIntervalHighestMs = 100;
constexpr int VolumeHighestPercent = 400;
constexpr std::size_t MaxFileBytes = 16 * 1024 * 1024;

struct Options {
    std::string File;
    std::string Controller = "right";
    bool List = false;
    bool PrintSchedule = false;
    bool Quiet = false;
    bool Timing = false;
    int VolumePercent = 100;
    int MinIntervalMs = static_cast<int>(DefaultMinIntervalUs / MicrosecondsPerMillisecond);
};

const ControllerKind& KindNamed(const std::string& option)
{
    for (const ControllerKind& kind : ControllerKinds)
        if (option == kind.Option) return kind;
    return ControllerKinds[0];
}

// The whole file, or standard input for "-". False with a message on a read failure.
bool ReadWholeFile(const std::string& path, std::string* text)
{
    std::istream* in = &std::cin;
    std::ifstream file;
    if (path != "-") {
        file.open(path, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "tavrel-play: cannot open %s\n", path.c_str());
            return false;
        }
        in = &file;
    }
    std::ostringstream content;
    content << in->rdbuf();
    if (in->bad()) {
        std::fprintf(stderr, "tavrel-play: cannot read %s\n", path.c_str());
        return false;
    }
    *text = content.str();
    if (text->size() > MaxFileBytes) {
        std::fprintf(stderr, "tavrel-play: %s is larger than %zu bytes\n", path.c_str(), MaxFileBytes);
        return false;
    }
    return true;
}

// Nearest-rank percentile of sorted values.
long long Percentile(const std::vector<long long>& sorted, int percent)
{
    const std::size_t rank = (sorted.size() * static_cast<std::size_t>(percent) + 99) / 100;
    return sorted[rank == 0 ? 0 : rank - 1];
}

void PrintTiming(PerformTiming timing)
{
    if (timing.LateNs.empty()) return;
    std::sort(timing.LateNs.begin(), timing.LateNs.end());
    std::fprintf(stderr, "timing: %zu reports sent, %d passed over; late against their due times by p50 %.1f us, "
                 "p99 %.1f us, max %.1f us\n", timing.LateNs.size(), timing.PassedOver,
                 static_cast<double>(Percentile(timing.LateNs, 50)) / NanosecondsPerMicrosecond,
                 static_cast<double>(Percentile(timing.LateNs, 99)) / NanosecondsPerMicrosecond,
                 static_cast<double>(timing.LateNs.back()) / NanosecondsPerMicrosecond);
}

void PrintSchedule(const Schedule& schedule)
{
    for (const ScheduledReport& report : schedule.Reports)
        std::printf("%lld %02x%02x%02x%02x\n", report.DueUs, report.Rumble.Bytes[0], report.Rumble.Bytes[1],
                    report.Rumble.Bytes[2], report.Rumble.Bytes[3]);
    std::printf("end %lld\n", schedule.LengthUs);
}

int Play(const Options& options, const ControllerKind& kind, const std::string& name, const Schedule& schedule)
{
    InstallInterruptHandlers();
    ControllerLinkRecord link{};
    link.Handle = OpenHidHandle(ControllerVendorId, kind.ProductId);
    if (link.Handle == -1) {
        ShowMessageBox(ControllerNotFoundText);
        return ExitNoController;
    }
    const bool showProgress = !options.Quiet && IsOutputTerminal();
    if (!options.Quiet) {
        std::printf("Playing %s on the %s (%s).\n", name.c_str(), kind.Name, FormatPlayTime(schedule.LengthUs).c_str());
        std::fflush(stdout);
    }
    ProgressLine line(stdout, schedule.LengthUs);
    BeginPreciseSleep();
    SetUpControllerOn(link, LampsPlaying);
    PerformOutcome outcome = PerformOutcome::Interrupted;
    PerformTiming timing;
    if (!IsInterruptRequested())
        outcome = PerformSchedule(
            link, schedule, options.MinIntervalMs * MicrosecondsPerMillisecond,
            [&](long long playedUs) {
                if (showProgress) line.Show(playedUs);
            },
            options.Timing ? &timing : nullptr);
    line.Finish();
    RestoreControllerOn(link);
    CloseHidHandle(link.Handle);
    EndPreciseSleep();
    if (options.Timing) PrintTiming(timing);
    if (outcome == PerformOutcome::ControllerLost) {
        std::fprintf(stderr, "tavrel-play: the %s stopped taking reports\n", kind.Name);
        return ExitControllerLost;
    }
    return IsInterruptRequested() ? InterruptedExitStatus : ExitPlayed;
}

int Run(int argc, char** argv)
{
    Options options;
    CLI::App app{"Plays a tune written in the play-data language on a controller's rumble."};
    app.add_option("FILE", options.File, "the tune as text; - for standard input")->required();
    app.add_option("--controller", options.Controller, "right (default), left or pro")
        ->check(CLI::IsMember({"right", "left", "pro"}));
    app.add_flag("--list", options.List, "print what would be played; needs no controller");
    app.add_flag("--schedule", options.PrintSchedule,
                 "print every report's due time (us) and rumble bytes, then the length; needs no controller");
    app.add_flag("-q,--quiet", options.Quiet, "no start line and no progress line");
    app.add_flag("--timing", options.Timing,
                 "after playing, print to standard error how late the reports went out against their due times");
    app.add_option("--volume", options.VolumePercent, "scales every level, in per cent (default 100); never above level 10")
        ->check(CLI::Range(0, VolumeHighestPercent));
    app.add_option("--min-interval", options.MinIntervalMs, "least time between two reports, in ms (default 8)")
        ->check(CLI::Range(MinIntervalLowestMs, MinIntervalHighestMs));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? ExitPlayed : ExitBadInput;
    }

    const std::string name = options.File == "-" ? "standard input" : options.File;
    std::string text;
    if (!ReadWholeFile(options.File, &text)) return ExitBadInput;
    std::vector<tune_text::Voice> voices;
    tune_text::TextError error{};
    Piece piece;
    BuildToneTables();
    if (!tune_text::ReadTuneText(text, &voices, &error) || !BuildPiece(voices, options.VolumePercent, &piece, &error)) {
        std::fprintf(stderr, "%s:%d:%d: %s\n", name.c_str(), error.Line, error.Column, error.Message.c_str());
        return ExitBadInput;
    }
    const Schedule schedule = BuildSchedule(piece, options.MinIntervalMs * MicrosecondsPerMillisecond);
    const ControllerKind& kind = KindNamed(options.Controller);
    if (options.PrintSchedule) {
        PrintSchedule(schedule);
        return ExitPlayed;
    }
    if (options.List) {
        PrintListing(stdout, name, kind.Name, piece, schedule);
        return ExitPlayed;
    }
    return Play(options, kind, name, schedule);
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
