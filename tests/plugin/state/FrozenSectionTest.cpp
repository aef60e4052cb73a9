#include "plugin/state/FrozenSection.h"

#include "framework/core/IStateBuffer.h"
#include "tests/plugin/StateBytes.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr uint32_t kMagic = FrozenSection::kMagic;

TEST(FrozenSection, WritesHeaderThenBlob)
{
    const std::vector<uint8_t> blob = {1, 2, 3, 4, 5};
    iplug::IStateBuffer out;
    ASSERT_TRUE(FrozenSection::Write(out, blob.data(), blob.size()));
    ASSERT_EQ(out.Size(), 12 + 5);
    const uint8_t head[] = {'1', 'S', 'T', 'K', 1, 0, 0, 0, 5, 0, 0, 0};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(out.Data()[i], head[i]) << i;

    std::vector<uint8_t> back;
    EXPECT_EQ(FrozenSection::Read(out, 0, true, back), out.Size());
    EXPECT_EQ(back, blob);
}

TEST(FrozenSection, RefusesToWriteWhatNoReaderWouldTake)
{
    iplug::IStateBuffer out;
    EXPECT_FALSE(FrozenSection::Write(out, nullptr, 3));
}

struct SectionCase
{
    const char* what;
    StateBytes bytes;
    bool wantBlob;
    int expectedPos;
    size_t expectedBlob;
};

TEST(FrozenSection, TakesOnlySoundSectionsAndSkipsMalformedOnes)
{
    const int size8 = 12 + 8;
    SectionCase cases[] = {
        {"exact length", StateBytes().U32(kMagic).U32(1).U32(8).Raw(8), true, size8, 8},
        {"length leaves a 4-byte flag", StateBytes().U32(kMagic).U32(1).U32(8).Raw(8).Raw(4, 0), true, size8, 8},
        {"not wanted: skipped, not taken", StateBytes().U32(kMagic).U32(1).U32(8).Raw(8), false, size8, 0},
        {"empty section", StateBytes().U32(kMagic).U32(1).U32(0), true, 12, 0},
        {"wrong magic", StateBytes().U32(kMagic + 1).U32(1).U32(8).Raw(8), true, size8, 0},
        {"wrong version", StateBytes().U32(kMagic).U32(2).U32(8).Raw(8), true, size8, 0},
        {"length too short", StateBytes().U32(kMagic).U32(1).U32(7).Raw(8), true, size8, 0},
        {"length too long", StateBytes().U32(kMagic).U32(1).U32(9).Raw(8), true, size8, 0},
        {"length wraps 32 bits", StateBytes().U32(kMagic).U32(1).U32(0xFFFFFFFCu).Raw(8), true, size8, 0},
        {"header cut short", StateBytes().U32(kMagic).U32(1), true, 8, 0},
    };
    for (SectionCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> blob = {9};
        const int pos = FrozenSection::Read(c.bytes.buffer, 0, c.wantBlob, blob);
        EXPECT_EQ(pos, c.expectedPos);
        EXPECT_EQ(blob.size(), c.expectedBlob);
    }
}

} // namespace
