// How much of each line sounds when an arrangement doubles its lines: generated pieces of a
// melody, two inner voices and a bass, played as is and with the bass and the melody each doubled
// in unison on another channel (as arrangements do), every note humanized a little. Prints, for
// one and for two Joy-Cons, the share of the melody's, the inner voices' and the bass's notes
// that sound.
#include "play/arrange/voice_allocation.h"
#include "rumble/tone_tables.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

namespace {

constexpr int Pieces = 20;
constexpr int BeatsPerPiece = 256;
constexpr long long BeatUs = 500000;     // 120 beats a minute
constexpr long long HumanizeUs = 15000;  // every onset up to this early or late
constexpr int MelodyTrack = 1;

struct Arrangement {
    std::vector<midi_file::MidiNote> Notes;
    // Each note of a line with its double, by line: the melody, the inner voices, the bass.
    std::vector<std::vector<midi_file::MidiNote>> Lines[3];
};

midi_file::MidiNote NoteAt(std::mt19937& random, long long startUs, long long lengthUs, int key, int channel, int track)
{
    std::uniform_int_distribution<long long> humanize(-HumanizeUs, HumanizeUs);
    const long long start = std::max(0LL, startUs + humanize(random));
    return midi_file::MidiNote{start, start + lengthUs, key, 100, channel, track};
}

// One voice: a walk over keys [low, high], a note every stepUs held for a share of it.
void AddLine(std::mt19937& random, Arrangement& piece, int low, int high, long long stepUs, int percentHeld,
             int channel, int track, bool doubled, int line)
{
    std::uniform_int_distribution<int> move(-3, 3);
    int key = (low + high) / 2;
    for (long long at = 0; at < BeatsPerPiece * BeatUs; at += stepUs) {
        key = std::min(high, std::max(low, key + move(random)));
        const long long length = stepUs * percentHeld / 100;
        std::vector<midi_file::MidiNote> copies{NoteAt(random, at, length, key, channel, track)};
        if (doubled) copies.push_back(NoteAt(random, at, length, key, channel + 8, track + 4));
        piece.Notes.insert(piece.Notes.end(), copies.begin(), copies.end());
        piece.Lines[line].push_back(copies);
    }
}

Arrangement Arrange(unsigned seed, bool doubled)
{
    std::mt19937 random(seed);
    Arrangement piece;
    AddLine(random, piece, 72, 84, BeatUs / 2, 85, 0, MelodyTrack, doubled, 0);
    AddLine(random, piece, 60, 67, BeatUs, 95, 1, 2, false, 1);
    AddLine(random, piece, 55, 62, BeatUs, 95, 2, 3, false, 1);
    AddLine(random, piece, 36, 48, 2 * BeatUs, 98, 3, 4, doubled, 2);
    return piece;
}

// Whether some band sounds the note's pitch class as it starts: a note of its own, or one of
// that key already sounding that it joined.
bool Sounds(const Allocation& allocation, const midi_file::MidiNote& note)
{
    for (const std::vector<Piece>& part : allocation.Parts)
        for (const Piece& piece : part)
            for (const PieceVoice& voice : piece.Voices) {
                const auto after = std::upper_bound(voice.Steps.begin(), voice.Steps.end(), note.StartUs,
                                                    [](long long at, const VoiceStep& step) { return at < step.AtUs; });
                if (after == voice.Steps.begin()) continue;
                const VoiceStep& step = *(after - 1);
                if (step.Note != RestNote && (step.Note - (note.Key - MidiKeyOfFirstNote)) % SemitonesPerOctave == 0)
                    return true;
            }
    return false;
}

// The share of a line's notes (0 melody, 1 inner voices, 2 bass) that sound.
double LineShare(int line, bool doubled, const std::vector<int>& actuators)
{
    long long sounded = 0;
    long long total = 0;
    for (int p = 0; p < Pieces; ++p) {
        const Arrangement piece = Arrange(static_cast<unsigned>(p + 1), doubled);
        const Allocation allocation = AllocateVoices(piece.Notes, actuators, BeatsPerPiece * BeatUs + BeatUs, 100);
        // A note sounds when it or its double sounds as it starts.
        for (const std::vector<midi_file::MidiNote>& copies : piece.Lines[line])
            sounded += std::any_of(copies.begin(), copies.end(),
                                   [&](const midi_file::MidiNote& note) { return Sounds(allocation, note); });
        total += static_cast<long long>(piece.Lines[line].size());
    }
    return 100.0 * static_cast<double>(sounded) / static_cast<double>(total);
}

}  // namespace

int main()
{
    BuildToneTables();
    std::printf("notes that sound, %d generated pieces of %d beats (melody, two inner voices, bass), "
                "plain / with the bass and the melody doubled\n", Pieces, BeatsPerPiece);
    std::printf("| controllers | melody | inner voices | bass |\n|---|---|---|---|\n");
    const std::pair<const char*, std::vector<int>> sets[] = {{"one Joy-Con", {1}}, {"two Joy-Cons", {1, 1}}};
    for (const auto& set : sets) {
        std::printf("| %s |", set.first);
        for (int line = 0; line < 3; ++line)
            std::printf(" %.1f %% / %.1f %% |", LineShare(line, false, set.second), LineShare(line, true, set.second));
        std::printf("\n");
    }
    return 0;
}
