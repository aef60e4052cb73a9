#include "tests/plugin/HostRig.h"

#include "tests/plugin/HostParamChanges.h"

#include "public.sdk/source/common/memorystream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <map>
#include <set>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// The points grouped by parameter, each parameter's in the order given.
void SetChanges(HostParamChanges& changes, const std::vector<AutomationPoint>& points)
{
    changes.queues.clear();
    for (const AutomationPoint& p : points)
        changes.Add(p.id, p.offset, p.value);
}

template <class Interface>
Interface* Query(FUnknown* from)
{
    void* obj = nullptr;
    if (from->queryInterface(Interface::iid, &obj) != kResultOk)
        return nullptr;
    return static_cast<Interface*>(obj);
}

} // namespace

tresult PLUGIN_API TestHostApplication::queryInterface(const TUID iid, void** obj)
{
    if (FUnknownPrivate::iidEqual(iid, IHostApplication::iid) || FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
        *obj = this;
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}

tresult PLUGIN_API TestHostApplication::getName(String128 name)
{
    const char* text = "Marlquin Test Host";
    size_t i = 0;
    for (; text[i]; ++i)
        name[i] = static_cast<char16>(text[i]);
    name[i] = 0;
    return kResultOk;
}

tresult PLUGIN_API TestHostApplication::createInstance(TUID, TUID, void** obj)
{
    *obj = nullptr;
    return kNotImplemented;
}

tresult PLUGIN_API TestComponentHandler::queryInterface(const TUID iid, void** obj)
{
    if (FUnknownPrivate::iidEqual(iid, IComponentHandler::iid) || FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
        *obj = this;
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}

tresult PLUGIN_API TestComponentHandler::beginEdit(ParamID id)
{
    calls.push_back({'b', id, 0.0});
    return kResultOk;
}

tresult PLUGIN_API TestComponentHandler::performEdit(ParamID id, ParamValue value)
{
    calls.push_back({'p', id, value});
    return kResultOk;
}

tresult PLUGIN_API TestComponentHandler::endEdit(ParamID id)
{
    calls.push_back({'e', id, 0.0});
    return kResultOk;
}

std::string TestComponentHandler::Kinds() const
{
    std::string kinds;
    for (const HandlerCall& c : calls)
        kinds += c.kind;
    return kinds;
}

std::vector<std::string> TestComponentHandler::GestureFaults() const
{
    std::vector<std::string> faults;
    std::map<ParamID, int> open;
    for (size_t i = 0; i < calls.size(); ++i) {
        const HandlerCall& c = calls[i];
        const std::string where = " for " + std::to_string(c.id) + " at call " + std::to_string(i);
        int& depth = open[c.id];
        if (c.kind == 'b')
            ++depth;
        else if (c.kind == 'p' && depth == 0)
            faults.push_back("perform outside a gesture" + where);
        else if (c.kind == 'e' && depth == 0)
            faults.push_back("end without a begin" + where);
        else if (c.kind == 'e')
            --depth;
    }
    for (const auto& [id, count] : open)
        if (count > 0)
            faults.push_back("gesture never ended for " + std::to_string(id));
    return faults;
}

std::vector<ParamID> TestComponentHandler::PerformedIds() const
{
    std::set<ParamID> ids;
    for (const HandlerCall& c : calls)
        if (c.kind == 'p')
            ids.insert(c.id);
    return std::vector<ParamID>(ids.begin(), ids.end());
}

tresult PLUGIN_API TestComponentHandler::restartComponent(int32 flags)
{
    restarts.push_back(flags);
    return kResultOk;
}

HostRig::HostRig(FUnknown* instance)
{
    component = Query<IComponent>(instance);
    processor = Query<IAudioProcessor>(instance);
    controller = Query<IEditController>(instance);
    units = Query<IUnitInfo>(instance);
    instance->release();
    context.tempo = 120.0;
    context.timeSigNumerator = 4;
    context.timeSigDenominator = 4;
    context.state = ProcessContext::kTempoValid | ProcessContext::kProjectTimeMusicValid | ProcessContext::kPlaying
                    | ProcessContext::kTimeSigValid;
}

HostRig::~HostRig()
{
    Stop();
    Terminate();
    for (FUnknown* i : std::initializer_list<FUnknown*>{units, controller, processor, component})
        if (i)
            i->release();
}

bool HostRig::Initialize()
{
    if (!component || component->initialize(&host) != kResultOk)
        return false;
    controller->setComponentHandler(&handler);
    return true;
}

void HostRig::Terminate()
{
    if (component)
        component->terminate();
}

tresult HostRig::Start(double newRate, int newMaxBlock, bool newIs64)
{
    ProcessSetup setup{kRealtime, newIs64 ? kSample64 : kSample32, newMaxBlock, newRate};
    const tresult result = processor->setupProcessing(setup);
    if (result != kResultOk)
        return result;
    rate = newRate;
    maxBlock = newMaxBlock;
    is64 = newIs64;
    context.sampleRate = rate;
    component->activateBus(kAudio, kInput, 0, true);
    component->activateBus(kAudio, kOutput, 0, true);
    component->setActive(true);
    processor->setProcessing(true);
    return result;
}

void HostRig::Stop()
{
    if (!processor || maxBlock == 0)
        return;
    processor->setProcessing(false);
    component->setActive(false);
}

ProcessData HostRig::BlockData(AudioBusBuffers& in, AudioBusBuffers& out, IParameterChanges& blockChanges, int frames)
{
    ProcessData data;
    data.processMode = kRealtime;
    data.symbolicSampleSize = is64 ? kSample64 : kSample32;
    data.numSamples = frames;
    data.numInputs = 1;
    data.numOutputs = 1;
    data.inputs = &in;
    data.outputs = &out;
    data.inputParameterChanges = &blockChanges;
    data.processContext = passContext ? &context : nullptr;
    return data;
}

tresult HostRig::Process(int frames, const std::vector<AutomationPoint>& points)
{
    if (inL.size() < inputPos + frames) {
        const std::vector<double> more = TestSignal(inputPos + frames + 48000, 1);
        inL = more;
        inR = TestSignal(more.size(), 2);
    }
    const size_t n = static_cast<size_t>(frames);
    for (int c = 0; c < 2; ++c) {
        in64[c].assign(n, 0.0);
        in32[c].assign(n, 0.0f);
        // Output the plug-in does not write stays visibly wrong.
        out64[c].assign(n, 9.0);
        out32[c].assign(n, 9.0f);
    }
    std::vector<double>&l64 = in64[0], &r64 = in64[1], &outL64 = out64[0], &outR64 = out64[1];
    std::vector<float>&l32 = in32[0], &r32 = in32[1], &outL32 = out32[0], &outR32 = out32[1];
    for (int f = 0; f < frames; ++f) {
        l64[f] = inL[inputPos + f];
        r64[f] = inR[inputPos + f];
        l32[f] = static_cast<float>(l64[f]);
        r32[f] = static_cast<float>(r64[f]);
    }
    void* inPtrs[2] = {is64 ? static_cast<void*>(l64.data()) : l32.data(),
                       is64 ? static_cast<void*>(r64.data()) : r32.data()};
    void* outPtrs[2] = {is64 ? static_cast<void*>(outL64.data()) : outL32.data(),
                        is64 ? static_cast<void*>(outR64.data()) : outR32.data()};
    AudioBusBuffers inBus, outBus;
    inBus.numChannels = inputChannels;
    inBus.channelBuffers64 = reinterpret_cast<Sample64**>(inPtrs);
    outBus.numChannels = 2;
    outBus.silenceFlags = 3;
    outBus.channelBuffers64 = reinterpret_cast<Sample64**>(outPtrs);

    SetChanges(changes, points);
    ProcessData data = BlockData(inBus, outBus, changes, frames);
    const tresult result = processor->process(data);
    lastSilenceFlags = static_cast<uint32>(outBus.silenceFlags);

    for (int f = 0; f < frames; ++f) {
        outL.push_back(is64 ? outL64[f] : outL32[f]);
        outR.push_back(is64 ? outR64[f] : outR32[f]);
    }
    inputPos += static_cast<size_t>(frames);
    if (transportMoves) {
        context.projectTimeSamples += frames;
        context.projectTimeMusic += frames * context.tempo / (rate * 60.0);
    }
    return result;
}

tresult HostRig::Flush(const std::vector<AutomationPoint>& points)
{
    SetChanges(changes, points);
    ProcessData data;
    data.symbolicSampleSize = is64 ? kSample64 : kSample32;
    data.numSamples = 0;
    data.inputParameterChanges = &changes;
    return processor->process(data);
}

std::vector<uint8_t> HostRig::GetState()
{
    MemoryStream stream;
    if (component->getState(&stream) != kResultOk)
        return {};
    const auto* bytes = reinterpret_cast<const uint8_t*>(stream.getData());
    return std::vector<uint8_t>(bytes, bytes + stream.getSize());
}

tresult HostRig::SetState(const std::vector<uint8_t>& bytes)
{
    MemoryStream stream;
    int32 written = 0;
    if (!bytes.empty())
        stream.write(const_cast<uint8_t*>(bytes.data()), static_cast<int32>(bytes.size()), &written);
    stream.seek(0, IBStream::kIBSeekSet, nullptr);
    return component->setState(&stream);
}

tresult HostRig::SetParam(ParamID id, double normalised)
{
    return controller->setParamNormalized(id, normalised);
}

double HostRig::GetParam(ParamID id)
{
    return controller->getParamNormalized(id);
}

double HostRig::ToPlain(ParamID id, double normalised)
{
    return controller->normalizedParamToPlain(id, normalised);
}

double HostRig::ToNormalized(ParamID id, double plain)
{
    return controller->plainParamToNormalized(id, plain);
}

std::vector<double> TestSignal(size_t frames, unsigned seed)
{
    std::vector<double> out(frames);
    uint32_t x = 0x9e3779b9u * (seed + 1);
    for (size_t i = 0; i < frames; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        const double t = static_cast<double>(i);
        out[i] = 0.3 * std::sin(t * 0.031 * (seed + 1)) + 0.2 * std::sin(t * 0.0047) + 0.05 * (x / 4294967296.0 - 0.5);
    }
    return out;
}
