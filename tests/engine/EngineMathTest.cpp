#include "engine/EngineMath.h"

#include <gtest/gtest.h>

#include <limits>

// Halves round away from zero (2.5 -> 3, not to the even 2): integer parameters
// such as Loop Voices or Sync Division must read the same as the panel shows them.
TEST(EngineMath, RoundToIntTakesHalvesAwayFromZeroAndSaturates)
{
    constexpr int kMax = std::numeric_limits<int>::max();
    constexpr int kMin = std::numeric_limits<int>::min();
    constexpr long long kMax64 = std::numeric_limits<long long>::max();
    constexpr long long kMin64 = std::numeric_limits<long long>::min();
    struct Case
    {
        double value;
        int rounded;
        long long rounded64;
    } cases[] = {
        {0.5, 1, 1},
        {1.5, 2, 2},
        {2.5, 3, 3},
        {-0.5, -1, -1},
        {-2.5, -3, -3},
        {2.4999999, 2, 2},
        {-2.4999999, -2, -2},
        {4294967296.5, kMax, 4294967297LL},
        {1e300, kMax, kMax64},
        {-1e300, kMin, kMin64},
        {std::numeric_limits<double>::infinity(), kMax, kMax64},
        {std::numeric_limits<double>::quiet_NaN(), 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EngineMath::RoundToInt(c.value), c.rounded) << c.value;
        EXPECT_EQ(EngineMath::RoundToInt64(c.value), c.rounded64) << c.value;
    }
}
