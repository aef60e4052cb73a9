#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/EffectEngine.h"
#include "tests/engine/AllocationProbe.h"

// A host may ask for a block size no memory can hold. Preparation must not let the
// failure escape; the engine stays silent and recovers at the next preparation.
TEST(EffectEngineMemory, RefusedScratchLeavesTheEngineSilentUntilTheNextPreparation)
{
    auto engine = std::make_unique<EffectEngine>();
    constexpr int kHugeBlock = 1 << 28;
    {
        AllocationProbe::FailLarge refuse(size_t(kHugeBlock) * sizeof(float) / 2);
        EXPECT_NO_THROW(engine->Prepare(48000.0, kHugeBlock));
    }

    const int n = 256;
    std::vector<float> inL(n, 0.5f), inR(n, -0.5f), outL(n, 1.0f), outR(n, 1.0f);
    engine->Process(inL.data(), inR.data(), outL.data(), outR.data(), n);
    for (int i = 0; i < n; ++i) {
        ASSERT_EQ(outL[i], 0.0f);
        ASSERT_EQ(outR[i], 0.0f);
    }

    engine->SetParam(kMix, 0.0);
    engine->SetParam(kDrive, 0.0);
    engine->Prepare(48000.0, n);
    engine->Process(inL.data(), inR.data(), outL.data(), outR.data(), n);
    EXPECT_EQ(outL[n - 1], 0.5f);
    EXPECT_EQ(outR[n - 1], -0.5f);
}
