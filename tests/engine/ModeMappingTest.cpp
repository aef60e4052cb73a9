#include <gtest/gtest.h>

#include <pmmintrin.h>
#include <xmmintrin.h>

#include <cctype>
#include <string>
#include <vector>

#include "engine/EffectEngine.h"
#include "tests/engine/EffectEngineProbe.h"

// MACRO, Sync, Sync Division and the host tempo become each mode's own time
// once per block: the tremolo's rate counts divisions in reverse (a larger
// number is faster), the repeat slice never exceeds 1.2 s, the echoes clamp to
// their line, and the loop length stays within 10 ms..16 s.
namespace {

struct Mapping
{
    const char* name;
    double macro;
    bool sync;
    double division;
    double bpm;
    double tremHz;
    double repeatSeconds;
    double echoSeconds;
    double loopSeconds;
};

constexpr double kEchoCeiling = 0.05 * 24.0; // 1.2 as the engine's double sees it

const Mapping kMappings[] = {
    {"free, MACRO 0", 0.0, false, 4, 120, 0.5, 0.01, 0.05, 0.01},
    {"free, MACRO 1", 1.0, false, 4, 120, 12.0, 1.2, 0.05 * (1.2 / 0.05), 16.0},
    {"free, MACRO 0.5", 0.5, false, 4, 120, 0.5 * 4.898979485566356, 0.01 * 10.954451150103322,
     0.05 * 4.898979485566356, 0.01 * 40.0},
    // 1/4 at 120 BPM: half a second everywhere (the tremolo's reversed 4 is 1/4 too).
    {"1/4 at 120", 0.3, true, 4, 120, 2.0, 0.5, 0.5, 0.5},
    // 1/32: the tremolo reads 1/1 (2 s a cycle); the others an eighth of a beat.
    {"1/32 at 120", 0.3, true, 0, 120, 0.5, 0.0625, 0.0625, 0.0625},
    // 4/1: the tremolo reads 1/32; the slice falls back to 1/2; the echo clamps.
    {"4/1 at 120", 0.3, true, 10, 120, 16.0, 1.0, kEchoCeiling, 8.0},
    // 2/1 at 20 BPM is 24 s: the slice steps down to 1/16 (0.75 s), the loop clamps to 16 s.
    {"2/1 at 20", 0.3, true, 9, 20, 1.0 / 0.375, 0.75, kEchoCeiling, 16.0},
    // Triplets keep their own length in every mode.
    {"1/8T at 120", 0.3, true, 13, 120, 6.0, 1.0 / 6.0, 1.0 / 6.0, 1.0 / 6.0},
    // A division of 1.6 rounds to 2 (1/8; reversed for the tremolo: 1/2); a tempo above 999 counts as 999.
    {"rounded 1/8 at 5000", 0.3, true, 1.6, 5000, 999.0 / 120.0, 30.0 / 999.0, 30.0 / 999.0, 0.03003003003003003},
};

// One engine for every case: the times are mapped afresh in every block.
class ModeMappingTest : public ::testing::TestWithParam<Mapping>
{
protected:
    static void SetUpTestSuite()
    {
        engine = new EffectEngine();
        engine->Prepare(48000, 64);
    }
    static void TearDownTestSuite()
    {
        delete engine;
        engine = nullptr;
    }
    static EffectEngine* engine;
};

EffectEngine* ModeMappingTest::engine = nullptr;

} // namespace

TEST_P(ModeMappingTest, EachModeReceivesItsTime)
{
    _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
    _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
    const Mapping m = GetParam();
    engine->SetParam(kMacro, m.macro);
    engine->SetParam(kSync, m.sync ? 1.0 : 0.0);
    engine->SetParam(kSyncDivision, m.division);
    engine->SetTempo(m.bpm);
    std::vector<float> l(64, 0.0f), r(64, 0.0f);
    engine->Process(l.data(), r.data(), l.data(), r.data(), 64);

    const auto near = [](double expected) { return 1e-12 * expected; };
    EXPECT_NEAR(EffectEngineProbe(*engine).Trem().Rate(), m.tremHz, near(m.tremHz)) << "tremolo rate";
    EXPECT_NEAR(EffectEngineProbe(*engine).Repeat().CurrentState().time, m.repeatSeconds, near(m.repeatSeconds))
        << "repeat slice";
    for (const EchoMode* echo : {&EffectEngineProbe(*engine).Echo(), &EffectEngineProbe(*engine).EchoLeft(),
                                 &EffectEngineProbe(*engine).EchoRight()})
        EXPECT_NEAR(echo->CurrentState().time, m.echoSeconds, near(m.echoSeconds)) << "echo time";
    EXPECT_NEAR(EffectEngineProbe(*engine).LiveLoop().GetState().loopTime, m.loopSeconds, near(m.loopSeconds))
        << "loop length";
}

INSTANTIATE_TEST_SUITE_P(MacroSyncAndTempo, ModeMappingTest, ::testing::ValuesIn(kMappings),
                         [](const ::testing::TestParamInfo<Mapping>& info) {
                             std::string name;
                             for (const char* c = info.param.name; *c; ++c)
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return name;
                         });
