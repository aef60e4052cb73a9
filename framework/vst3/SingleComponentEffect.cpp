#include "framework/vst3/SingleComponentEffect.h"

#include "framework/vst3/InterfaceGuard.h"
#include "pluginterfaces/vst/vstspeaker.h"

namespace Steinberg {
namespace Vst {

namespace {

// The bus at an index the host passed, or null when there is none there.
Bus* BusAt(BusList* list, int32 index)
{
    if (!list || index < 0 || index >= static_cast<int32>(list->size()))
        return nullptr;
    return list->at(static_cast<size_t>(index)).get();
}

AudioBus* AudioBusAt(BusList& list, int32 index)
{
    return static_cast<AudioBus*>(BusAt(&list, index));
}

// The list keeps its own reference; the caller gets the bus to describe further.
template <class NewBus, class Layout>
NewBus* AddBus(BusList& list, const TChar* name, BusType busType, int32 flags, Layout layout)
{
    auto* bus = new NewBus(name, busType, flags, layout);
    list.emplace_back(bus, false);
    return bus;
}

} // namespace

SingleComponentEffect::SingleComponentEffect()
    : processSetup{kRealtime, kSample32, 1024, 44100.0}, audioInputs(kAudio, kInput), audioOutputs(kAudio, kOutput),
      eventInputs(kEvent, kInput), eventOutputs(kEvent, kOutput)
{}

SingleComponentEffect::~SingleComponentEffect() = default;

tresult PLUGIN_API SingleComponentEffect::queryInterface(const TUID iid, void** obj)
{
    QUERY_INTERFACE(iid, obj, IComponent::iid, IComponent)
    QUERY_INTERFACE(iid, obj, IAudioProcessor::iid, IAudioProcessor)
    QUERY_INTERFACE(iid, obj, IProcessContextRequirements::iid, IProcessContextRequirements)
    return EditControllerEx1::queryInterface(iid, obj);
}

tresult PLUGIN_API SingleComponentEffect::initialize(FUnknown* context)
{
    return InterfaceGuard::Run([&]() -> tresult {
        if (initialized)
            return kResultFalse;
        const tresult result = EditControllerEx1::initialize(context);
        initialized = result == kResultOk;
        return result;
    });
}

tresult PLUGIN_API SingleComponentEffect::terminate()
{
    return InterfaceGuard::Run([&] {
        // Everything announced by initialize goes, so the next initialize starts from nothing.
        removeAudioBusses();
        removeEventBusses();
        initialized = false;
        return EditControllerEx1::terminate();
    });
}

tresult PLUGIN_API SingleComponentEffect::getControllerClassId(TUID)
{
    return kNotImplemented;
}

tresult PLUGIN_API SingleComponentEffect::setIoMode(IoMode)
{
    return kNotImplemented;
}

tresult PLUGIN_API SingleComponentEffect::getRoutingInfo(RoutingInfo&, RoutingInfo&)
{
    return kNotImplemented;
}

BusList* SingleComponentEffect::getBusList(MediaType type, BusDirection dir)
{
    if (type == kAudio)
        return dir == kInput ? &audioInputs : &audioOutputs;
    if (type == kEvent)
        return dir == kInput ? &eventInputs : &eventOutputs;
    return nullptr;
}

int32 PLUGIN_API SingleComponentEffect::getBusCount(MediaType type, BusDirection dir)
{
    BusList* list = getBusList(type, dir);
    return list ? static_cast<int32>(list->size()) : 0;
}

tresult PLUGIN_API SingleComponentEffect::getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& info)
{
    return InterfaceGuard::Run([&]() -> tresult {
        Bus* bus = BusAt(getBusList(type, dir), index);
        if (!bus)
            return kInvalidArgument;
        info.mediaType = type;
        info.direction = dir;
        return bus->getInfo(info) ? kResultTrue : kResultFalse;
    });
}

tresult PLUGIN_API SingleComponentEffect::activateBus(MediaType type, BusDirection dir, int32 index, TBool state)
{
    Bus* bus = BusAt(getBusList(type, dir), index);
    if (!bus)
        return kInvalidArgument;
    bus->setActive(state);
    return kResultTrue;
}

tresult PLUGIN_API SingleComponentEffect::setActive(TBool)
{
    return kResultTrue;
}

tresult PLUGIN_API SingleComponentEffect::setState(IBStream*)
{
    return kResultOk;
}

tresult PLUGIN_API SingleComponentEffect::getState(IBStream*)
{
    return kResultOk;
}

tresult PLUGIN_API SingleComponentEffect::setComponentState(IBStream*)
{
    return kResultOk;
}

tresult PLUGIN_API SingleComponentEffect::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                             SpeakerArrangement* outputs, int32 numOuts)
{
    if (numIns < 0 || numOuts < 0 || numIns != static_cast<int32>(audioInputs.size())
        || numOuts != static_cast<int32>(audioOutputs.size()))
        return kResultFalse;
    if ((numIns > 0 && !inputs) || (numOuts > 0 && !outputs))
        return kInvalidArgument;
    for (int32 i = 0; i < numIns; ++i)
        AudioBusAt(audioInputs, i)->setArrangement(inputs[i]);
    for (int32 i = 0; i < numOuts; ++i)
        AudioBusAt(audioOutputs, i)->setArrangement(outputs[i]);
    return kResultTrue;
}

tresult PLUGIN_API SingleComponentEffect::getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr)
{
    AudioBus* bus = AudioBusAt(dir == kInput ? audioInputs : audioOutputs, index);
    if (!bus)
        return kInvalidArgument;
    arr = bus->getArrangement();
    return kResultTrue;
}

tresult PLUGIN_API SingleComponentEffect::canProcessSampleSize(int32 symbolicSampleSize)
{
    return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

uint32 PLUGIN_API SingleComponentEffect::getLatencySamples()
{
    return 0;
}

tresult PLUGIN_API SingleComponentEffect::setupProcessing(ProcessSetup& setup)
{
    if (canProcessSampleSize(setup.symbolicSampleSize) != kResultTrue)
        return kResultFalse;
    processSetup = setup;
    return kResultTrue;
}

tresult PLUGIN_API SingleComponentEffect::setProcessing(TBool)
{
    return kNotImplemented;
}

tresult PLUGIN_API SingleComponentEffect::process(ProcessData&)
{
    return kNotImplemented;
}

uint32 PLUGIN_API SingleComponentEffect::getTailSamples()
{
    return kNoTail;
}

uint32 PLUGIN_API SingleComponentEffect::getProcessContextRequirements()
{
    return IProcessContextRequirements::kNeedTempo | IProcessContextRequirements::kNeedTimeSignature
           | IProcessContextRequirements::kNeedProjectTimeMusic | IProcessContextRequirements::kNeedTransportState;
}

AudioBus* SingleComponentEffect::addAudioInput(const TChar* name, SpeakerArrangement arr, BusType busType, int32 flags)
{
    return AddBus<AudioBus>(audioInputs, name, busType, flags, arr);
}

AudioBus* SingleComponentEffect::addAudioOutput(const TChar* name, SpeakerArrangement arr, BusType busType, int32 flags)
{
    return AddBus<AudioBus>(audioOutputs, name, busType, flags, arr);
}

EventBus* SingleComponentEffect::addEventInput(const TChar* name, int32 channels, BusType busType, int32 flags)
{
    return AddBus<EventBus>(eventInputs, name, busType, flags, channels);
}

EventBus* SingleComponentEffect::addEventOutput(const TChar* name, int32 channels, BusType busType, int32 flags)
{
    return AddBus<EventBus>(eventOutputs, name, busType, flags, channels);
}

tresult SingleComponentEffect::removeAudioBusses()
{
    audioInputs.clear();
    audioOutputs.clear();
    return kResultOk;
}

tresult SingleComponentEffect::removeEventBusses()
{
    eventInputs.clear();
    eventOutputs.clear();
    return kResultOk;
}

AudioBus* SingleComponentEffect::getAudioInput(int32 index)
{
    return AudioBusAt(audioInputs, index);
}

AudioBus* SingleComponentEffect::getAudioOutput(int32 index)
{
    return AudioBusAt(audioOutputs, index);
}

} // namespace Vst
} // namespace Steinberg
