#include "framework/core/GrowBuffer.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

using iplug::GrowBuffer;

namespace {

struct GrowthCase
{
    int granularity;
    int from;
    int to;
    int expectedAllocated;
};

class GrowBufferGrowth : public ::testing::TestWithParam<GrowthCase>
{};

TEST_P(GrowBufferGrowth, AllocatesByGranularityPolicy)
{
    const GrowthCase c = GetParam();
    GrowBuffer buffer(c.granularity);
    buffer.Resize(c.from, false);
    ASSERT_NE(buffer.Resize(c.to, false), nullptr);
    EXPECT_EQ(buffer.Size(), c.to);
    EXPECT_EQ(buffer.Allocated(), c.expectedAllocated);
}

INSTANTIATE_TEST_SUITE_P(Sizes, GrowBufferGrowth,
                         ::testing::Values(GrowthCase{4096, 0, 1, 4000},            // one page less the slack
                                           GrowthCase{4096, 0, 5000, 8096},         // next page boundary
                                           GrowthCase{4096, 0, 100000, 147360},     // spare room grows with size
                                           GrowthCase{4096, 0, 20000000, 24190880}, // spare room capped at 4 MiB
                                           GrowthCase{128, 0, 11, 139},             // small: size + granularity
                                           GrowthCase{128, 0, 1000, 1500},          // small: size + half
                                           GrowthCase{4096, 1, 3000, 4000}));       // fits: no reallocation

TEST(GrowBuffer, ResizeToCurrentSizeNeverReallocates)
{
    GrowBuffer buffer(4096);
    auto* first = buffer.Resize(100000, false);
    buffer.Resize(1000, false); // no shrink: allocation kept
    auto* before = buffer.Data();
    const int allocated = buffer.Allocated();
    EXPECT_EQ(buffer.Resize(1000, true), before);
    EXPECT_EQ(buffer.Allocated(), allocated);
    EXPECT_EQ(before, first);
}

TEST(GrowBuffer, ShrinksOnlyWhenAllowedAndWellBelowAllocation)
{
    GrowBuffer buffer(4096);
    buffer.Resize(100000, false);
    ASSERT_EQ(buffer.Allocated(), 147360);
    // Threshold is min(allocated - 4 pages, allocated / 2) = 73680.
    buffer.Resize(80000, true);
    EXPECT_EQ(buffer.Allocated(), 147360);
    buffer.Resize(70000, true);
    EXPECT_EQ(buffer.Allocated(), 102304);
    buffer.Resize(10, false);
    EXPECT_EQ(buffer.Allocated(), 102304);
    EXPECT_EQ(buffer.Size(), 10);
}

TEST(GrowBuffer, ResizeToZeroFreesOnlyWithShrink)
{
    GrowBuffer kept(4096);
    kept.Resize(10, false);
    EXPECT_EQ(kept.Resize(0, false), nullptr);
    EXPECT_EQ(kept.Size(), 0);
    EXPECT_EQ(kept.Allocated(), 4000);
    EXPECT_EQ(kept.Data(), nullptr); // a zero-size buffer has no data, whatever is allocated

    GrowBuffer freed(4096);
    freed.Resize(10, false);
    EXPECT_EQ(freed.Resize(0, true), nullptr);
    EXPECT_EQ(freed.Allocated(), 0);
}

TEST(GrowBuffer, NegativeSizeCountsAsZero)
{
    GrowBuffer buffer(128);
    buffer.Resize(20, false);
    buffer.Resize(-5, true);
    EXPECT_EQ(buffer.Size(), 0);
    EXPECT_EQ(buffer.Allocated(), 0);
}

TEST(GrowBuffer, ContentsSurviveGrowthAndShrink)
{
    GrowBuffer buffer(128);
    auto* p = static_cast<unsigned char*>(buffer.Resize(200, false));
    for (int i = 0; i < 200; ++i)
        p[i] = static_cast<unsigned char>(i);
    p = static_cast<unsigned char*>(buffer.Resize(50000, false));
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(p[i], i);
    p = static_cast<unsigned char*>(buffer.Resize(100, true));
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(p[i], i);
}

TEST(GrowBuffer, AllocationArithmeticNeverOverflowsNearTheLimit)
{
    for (int granularity : {128, 4096}) {
        for (int64_t size : {int64_t(INT_MAX) - 1, int64_t(INT_MAX), int64_t(INT_MAX) / 2 + 7}) {
            const int64_t a = GrowBuffer::AllocationFor(size, granularity);
            EXPECT_GE(a, size);
            EXPECT_LE(a, int64_t(INT_MAX));
        }
    }
}

TEST(GrowBuffer, CopyFromMakesAnExactCopy)
{
    GrowBuffer source(4096);
    std::memcpy(source.Resize(5, false), "hello", 5);
    GrowBuffer copy(128);
    copy.Resize(900, false);
    copy.CopyFrom(source);
    ASSERT_EQ(copy.Size(), 5);
    EXPECT_EQ(std::memcmp(copy.Data(), "hello", 5), 0);

    GrowBuffer empty(4096);
    copy.CopyFrom(empty);
    EXPECT_EQ(copy.Size(), 0);
    EXPECT_EQ(copy.Data(), nullptr);
}

} // namespace
