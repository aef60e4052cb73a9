// LOOPS locked to a playing host transport, through the whole engine: the host
// position drives the tempo records, and each voice's segment starts show where
// the loop restarts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/EffectEngine.h"
#include "tests/engine/AudioProbe.h"
#include "tests/engine/EffectEngineProbe.h"

namespace {

constexpr double kRate = 8000.0;
constexpr int kBlock = 8;
// Tempos at which the divisions used below last a whole number of samples at
// 8 kHz: a quarter of a beat at 117.1875 BPM is 1024 samples, a 1/64 note at
// 937.5 BPM is 32 and a 1/32 note 64.
constexpr double kSlowTempo = 117.1875;
constexpr double kFastTempo = 937.5;
constexpr int kQuarterBeat = 1;
constexpr int kThirtySecond = 0;
constexpr int kSixtyFourth = 11;

class LockedLoopHost
{
public:
    LockedLoopHost(double tempo, int division) : beatsPerSample(tempo / 60.0 / kRate)
    {
        engine->SetParam(kMode, 2);
        engine->SetParam(kSync, 1);
        engine->SetParam(kSyncDivision, division);
        engine->SetParam(kShape, 0.0);
        engine->SetParam(kChaos, 0.0);
        engine->SetParam(kMix, 1.0);
        engine->SetParam(kLoopVoices, 6);
        engine->SetTempo(tempo);
        engine->Prepare(kRate, kBlock);
    }

    // Plays until the given sample with the host transport running, noting
    // every segment start of every voice.
    void RunUntil(int64_t end)
    {
        std::vector<float> l(kBlock), r(kBlock);
        while (sample < end) {
            for (int i = 0; i < kBlock; ++i)
                l[i] = r[i] = static_cast<float>(0.5 * std::sin(0.05 * static_cast<double>(sample + i)));
            engine->SetHostPosition(position);
            engine->Process(l.data(), r.data(), l.data(), r.data(), kBlock);
            sample += kBlock;
            position += kBlock * beatsPerSample;
            for (int v = 0; v < LoopsMode::kVoiceCount; ++v) {
                const int64_t stamp =
                    static_cast<int64_t>(EffectEngineProbe(*engine).LiveLoop().GetState().voices[v].startStamp);
                if (starts[v].empty() || starts[v].back() != stamp)
                    starts[v].push_back(stamp);
            }
        }
    }

    // Starts of voice v in [from, to).
    std::vector<int64_t> StartsOf(int v, int64_t from, int64_t to) const
    {
        std::vector<int64_t> found;
        for (int64_t s : starts[v])
            if (s >= from && s < to)
                found.push_back(s);
        return found;
    }

    std::unique_ptr<EffectEngine> engine = std::make_unique<EffectEngine>();
    double beatsPerSample;
    double position = 0.0;
    int64_t sample = 0;
    std::vector<int64_t> starts[LoopsMode::kVoiceCount];
};

class LoopsTempoLockTest : public ::testing::Test
{
protected:
    audio_probe::FloatModeScope floatMode;
};

} // namespace

// The loop lasts the fewest whole divisions that hold two fades (5 ms each, so
// three 32-sample divisions at 8 kHz) and restarts on a division boundary, the
// six voices staggered by sixths of the loop.
TEST_F(LoopsTempoLockTest, RestartsOnBoundariesEveryLoopWithStaggeredVoices)
{
    struct Case
    {
        double tempo;
        int division;
        int32_t divisionSamples;
        int64_t loopSamples;
    } cases[] = {{kSlowTempo, kQuarterBeat, 1024, 1024}, {kFastTempo, kSixtyFourth, 32, 96}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tempo << " BPM, division " << c.division);
        LockedLoopHost host(c.tempo, c.division);
        host.RunUntil(4 * 8000);
        const std::vector<int64_t> loops = host.StartsOf(0, 8000, 4 * 8000);
        ASSERT_GE(loops.size(), 3u);
        EXPECT_EQ(loops[0] % c.divisionSamples, 0);
        for (size_t i = 1; i < loops.size(); ++i)
            EXPECT_EQ(loops[i] - loops[i - 1], c.loopSamples) << i;
        for (int v = 1; v < LoopsMode::kVoiceCount; ++v) {
            std::vector<int64_t> expected;
            for (size_t i = 0; i + 1 < loops.size(); ++i)
                expected.push_back(loops[i] + c.loopSamples * v / 6);
            EXPECT_EQ(host.StartsOf(v, loops.front(), loops.back()), expected) << "voice " << v;
        }
    }
}

// A host jumping back (a cycle in its arrangement) restarts the division count
// at the jump: the next loop starts on the third boundary after it, even when
// the old count was about to complete a loop sooner. The segment already
// playing runs to its end first.
TEST_F(LoopsTempoLockTest, BackwardJumpCountsTheLoopFromTheJump)
{
    LockedLoopHost host(kFastTempo, kSixtyFourth);
    host.RunUntil(3000);
    const int64_t loopStart = host.starts[0].back() + 96;
    // One and a half divisions into a loop, the host goes back four beats.
    host.RunUntil(loopStart + 48);
    host.position -= 4.0;
    host.RunUntil(loopStart + 400);

    const std::vector<int64_t> expected = {loopStart + 96, loopStart + 128, loopStart + 224, loopStart + 320};
    EXPECT_EQ(host.StartsOf(0, loopStart + 1, loopStart + 400), expected);
    // Voice 3 follows half a loop behind, from the new count on.
    const std::vector<int64_t> voice3 = {loopStart + 176, loopStart + 272, loopStart + 368};
    EXPECT_EQ(host.StartsOf(3, loopStart + 150, loopStart + 400), voice3);
}

// A new Sync Division restarts the count too: at a 1/32 note (64 samples, two
// per loop) the first loop starts on the second new boundary after the change.
TEST_F(LoopsTempoLockTest, DivisionChangeCountsTheLoopFromTheChange)
{
    LockedLoopHost host(kFastTempo, kSixtyFourth);
    host.RunUntil(3000);
    int64_t loopStart = host.starts[0].back() + 96;
    // A loop start halfway between two 1/32 boundaries, so that the segment
    // playing at the change ends exactly on the expected restart.
    if (loopStart % 64 != 32)
        loopStart += 96;
    host.RunUntil(loopStart + 8);
    host.engine->SetParam(kSyncDivision, kThirtySecond);
    host.RunUntil(loopStart + 600);

    const int64_t firstBoundary = loopStart + 32;
    const std::vector<int64_t> expected = {firstBoundary + 64, firstBoundary + 192, firstBoundary + 320,
                                           firstBoundary + 448};
    EXPECT_EQ(host.StartsOf(0, loopStart + 1, loopStart + 600), expected);
}
