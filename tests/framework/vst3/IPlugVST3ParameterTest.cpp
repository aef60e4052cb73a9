// The three parameter bridges: registration records and value conversions.
#include "framework/vst3/IPlugVST3Parameter.h"
#include "framework/vst3/IPlugVST3BypassParameter.h"
#include "framework/vst3/IPlugVST3PresetParameter.h"

#include "base/source/fstring.h"

#include <gtest/gtest.h>

using namespace Steinberg;
using namespace Steinberg::Vst;
using iplug::IParam;

namespace {

template <typename P>
IPtr<P> Make(P* p)
{
    return owned(p);
}

} // namespace

TEST(IPlugVST3Parameter, RegistersKindDependentStepsFlagsAndDefaults)
{
    IParam gain, voice, steps, locked;
    gain.SetupDouble("Gain", 0.25, 0.0, 1.0, 0.001, "dB");
    voice.SetupEnum("Voice", 1, {"OD", "FUZZ"});
    steps.SetupInt("Steps", 3, 1, 8);
    locked.SetupDouble("Locked", 0.0, 0.0, 10.0, 0.1, "", iplug::kFlagCannotAutomate, "Back");

    struct Case
    {
        IParam* param;
        int32 steps;
        int32 flags;
        double defaultNormalised;
    };
    const Case cases[] = {
        {&gain, 0, ParameterInfo::kCanAutomate, 0.25},
        {&voice, 1, ParameterInfo::kCanAutomate | ParameterInfo::kIsList, 1.0},
        {&steps, 7, ParameterInfo::kCanAutomate, 2.0 / 7.0},
        {&locked, 0, 0, 0.0},
    };
    for (const Case& c : cases) {
        auto p = Make(new iplug::IPlugVST3Parameter(c.param, 3, 2));
        const ParameterInfo& info = p->getInfo();
        EXPECT_EQ(info.id, 3u);
        EXPECT_EQ(info.unitId, 2);
        EXPECT_EQ(info.stepCount, c.steps) << c.param->GetName();
        EXPECT_EQ(info.flags, c.flags) << c.param->GetName();
        EXPECT_DOUBLE_EQ(info.defaultNormalizedValue, c.defaultNormalised) << c.param->GetName();
        EXPECT_DOUBLE_EQ(p->getNormalized(), c.defaultNormalised);
        EXPECT_EQ(String(info.title), String(c.param->GetName()));
    }
    EXPECT_EQ(String(Make(new iplug::IPlugVST3Parameter(&gain, 0, 0))->getInfo().units), String("dB"));
}

TEST(IPlugVST3Parameter, ConvertsThroughTheBoundParam)
{
    IParam freq, voice;
    freq.SetupDouble("Freq", 100.0, 0.0, 400.0, 0.001, "", 0, "", IParam::ShapePowCurve(2.0));
    voice.SetupEnum("Voice", 0, {"OD", "FUZZ"});
    auto f = Make(new iplug::IPlugVST3Parameter(&freq, 0, 0));
    auto v = Make(new iplug::IPlugVST3Parameter(&voice, 1, 0));

    EXPECT_DOUBLE_EQ(f->toPlain(0.5), 100.0);
    EXPECT_DOUBLE_EQ(f->toPlain(2.0), 400.0) << "denormalised values are clamped to the range";
    EXPECT_DOUBLE_EQ(f->toNormalized(100.0), 0.5);

    String128 text{};
    v->toString(1.0, text);
    EXPECT_EQ(String(text), String("FUZZ"));
    ParamValue normalised = -1.0;
    EXPECT_TRUE(v->fromString(STR16("FUZZ"), normalised));
    EXPECT_DOUBLE_EQ(normalised, 1.0);

    EXPECT_TRUE(f->isTypeOf("IPlugVST3Parameter", false));
    EXPECT_TRUE(f->isTypeOf("Parameter"));
    EXPECT_TRUE(f->isTypeOf("FObject"));
    EXPECT_FALSE(f->isTypeOf("Parameter", false));
}

TEST(IPlugVST3PresetParameter, MapsNormalisedValuesToPresetIndices)
{
    auto p = Make(new iplug::IPlugVST3PresetParameter(48));
    EXPECT_EQ(p->getInfo().stepCount, 47);
    EXPECT_EQ(p->getInfo().flags, ParameterInfo::kIsProgramChange);
    EXPECT_EQ(p->getInfo().id, 0x10001u);
    struct Case
    {
        double normalised;
        double plain;
    };
    for (Case c : {Case{0.0, 0.0}, Case{0.5, 24.0}, Case{1.0, 47.0}, Case{0.01, 0.0}})
        EXPECT_DOUBLE_EQ(p->toPlain(c.normalised), c.plain) << c.normalised;
    EXPECT_DOUBLE_EQ(p->toNormalized(47.0), 1.0);
    EXPECT_DOUBLE_EQ(Make(new iplug::IPlugVST3PresetParameter(1))->toNormalized(0.0), 0.0);
}

TEST(IPlugVST3BypassParameter, IsATwoStateBypassList)
{
    auto p = Make(new iplug::IPlugVST3BypassParameter);
    EXPECT_EQ(p->getInfo().id, 0x10000u);
    EXPECT_EQ(p->getInfo().stepCount, 1);
    EXPECT_EQ(p->getInfo().flags, 0x10009);
    String128 text{};
    p->toString(1.0, text);
    EXPECT_EQ(String(text), String("on"));
    EXPECT_TRUE(p->isTypeOf("StringListParameter"));
    EXPECT_TRUE(p->isTypeOf("IPlugVST3BypassParameter", false));
}
