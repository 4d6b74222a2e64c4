// Schedules of tunes written in the play-data language, as the schedule's and the performer's
// tests build them.
#pragma once

#include "play/arrange/voice_builder.h"
#include "play/readers/text_reader.h"
#include "play/schedule/report_schedule.h"
#include "rumble/tone_tables.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The interval these cases were written for; the default is longer.
constexpr long long TestIntervalUs = 8000;

inline Schedule ScheduleOf(const std::string& text, long long minIntervalUs = TestIntervalUs)
{
    BuildToneTables();
    std::vector<tune_text::Voice> voices;
    tune_text::TextError error{};
    Piece piece;
    EXPECT_TRUE(tune_text::ReadTuneText(text, &voices, &error) && BuildPiece(voices, 100, &piece, &error)) << error.Message;
    return BuildSchedule(piece, minIntervalUs);
}
