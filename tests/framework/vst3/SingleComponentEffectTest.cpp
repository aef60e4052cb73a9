// A tiny single-component effect driven only through the VST 3 interfaces, as a host would.
#include "framework/vst3/SingleComponentEffect.h"

#include "pluginterfaces/vst/vstspeaker.h"

#include <gtest/gtest.h>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

class TinyEffect : public SingleComponentEffect
{
public:
    tresult PLUGIN_API initialize(FUnknown* context) override
    {
        const tresult result = SingleComponentEffect::initialize(context);
        if (result != kResultOk)
            return result;
        addAudioInput(STR16("In"), SpeakerArr::kStereo);
        addAudioOutput(STR16("Out"), SpeakerArr::kStereo);
        addEventInput(STR16("Events"), 1);
        parameters.addParameter(STR16("Gain"), nullptr, 0, 0.5, ParameterInfo::kCanAutomate, 7);
        addUnit(new Unit(STR16("Root"), kRootUnitId, kNoParentUnitId));
        return kResultOk;
    }
};

struct Host
{
    TinyEffect* effect = new TinyEffect;
    ~Host() { effect->release(); }

    template <typename I>
    IPtr<I> query()
    {
        I* iface = nullptr;
        if (effect->queryInterface(I::iid, reinterpret_cast<void**>(&iface)) != kResultOk)
            return nullptr;
        return owned(iface);
    }
};

} // namespace

TEST(SingleComponentEffect, AnswersEveryInterfaceOfTheOneObject)
{
    Host host;
    auto component = host.query<IComponent>();
    auto processor = host.query<IAudioProcessor>();
    auto controller = host.query<IEditController>();
    auto units = host.query<IUnitInfo>();
    auto requirements = host.query<IProcessContextRequirements>();
    ASSERT_TRUE(component && processor && controller && units && requirements);
    EXPECT_TRUE(host.query<IEditController2>());
    EXPECT_TRUE(host.query<IConnectionPoint>());

    // All of them are the same object: one reference count.
    FUnknown* viaComponent = nullptr;
    ASSERT_EQ(component->queryInterface(IAudioProcessor::iid, reinterpret_cast<void**>(&viaComponent)), kResultOk);
    EXPECT_EQ(static_cast<void*>(viaComponent), static_cast<void*>(processor.get()));
    viaComponent->release();

    TUID controllerId;
    EXPECT_EQ(component->getControllerClassId(controllerId), kNotImplemented);

    const uint32 wanted = requirements->getProcessContextRequirements();
    for (uint32 flag :
         {IProcessContextRequirements::kNeedTempo, IProcessContextRequirements::kNeedTimeSignature,
          IProcessContextRequirements::kNeedProjectTimeMusic, IProcessContextRequirements::kNeedTransportState})
        EXPECT_NE(wanted & flag, 0u) << flag;
}

TEST(SingleComponentEffect, InitializeTerminateCyclesLeaveOneSetOfBusesParametersAndUnits)
{
    Host host;
    auto component = host.query<IComponent>();
    auto controller = host.query<IEditController>();
    auto units = host.query<IUnitInfo>();
    for (int cycle = 0; cycle < 3; ++cycle) {
        ASSERT_EQ(component->initialize(nullptr), kResultOk) << cycle;
        EXPECT_EQ(component->initialize(nullptr), kResultFalse) << "second initialize must refuse";
        EXPECT_EQ(component->getBusCount(kAudio, kInput), 1);
        EXPECT_EQ(component->getBusCount(kAudio, kOutput), 1);
        EXPECT_EQ(component->getBusCount(kEvent, kInput), 1);
        EXPECT_EQ(component->getBusCount(kEvent, kOutput), 0);
        EXPECT_EQ(controller->getParameterCount(), 1);
        EXPECT_EQ(units->getUnitCount(), 1);
        EXPECT_EQ(component->terminate(), kResultOk);
        EXPECT_EQ(component->getBusCount(kAudio, kInput), 0);
        EXPECT_EQ(controller->getParameterCount(), 0);
    }
}

TEST(SingleComponentEffect, BusInfoActivationAndArrangements)
{
    Host host;
    auto component = host.query<IComponent>();
    auto processor = host.query<IAudioProcessor>();
    ASSERT_EQ(component->initialize(nullptr), kResultOk);

    BusInfo info{};
    ASSERT_EQ(component->getBusInfo(kAudio, kOutput, 0, info), kResultTrue);
    EXPECT_EQ(info.channelCount, 2);
    EXPECT_EQ(info.mediaType, kAudio);
    EXPECT_EQ(info.direction, kOutput);
    EXPECT_EQ(info.flags, static_cast<uint32>(BusInfo::kDefaultActive));
    EXPECT_EQ(String(info.name), String("Out"));

    struct BadIndex
    {
        MediaType type;
        BusDirection dir;
        int32 index;
    };
    for (BadIndex bad : {BadIndex{kAudio, kInput, 1}, BadIndex{kAudio, kOutput, -1}, BadIndex{kEvent, kOutput, 0},
                         BadIndex{7, kInput, 0}}) {
        EXPECT_EQ(component->getBusInfo(bad.type, bad.dir, bad.index, info), kInvalidArgument);
        EXPECT_EQ(component->activateBus(bad.type, bad.dir, bad.index, true), kInvalidArgument);
    }
    EXPECT_FALSE(host.effect->getAudioInput(0)->isActive());
    EXPECT_EQ(component->activateBus(kAudio, kInput, 0, true), kResultTrue);
    EXPECT_TRUE(host.effect->getAudioInput(0)->isActive());

    SpeakerArrangement mono = SpeakerArr::kMono, stereo = SpeakerArr::kStereo;
    EXPECT_EQ(processor->setBusArrangements(&mono, 1, &stereo, 1), kResultTrue);
    SpeakerArrangement arr = 0;
    ASSERT_EQ(processor->getBusArrangement(kInput, 0, arr), kResultTrue);
    EXPECT_EQ(arr, SpeakerArr::kMono);
    EXPECT_EQ(processor->setBusArrangements(&mono, 1, nullptr, 0), kResultFalse);
    EXPECT_EQ(processor->getBusArrangement(kOutput, 1, arr), kInvalidArgument);

    ProcessSetup setup{kRealtime, kSample64, 256, 48000.0};
    EXPECT_EQ(processor->setupProcessing(setup), kResultFalse) << "base class processes 32-bit only";
    setup.symbolicSampleSize = kSample32;
    EXPECT_EQ(processor->setupProcessing(setup), kResultTrue);
    EXPECT_EQ(host.effect->getProcessSetup().maxSamplesPerBlock, 256);
    component->terminate();
}
