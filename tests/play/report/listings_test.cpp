// What --schedule and --list print, from music read through the engine as a front end reads it.
#include "play/engine.h"
#include "play/report/music_listing.h"
#include "play/report/schedule_text.h"
#include "rumble/tone_tables.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// What print writes to a file, as text.
template <typename Print>
std::string Printed(Print print)
{
    std::FILE* out = std::tmpfile();
    print(out);
    std::rewind(out);
    std::string text;
    for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out)) text += static_cast<char>(c);
    std::fclose(out);
    return text;
}

TEST(Listings, ASchedulesLinesNameEachControllerAndShowTheRightBlockWhereItDiffers)
{
    Performance performance;
    performance.Kinds = {&ControllerKinds[2], &ControllerKinds[1]};
    const RumbleBytes a{{0x12, 0x34, 0x56, 0x78}};
    const RumbleBytes b{{0x9a, 0xbc, 0xde, 0xf0}};
    performance.Schedules.resize(2);
    performance.Schedules[0].Reports = {{0, a, b}, {15000, b, b}};
    performance.Schedules[0].LengthUs = 30000;
    performance.Schedules[1].Reports = {{0, b, b}};
    performance.Schedules[1].LengthUs = 15000;
    EXPECT_EQ(Printed([&](std::FILE* out) { PrintSchedules(out, performance); }),
              "controller 1 pro\n0 12345678 9abcdef0\n15000 9abcdef0\nend 30000\n"
              "controller 2 left\n0 9abcdef0\nend 15000\n");
    performance.Schedules.pop_back();  // one controller: no line names it
    EXPECT_EQ(Printed([&](std::FILE* out) { PrintSchedules(out, performance); }).substr(0, 2), "0 ");
}

TEST(Listings, ATuneReadFromBytesIsListedAsATuneForTheControllersPlanned)
{
    BuildToneTables();
    Music music;
    MusicError error;
    const PlayChoices choices;
    ASSERT_TRUE(ReadMusic("t25 l8 o4 e c ; o3 c", "song.txt", choices, &music, &error)) << error.Text;
    ASSERT_EQ(music.Kind, MusicKind::Tune);
    const Performance performance = PlanPerformance(choices, music, {&ControllerKinds[2], &ControllerKinds[0]});
    ASSERT_EQ(performance.Schedules.size(), 2u);
    const std::string listing = Printed([&](std::FILE* out) { PrintMusicListing(out, "song.txt", music, performance); });
    EXPECT_EQ(listing.substr(0, listing.find('\n')), "song.txt: 2 voices on the Pro Controller and the right Joy-Con");
    EXPECT_NE(listing.find("voice 1 (high band): 2 notes"), std::string::npos) << listing;
    EXPECT_NE(listing.find("voice 2 (low band): 1 note"), std::string::npos) << listing;

    // A fault comes back as a value naming the file and its place; nothing is printed.
    MusicBytes told;
    MusicFile file;
    ASSERT_TRUE(TellMusicFormat("t25 q", "bad.txt", &told, &error));
    EXPECT_FALSE(ReadMusicFile(told, "bad.txt", &file, &error));
    EXPECT_EQ(error.Text, "bad.txt:1:5: unexpected 'q'");
    EXPECT_FALSE(error.AboutTheRun);
    ASSERT_TRUE(TellMusicFormat(std::string("\x01\x02", 2), "x.bin", &told, &error));
    EXPECT_FALSE(ReadMusicFile(told, "x.bin", &file, &error));
    EXPECT_EQ(error.Text, "x.bin: not a MIDI file and not a tune");
    EXPECT_TRUE(error.AboutTheRun);
}

}  // namespace
