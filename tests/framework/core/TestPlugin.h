#pragma once

// A small plug-in on the framework chain with a handful of parameters, and a stand-in drawing
// context with controls, shared by the tests of the plug-in chain.

#include "framework/core/IPlugAPIBase.h"
#include "framework/graphics/IControl.h"
#include "framework/graphics/IGraphics.h"
#include "tests/framework/graphics/RecordingGraphics.h"

#include <string>
#include <vector>

namespace testplugin {

using namespace iplug;

enum TestParam
{
    kGain = 0,
    kMode,
    kSync,
    kShape,
    kNumTestParams
};

inline IPlugDescriptor MakeDescriptor(int nParams = kNumTestParams, int nPresets = 4)
{
    IPlugDescriptor d;
    d.nParams = nParams;
    d.nPresets = nPresets;
    d.channelIoText = "1-2 2-2";
    d.pluginName = "Test Plug";
    d.productName = "Test Product";
    d.makerName = "Test Maker";
    d.version = PackVersion(1, 0, 4);
    d.uniqueId = 0x54737450;
    d.makerId = 0x544d6b72;
    d.hasEditor = true;
    d.editorWidth = 460;
    d.editorHeight = 640;
    d.widthLimitA = 1380;
    d.widthLimitB = 153;
    d.heightLimitA = 213;
    d.heightLimitB = 1920;
    d.editorResizable = true;
    return d;
}

// Records every hook it sees as one line of text, in order.
class TestPlugin : public IPlugAPIBase
{
public:
    explicit TestPlugin(const IPlugDescriptor& d = MakeDescriptor()) : IPlugAPIBase(d, kApiVST3)
    {
        for (int i = 0; i < NParams(); ++i) {
            switch (i) {
            case kMode:
                GetParam(i)->SetupInt("Mode", 1, 0, 3, "", 0, "");
                break;
            case kSync:
                GetParam(i)->SetupBool("Sync", false, "", 0, "", "OFF", "ON");
                break;
            case kShape:
                GetParam(i)->SetupEnum("Shape", 0, {"SINE", "SQUARE", "SAW"}, 0, "");
                break;
            default:
                GetParam(i)->SetupDouble("Gain", 0.5, 0.0, 1.0, 0.001, "", 0, "", IParam::ShapeLinear(), 21, nullptr);
                break;
            }
        }
    }

    ~TestPlugin() override { StopIdleTimer(); }

    void SetMakeGraphics(igraphics::MakeGraphicsFunction f) { makeGraphicsFunction = std::move(f); }
    void SetLayout(igraphics::LayoutFunction f) { layoutFunction = std::move(f); }

    void OnParamValueChanged(int idx) override { Log("value " + std::to_string(idx)); }
    void OnEditorParamChange(int idx, ParamOrigin source) override
    {
        Log("editor " + std::to_string(idx) + " " + ParamOriginText(source));
    }
    void OnParamChange(int idx, ParamOrigin source, int offset) override
    {
        Log("change " + std::to_string(idx) + " " + ParamOriginText(source));
        IPlugAPIBase::OnParamChange(idx, source, offset);
    }
    void OnEditorClosing() override
    {
        Log("closing");
        if (closeAgainWhileClosing)
            CloseEditor();
    }
    void OnEditorMidi(const IMidiEvent& msg) override { Log("midi " + std::to_string(msg.status)); }
    void OnEditorSysex(const ISysexEvent& msg) override { Log("sysex " + std::to_string(msg.size)); }
    void OnIdleTick() override
    {
        ++idleTicks;
        Log("tick");
    }
    void OnHostKnown() override { Log("host known"); }
    void PrepareForHost() override { Log("prepare host"); }
    void ReportPresetChangeToHost() override { Log("preset reported"); }
    void BeginHostParamEdit(int idx) override { Log("begin " + std::to_string(idx)); }
    void EndHostParamEdit(int idx) override { Log("end " + std::to_string(idx)); }
    void SendParamToHost(int idx, double normalised) override { Log("host " + std::to_string(idx)); }

    void Log(const std::string& line) { log.push_back(line); }

    std::vector<std::string> log;
    int idleTicks = 0;
    bool closeAgainWhileClosing = false;
};

// A control with any number of value slots, each bound to a parameter or -1; it records what
// the delegate hands it (-1 until a host value arrives).
class FakeControl : public igraphics::IControl
{
public:
    explicit FakeControl(std::vector<int> boundParams, bool midi = false)
        : IControl(igraphics::IBox(0, 0, 10, 10)), values(boundParams.size(), -1.0)
    {
        SetValueSlotCount(int(boundParams.size()));
        for (size_t i = 0; i < boundParams.size(); ++i)
            BindParam(boundParams[i], int(i));
        SetTakesMidi(midi);
    }

    void OnMidiMessage(const IMidiEvent&) override { ++midiCount; }
    void OnDelegateMessage(int msgTag, int, const void*) override { lastMessage = msgTag; }
    void SetValueFromHost(double normalised, int valIdx) override { values.at(size_t(valIdx)) = normalised; }
    void Paint(igraphics::IGraphics&) override {}

    std::vector<double> values;
    int midiCount = 0;
    int lastMessage = -1;
};

struct GraphicsRecord
{
    int created = 0;
    int opened = 0;
    int closed = 0;
    int destroyed = 0;
    std::vector<std::string> resizes;
};

// The recording drawing context, reporting its life and its size changes into a record that
// outlives it; controls are added with their list index as tag.
class FakeGraphics : public graphicstest::RecordingGraphics
{
public:
    FakeGraphics(igraphics::IGEditorDelegate& d, GraphicsRecord& r) : RecordingGraphics(d), record(r)
    {
        ++record.created;
    }
    ~FakeGraphics() override { ++record.destroyed; }

    void* OpenPlatformWindow(void*) override
    {
        ++record.opened;
        return this;
    }
    void ClosePlatformWindow() override { ++record.closed; }
    void OnDrawSizeChanged() override
    {
        record.resizes.push_back(std::to_string(Width()) + "x" + std::to_string(Height()) + "@"
                                 + std::to_string(GetDrawScale()));
    }

    FakeControl* Add(FakeControl* c)
    {
        AddControl(c, NControls());
        fakes.push_back(c);
        return c;
    }

    GraphicsRecord& record;
    std::vector<FakeControl*> fakes;
};

} // namespace testplugin
