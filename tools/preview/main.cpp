// tavrel-preview LOG [LOG...] OUT.wav OUT.svg: turns the call logs of a run on the virtual
// controller into the sound of its rumble (WAV) and a piano roll of it (SVG).
#include "common/time_units.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "tools/preview/event_log.h"
#include "tools/preview/piano_roll_svg.h"
#include "tools/preview/rumble_lanes.h"
#include "tools/preview/rumble_timeline.h"
#include "tools/preview/rumble_wav.h"
#include "tavrel_version.h"

namespace {

constexpr int ExitOk = 0;
constexpr int ExitBadInput = 1;
constexpr int ExitUsage = 2;
constexpr double NsPerSecond = NanosecondsPerSecond;  // for fractions of a second

void PrintUsage(std::ostream& out)
{
    out << "usage: tavrel-preview LOG [LOG...] OUT.wav OUT.svg\n"
           "  LOG      call log of a run on the virtual controller; several logs (of several\n"
           "           controllers, the second's log named LOG.2 and so on) play side by side\n"
           "  OUT.wav  the rumble as sound (44.1 kHz, 16-bit; stereo where actuators differ)\n"
           "  OUT.svg  the rumble as a piano roll, a lane for each actuator that plays its own part\n"
           "options:\n"
           "  -h, --help  print this usage and exit\n"
           "  --version   print the version and exit\n";
}

std::string BaseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Reads one log into its lanes. False with a message when it cannot be read or has no events.
bool ReadLanes(const std::string& path, const std::string& controller, std::vector<RumbleLane>* lanes,
               std::size_t* skipped, std::size_t* reports)
{
    std::ifstream logFile(path);
    if (!logFile) {
        std::cerr << "tavrel-preview: cannot open log '" << path << "'\n";
        return false;
    }
    const EventLog log = ReadEventLog(logFile);
    if (logFile.bad()) {
        std::cerr << "tavrel-preview: error reading '" << path << "'\n";
        return false;
    }
    for (const std::string& problem : log.Problems) std::cerr << path << ": " << problem << " (skipped)\n";
    if (log.Events.empty()) {
        std::cerr << "tavrel-preview: no events in '" << path << "'\n";
        return false;
    }
    const std::vector<RumbleLane> found = LanesOfLog(log.Events, controller);
    // Both lanes of a log read the same lines: their problems are said once.
    for (const std::string& problem : found.front().Timeline.Problems)
        std::cerr << path << ": " << problem << " (skipped)\n";
    *skipped += log.Problems.size() + found.front().Timeline.Problems.size();
    *reports += found.front().Timeline.Reports;
    lanes->insert(lanes->end(), found.begin(), found.end());
    return true;
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
    if (argc < 4) {
        PrintUsage(std::cerr);
        return ExitUsage;
    }
    const std::vector<std::string> logPaths(argv + 1, argv + argc - 2);
    const std::string wavPath = argv[argc - 2];
    const std::string svgPath = argv[argc - 1];

    std::vector<RumbleLane> lanes;
    std::size_t skipped = 0;
    std::size_t reports = 0;
    for (std::size_t k = 0; k < logPaths.size(); ++k) {
        const std::string controller = logPaths.size() > 1 ? "controller " + std::to_string(k + 1) : "";
        if (!ReadLanes(logPaths[k], controller, &lanes, &skipped, &reports)) return ExitBadInput;
    }
    AlignLanes(lanes);
    const RumbleTimeline& span = lanes.front().Timeline;
    if (span.EndNs - span.StartNs > MaxRenderedSpanNs) {
        std::cerr << "tavrel-preview: the log" << (logPaths.size() > 1 ? "s span " : " spans ")
                  << (span.EndNs - span.StartNs) / NsPerSecond << " s, more than the "
                  << MaxRenderedSpanNs / NsPerSecond << " s this tool renders\n";
        return ExitBadInput;
    }

    std::ofstream wav(wavPath, std::ios::binary);
    if (!wav || !WriteLanesWav(lanes, wav) || !(wav.close(), wav)) {
        std::cerr << "tavrel-preview: cannot write '" << wavPath << "'\n";
        return ExitBadInput;
    }
    std::string title = "Rumble of " + BaseName(logPaths.front());
    for (std::size_t k = 1; k < logPaths.size(); ++k) title += ", " + BaseName(logPaths[k]);
    std::ofstream svg(svgPath, std::ios::binary);
    svg << RenderLanesRoll(lanes, title);
    svg.close();
    if (!svg) {
        std::cerr << "tavrel-preview: cannot write '" << svgPath << "'\n";
        return ExitBadInput;
    }

    std::size_t rests = 0;
    for (const RumbleLane& lane : lanes) rests += lane.Timeline.Rests.size();
    std::cout << "span " << (span.EndNs - span.StartNs) / NsPerSecond << " s, " << reports << " rumble reports, "
              << rests << " rests, " << skipped << " lines skipped";
    if (lanes.size() > 1) std::cout << ", " << lanes.size() << " lanes";
    std::cout << "\n";
    return ExitOk;
}
