#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "engine/modes/TransientMap.h"

namespace {

constexpr double kRate = 48000.0;

struct MapOverRing
{
    explicit MapOverRing(int length) : ring(static_cast<size_t>(length), 0.0f)
    {
        map.Prepare(kRate, ring.data(), length);
        // The map scans forward from the first clock it sees, as behind a writer.
        map.Update(0.0);
    }

    std::vector<int> FlaggedBlocks() const
    {
        std::vector<int> flagged;
        for (int b = 0; b < map.BlockCount(); ++b)
            if (map.CurrentState().flags[static_cast<size_t>(b)])
                flagged.push_back(b);
        return flagged;
    }

    std::vector<float> ring;
    TransientMap map;
};

} // namespace

TEST(TransientMap, SilenceFlagsNothing)
{
    MapOverRing rig(48000);
    rig.map.Update(48000.0);
    EXPECT_TRUE(rig.FlaggedBlocks().empty());
    EXPECT_FALSE(rig.map.AnyMarked(0.0, 48000.0));
}

// A click raises the fast envelope far above the slow one; the flag then stays
// on for the hold time after the last block that still counts as an onset.
TEST(TransientMap, ClickFlagsItsBlockAndTheHoldAfterIt)
{
    for (const bool incremental : {false, true}) {
        SCOPED_TRACE(incremental ? "scanned every 32 samples" : "scanned at once");
        MapOverRing rig(48000);
        rig.ring[100 * 32 + 5] = 0.8f;
        if (incremental)
            for (int clock = 32; clock <= 48000; clock += 32)
                rig.map.Update(clock);
        else
            rig.map.Update(48000.0);

        const std::vector<int> flagged = rig.FlaggedBlocks();
        ASSERT_FALSE(flagged.empty());
        EXPECT_EQ(flagged.front(), 100);
        for (size_t i = 1; i < flagged.size(); ++i)
            EXPECT_EQ(flagged[i], flagged[i - 1] + 1) << "the flagged run has a gap";
        const int hold = static_cast<int>(std::lround(kRate / 32.0 * 0.025));
        EXPECT_EQ(rig.map.HoldBlocks(), hold);
        EXPECT_GE(static_cast<int>(flagged.size()), hold + 1);
        EXPECT_LE(static_cast<int>(flagged.size()), hold + 8);
        EXPECT_TRUE(rig.map.IsMarked(100 * 32.0));
        EXPECT_FALSE(rig.map.IsMarked(99 * 32.0 + 31.0));
    }
}

TEST(TransientMap, SteadyToneIsNotAnOnsetOnceEstablished)
{
    MapOverRing rig(48000);
    for (size_t i = 0; i < rig.ring.size(); ++i)
        rig.ring[i] = static_cast<float>(0.5 * std::sin(2.0 * 3.141592653589793 * 440.0 * i / kRate));
    rig.map.Update(48000.0);
    // The tone's own start is an onset; a second later it is not.
    EXPECT_TRUE(rig.map.IsMarked(0.0));
    EXPECT_FALSE(rig.map.AnyMarked(24000.0, 20000.0));
}

TEST(TransientMap, BlockStillBeingWrittenWaitsForItsLastSample)
{
    MapOverRing rig(48000);
    rig.map.Update(3200.0);
    rig.ring[3205] = 1.0f;
    rig.map.Update(3231.0);
    EXPECT_FALSE(rig.map.IsMarked(3205.0));
    rig.map.Update(3232.0);
    EXPECT_TRUE(rig.map.IsMarked(3205.0));
}

// Ring of 1000 samples: 31 whole blocks and a last block of 8. The scan runs
// through the short block and on around the ring.
TEST(TransientMap, ScanWrapsAroundARingWithAShortLastBlock)
{
    MapOverRing rig(1000);
    EXPECT_EQ(rig.map.BlockCount(), 32);
    rig.map.Update(990.0);
    rig.ring[500] = 1.0f; // absolute position 1500
    rig.map.Update(1600.0);
    EXPECT_TRUE(rig.map.IsMarked(1500.0));
    EXPECT_TRUE(rig.map.IsMarked(500.0));
    EXPECT_TRUE(rig.map.IsMarked(-500.0));
    EXPECT_TRUE(rig.map.IsMarked(1500.0 + 7 * 1000.0));
    EXPECT_FALSE(rig.map.IsMarked(std::numeric_limits<double>::quiet_NaN()));
}

TEST(TransientMap, AnyMarkedLooksAcrossTheSpan)
{
    MapOverRing rig(48000);
    rig.ring[20000] = 1.0f;
    rig.map.Update(48000.0);
    EXPECT_TRUE(rig.map.AnyMarked(19000.0, 1001.0));
    EXPECT_TRUE(rig.map.AnyMarked(19990.0, 10.0));
    EXPECT_FALSE(rig.map.AnyMarked(10000.0, 9000.0));
    EXPECT_FALSE(rig.map.AnyMarked(10000.0, -5.0));
    EXPECT_TRUE(rig.map.AnyMarked(0.0, std::numeric_limits<double>::infinity()));
}

// A clock that jumps backwards or further than one ring ahead cannot continue
// the old scan: the map starts over instead of reporting stale blocks.
TEST(TransientMap, ClockJumpStartsOver)
{
    for (const double jump : {100.0, 48000.0 * 3.0}) {
        SCOPED_TRACE(jump);
        MapOverRing rig(48000);
        rig.ring[3205] = 1.0f;
        rig.map.Update(10000.0);
        ASSERT_TRUE(rig.map.IsMarked(3205.0));
        rig.ring[3205] = 0.0f;
        rig.map.Update(jump);
        EXPECT_FALSE(rig.map.IsMarked(3205.0));
    }
}

TEST(TransientMap, EmptyOrMissingRingIsSafe)
{
    TransientMap empty;
    empty.Prepare(0.0, nullptr, 0);
    empty.Update(1000.0);
    EXPECT_EQ(empty.BlockCount(), 0);
    EXPECT_FALSE(empty.IsMarked(5.0));
    EXPECT_FALSE(empty.AnyMarked(0.0, 100.0));

    std::vector<float> ring(64, 1.0f);
    TransientMap unprepared;
    unprepared.Update(64.0);
    EXPECT_FALSE(unprepared.IsMarked(0.0));
    TransientMap huge;
    huge.Prepare(kRate, ring.data(), 64);
    huge.Update(std::numeric_limits<double>::infinity());
    huge.Update(1e300);
    EXPECT_FALSE(huge.IsMarked(0.0));
}
