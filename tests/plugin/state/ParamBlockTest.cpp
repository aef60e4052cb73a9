#include "plugin/state/ParamBlock.h"

#include "framework/core/IStateBuffer.h"
#include "tests/plugin/StateBytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

namespace {

constexpr uint32_t kMagic = ParamBlock::kMagic;

// A block whose every value is v, for count values.
StateBytes Block(uint32_t count, double v)
{
    StateBytes b;
    b.U32(kMagic).U32(count).Values(static_cast<int>(count), v);
    return b;
}

TEST(ParamBlock, WritesMagicCountAndEveryValue)
{
    ParamBlock block;
    for (int i = 0; i < kParamCount; ++i)
        block.values[i] = GetParamSpec(i).minValue;
    iplug::IStateBuffer out;
    ASSERT_TRUE(block.Write(out));
    ASSERT_EQ(out.Size(), ParamBlock::kWrittenBytes);
    const uint8_t head[] = {'2', 'R', 'T', 'K', 41, 0, 0, 0};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(out.Data()[i], head[i]) << i;

    ParamBlock back;
    EXPECT_EQ(back.Read(out, 0), ParamBlock::kWrittenBytes);
    for (int i = 0; i < kParamCount; ++i)
        EXPECT_EQ(back.values[i], block.values[i]) << i;
}

// How many values each layout carries and what the ones it lacks become.
struct LayoutCase
{
    const char* what;
    StateBytes bytes;
    int expectedPos; // -1: rejected
    int carried;     // values read from the bytes
    bool legacy;
};

TEST(ParamBlock, ReadsCurrentAndLegacyLayouts)
{
    const double v = 0.25;
    LayoutCase cases[] = {
        {"count 41", Block(41, v), 8 + 41 * 8, 41, false},
        {"count 35 keeps 35..40 at defaults", Block(35, v), 8 + 35 * 8, 35, false},
        {"count 34 is too few", Block(34, v), -1, 0, false},
        {"count 45 skips the unknown values", Block(45, v), 8 + 45 * 8, 41, false},
        {"legacy 216 bytes", StateBytes().Values(27, v), 216, 27, true},
        {"legacy 220 bytes: 27 values and a flag", StateBytes().Values(27, v).Raw(4, 0), 216, 27, true},
        {"legacy 232 bytes", StateBytes().Values(29, v), 232, 29, true},
        {"legacy 225 bytes runs past the end", StateBytes().Values(28, v).Raw(1), -1, 0, true},
        {"215 bytes", StateBytes().Values(26, v).Raw(7), -1, 0, true},
    };
    for (LayoutCase& c : cases) {
        SCOPED_TRACE(c.what);
        ParamBlock block;
        block.values[0] = 0.75;
        const int pos = block.Read(c.bytes.buffer, 0);
        EXPECT_EQ(pos, c.expectedPos);
        if (pos < 0) {
            EXPECT_EQ(block.values[0], 0.75) << "a rejected block leaves the values alone";
            continue;
        }
        for (int i = 0; i < kParamCount; ++i) {
            double expected = i < c.carried ? ClampToParamSpec(i, v) : GetParamSpec(i).defaultValue;
            if (i >= c.carried && i == kRepeatEngine && c.legacy)
                expected = 0.0;
            EXPECT_EQ(block.values[i], expected) << "value " << i;
        }
    }
}

TEST(ParamBlock, CountsThatOverflowThirtyTwoBitsAreRejected)
{
    // 0x20000001 values of 8 bytes wrap to 8 in 32-bit arithmetic.
    StateBytes b;
    b.U32(kMagic).U32(0x20000001u).Values(41, 0.5);
    ParamBlock block;
    EXPECT_EQ(block.Read(b.buffer, 0), -1);
}

TEST(ParamBlock, NonFiniteValuesFailAndOutOfRangeValuesClamp)
{
    const double bad[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity()};
    for (int at : {0, 40})
        for (double v : bad) {
            StateBytes b = Block(41, 0.5);
            std::memcpy(b.buffer.Data() + 8 + 8 * at, &v, 8);
            ParamBlock block;
            EXPECT_EQ(block.Read(b.buffer, 0), -1) << at;
        }

    StateBytes b = Block(41, 0.5);
    const double drive = 2.5, level = -40.0;
    std::memcpy(b.buffer.Data() + 8 + 8 * kDrive, &drive, 8);
    std::memcpy(b.buffer.Data() + 8 + 8 * kLevel, &level, 8);
    ParamBlock block;
    ASSERT_GT(block.Read(b.buffer, 0), 0);
    EXPECT_EQ(block.values[kDrive], 1.0);
    EXPECT_EQ(block.values[kLevel], -12.0);
}

TEST(ParamBlock, ReadsFromAGivenPositionAndRefusesNegativeOnes)
{
    StateBytes b;
    b.Raw(10);
    b.U32(kMagic).U32(41).Values(41, 0.5);
    ParamBlock block;
    EXPECT_EQ(block.Read(b.buffer, 10), 10 + ParamBlock::kWrittenBytes);
    EXPECT_EQ(block.Read(b.buffer, -1), -1);
    EXPECT_EQ(block.Read(b.buffer, b.buffer.Size()), -1);
}

} // namespace
