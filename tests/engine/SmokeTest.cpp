#include <cmath>
#include <gtest/gtest.h>

// Guards the build settings the engine depends on: NaN must stay NaN.
TEST(BuildFlags, NanComparisonsAreNotOptimisedAway)
{
    volatile double zero = 0.0;
    const double nan = zero / zero;
    EXPECT_FALSE(std::isfinite(nan));
    EXPECT_NE(nan, nan);
}
