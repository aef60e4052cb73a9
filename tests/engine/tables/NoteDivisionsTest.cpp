#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/tables/NoteDivisions.h"

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
} // namespace

TEST(NoteDivisions, BeatsPerIndex)
{
    const double beats[kNoteDivisionCount] = {0.125, 0.25, 0.5, 0.75,   1,       1.5,     2,       3,
                                              4,     8,    16,  0.0625, 1.0 / 6, 1.0 / 3, 2.0 / 3, 4.0 / 3};
    for (int i = 0; i < kNoteDivisionCount; ++i)
        EXPECT_EQ(NoteDivisions[i], beats[i]) << i;
}

TEST(NoteDivisions, ResolveDivisionIndexReversesOnlyStraightDivisions)
{
    struct Case
    {
        bool tableOrder;
        int index;
        int expected;
    };
    const Case cases[] = {
        {false, 0, 8},   {false, 1, 7},   {false, 8, 0},   {false, 9, 0},  {false, 10, 0},
        {false, 11, 11}, {false, 12, 12}, {false, 15, 15}, {false, -5, 8}, {false, 40, 15},
        {true, 7, 7},    {true, 20, 15},  {true, -1, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ResolveDivisionIndex(c.tableOrder, c.index), c.expected) << c.tableOrder << " " << c.index;
}

TEST(NoteDivisions, DivisionSecondsClampsTempoAndDivision)
{
    struct Case
    {
        int division;
        double bpm;
        double expected;
    };
    const Case cases[] = {
        {4, 120, 0.5},
        {4, 10, 3.0},          // below 20 BPM reads 20
        {4, 5000, 60.0 / 999}, // above 999 reads 999
        {4, kNaN, 0.5},
        {4, kInf, 0.5},
        {4, -kInf, 0.5},
        {-3, 120, 0.125 * 0.5},   // index 0
        {99, 120, 4.0 / 3 * 0.5}, // index 15
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(DivisionSeconds(7.0, true, c.division, c.bpm), c.expected) << c.division << " @ " << c.bpm;
}

TEST(NoteDivisions, DivisionSecondsUnsyncedReturnsFreeTime)
{
    EXPECT_EQ(DivisionSeconds(0.123, false, 4, 120), 0.123);
    EXPECT_EQ(DivisionSeconds(-2.0, false, 99, kNaN), -2.0);
}

TEST(NoteDivisions, LimitDivisionForRepeatKeepsSlicesWithinLimit)
{
    struct Case
    {
        int division;
        double bpm;
        int expected;
    };
    const Case cases[] = {
        {6, 120, 6},               // 1 s
        {7, 120, 6},               // 1.5 s steps down
        {10, 120, 6},              // 8 s steps down
        {15, 120, 15},             // triplet short enough
        {11, 120, 11}, {4, 20, 1}, // 3 s -> 0.75 s
        {15, 20, 1},               // 4 s triplet -> 1/4 -> steps down to 1/16
        {12, 20, 12},              // 1/16T at 20 BPM is 0.5 s: kept
        {14, 30, 2},               // 1/4T at 30 BPM is 1.33 s: replaced by 1/8 (1 s)
        {99, 120, 6},              // clamped to 10 first
        {-4, 120, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LimitDivisionForRepeat(c.division, c.bpm), c.expected) << c.division << " @ " << c.bpm;
}

TEST(NoteDivisions, SyncedSecondsStaysInsideTheEchoRange)
{
    EXPECT_EQ(1.2 / 0.05, 23.999999999999996);
    EXPECT_EQ(SyncedSeconds(120, 1.0, false, 4), 0.05 * 23.999999999999996);
    EXPECT_DOUBLE_EQ(SyncedSeconds(120, 0.0, false, 4), 0.05);
    EXPECT_EQ(SyncedSeconds(20, 0.5, true, 10), 1.2000000000000002);
    EXPECT_EQ(SyncedSeconds(999, 0.5, true, 11), 0.01);
    EXPECT_DOUBLE_EQ(SyncedSeconds(120, 0.5, true, 4), 0.5);
}

TEST(NoteDivisions, MacroReadoutFollowsEachModesMap)
{
    // LOOPS, free: 0.01 .. 16 s.
    EXPECT_DOUBLE_EQ(MacroReadoutValue(2, 1.0, false, 4, 120, 48000, true), 16.0);
    EXPECT_DOUBLE_EQ(MacroReadoutValue(2, 0.0, false, 4, 120, 48000, true), 0.01);
    // Any mode above 1 reads as LOOPS.
    EXPECT_EQ(MacroReadoutValue(7, 0.3, false, 4, 120, 48000, true),
              MacroReadoutValue(2, 0.3, false, 4, 120, 48000, true));
    // TREM, free: the period of 0.5 Hz .. 12 Hz.
    EXPECT_DOUBLE_EQ(MacroReadoutValue(0, 0.0, false, 4, 120, 48000, true), 2.0);
    EXPECT_DOUBLE_EQ(MacroReadoutValue(0, 1.0, false, 4, 120, 48000, true), 1.0 / 12);
    // TREM synced uses the reversed order: division 0 reads 1/1 (2 s at 120 BPM).
    EXPECT_DOUBLE_EQ(MacroReadoutValue(0, 0.5, true, 0, 120, 48000, true), 2.0);
    // REPEAT synced limits the division to 1.2 s.
    EXPECT_DOUBLE_EQ(MacroReadoutValue(1, 0.5, true, 10, 120, 48000, true), 1.0);
    EXPECT_DOUBLE_EQ(MacroReadoutValue(1, 1.0, false, 4, 120, 48000, true), 1.2);
}

TEST(NoteDivisions, MacroReadoutLegacyEchoFloor)
{
    const double floor48k = 0.06 + 4.0 / 48000;
    for (double macro : {0.0, 0.1, 0.5, 1.0})
        EXPECT_GE(MacroReadoutValue(1, macro, false, 4, 120, 48000, false), floor48k) << macro;
    EXPECT_EQ(MacroReadoutValue(1, 0.0, false, 4, 120, 48000, false), floor48k);
    EXPECT_EQ(MacroReadoutValue(1, 0.0, false, 4, 120, kNaN, false), floor48k);
    EXPECT_EQ(MacroReadoutValue(1, 1.0, false, 4, 120, 48000, false), 0.05 * 23.999999999999996);
    EXPECT_EQ(MacroReadoutValue(1, 0.5, true, 10, 20, 48000, false), 1.2000000000000002);
}

TEST(NoteDivisions, MacroReadoutSyncedLoopCoversBothFades)
{
    // 1/64 at 999 BPM is 3.75 ms, shorter than two 5 ms fades (10 ms at 48 kHz):
    // the length is multiplied up to a whole number of divisions.
    const double division = 0.0625 * 60.0 / 999;
    const double expected = std::ceil(0.01 / division) * division;
    EXPECT_DOUBLE_EQ(MacroReadoutValue(2, 0.5, true, 11, 5000, 48000, true), expected);
    // Long enough divisions pass unchanged.
    EXPECT_DOUBLE_EQ(MacroReadoutValue(2, 0.5, true, 4, 120, 48000, true), 0.5);
}
