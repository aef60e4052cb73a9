#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/tables/ParamSpec.h"

TEST(ParamSpec, TableHasOneRowPerIndex)
{
    EXPECT_EQ(kParamCount, 41);
    EXPECT_EQ(kLoopOctaveDir, kParamCount - 1);
    for (int i = 0; i < kParamCount; ++i) {
        const ParamSpec& row = GetParamSpec(i);
        ASSERT_NE(row.name, nullptr) << i;
        EXPECT_GT(std::strlen(row.name), 0u) << i;
        EXPECT_LE(std::strlen(row.name), 31u) << i;
        EXPECT_LT(row.minValue, row.maxValue) << i;
        EXPECT_GE(row.defaultValue, row.minValue) << i;
        EXPECT_LE(row.defaultValue, row.maxValue) << i;
        EXPECT_EQ(&row, &ParamSpecTable()[i]);
    }
}

TEST(ParamSpec, RowsCarryTheirNamesRangesAndDefaults)
{
    struct Row
    {
        int index;
        const char* name;
        double min, max, def;
    };
    const Row rows[] = {
        {kDrive, "DRIVE", 0, 1, 0.15},
        {kMode, "MODE", 0, 2, 0},
        {kSyncDivision, "Sync Division", 0, 15, 4},
        {kTremStereoPhase, "Trem Stereo Phase", 0, 180, 0},
        {kLegacyEchoFeedback, "Legacy Echo Feedback", 0, 0.9, 0.45},
        {kLegacyEchoRepeats, "Legacy Echo Repeats", 1, 8, 4},
        {kLoopBuffer, "Loop Buffer", 1, 16, 4},
        {kChaosSeed, "Chaos Seed", 0, 99, 0},
        {kLevel, "Level", -12, 12, 0},
        {kSaveFrozenAudio, "Save Frozen Audio", 0, 1, 1},
        {kRepeatCount, "Repeat Count", 1, 64, 4},
        {kRepeatDecay, "Repeat Decay", 0, 1, 0.85},
        {kRepeatFeedback, "Repeat Feedback", 0, 0.95, 0},
        {kRepeatEngine, "Repeat Engine", 0, 1, 1},
        {kLoopLFOMotion, "Loop LFO Motion", 0, 1, 0},
        {kLoopVoices, "Loop Voices", 1, 6, 6},
        {kLoopOctaveDir, "Loop Octave Dir", 0, 2, 0},
    };
    for (const Row& r : rows) {
        const ParamSpec& spec = GetParamSpec(r.index);
        EXPECT_EQ(std::string(spec.name), r.name) << r.index;
        EXPECT_EQ(spec.minValue, r.min) << r.name;
        EXPECT_EQ(spec.maxValue, r.max) << r.name;
        EXPECT_EQ(spec.defaultValue, r.def) << r.name;
    }
}

TEST(ParamSpec, ClampKeepsValuesInsideTheRow)
{
    EXPECT_EQ(ClampToParamSpec(kRepeatCount, 100.0), 64.0);
    EXPECT_EQ(ClampToParamSpec(kLevel, -40.0), -12.0);
    EXPECT_EQ(ClampToParamSpec(kLevel, 3.5), 3.5);
    EXPECT_EQ(ClampToParamSpec(kRepeatFeedback, 1.0), 0.95);
}

TEST(ParamSpec, OutOfTableIndexReadsTheNearestRow)
{
    EXPECT_EQ(&GetParamSpec(-1), &GetParamSpec(0));
    EXPECT_EQ(&GetParamSpec(41), &GetParamSpec(40));
}
