#include "framework/vst3/IPlugVST3.h"

#include "framework/graphics/windows/IGraphicsWin.h"
#include "framework/vst3/IPlugVST3View.h"

#include "framework/core/IStateBuffer.h"
#include "framework/vst3/IPlugVST3BypassParameter.h"
#include "framework/vst3/IPlugVST3ParamIds.h"
#include "framework/vst3/InterfaceGuard.h"
#include "framework/vst3/Vst3Text.h"
#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/vst/ivsthostapplication.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace iplug {

namespace {

constexpr int kStateReadPiece = 128;

} // namespace

IPlugVST3::IPlugVST3(const IPlugDescriptor& descriptor)
    : IPlugAPIBase(descriptor, kApiVST3), IPlugVST3ProcessorBase(descriptor, *this)
{
    IPlugVST3ControllerBase::parameters = &(EditController::parameters);
    StartIdleTimer();
}

IPlugVST3::~IPlugVST3()
{
    // No tick may reach this object while its parts are being torn down.
    StopIdleTimer();
}

tresult PLUGIN_API IPlugVST3::queryInterface(const TUID iid, void** obj)
{
    QUERY_INTERFACE(iid, obj, IMidiMapping::iid, IMidiMapping)
    QUERY_INTERFACE(iid, obj, ChannelContext::IInfoListener::iid, ChannelContext::IInfoListener)
    return SingleComponentEffect::queryInterface(iid, obj);
}

void IPlugVST3::IdentifyHost(FUnknown* context)
{
    if (GetHostCode() != kHostUnknown || !context)
        return;
    IHostApplication* app = nullptr;
    if (context->queryInterface(IHostApplication::iid, reinterpret_cast<void**>(&app)) != kResultOk || !app)
        return;
    String128 name{};
    TextBuffer narrow;
    if (app->getName(name) == kResultOk) {
        name[127] = 0;
        Vst3Text::ToUtf8(name, narrow);
    }
    app->release();
    TextBuffer cut;
    cut.Set(narrow.Get(), 128);
    SetHost(cut.Get(), 0);
}

tresult PLUGIN_API IPlugVST3::initialize(FUnknown* context)
{
    return InterfaceGuard::Run([&]() -> tresult {
        if (SingleComponentEffect::initialize(context) != kResultOk)
            return kResultFalse;
        try {
            // A previous initialize/terminate cycle left its group list behind; units are rebuilt
            // from scratch, so the list must be too.
            paramGroups.DeleteAll();
            IPlugVST3ProcessorBase::Initialize();
            IPlugVST3ControllerBase::Initialize(*this, *this, pluginKind == kPluginInstrument, doesMidiIn);
            // The parameters are registered at their defaults; after a terminate/initialize cycle the
            // plug-in still holds its values, and the host must read those.
            SyncSdkParamsFromPlugin();
            IdentifyHost(context);
        } catch (...) {
            terminate();
            throw;
        }
        OnHostKnown();
        OnAllParamsChanged(kOriginReset);
        return kResultTrue;
    });
}

tresult PLUGIN_API IPlugVST3::terminate()
{
    return InterfaceGuard::Run([&]() -> tresult {
        Forget();
        return SingleComponentEffect::terminate();
    });
}

tresult PLUGIN_API IPlugVST3::setActive(TBool state)
{
    return InterfaceGuard::Run([&]() -> tresult {
        OnActivated(state != 0);
        return kResultTrue;
    });
}

tresult IPlugVST3::WriteState(IBStream* stream)
{
    IStateBuffer state;
    if (!SaveState(state))
        return kResultFalse;
    if (state.Size() > 0) {
        int32 written = 0;
        if (stream->write(state.Data(), state.Size(), &written) != kResultOk || written != state.Size())
            return kResultFalse;
    }
    const int32_t bypass = GetBypassed() ? 1 : 0;
    const uint8_t flag[4] = {static_cast<uint8_t>(bypass), 0, 0, 0};
    int32 written = 0;
    if (stream->write(const_cast<uint8_t*>(flag), 4, &written) != kResultOk || written != 4)
        return kResultFalse;
    return kResultTrue;
}

tresult PLUGIN_API IPlugVST3::getState(IBStream* stream)
{
    if (!stream)
        return kInvalidArgument;
    return InterfaceGuard::Run([&] { return WriteState(stream); });
}

tresult IPlugVST3::ReadState(IBStream* stream)
{
    IStateBuffer state;
    uint8_t piece[kStateReadPiece];
    const bool lenientReads = GetHostCode() == kHostWavelab;
    for (;;) {
        int32 got = 0;
        const tresult result = stream->read(piece, kStateReadPiece, &got);
        if (got < 0 || got > kStateReadPiece)
            return kResultFalse;
        if (result != kResultOk && !lenientReads)
            break;
        if (got == 0)
            break;
        if (static_cast<int64_t>(state.Size()) + got > INT32_MAX || !state.PutBytes(piece, got))
            return kResultFalse;
    }

    const int pos = LoadState(state, 0);
    if (pos < 0)
        return kResultFalse;
    // The state is applied by now, so the SDK copies must follow it whatever comes next; a state
    // that ends before a whole flag (older hosts saved none) is one that was not bypassed.
    int32_t bypass = 0;
    uint8_t flag[4] = {};
    int32 got = 0;
    if (stream->seek(pos, IBStream::kIBSeekSet, nullptr) == kResultOk && stream->read(flag, 4, &got) == kResultOk
        && got == 4)
        bypass =
            static_cast<int32_t>(static_cast<uint32_t>(flag[0]) | (static_cast<uint32_t>(flag[1]) << 8)
                                 | (static_cast<uint32_t>(flag[2]) << 16) | (static_cast<uint32_t>(flag[3]) << 24));

    SyncSdkParamsFromPlugin();
    // The processor plays what the state says, so the next save writes the flag it read.
    SetBypassed(bypass != 0);
    if (bypassParameter)
        bypassParameter->setNormalized(bypass != 0 ? 1.0 : 0.0);
    OnStateRestored();
    return kResultTrue;
}

tresult PLUGIN_API IPlugVST3::setState(IBStream* stream)
{
    if (!stream)
        return kInvalidArgument;
    return InterfaceGuard::Run([&] { return ReadState(stream); });
}

tresult PLUGIN_API IPlugVST3::setBusArrangements(SpeakerArrangement* inputs, int32 numIns, SpeakerArrangement* outputs,
                                                 int32 numOuts)
{
    return InterfaceGuard::Run(
        [&]() -> tresult { return SetBusArrangements(inputs, numIns, outputs, numOuts) ? kResultTrue : kResultFalse; });
}

tresult PLUGIN_API IPlugVST3::canProcessSampleSize(int32 symbolicSampleSize)
{
    return symbolicSampleSize == kSample32 || symbolicSampleSize == kSample64 ? kResultTrue : kResultFalse;
}

uint32 PLUGIN_API IPlugVST3::getLatencySamples()
{
    return static_cast<uint32>(std::max(0, GetLatency()));
}

tresult PLUGIN_API IPlugVST3::setupProcessing(ProcessSetup& setup)
{
    return InterfaceGuard::Run([&]() -> tresult { return SetupProcessing(setup) ? kResultTrue : kResultFalse; });
}

tresult PLUGIN_API IPlugVST3::setProcessing(TBool state)
{
    // Hosts may call this on the audio thread and expect it to be light: the full processing
    // reset (which prepares and allocates) belongs to setupProcessing alone.
    return kResultTrue;
}

tresult PLUGIN_API IPlugVST3::process(ProcessData& data)
{
    return InterfaceGuard::Run([&]() -> tresult {
        ProcessBlock(data);
        return kResultTrue;
    });
}

uint32 PLUGIN_API IPlugVST3::getTailSamples()
{
    const int tail = GetTailSamples();
    if (tail == 0x7FFFFFFF)
        return kInfiniteTail;
    return static_cast<uint32>(std::max(0, tail));
}

ParamValue PLUGIN_API IPlugVST3::getParamNormalized(ParamID id)
{
    Parameter* parameter = getParameterObject(id);
    return parameter ? parameter->getNormalized() : 0.0;
}

void IPlugVST3::SyncSdkParamsFromPlugin()
{
    for (int i = 0; i < NParams(); ++i)
        if (Parameter* parameter = getParameterObject(static_cast<ParamID>(i)))
            parameter->setNormalized(GetParam(i)->GetNormalized());
}

tresult IPlugVST3::RestartHost(int32 flags)
{
    IComponentHandler* handler = getComponentHandler();
    return handler ? handler->restartComponent(flags) : kResultFalse;
}

tresult PLUGIN_API IPlugVST3::setParamNormalized(ParamID id, ParamValue value)
{
    return InterfaceGuard::Run([&]() -> tresult {
        Parameter* parameter = getParameterObject(id);
        if (!parameter)
            return kResultFalse;
        if (!std::isfinite(value))
            return kInvalidArgument;
        parameter->setNormalized(value);
        if (id < kBypassParamId && id < static_cast<ParamID>(NParams())) {
            const int idx = static_cast<int>(id);
            GetParam(idx)->SetNormalized(value);
            OnEditorParamChange(idx, kOriginHost);
            PushParamValueToEditor(idx, value, true);
        } else if (id == kBypassParamId) {
            // A host that sets Bypass outside process expects it to be heard and saved.
            SetBypassed(value > 0.5);
        } else if (id == kPresetParamId) {
            const int index = static_cast<int>(std::round((NPresets() - 1) * std::clamp(value, 0.0, 1.0)));
            if (ApplyPreset(index)) {
                // The preset moved the plug-in's parameters; the host and the SDK copies follow.
                SyncSdkParamsFromPlugin();
                RestartHost(kParamValuesChanged);
            }
        }
        return kResultTrue;
    });
}

int32 PLUGIN_API IPlugVST3::getProgramListCount()
{
    return NPresets() > 0 ? 1 : 0;
}

tresult PLUGIN_API IPlugVST3::getProgramListInfo(int32 listIndex, ProgramListInfo& info)
{
    if (listIndex != 0 || NPresets() < 1)
        return kResultFalse;
    return InterfaceGuard::Run([&]() -> tresult {
        info.id = kFactoryProgramListId;
        Vst3Text::ToUtf16("Factory Presets", info.name, 128);
        info.programCount = NPresets();
        return kResultTrue;
    });
}

tresult PLUGIN_API IPlugVST3::getProgramName(ProgramListID listId, int32 programIndex, String128 name)
{
    if (listId != kFactoryProgramListId || programIndex < 0 || programIndex >= NPresets() || !name)
        return kResultFalse;
    return InterfaceGuard::Run([&]() -> tresult {
        Vst3Text::ToUtf16(PresetNameAt(programIndex), name, 128);
        return kResultTrue;
    });
}

tresult PLUGIN_API IPlugVST3::getMidiControllerAssignment(int32 busIndex, int16 channel,
                                                          CtrlNumber midiControllerNumber, ParamID& id)
{
    // Without MIDI input there are no controller parameters to map to.
    if (!doesMidiIn || busIndex != 0 || channel != 0 || midiControllerNumber < 0
        || midiControllerNumber >= kMidiCCsPerChannel)
        return kResultFalse;
    id = kMidiCCParamStart + static_cast<ParamID>(midiControllerNumber);
    return kResultTrue;
}

tresult PLUGIN_API IPlugVST3::setChannelContextInfos(IAttributeList* list)
{
    return InterfaceGuard::Run([&]() -> tresult { return SetChannelContextInfos(list) ? kResultTrue : kResultFalse; });
}

void IPlugVST3::ReportAllParamsToHost()
{
    SyncSdkParamsFromPlugin();
    startGroupEdit();
    IPlugAPIBase::ReportAllParamsToHost();
    finishGroupEdit();
}

void IPlugVST3::SetParamFromEditor(int paramIdx, double normalised)
{
    if (Parameter* parameter = getParameterObject(static_cast<ParamID>(paramIdx)))
        parameter->setNormalized(normalised);
    ApplyParamFromEditor(paramIdx, normalised);
    IEditorDelegate::SetParamFromEditor(paramIdx, normalised);
}

void IPlugVST3::NotifyHostParamInfoChanged()
{
    RestartHost(kParamTitlesChanged);
}

void IPlugVST3::GetChannelColour(int& r, int& g, int& b)
{
    r = static_cast<int>((channelColour >> 16) & 0xFF);
    g = static_cast<int>((channelColour >> 8) & 0xFF);
    b = static_cast<int>(channelColour & 0xFF);
}

void IPlugVST3::GetChannelName(TextBuffer& out)
{
    out = channelName;
}

int IPlugVST3::GetChannelIndex()
{
    return channelIndex;
}

void IPlugVST3::GetChannelNamespace(TextBuffer& out)
{
    out = channelNamespace;
}

int IPlugVST3::GetChannelNamespaceOrder()
{
    return channelNamespaceOrder;
}

void IPlugVST3::SetViewFrame(IPlugView* attachedView, IPlugFrame* frame)
{
    view = attachedView;
    viewFrame = frame;
}

void IPlugVST3::ForgetView(IPlugView* goingView)
{
    if (view != goingView)
        return;
    view = nullptr;
    viewFrame = nullptr;
}

IPlugView* PLUGIN_API IPlugVST3::createView(FIDString name)
{
    if (!HasEditor() || !name || std::strcmp(name, ViewType::kEditor) != 0)
        return nullptr;
    return InterfaceGuard::Value<IPlugView*>([this] { return new IPlugVST3View(*this); }, nullptr);
}

igraphics::IGraphics* IPlugVST3::BuildGraphicsContext()
{
    if (makeGraphicsFunction)
        return IGEditorDelegate::BuildGraphicsContext();
    return new igraphics::IGraphicsWin(*this, GetEditorWidth(), GetEditorHeight(), 60, 1.0f);
}

bool IPlugVST3::ResizeHostWindow(int width, int height)
{
    if (!HasEditor())
        return true;
    if ((width != GetEditorWidth() || height != GetEditorHeight()) && view && viewFrame) {
        ViewRect rect(0, 0, width, height);
        viewFrame->resizeView(view, &rect);
        // A host may answer with a size of its own, which the editor followed inside the call.
        if (graphics)
            graphics->WindowPixelSize(width, height);
    }
    SetEditorSize(width, height);
    return true;
}

void IPlugVST3::BeginHostParamEdit(int paramIdx)
{
    beginEdit(static_cast<ParamID>(paramIdx));
}

void IPlugVST3::EndHostParamEdit(int paramIdx)
{
    endEdit(static_cast<ParamID>(paramIdx));
}

void IPlugVST3::SendParamToHost(int paramIdx, double normalised)
{
    performEdit(static_cast<ParamID>(paramIdx), normalised);
}

void IPlugVST3::OnIdleTimer(Timer& timer)
{
    IPlugAPIBase::OnIdleTimer(timer);
    if (latencyChanged.load() && getComponentHandler()) {
        latencyChanged.exchange(false);
        RestartHost(kLatencyChanged);
    }
}

void IPlugVST3::ChangeLatency(int samples)
{
    const int before = GetLatency();
    IPlugVST3ProcessorBase::ChangeLatency(samples);
    if (GetLatency() != before)
        latencyChanged.exchange(true);
}

} // namespace iplug
