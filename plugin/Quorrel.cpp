#include "plugin/Quorrel.h"

#include "engine/modes/LoopsMode.h"
#include "engine/tables/FactoryPreset.h"
#include "engine/tables/NoteDivisions.h"
#include "framework/core/IStateBuffer.h"
#include "framework/core/ModuleResources.h"
#include "framework/graphics/IGraphics.h"
#include "framework/graphics/windows/IGraphicsWin.h"
#include "plugin/panel/BuildPanel.h"
#include "plugin/panel/PanelLayout.h"
#include "plugin/presets/UiScaleFile.h"
#include "plugin/presets/UserDataFolder.h"
#include "plugin/state/StateChunk.h"
#if !defined(MARLQUIN_APP)
#include "framework/vst3/IPlugVST3BypassParameter.h"
#include "framework/vst3/InterfaceGuard.h"
#include "plugin/vst3/SubBlockSlicer.h"
#endif

#include <algorithm>
#include <cmath>
#include <exception>
#include <iterator>
#include <new>
#include <thread>
#include <xmmintrin.h>

#if !defined(MARLQUIN_APP)
using namespace Steinberg;
#endif

namespace {

constexpr int kTailForever = 0x7FFFFFFF;
constexpr double kParamStep = 0.001;
constexpr double kRepeatCountCurve = 2.0;
constexpr int kLoopVoicesMin = 1;
constexpr int kLoopVoicesMax = 6;
constexpr int kPanelFps = 60;
// A difference in draw scale below this is no resize by the user.
constexpr float kScaleTolerance = 0.001f;
// Parameter values within this of the snapshot still count as the preset.
constexpr double kPresetTolerance = 1e-9;

constexpr int kIntParams[] = {kMode, kSyncDivision, kLegacyEchoRepeats, kChaosSeed};
constexpr int kBoolParams[] = {kSync,        kLoopFreeze,   kEchoPreserveStereo, kSaveFrozenAudio, kRepeatHold,
                               kRepeatLatch, kRepeatEngine, kLoopMonoVoices,     kLoopLFOMotion,   kRepeatGapless};

bool Contains(const int* first, const int* last, int idx)
{
    return std::find(first, last, idx) != last;
}

bool SwitchOn(double value)
{
    return value > 0.5;
}

// Flush-to-zero and denormals-are-zero for the engine run of a block; the caller's mode comes
// back when the block ends.
class DenormalScope
{
public:
    static constexpr unsigned kFlushBits = 0x8040;

    DenormalScope() : saved(_mm_getcsr()) { _mm_setcsr(saved | kFlushBits); }
    ~DenormalScope() { _mm_setcsr(saved); }
    DenormalScope(const DenormalScope&) = delete;
    DenormalScope& operator=(const DenormalScope&) = delete;

private:
    unsigned saved;
};

} // namespace

iplug::IPlugDescriptor Quorrel::MakeDescriptor()
{
    iplug::IPlugDescriptor d;
    d.nParams = kParamCount;
    d.nPresets = FactoryPresetCount();
    d.channelIoText = "1-2 2-2";
    d.pluginName = "Marlquin";
    d.productName = "Marlquin";
    d.makerName = "Ostrevane";
    d.version = iplug::PackVersion(MARLQUIN_VERSION_MAJOR, MARLQUIN_VERSION_MINOR, MARLQUIN_VERSION_PATCH);
    d.uniqueId = 0x5172726C;
    d.makerId = 0x4F76726E;
    d.latency = 0;
    d.doesMidiIn = false;
    d.doesMidiOut = false;
    d.pluginKind = iplug::kPluginEffect;
    d.hasEditor = true;
    d.editorWidth = panel::kWidth;
    d.editorHeight = panel::kHeight;
    d.widthLimitA = 153;
    d.widthLimitB = 1380;
    d.heightLimitA = 213;
    d.heightLimitB = 1920;
    d.editorResizable = true;
    return d;
}

#if defined(MARLQUIN_APP)
Quorrel::Quorrel(iplug::IPlugAPPHost* host) : iplug::IPlugAPP(host, MakeDescriptor())
#else
Quorrel::Quorrel() : iplug::IPlugVST3(MakeDescriptor())
#endif
{
    SetTailSamples(kTailForever);
    SetupParams();
    AddFactoryPresets();
    makeGraphicsFunction = [this]() { return MakeGraphics(); };
    layoutFunction = [this](iplug::igraphics::IGraphics* graphics) { BuildPanel(graphics, this, this); };
}

Quorrel::~Quorrel()
{
    // No idle tick may reach this object while its members are being destroyed.
    StopIdleTimer();
}

void Quorrel::SetupParams()
{
    for (int i = 0; i < kParamCount; ++i) {
        const ParamSpec& row = GetParamSpec(i);
        iplug::IParam& param = *GetParam(i);
        if (Contains(std::begin(kIntParams), std::end(kIntParams), i))
            param.SetupInt(row.name, static_cast<int>(row.defaultValue), static_cast<int>(row.minValue),
                           static_cast<int>(row.maxValue));
        else if (i == kLoopVoices)
            param.SetupInt(row.name, kLoopVoicesMax, kLoopVoicesMin, kLoopVoicesMax);
        else if (Contains(std::begin(kBoolParams), std::end(kBoolParams), i))
            param.SetupBool(row.name, SwitchOn(row.defaultValue), "", 0, "", "OFF", "ON");
        else if (i == kDriveVoice)
            param.SetupEnum(row.name, static_cast<int>(row.defaultValue), {"OD", "FUZZ"});
        else if (i == kLoopOctaveDir)
            param.SetupEnum(row.name, 0, {"BOTH", "UP", "DOWN"});
        else if (i == kRepeatCount)
            param.SetupDouble(row.name, row.defaultValue, row.minValue, row.maxValue, 1.0, "", iplug::kFlagStepped, "",
                              iplug::IParam::ShapePowCurve(kRepeatCountCurve));
        else
            param.SetupDouble(row.name, row.defaultValue, row.minValue, row.maxValue, kParamStep);
        paramCache[i].store(param.Value());
    }
}

void Quorrel::AddFactoryPresets()
{
    for (int i = 0; i < FactoryPresetCount(); ++i) {
        const FactoryPreset& preset = FactoryPresetAt(i);
        StateChunk chunk;
        std::copy(std::begin(preset.values), std::end(preset.values), chunk.params.values);
        iplug::IStateBuffer state;
        if (!chunk.Write(state))
            throw std::bad_alloc();
        AddFactoryPreset(preset.name, state);
    }
}

double Quorrel::CachedParam(int paramIdx) const
{
    if (paramIdx < 0 || paramIdx >= kParamCount)
        return 0.0;
    return paramCache[paramIdx].load(std::memory_order_relaxed);
}

bool Quorrel::SupportedSampleRate(double rate)
{
    return rate >= LoopsMode::kMinSampleRate && rate <= LoopsMode::kMaxSampleRate;
}

iplug::igraphics::IGraphics* Quorrel::MakeGraphics()
{
    // Read afresh at every opening: another instance may have chosen a scale since.
    const float scale = ReadUiScale();
    auto* ui = new iplug::igraphics::IGraphicsWin(*this, panel::kWidth, panel::kHeight, kPanelFps, scale);
    ui->SetModuleInstance(iplug::ModuleInstance());
    return ui;
}

void* Quorrel::OpenEditor(void* parent, void* context)
{
    // The delegate would size a reopened editor to the scale it had when it closed, undoing the
    // scale just read from the file, and the next idle tick would write that stale scale back.
    savedWidth = 0;
    savedHeight = 0;
    savedScale = 0.0f;
    return QuorrelFormat::OpenEditor(parent, context);
}

void Quorrel::FitEditorToHostSize(int width, int height)
{
    // The framework's own answer would go back to scale 1; the panel keeps its shape and scales.
    iplug::igraphics::IGraphics* ui = GetGraphics();
    if (!ui || width < 1 || height < 1)
        return;
    // The host's echo of the panel's own size: fitted again, its rounded-down side could give a
    // smaller scale and a window a pixel short of the frame.
    int shownWidth = 0, shownHeight = 0;
    ui->WindowPixelSize(shownWidth, shownHeight);
    if (width == shownWidth && height == shownHeight)
        return;
    ui->ResizeEditor(panel::kWidth, panel::kHeight, ui->ScaleToFit(panel::kWidth, panel::kHeight, width, height), true);
}

void Quorrel::PrepareEditorSize(float screenScale)
{
    // The host frames the editor by this answer before it opens: at the remembered scale, as
    // the make-graphics function will open it.
    if (GetGraphics())
        return;
    const float scale = ReadUiScale();
    SetEditorSize(iplug::igraphics::IGraphics::WindowPixels(panel::kWidth, scale, screenScale),
                  iplug::igraphics::IGraphics::WindowPixels(panel::kHeight, scale, screenScale));
}

void Quorrel::OnIdleTick()
{
    iplug::igraphics::IGraphics* ui = GetGraphics();
    if (!ui || ui->IsResizing())
        return;
    const float drawScale = ui->GetDrawScale();
    if (std::fabs(drawScale - uiScale) > kScaleTolerance) {
        uiScale = drawScale;
        SaveUiScale(drawScale);
    }
}

std::string Quorrel::UiScalePath()
{
    return UserDataFolder::UiScalePath();
}

void Quorrel::SaveUiScale(float scale)
{
    UiScaleFile::Write(UiScalePath(), scale);
}

float Quorrel::ReadUiScale()
{
    uiScale = UiScaleFile::Read(UiScalePath());
    return uiScale;
}

double Quorrel::MacroReadout() const
{
    const auto rounded = [this](int idx) { return static_cast<int>(std::lround(CachedParam(idx))); };
    return MacroReadoutValue(rounded(kMode), CachedParam(kMacro), SwitchOn(CachedParam(kSync)), rounded(kSyncDivision),
                             Tempo(), sampleRate, SwitchOn(CachedParam(kRepeatEngine)));
}

int Quorrel::PresetCount() const
{
    return NPresets();
}

const char* Quorrel::PresetNameOf(int index) const
{
    return PresetNameAt(index);
}

bool Quorrel::ApplyFactoryPreset(int index)
{
    return ApplyPreset(index);
}

bool Quorrel::SaveStateChunk(std::vector<std::uint8_t>& chunk)
{
    iplug::IStateBuffer state;
    if (!SaveState(state))
        return false;
    const auto* data = static_cast<const std::uint8_t*>(state.Data());
    chunk.assign(data, data + state.Size());
    return true;
}

bool Quorrel::LoadStateChunk(const std::vector<std::uint8_t>& chunk)
{
    iplug::IStateBuffer state;
    return state.PutBytes(chunk.data(), static_cast<int>(chunk.size())) && LoadState(state, 0) > 0;
}

void Quorrel::RememberPresetName(const std::string& name)
{
    presetName = name;
    presetLoadCount = stateLoadCount.load();
    presetNameValid = true;
    for (int i = 0; i < kParamCount; ++i)
        presetSnapshot[i] = GetParam(i)->Value();
}

bool Quorrel::PresetRecordCurrent() const
{
    return presetNameValid && presetLoadCount == stateLoadCount.load();
}

bool Quorrel::PresetMatches() const
{
    if (!PresetRecordCurrent())
        return false;
    for (int i = 0; i < kParamCount; ++i) {
        // Hold and latch are performance gestures, not edits of the preset.
        if (i == kRepeatHold || i == kRepeatLatch)
            continue;
        if (std::fabs(GetParam(i)->Value() - presetSnapshot[i]) > kPresetTolerance)
            return false;
    }
    return true;
}

std::string Quorrel::MatchingPresetName() const
{
    return PresetMatches() ? presetName : std::string();
}

void Quorrel::OnEditorClosing()
{
    // A held repeat would otherwise go on with nothing on screen to release it. A Hold already
    // off is left alone: the host would take the edit for a change to the project.
    if (GetParam(kRepeatHold)->GetNormalized() == 0.0)
        return;
    SetParamFromEditor(kRepeatHold, 0.0);
}

void Quorrel::OnParamValueChanged(int paramIdx)
{
    if (paramIdx < 0 || paramIdx >= kParamCount)
        return;
    paramCache[paramIdx].store(GetParam(paramIdx)->Value(), std::memory_order_relaxed);
}

void Quorrel::OnEditorParamChange(int paramIdx, iplug::ParamOrigin)
{
    OnParamValueChanged(paramIdx);
}

void Quorrel::SilenceOutputs(double** outputs, int nFrames)
{
    if (!outputs || nFrames < 1)
        return;
    for (int c = 0; c < 2; ++c)
        if (outputs[c])
            std::fill(outputs[c], outputs[c] + nFrames, 0.0);
}

void Quorrel::RunEngine(AudioScratch& scratch, double** inputs, double** outputs, int nFrames)
{
    float* leftIn = scratch.buffers[kLeftIn].data();
    float* rightIn = scratch.buffers[kRightIn].data();
    float* leftOut = scratch.buffers[kLeftOut].data();
    float* rightOut = scratch.buffers[kRightOut].data();

    const bool stereoIn = CountConnectedChannels(iplug::kInput) >= 2 && inputs[1];
    for (int f = 0; f < nFrames; ++f) {
        leftIn[f] = inputs[0] ? static_cast<float>(inputs[0][f]) : 0.0f;
        rightIn[f] = stereoIn ? static_cast<float>(inputs[1][f]) : leftIn[f];
    }
    engine.Process(leftIn, rightIn, leftOut, rightOut, nFrames);
    loopFrozen.store(engine.LoopRecordingStopped(), std::memory_order_relaxed);
    audioRanSinceLoad.store(true, std::memory_order_relaxed);
    for (int f = 0; f < nFrames; ++f) {
        if (outputs[0])
            outputs[0][f] = leftOut[f];
        if (outputs[1])
            outputs[1][f] = rightOut[f];
    }
}

void Quorrel::ProcessAudioBlock(double** inputs, double** outputs, int nFrames)
{
    const auto block = processBusy.TryBlock();
    const DenormalScope denormals;
    const iplug::ITransportInfo& transport = Transport();
    tempo.store(transport.tempo, std::memory_order_relaxed);
    // The engine and the scratch buffers belong to a running reset until the block holds the
    // gate: not even their size may be read before.
    bool ran = false;
    if (block) {
        for (int i = 0; i < kParamCount; ++i)
            engine.SetParam(i, paramCache[i].load(std::memory_order_relaxed));
        engine.SetTempo(transport.tempo);
        if (transport.quarterNotePos >= 0.0)
            engine.SetHostPosition(transport.quarterNotePos);
        if (inputs && outputs && nFrames >= 1 && static_cast<size_t>(nFrames) <= block->buffers[kLeftIn].size()) {
            RunEngine(*block, inputs, outputs, nFrames);
            ran = true;
        }
    }
    if (!ran)
        SilenceOutputs(outputs, nFrames);
}

void Quorrel::KeepFrozenLoopAcrossReset()
{
    if (!SwitchOn(paramCache[kLoopFreeze].load())) {
        std::vector<std::uint8_t>().swap(pendingFrozenBlob);
        return;
    }
    if (!audioRanSinceLoad.load())
        return;
    std::vector<std::uint8_t> captured = engine.CaptureFrozenLoop();
    if (!captured.empty())
        pendingFrozenBlob.swap(captured);
}

void Quorrel::OnProcessingReset()
{
    std::lock_guard<std::recursive_mutex> lock(stateMutex);
    const auto reset = processBusy.HoldForReset();
    std::vector<float>(&buffers)[kScratchCount] = reset->buffers;
    try {
        KeepFrozenLoopAcrossReset();
        const double rate = GetSampleRate();
        const int frames = std::max(GetBlockSize(), 0);
        engine.Prepare(rate, frames);
        if (!pendingFrozenBlob.empty())
            engine.RestoreFrozenLoop(pendingFrozenBlob.data(), pendingFrozenBlob.size(), rate);
        audioRanSinceLoad.store(false);
        sampleRate = rate;
        loopFrozen.store(false);
        for (int i = 0; i < kParamCount; ++i)
            paramCache[i].store(GetParam(i)->Value());
        for (std::vector<float>& buffer : buffers)
            buffer.assign(static_cast<size_t>(frames), 0.0f);
    } catch (const std::exception&) {
        // An engine that could not be prepared is not run: every block comes out silent.
        for (std::vector<float>& buffer : buffers)
            buffer.clear();
    }
    preparedFrames.store(static_cast<int>(buffers[kLeftIn].size()), std::memory_order_release);
}

std::vector<std::uint8_t> Quorrel::FrozenLoopToSave()
{
    // Until audio runs, the loop that was loaded (or kept across a reset), or the absence of
    // one, has not reached the engine yet, and a capture would find the loop it replaces.
    if (!audioRanSinceLoad.load())
        return pendingFrozenBlob;
    return engine.CaptureFrozenLoop();
}

bool Quorrel::SaveState(iplug::IStateBuffer& out)
{
    std::lock_guard<std::recursive_mutex> lock(stateMutex);
    const int before = out.Size();
    bool written = false;
    try {
        StateChunk chunk;
        for (int i = 0; i < kParamCount; ++i)
            chunk.params.values[i] = paramCache[i].load();
        // A held or latched repeat is a performance gesture, never part of a saved sound.
        chunk.params.values[kRepeatHold] = 0.0;
        chunk.params.values[kRepeatLatch] = 0.0;
        if (SwitchOn(chunk.params.values[kLoopFreeze]) && SwitchOn(chunk.params.values[kSaveFrozenAudio]))
            chunk.frozenLoop = FrozenLoopToSave();
        written = chunk.Write(out);
    } catch (const std::bad_alloc&) {
        written = false;
    }
    if (!written)
        out.Resize(before, false);
    return written;
}

void Quorrel::ApplyLoadedFrozenLoop(std::vector<std::uint8_t>& blob, bool loopFreezeOn)
{
    bool restored = false;
    try {
        if (!blob.empty())
            restored = engine.RestoreFrozenLoop(blob.data(), blob.size(), sampleRate);
        if (!restored) {
            blob.clear();
            engine.DiscardPendingLoop();
            // Frozen on no loop: the loop playing now belongs to the state being replaced, and
            // must neither go on playing nor be saved as this one's.
            if (loopFreezeOn)
                engine.RestoreFrozenLoop(nullptr, 0, sampleRate);
        }
    } catch (const std::bad_alloc&) {
        if (!restored)
            engine.DiscardPendingLoop();
    }
    pendingFrozenBlob.swap(blob);
}

int Quorrel::LoadState(const iplug::IStateBuffer& in, int startPos)
{
    std::lock_guard<std::recursive_mutex> lock(stateMutex);
    lastLoadOk = false;
    StateChunk chunk;
    const int pos = chunk.Read(in, startPos);
    if (pos < 0)
        return 0;

    ApplyLoadedFrozenLoop(chunk.frozenLoop, SwitchOn(chunk.params.values[kLoopFreeze]));
    audioRanSinceLoad.store(false);
    for (int i = 0; i < kParamCount; ++i) {
        iplug::IParam& param = *GetParam(i);
        param.SetValue(param.ClampToRange(chunk.params.values[i]));
        paramCache[i].store(param.Value());
    }
    for (int i = 0; i < kParamCount; ++i) {
        OnParamChange(i, iplug::kOriginPreset, -1);
        OnEditorParamChange(i, iplug::kOriginPreset);
    }
    lastLoadOk = true;
    ++stateLoadCount;
    return pos;
}

#if !defined(MARLQUIN_APP)
tresult PLUGIN_API Quorrel::setState(IBStream* stream)
{
    if (!stream)
        return kInvalidArgument;
    return InterfaceGuard::Run([&]() -> tresult {
        std::lock_guard<std::recursive_mutex> lock(stateMutex);
        lastLoadOk = false;
        const double bypassBefore = bypassParameter ? bypassParameter->getNormalized() : 0.0;
        const bool processorBypassBefore = GetBypassed();
        const tresult result = IPlugVST3::setState(stream);
        if (lastLoadOk)
            return result;
        // The binding read a bypass flag from wherever the rejected chunk left it; that is no flag.
        if (bypassParameter)
            bypassParameter->setNormalized(bypassBefore);
        SetBypassed(processorBypassBefore);
        return kResultFalse;
    });
}

tresult PLUGIN_API Quorrel::setupProcessing(Vst::ProcessSetup& setup)
{
    return InterfaceGuard::Run([&]() -> tresult {
        if (!SupportedSampleRate(setup.sampleRate))
            return kResultFalse;
        const tresult result = IPlugVST3::setupProcessing(setup);
        if (result != kResultOk)
            return result;
        return PreparedBlockFrames() >= setup.maxSamplesPerBlock ? kResultOk : kOutOfMemory;
    });
}

tresult PLUGIN_API Quorrel::process(Vst::ProcessData& data)
{
    return InterfaceGuard::Run([&]() -> tresult {
        return MarlquinVST3::SubBlockSlicer::Run(data, GetSampleRate(),
                                                 [this](Vst::ProcessData& sub) { return IPlugVST3::process(sub); });
    });
}
#endif
