// tavrel-preview LOG OUT.wav OUT.svg: turns the call log of a run on the virtual controller
// into the sound of its rumble (WAV) and a piano roll of it (SVG).
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "tools/preview/event_log.h"
#include "tools/preview/piano_roll_svg.h"
#include "tools/preview/rumble_timeline.h"
#include "tools/preview/rumble_wav.h"
#include "tavrel_version.h"

namespace {

constexpr int ExitOk = 0;
constexpr int ExitBadInput = 1;
constexpr int ExitUsage = 2;
constexpr double NsPerSecond = 1e9;

void PrintUsage(std::ostream& out)
{
    out << "usage: tavrel-preview LOG OUT.wav OUT.svg\n"
           "  LOG      call log of a run on the virtual controller\n"
           "  OUT.wav  the rumble as sound (mono, 44.1 kHz, 16-bit)\n"
           "  OUT.svg  the rumble as a piano roll\n"
           "options:\n"
           "  -h, --help  print this usage and exit\n"
           "  --version   print the version and exit\n";
}

std::string BaseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::string(argv[1]) == "-h" || std::string(argv[1]) == "--help")) {
        PrintUsage(std::cout);
        return ExitOk;
    }
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::cout << "tavrel-preview " << TavrelVersion << "\n";
        return ExitOk;
    }
    if (argc != 4) {
        PrintUsage(std::cerr);
        return ExitUsage;
    }
    const std::string logPath = argv[1];
    const std::string wavPath = argv[2];
    const std::string svgPath = argv[3];

    std::ifstream logFile(logPath);
    if (!logFile) {
        std::cerr << "tavrel-preview: cannot open log '" << logPath << "'\n";
        return ExitBadInput;
    }
    const EventLog log = ReadEventLog(logFile);
    if (logFile.bad()) {
        std::cerr << "tavrel-preview: error reading '" << logPath << "'\n";
        return ExitBadInput;
    }
    for (const std::string& problem : log.Problems) {
        std::cerr << logPath << ": " << problem << " (skipped)\n";
    }
    if (log.Events.empty()) {
        std::cerr << "tavrel-preview: no events in '" << logPath << "'\n";
        return ExitBadInput;
    }
    const RumbleTimeline timeline = BuildRumbleTimeline(log.Events);
    for (const std::string& problem : timeline.Problems) {
        std::cerr << logPath << ": " << problem << " (skipped)\n";
    }
    if (timeline.EndNs - timeline.StartNs > MaxRenderedSpanNs) {
        std::cerr << "tavrel-preview: the log spans "
                  << (timeline.EndNs - timeline.StartNs) / NsPerSecond << " s, more than the "
                  << MaxRenderedSpanNs / NsPerSecond << " s this tool renders\n";
        return ExitBadInput;
    }

    std::ofstream wav(wavPath, std::ios::binary);
    if (!wav || !WriteRumbleWav(timeline, wav) || !(wav.close(), wav)) {
        std::cerr << "tavrel-preview: cannot write '" << wavPath << "'\n";
        return ExitBadInput;
    }
    std::ofstream svg(svgPath, std::ios::binary);
    svg << RenderPianoRoll(timeline, "Rumble of " + BaseName(logPath));
    svg.close();
    if (!svg) {
        std::cerr << "tavrel-preview: cannot write '" << svgPath << "'\n";
        return ExitBadInput;
    }

    std::cout << "span " << (timeline.EndNs - timeline.StartNs) / NsPerSecond << " s, "
              << timeline.Stretches.size() << " rumble reports, " << timeline.Rests.size()
              << " rests, " << log.Problems.size() + timeline.Problems.size()
              << " lines skipped\n";
    return ExitOk;
}
