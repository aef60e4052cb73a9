#pragma once

// A small plug-in on the framework chain with a handful of parameters, and a stand-in drawing
// context with controls, shared by the tests of the plug-in chain.

#include "framework/core/IPlugAPIBase.h"
#include "framework/graphics/IControl.h"
#include "framework/graphics/IGraphics.h"

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

// A control with any number of value slots, each bound to a parameter or -1.
class FakeControl : public igraphics::IControl
{
public:
    explicit FakeControl(std::vector<int> boundParams, bool midi = false)
        : bound(std::move(boundParams)), values(bound.size(), -1.0), takesMidi(midi)
    {}

    void OnMidiMessage(const IMidiEvent&) override { ++midiCount; }
    void OnDelegateMessage(int msgTag, int, const void*) override { lastMessage = msgTag; }
    void SetValueFromHost(double normalised, int valIdx) override { values.at(size_t(valIdx)) = normalised; }
    bool TakesMidi() const override { return takesMidi; }
    int NValueSlots() const override { return int(bound.size()); }
    int BoundParamIndex(int valIdx) const override { return bound.at(size_t(valIdx)); }

    std::vector<int> bound;
    std::vector<double> values;
    bool takesMidi;
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

// Stand-in drawing context: owns its controls, reports what happened into a record that
// outlives it.
class FakeGraphics : public igraphics::IGraphics
{
public:
    explicit FakeGraphics(GraphicsRecord& r, int w = 460, int h = 640, float s = 1.0f)
        : record(r), width(w), height(h), scale(s)
    {
        ++record.created;
    }
    ~FakeGraphics() override
    {
        ++record.destroyed;
        for (FakeControl* c : controls)
            delete c;
    }

    void* OpenPlatformWindow(void*) override
    {
        ++record.opened;
        return this;
    }
    void ClosePlatformWindow() override { ++record.closed; }
    void GetPointerPosition(float& x, float& y) const override { x = y = 0.0f; }
    float GetWindowScale() const override { return windowScale; }
    void ResizeEditor(int w, int h, float s, bool notify) override
    {
        record.resizes.push_back(std::to_string(w) + "x" + std::to_string(h) + "@" + std::to_string(s)
                                 + (notify ? " notify" : ""));
        width = w;
        height = h;
        scale = s;
    }
    void ApplyScreenScale(float s) override { windowScale = s; }
    int Width() const override { return width; }
    int Height() const override { return height; }
    float GetDrawScale() const override { return scale; }
    bool OnKeyDown(float, float, const igraphics::IKeyStroke&) override { return true; }
    bool OnKeyUp(float, float, const igraphics::IKeyStroke&) override { return true; }
    int NControls() const override { return int(controls.size()); }
    igraphics::IControl* GetControl(int idx) const override
    {
        return idx >= 0 && idx < NControls() ? controls[size_t(idx)] : nullptr;
    }
    igraphics::IControl* FindControlByTag(int tag) const override { return GetControl(tag); }

    FakeControl* Add(FakeControl* c)
    {
        controls.push_back(c);
        return c;
    }

    GraphicsRecord& record;
    int width, height;
    float scale;
    float windowScale = 1.0f;
    std::vector<FakeControl*> controls;
};

} // namespace testplugin
