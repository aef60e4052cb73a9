#pragma once

// What a DAW does with a VST 3 effect, reduced to what the plug-in tests need: initialise it
// with a host context, set up processing, feed it blocks of stereo audio with parameter changes
// and a transport, and move its state through streams. Works on any instance, whether it came
// from the module's factory or was constructed in the test.

#include "tests/plugin/HostParamChanges.h"

#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivsthostapplication.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"
#include "pluginterfaces/vst/ivstunits.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class TestHostApplication : public Steinberg::Vst::IHostApplication
{
public:
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }
    Steinberg::tresult PLUGIN_API getName(Steinberg::Vst::String128 name) override;
    Steinberg::tresult PLUGIN_API createInstance(Steinberg::TUID, Steinberg::TUID, void** obj) override;
};

// One call of the plug-in on the host's component handler: 'b' beginEdit, 'p' performEdit,
// 'e' endEdit.
struct HandlerCall
{
    char kind;
    Steinberg::Vst::ParamID id;
    double value;
};

class TestComponentHandler : public Steinberg::Vst::IComponentHandler
{
public:
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }
    Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID id) override;
    Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value) override;
    Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID id) override;
    Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32 flags) override;

    // Each perform, begin and end the plug-in made, in order.
    std::vector<HandlerCall> calls;
    std::vector<Steinberg::int32> restarts;
    // The kinds of the calls in order, as "bpe" for one begin, perform and end.
    std::string Kinds() const;
    // The calls that break the gesture rules hosts record automation and undo by: a perform
    // outside a begin/end of its parameter, an end without its begin, a begin never ended.
    // Empty when every edit lies inside its gesture.
    std::vector<std::string> GestureFaults() const;
    // Parameters with a perform among the calls, each once, in ascending order.
    std::vector<Steinberg::Vst::ParamID> PerformedIds() const;
};

// One automation point: parameter, sample offset, normalised value.
struct AutomationPoint
{
    Steinberg::Vst::ParamID id;
    Steinberg::int32 offset;
    double value;
};

class HostRig
{
public:
    // Takes over one reference to the instance.
    explicit HostRig(Steinberg::FUnknown* instance);
    ~HostRig();
    HostRig(const HostRig&) = delete;
    HostRig& operator=(const HostRig&) = delete;

    bool Initialize();
    void Terminate();
    // setupProcessing; when it is accepted also activates and starts processing.
    Steinberg::tresult Start(double rate, int maxBlock, bool is64 = true);
    void Stop();

    // Processes frames of the input (starting at inputPos, which advances), with the points as
    // the block's parameter changes; the output is appended to outL/outR.
    Steinberg::tresult Process(int frames, const std::vector<AutomationPoint>& points = {});
    // A process call's data over these buses and changes, in the rig's sample size and with
    // its context when it passes one.
    Steinberg::Vst::ProcessData BlockData(Steinberg::Vst::AudioBusBuffers& in, Steinberg::Vst::AudioBusBuffers& out,
                                          Steinberg::Vst::IParameterChanges& changes, int frames);
    // A call with no audio, as hosts send to pass parameters while stopped.
    Steinberg::tresult Flush(const std::vector<AutomationPoint>& points);

    std::vector<uint8_t> GetState();
    Steinberg::tresult SetState(const std::vector<uint8_t>& bytes);
    Steinberg::tresult SetParam(Steinberg::Vst::ParamID id, double normalised);
    double GetParam(Steinberg::Vst::ParamID id);
    // The plain value of parameter id for a normalised one, as the controller converts it.
    double ToPlain(Steinberg::Vst::ParamID id, double normalised);
    double ToNormalized(Steinberg::Vst::ParamID id, double plain);

    Steinberg::Vst::IComponent* component = nullptr;
    Steinberg::Vst::IAudioProcessor* processor = nullptr;
    Steinberg::Vst::IEditController* controller = nullptr;
    Steinberg::Vst::IUnitInfo* units = nullptr;

    TestHostApplication host;
    TestComponentHandler handler;
    Steinberg::Vst::ProcessContext context{};
    double rate = 48000.0;
    int maxBlock = 0;
    bool is64 = true;
    // Channels the input bus reports (1: mono input, the first input channel feeds both sides).
    int inputChannels = 2;
    // Whether process calls carry the context, and whether its positions move from block to block.
    bool passContext = true;
    bool transportMoves = true;
    std::vector<double> inL, inR;
    size_t inputPos = 0;
    std::vector<double> outL, outR;
    Steinberg::uint32 lastSilenceFlags = 0;

private:
    // Kept from block to block, so that a process call allocates nothing the plug-in's own
    // overhead would be measured with.
    std::vector<double> in64[2], out64[2];
    std::vector<float> in32[2], out32[2];
    HostParamChanges changes;
};

// A deterministic test signal: a few sines and a little noise, finite and below full scale.
std::vector<double> TestSignal(size_t frames, unsigned seed);
