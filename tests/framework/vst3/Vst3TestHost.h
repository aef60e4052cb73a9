#pragma once

// A small host for binding tests: a test plug-in with four parameters in two groups and two
// presets, the host objects it talks to, and helpers that build process calls.

#include "framework/vst3/IPlugVST3.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivsthostapplication.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "public.sdk/source/common/memorystream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vst3test {

using namespace Steinberg;
using namespace Steinberg::Vst;

constexpr int kGain = 0, kVoice = 1, kSteps = 2, kTone = 3;

inline iplug::IPlugDescriptor TestDescriptor(bool midi)
{
    iplug::IPlugDescriptor d;
    d.doesMidiIn = d.doesMidiOut = midi;
    d.nParams = 4;
    d.nPresets = 2;
    d.channelIoText = "1-2 2-2";
    d.pluginName = "Test";
    d.productName = "Test";
    d.makerName = "Maker";
    d.version = iplug::PackVersion(1, 0, 0);
    d.hasEditor = true;
    d.editorWidth = 460;
    d.editorHeight = 640;
    return d;
}

// Output = input × Gain; records what the framework hands it.
class TestPlugin : public iplug::IPlugVST3
{
public:
    explicit TestPlugin(bool midi = false) : IPlugVST3(TestDescriptor(midi))
    {
        GetParam(kGain)->SetupDouble("Gain", 1.0, 0.0, 2.0, 0.001);
        GetParam(kVoice)->SetupEnum("Voice", 0, {"OD", "FUZZ"}, 0, "Drive");
        GetParam(kSteps)->SetupInt("Steps", 4, 1, 8, "", 0, "Drive");
        GetParam(kTone)->SetupDouble("Tone", 0.5, 0.0, 1.0, 0.001, "", 0, "Filter");
        AddPreset("Quiet", {0.5, 1.0, 2.0, 0.25});
        AddPreset("Loud", {2.0, 0.0, 8.0, 1.0});
    }

    void ProcessAudioBlock(double** inputs, double** outputs, int nFrames) override
    {
        if (throwInProcess)
            throw std::runtime_error("fault inside the plug-in");
        ++blocks;
        lastFrames = nFrames;
        const double gain = GetParam(kGain)->Value();
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < nFrames; ++i)
                outputs[c][i] = inputs[c][i] * gain;
    }

    void OnParamChange(int paramIdx, iplug::ParamOrigin source, int sampleOffset) override
    {
        changes.push_back({paramIdx, sampleOffset});
        IPlugVST3::OnParamChange(paramIdx, source, sampleOffset);
    }

    void OnProcessingReset() override { ++resets; }

    void AllowHostResizing() { editorResizable = true; }

    bool throwInProcess = false;
    int blocks = 0;
    int lastFrames = 0;
    int resets = 0;
    std::vector<std::pair<int, int>> changes;

private:
    void AddPreset(const char* name, std::vector<double> values)
    {
        iplug::IStateBuffer state;
        for (double v : values)
            state.Put(v);
        AddFactoryPreset(name, state);
    }
};

// Host objects live on the stack of a test; their counts are never used.
class HostApplication : public IHostApplication
{
public:
    tresult PLUGIN_API getName(String128 name) override
    {
        const char* text = "Reaper test rig";
        for (int i = 0;; ++i)
            if ((name[i] = static_cast<TChar>(text[i])) == 0)
                break;
        return kResultOk;
    }
    tresult PLUGIN_API createInstance(TUID, TUID, void** obj) override
    {
        *obj = nullptr;
        return kNotImplemented;
    }
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override
    {
        QUERY_INTERFACE(iid, obj, FUnknown::iid, IHostApplication)
        QUERY_INTERFACE(iid, obj, IHostApplication::iid, IHostApplication)
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }
};

class ComponentHandler : public IComponentHandler
{
public:
    tresult PLUGIN_API beginEdit(ParamID id) override
    {
        edits.push_back({'b', id, 0.0});
        return kResultOk;
    }
    tresult PLUGIN_API performEdit(ParamID id, ParamValue value) override
    {
        edits.push_back({'p', id, value});
        return kResultOk;
    }
    tresult PLUGIN_API endEdit(ParamID id) override
    {
        edits.push_back({'e', id, 0.0});
        return kResultOk;
    }
    tresult PLUGIN_API restartComponent(int32 flags) override
    {
        restarts.push_back(flags);
        return kResultOk;
    }
    // The kinds of the calls in order, as "bpe" for one begin, perform and end.
    std::string Kinds() const
    {
        std::string kinds;
        for (const auto& e : edits)
            kinds += e.kind;
        return kinds;
    }
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override
    {
        QUERY_INTERFACE(iid, obj, FUnknown::iid, IComponentHandler)
        QUERY_INTERFACE(iid, obj, IComponentHandler::iid, IComponentHandler)
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }

    struct Edit
    {
        char kind;
        ParamID id;
        ParamValue value;
    };
    std::vector<Edit> edits;
    std::vector<int32> restarts;
};

class PointQueue : public IParamValueQueue
{
public:
    PointQueue(ParamID id, std::vector<std::pair<int32, ParamValue>> points) : id(id), points(std::move(points)) {}
    ParamID PLUGIN_API getParameterId() override { return id; }
    int32 PLUGIN_API getPointCount() override { return static_cast<int32>(points.size()); }
    tresult PLUGIN_API getPoint(int32 index, int32& offset, ParamValue& value) override
    {
        if (index < 0 || index >= getPointCount())
            return kInvalidArgument;
        offset = points[static_cast<size_t>(index)].first;
        value = points[static_cast<size_t>(index)].second;
        return kResultOk;
    }
    tresult PLUGIN_API addPoint(int32, ParamValue, int32&) override { return kNotImplemented; }
    tresult PLUGIN_API queryInterface(const TUID, void** obj) override
    {
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }

private:
    ParamID id;
    std::vector<std::pair<int32, ParamValue>> points;
};

class Changes : public IParameterChanges
{
public:
    void Add(ParamID id, std::vector<std::pair<int32, ParamValue>> points)
    {
        queues.emplace_back(id, std::move(points));
    }
    int32 PLUGIN_API getParameterCount() override { return static_cast<int32>(queues.size()); }
    IParamValueQueue* PLUGIN_API getParameterData(int32 index) override
    {
        return index >= 0 && index < getParameterCount() ? &queues[static_cast<size_t>(index)] : nullptr;
    }
    IParamValueQueue* PLUGIN_API addParameterData(const ParamID&, int32&) override { return nullptr; }
    tresult PLUGIN_API queryInterface(const TUID, void** obj) override
    {
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }

private:
    std::vector<PointQueue> queues;
};

class EventList : public IEventList
{
public:
    int32 PLUGIN_API getEventCount() override { return static_cast<int32>(events.size()); }
    tresult PLUGIN_API getEvent(int32 index, Event& e) override
    {
        if (index < 0 || index >= getEventCount())
            return kInvalidArgument;
        e = events[static_cast<size_t>(index)];
        return kResultOk;
    }
    tresult PLUGIN_API addEvent(Event& e) override
    {
        events.push_back(e);
        return kResultOk;
    }
    tresult PLUGIN_API queryInterface(const TUID, void** obj) override
    {
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }

    std::vector<Event> events;
};

// Stereo in, stereo out host buffers of either sample size, with guard samples past the end
// that must never be touched.
template <typename Sample>
struct Buffers
{
    static constexpr int kGuard = 16;
    static constexpr Sample kGuardValue = Sample(-777);

    explicit Buffers(int frames) : frames(frames)
    {
        for (int c = 0; c < 2; ++c) {
            in[c].assign(static_cast<size_t>(frames + kGuard), kGuardValue);
            out[c].assign(static_cast<size_t>(frames + kGuard), kGuardValue);
            for (int i = 0; i < frames; ++i) {
                in[c][static_cast<size_t>(i)] = Sample(0.25 * (c + 1));
                out[c][static_cast<size_t>(i)] = Sample(9);
            }
            inPtr[c] = in[c].data();
            outPtr[c] = out[c].data();
        }
    }

    bool GuardsIntact() const
    {
        for (int c = 0; c < 2; ++c)
            for (int i = frames; i < frames + kGuard; ++i)
                if (in[c][static_cast<size_t>(i)] != kGuardValue || out[c][static_cast<size_t>(i)] != kGuardValue)
                    return false;
        return true;
    }

    int frames;
    std::vector<Sample> in[2], out[2];
    Sample* inPtr[2];
    Sample* outPtr[2];
};

// Owns a test plug-in through its host-facing reference and walks it through start-up.
struct Vst3Host : ::testing::Test
{
    TestPlugin* plugin = new TestPlugin;
    HostApplication app;
    ComponentHandler handler;

    void TearDown() override
    {
        plugin->terminate();
        EXPECT_EQ(plugin->release(), 0u);
    }

    void Start(int maxBlock = 64, int32 sampleSize = kSample64)
    {
        ASSERT_EQ(plugin->initialize(&app), kResultTrue);
        plugin->setComponentHandler(&handler);
        ASSERT_EQ(plugin->activateBus(kAudio, kInput, 0, true), kResultTrue);
        ASSERT_EQ(plugin->activateBus(kAudio, kOutput, 0, true), kResultTrue);
        ProcessSetup setup{kRealtime, sampleSize, maxBlock, 48000.0};
        ASSERT_EQ(plugin->setupProcessing(setup), kResultTrue);
    }

    template <typename Sample>
    tresult Process(Buffers<Sample>& buffers, IParameterChanges* changes = nullptr, int numSamples = -1,
                    ProcessContext* context = nullptr, IEventList* inputEvents = nullptr,
                    IEventList* outputEvents = nullptr)
    {
        AudioBusBuffers in, out;
        in.numChannels = out.numChannels = 2;
        out.silenceFlags = 3;
        if constexpr (sizeof(Sample) == 8) {
            in.channelBuffers64 = buffers.inPtr;
            out.channelBuffers64 = buffers.outPtr;
        } else {
            in.channelBuffers32 = buffers.inPtr;
            out.channelBuffers32 = buffers.outPtr;
        }
        ProcessData data;
        data.symbolicSampleSize = sizeof(Sample) == 8 ? kSample64 : kSample32;
        data.numSamples = numSamples < 0 ? buffers.frames : numSamples;
        data.numInputs = data.numOutputs = 1;
        data.inputs = &in;
        data.outputs = &out;
        data.inputParameterChanges = changes;
        data.processContext = context;
        data.inputEvents = inputEvents;
        data.outputEvents = outputEvents;
        const tresult result = plugin->process(data);
        lastSilenceFlags = out.silenceFlags;
        return result;
    }

    uint64 lastSilenceFlags = 0;
};

} // namespace vst3test
