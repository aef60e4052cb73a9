#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "engine/tables/FactoryPreset.h"

namespace {

std::string GroupOf(const char* name)
{
    const std::string text(name);
    const auto dash = text.find(" - ");
    return dash == std::string::npos ? std::string() : text.substr(0, dash);
}

} // namespace

TEST(FactoryPreset, FortyEightNamedPresetsInFourGroups)
{
    ASSERT_EQ(FactoryPresetCount(), 48);
    std::set<std::string> names;
    int trem = 0, repeat = 0, loops = 0, fuzz = 0;
    for (int i = 0; i < FactoryPresetCount(); ++i) {
        const FactoryPreset& preset = FactoryPresetAt(i);
        ASSERT_NE(preset.name, nullptr);
        EXPECT_LE(std::strlen(preset.name), 255u);
        names.insert(preset.name);
        const std::string group = GroupOf(preset.name);
        trem += group == "TREM";
        repeat += group == "REPEAT";
        loops += group == "LOOPS";
        fuzz += group == "FUZZ TREM";
    }
    EXPECT_EQ(names.size(), 48u);
    EXPECT_EQ(trem, 10);
    EXPECT_EQ(repeat, 15);
    EXPECT_EQ(loops, 15);
    EXPECT_EQ(fuzz, 8);
}

TEST(FactoryPreset, EveryValueLiesInsideItsParameterRange)
{
    for (int i = 0; i < FactoryPresetCount(); ++i) {
        const FactoryPreset& preset = FactoryPresetAt(i);
        for (int p = 0; p < kParamCount; ++p) {
            EXPECT_GE(preset.values[p], GetParamSpec(p).minValue) << preset.name << " " << p;
            EXPECT_LE(preset.values[p], GetParamSpec(p).maxValue) << preset.name << " " << p;
        }
    }
}

TEST(FactoryPreset, OutOfRangeIndicesReadTheFirstOrLastPreset)
{
    EXPECT_STREQ(FactoryPresetAt(-1).name, "TREM - 01 Quarter Sine");
    EXPECT_STREQ(FactoryPresetAt(48).name, "FUZZ TREM - 08 Free Throb");
    EXPECT_STREQ(FactoryPresetAt(1 << 30).name, "FUZZ TREM - 08 Free Throb");
}

// Full rows typed from the preset sheet, one per reference set, compared bit for bit.
TEST(FactoryPreset, SampleRowsMatchToTheBit)
{
    struct Row
    {
        int index;
        const char* name;
        double values[kParamCount];
    };
    const Row rows[] = {
        // Defaults with reference A applied and the preset's own changes.
        {0, "TREM - 01 Quarter Sine", {0,   0,   0.5,  0, 0, 0, 0.85, 1, 4, 0, 0.45, 4, 4, 0.5,
                                       0.5, 0.5, 0.5,  0, 0, 1, 0,    0, 1, 1, 1,    1, 0, 1,
                                       1,   4,   0.65, 0, 0, 0, 1,    1, 1, 6, 0.5,  0, 0}},
        {24, "REPEAT - 15 Gated Sixteenths", {0.3, 1,   0.5, 0.28, 0,    0, 0.6, 1,     1, 0, 0.45, 4, 4, 0.5,
                                              0.5, 0.5, 0.5, 0,    0.45, 1, 0,   5.939, 1, 1, 1,    1, 0, 0,
                                              1,   8,   0.6, 0,    0,    0, 1,   1,     1, 6, 0.5,  0, 0}},
        // Reference B.
        {26,
         "LOOPS - 02 Drunk Accompany",
         {0,
          2,
          1,
          0.7444444444444445,
          1,
          0.6000000000000002,
          0.716666666666667,
          0,
          2,
          126.99999999999999,
          0.3049999999999997,
          8,
          8,
          0.9473684206604958,
          0.9210526347160339,
          0.28947368264198303,
          0,
          1,
          0,
          0.8055555555555557,
          1,
          -0.908,
          0.3277777777777779,
          0.6166666666666658,
          0.38888888888888895,
          1,
          0,
          1,
          0,
          16,
          0.5944444444444448,
          0.2375000000000002,
          0,
          0,
          1,
          0,
          1,
          1,
          0.5,
          0,
          0}},
        {10,
         "REPEAT - 01 Half Note Pulse",
         {0,
          1,
          0.43333333333333324,
          0.3,
          0.8055555555555556,
          0.7055555555555556,
          0.644444444444444,
          1,
          6,
          126.99999999999999,
          0.3049999999999997,
          8,
          8,
          0.2666666768491268,
          0.9210526347160339,
          0.28947368264198303,
          0,
          1,
          0,
          0.8055555555555557,
          0,
          0,
          0.711111111111111,
          0.6166666666666658,
          0.38888888888888895,
          1,
          0,
          1,
          0,
          16,
          0.472222222222223,
          0.2375000000000002,
          0,
          0,
          1,
          0,
          1,
          3,
          0.5,
          0,
          0}},
        {46, "FUZZ TREM - 07 Broken Machine", {0.75, 0,   0.5,  0.9, 0.85, 0.5, 0.95, 1,      6, 0, 0.45, 4, 4, 0.5,
                                               0.5,  0.5, 0.5,  17,  0,    1,   1,    -0.863, 1, 1, 1,    1, 0, 1,
                                               1,    4,   0.65, 0,   0,    0,   1,    1,      1, 6, 0.5,  0, 0}},
    };
    for (const Row& row : rows) {
        const FactoryPreset& preset = FactoryPresetAt(row.index);
        EXPECT_STREQ(preset.name, row.name);
        for (int p = 0; p < kParamCount; ++p)
            EXPECT_EQ(preset.values[p], row.values[p]) << row.name << " parameter " << p;
    }
}

TEST(FactoryPreset, SpotValuesFromAcrossTheTable)
{
    struct Spot
    {
        int index;
        int param;
        double value;
    };
    const Spot spots[] = {
        {1, kShape, 0.3333333333333333},
        {4, kTremStereoPhase, 180},
        {8, kLevel, 4.671},
        {11, kDrive, 0.3388888888888889},
        {11, kShape, 0.30555555555555497},
        {11, kRepeatDecay, 0.8277777777777782},
        {19, kRepeatCount, 64},
        {19, kRepeatDecay, 0.93},
        {25, kDirtTrimWow, 0.9473684206604958},
        {25, kShape, 0.11111111111111081},
        {28, kDrive, 0.8166666666666662},
        {29, kWear, 0.3277777777777781},
        {33, kMacro, 0.9060490876454462},
        {33, kLevel, -3.596},
        {34, kLoopLFOMotion, 0},
        {38, kDirtTrimCrush, 0.2},
        {39, kLoopMotionRate, 1},
        {40, kDriveVoice, 1},
        {47, kMacro, 0.65},
        {47, kLevel, -0.711},
    };
    for (const Spot& s : spots)
        EXPECT_EQ(FactoryPresetAt(s.index).values[s.param], s.value)
            << FactoryPresetAt(s.index).name << " parameter " << s.param;
}
