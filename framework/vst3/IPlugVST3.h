#pragma once

// One framework plug-in object bound to VST 3 as a single-component effect: the host's audio
// processor, edit controller, unit and program-list provider, MIDI-mapping provider and
// channel-context listener in one reference-counted object.

#include "framework/core/IPlugAPIBase.h"
#include "framework/vst3/IPlugVST3ControllerBase.h"
#include "framework/vst3/IPlugVST3ProcessorBase.h"
#include "framework/vst3/SingleComponentEffect.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstchannelcontextinfo.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <atomic>

namespace iplug {

class IPlugVST3 : public IPlugAPIBase,
                  public IPlugVST3ProcessorBase,
                  public IPlugVST3ControllerBase,
                  public Steinberg::Vst::SingleComponentEffect,
                  public Steinberg::Vst::IMidiMapping,
                  public Steinberg::Vst::ChannelContext::IInfoListener
{
public:
    explicit IPlugVST3(const IPlugDescriptor& descriptor);
    ~IPlugVST3() override;

    // Steinberg::IPluginBase
    Steinberg::tresult PLUGIN_API initialize(Steinberg::FUnknown* context) override;
    Steinberg::tresult PLUGIN_API terminate() override;

    // IComponent
    Steinberg::tresult PLUGIN_API setActive(Steinberg::TBool state) override;
    Steinberg::tresult PLUGIN_API setState(Steinberg::IBStream* stream) override;
    Steinberg::tresult PLUGIN_API getState(Steinberg::IBStream* stream) override;

    // IAudioProcessor
    Steinberg::tresult PLUGIN_API setBusArrangements(Steinberg::Vst::SpeakerArrangement* inputs,
                                                     Steinberg::int32 numIns,
                                                     Steinberg::Vst::SpeakerArrangement* outputs,
                                                     Steinberg::int32 numOuts) override;
    Steinberg::tresult PLUGIN_API canProcessSampleSize(Steinberg::int32 symbolicSampleSize) override;
    Steinberg::uint32 PLUGIN_API getLatencySamples() override;
    Steinberg::tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& setup) override;
    Steinberg::tresult PLUGIN_API setProcessing(Steinberg::TBool state) override;
    Steinberg::tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) override;
    Steinberg::uint32 PLUGIN_API getTailSamples() override;

    // IEditController
    // A new editor view for the name "editor" when the plug-in has an editor.
    Steinberg::IPlugView* PLUGIN_API createView(Steinberg::FIDString name) override;
    Steinberg::Vst::ParamValue PLUGIN_API getParamNormalized(Steinberg::Vst::ParamID id) override;
    Steinberg::tresult PLUGIN_API setParamNormalized(Steinberg::Vst::ParamID id,
                                                     Steinberg::Vst::ParamValue value) override;

    // IUnitInfo
    Steinberg::int32 PLUGIN_API getProgramListCount() override;
    Steinberg::tresult PLUGIN_API getProgramListInfo(Steinberg::int32 listIndex,
                                                     Steinberg::Vst::ProgramListInfo& info) override;
    Steinberg::tresult PLUGIN_API getProgramName(Steinberg::Vst::ProgramListID listId, Steinberg::int32 programIndex,
                                                 Steinberg::Vst::String128 name) override;

    // IMidiMapping
    Steinberg::tresult PLUGIN_API getMidiControllerAssignment(Steinberg::int32 busIndex, Steinberg::int16 channel,
                                                              Steinberg::Vst::CtrlNumber midiControllerNumber,
                                                              Steinberg::Vst::ParamID& id) override;

    // ChannelContext::IInfoListener
    Steinberg::tresult PLUGIN_API setChannelContextInfos(Steinberg::Vst::IAttributeList* list) override;

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    REFCOUNT_METHODS(SingleComponentEffect)
    OBJ_METHODS(IPlugVST3, SingleComponentEffect)

    // The plug-in chain's host-facing hooks.
    void ReportAllParamsToHost() override;
    void SetParamFromEditor(int paramIdx, double normalised) override;
    void NotifyHostParamInfoChanged() override;
    void GetChannelColour(int& r, int& g, int& b) override;
    void GetChannelName(TextBuffer& out) override;
    int GetChannelIndex() override;
    void GetChannelNamespace(TextBuffer& out) override;
    int GetChannelNamespaceOrder() override;
    bool ResizeHostWindow(int width, int height) override;
    void BeginHostParamEdit(int paramIdx) override;
    void EndHostParamEdit(int paramIdx) override;
    void SendParamToHost(int paramIdx, double normalised) override;
    void OnIdleTimer(Timer& timer) override;

    // Processor hook: a latency change is reported to the host at the next idle tick.
    void ChangeLatency(int samples) override;

    // The editor view tells the binding which view is attached and the frame the host gave it
    // (null frame once it is removed), so that editor resizes can reach the host.
    void SetViewFrame(Steinberg::IPlugView* attachedView, Steinberg::IPlugFrame* frame);
    // A view going away (removed or destroyed) leaves no pointer to it behind.
    void ForgetView(Steinberg::IPlugView* goingView);
    Steinberg::IPlugView* GetAttachedView() const { return view; }
    // Without a product make-graphics function the editor is an empty panel of the
    // editor's size.
    igraphics::IGraphics* BuildGraphicsContext() override;

    bool LatencyChangePending() const { return latencyChanged.load(); }

protected:
    Steinberg::IPlugView* view = nullptr;
    Steinberg::IPlugFrame* viewFrame = nullptr;
    std::atomic<bool> latencyChanged{false};

private:
    friend class IPlugVST3ProcessorBase;

    Steinberg::tresult RestartHost(Steinberg::int32 flags);
    void SyncSdkParamsFromPlugin();
    Steinberg::tresult ReadState(Steinberg::IBStream* stream);
    Steinberg::tresult WriteState(Steinberg::IBStream* stream);
    void IdentifyHost(Steinberg::FUnknown* context);
};

} // namespace iplug
