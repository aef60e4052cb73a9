#pragma once

#include "engine/EffectEngine.h"
#include "engine/tables/ParamSpec.h"
#include "framework/core/BlockGate.h"
#include "plugin/panel/PluginPresets.h"
#include "plugin/panel/PluginStatus.h"
#if defined(MARLQUIN_APP)
#include "framework/app/IPlugAPP.h"
#else
#include "framework/vst3/IPlugVST3.h"
#endif

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#if defined(MARLQUIN_APP)
using QuorrelFormat = iplug::IPlugAPP;
#else
using QuorrelFormat = iplug::IPlugVST3;
#endif

// The product's plug-in object: the effect's parameters and factory presets on the framework,
// an EffectEngine fed from the audio thread, the state format, and the module's own VST 3
// entries (sample-accurate parameter slicing, refused sample rates, the state-load guard).
// The standalone program builds the same class on the framework's standalone binding. Its panel
// reaches it through PluginPresets and PluginStatus only.
class Quorrel : public QuorrelFormat, public PluginPresets, public PluginStatus
{
public:
#if defined(MARLQUIN_APP)
    explicit Quorrel(iplug::IPlugAPPHost* host);
#else
    Quorrel();
#endif
    ~Quorrel() override;

    // Plug-in chain.
    void* OpenEditor(void* parent, void* context) override;
    void FitEditorToHostSize(int width, int height) override;
    void PrepareEditorSize(float screenScale) override;
    void OnEditorClosing() override;
    void OnParamValueChanged(int paramIdx) override;
    void OnEditorParamChange(int paramIdx, iplug::ParamOrigin source) override;
    bool SaveState(iplug::IStateBuffer& out) override;
    int LoadState(const iplug::IStateBuffer& in, int startPos) override;

    // Idle timer: remembers a scale the user chose by resizing the panel.
    void OnIdleTick() override;

    // Processor.
    void ProcessAudioBlock(double** inputs, double** outputs, int nFrames) override;
    void OnProcessingReset() override;

#if !defined(MARLQUIN_APP)
    // VST 3 entries of the module.
    Steinberg::tresult PLUGIN_API setState(Steinberg::IBStream* stream) override;
    Steinberg::tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& setup) override;
    Steinberg::tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) override;
#endif

    static bool SupportedSampleRate(double rate);

    // Panel scale, remembered per user in a file shared by every instance and both programs.
    static std::string UiScalePath();
    void SaveUiScale(float scale);
    // Reads the remembered scale afresh into uiScale and answers it.
    float ReadUiScale();
    float UiScale() const
    {
        return uiScale;
    }

    // The panel's view of the plug-in.
    int PresetCount() const override;
    const char* PresetNameOf(int index) const override;
    bool ApplyFactoryPreset(int index) override;
    bool SaveStateChunk(std::vector<std::uint8_t>& chunk) override;
    bool LoadStateChunk(const std::vector<std::uint8_t>& chunk) override;
    void RememberPresetName(const std::string& name) override;
    bool PresetRecordCurrent() const override;
    const std::string& PresetName() const override
    {
        return presetName;
    }
    bool PresetMatches() const override;
    std::string MatchingPresetName() const override;
    double Tempo() const override
    {
        return tempo.load(std::memory_order_relaxed);
    }
    double MacroReadout() const override;
    bool LoopFrozen() const override
    {
        return loopFrozen.load(std::memory_order_relaxed);
    }
    bool ShowBackPanel() const override
    {
        return showBackPanel;
    }
    void SetShowBackPanel(bool back) override
    {
        showBackPanel = back;
    }

    std::uint64_t StateLoadCount() const
    {
        return stateLoadCount.load();
    }
    double CachedParam(int paramIdx) const;
    double PreparedSampleRate() const
    {
        return sampleRate;
    }
    // Frames a block may have and still be processed; 0 before the first processing reset.
    int PreparedBlockFrames() const
    {
        return preparedFrames.load(std::memory_order_acquire);
    }

private:
    enum ScratchIndex
    {
        kLeftIn,
        kRightIn,
        kLeftOut,
        kRightOut,
        kScratchCount
    };
    // The conversion buffers of the audio path, sized at each processing reset.
    struct AudioScratch
    {
        std::vector<float> buffers[kScratchCount];
    };

    static iplug::IPlugDescriptor MakeDescriptor();
    iplug::igraphics::IGraphics* MakeGraphics();
    void SetupParams();
    void AddFactoryPresets();
    void KeepFrozenLoopAcrossReset();
    void ApplyLoadedFrozenLoop(std::vector<std::uint8_t>& blob, bool loopFreezeOn);
    std::vector<std::uint8_t> FrozenLoopToSave();
    void SilenceOutputs(double** outputs, int nFrames);
    void RunEngine(AudioScratch& scratch, double** inputs, double** outputs, int nFrames);

    float uiScale = 1.0f;
    std::atomic<std::uint64_t> stateLoadCount{0};
    std::string presetName;
    double presetSnapshot[kParamCount] = {};
    std::uint64_t presetLoadCount = 0;
    bool presetNameValid = false;
    EffectEngine engine;
    std::recursive_mutex stateMutex;
    bool lastLoadOk = false;
    std::vector<std::uint8_t> pendingFrozenBlob;
    std::atomic<bool> audioRanSinceLoad{false};
    // A block and a processing reset exclude each other here; blocks never wait.
    iplug::BlockGate<AudioScratch> processBusy;
    // Written on the UI and the audio thread alike; each entry is read and written whole.
    std::atomic<double> paramCache[kParamCount];
    std::atomic<double> tempo{120.0};
    double sampleRate = EffectEngine::kDefaultSampleRate;
    std::atomic<bool> loopFrozen{false};
    std::atomic<int> preparedFrames{0};
    bool showBackPanel = false;
};
