#pragma once

#include "engine/EffectEngine.h"
#include "engine/ParamSpec.h"
#if defined(MARLQUIN_APP)
#include "framework/app/IPlugAPP.h"
#else
#include "framework/vst3/IPlugVST3.h"
#endif

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#if defined(MARLQUIN_APP)
using QuorrelFormat = iplug::IPlugAPP;
#else
using QuorrelFormat = iplug::IPlugVST3;
#endif

// The product's plug-in object: the effect's parameters and factory presets on the framework,
// an EffectEngine fed from the audio thread, the state format, and the module's own VST 3
// entries (sample-accurate parameter slicing, refused sample rates, the state-load guard).
// The standalone program builds the same class on the framework's standalone binding.
class Quorrel : public QuorrelFormat
{
public:
#if defined(MARLQUIN_APP)
    explicit Quorrel(iplug::IPlugAPPHost* host);
#else
    Quorrel();
#endif
    ~Quorrel() override;

    // Plug-in chain.
    void OnEditorClosing() override;
    void OnParamValueChanged(int paramIdx) override;
    void OnEditorParamChange(int paramIdx, iplug::ParamOrigin source) override;
    bool SaveState(iplug::IStateBuffer& out) override;
    int LoadState(const iplug::IStateBuffer& in, int startPos) override;

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

    std::uint64_t StateLoadCount() const
    {
        return stateLoadCount.load();
    }
    double CachedParam(int paramIdx) const;
    double Tempo() const
    {
        return tempo.load(std::memory_order_relaxed);
    }
    double PreparedSampleRate() const
    {
        return sampleRate;
    }
    bool LoopFrozen() const
    {
        return loopFrozen.load(std::memory_order_relaxed);
    }
    // Frames a block may have and still be processed; 0 before the first processing reset.
    int PreparedBlockFrames() const
    {
        return static_cast<int>(scratchBuffers[kLeftIn].size());
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
    enum BusyState : std::int32_t
    {
        kIdle = 0,
        kProcessing = 1,
        kResetting = 2
    };

    static iplug::IPlugDescriptor MakeDescriptor();
    void SetupParams();
    void AddFactoryPresets();
    void KeepFrozenLoopAcrossReset();
    void ApplyLoadedFrozenLoop(std::vector<std::uint8_t>& blob);
    std::vector<std::uint8_t> FrozenLoopToSave();
    void SilenceOutputs(double** outputs, int nFrames);
    void RunEngine(double** inputs, double** outputs, int nFrames);

    std::atomic<std::uint64_t> stateLoadCount{0};
    EffectEngine engine;
    std::recursive_mutex stateMutex;
    bool lastLoadOk = false;
    std::vector<std::uint8_t> pendingFrozenBlob;
    std::atomic<bool> audioRanSinceLoad{false};
    std::atomic<std::int32_t> processBusy{kIdle};
    // Written on the UI and the audio thread alike; each entry is read and written whole.
    std::atomic<double> paramCache[kParamCount];
    std::atomic<double> tempo{120.0};
    double sampleRate = EffectEngine::kDefaultSampleRate;
    std::atomic<bool> loopFrozen{false};
    std::vector<float> scratchBuffers[kScratchCount];
};
