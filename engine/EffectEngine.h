#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "engine/TempoSyncBuilder.h"
#include "engine/dsp/DriftContext.h"
#include "engine/dsp/EngineMath.h"
#include "engine/dsp/ParamSmoother.h"
#include "engine/modes/EchoMode.h"
#include "engine/modes/LoopsMode.h"
#include "engine/modes/ModeProcessor.h"
#include "engine/modes/RepeatMode.h"
#include "engine/modes/TempoSyncInfo.h"
#include "engine/modes/TremMode.h"
#include "engine/stages/DriveStage.h"
#include "engine/stages/WearStage.h"
#include "engine/state/FrozenLoopHandover.h"
#include "engine/tables/ParamSpec.h"

// The effect's whole signal path as one object: input gate, drive, the mode
// processors with their crossfades and tempo sync, wear, and the output mix and
// level. The owner sets parameters, tempo and host position, prepares it for a
// rate, then hands it stereo blocks on the audio thread. Smoothing, crossfades,
// chaos and tempo phases move per sample; parameter hand-over and tempo records
// happen once per block. A block runs in chunks, each as long as its samples'
// per-chunk work would repeat unchanged, so the output is exactly that of
// one-sample chunks.
//
// Prepare never runs while Process runs (the owner serialises them). Only the
// frozen-loop hand-over is touched by other threads, and only through its
// atomic compare-and-set and exchange.
//
// Large (the modes embed their delay lines): keep it inside another object,
// never on a stack.
class EffectEngine
{
public:
    static constexpr int kSlotCount = 3;
    static constexpr double kDefaultSampleRate = EngineMath::kDefaultSampleRate;
    static constexpr int kDefaultBlockSize = 512;
    static constexpr uint32_t kSeedOffset = 0x5eed0000u;

    EffectEngine();
    ~EffectEngine() = default;
    EffectEngine(const EffectEngine&) = delete;
    EffectEngine& operator=(const EffectEngine&) = delete;

    // Not on the audio thread. Invalid rates become 48000, block sizes below 1 become 512.
    void Prepare(double sampleRate, int maxBlockSize);
    // Audio thread. Inputs and outputs may be the same buffers; n < 1 does nothing.
    // Before the first Prepare the output is silence.
    void Process(const float* inL, const float* inR, float* outL, float* outR, int n);

    // Ignores indices outside the table and non-finite values; clamps to the row.
    void SetParam(int index, double value);
    double GetParam(int index) const;
    // Stored as given; its users clamp it (20..999 BPM, 120 when not finite).
    void SetTempo(double bpm) { tempo = bpm; }
    // Host position in quarter notes; a non-finite position is ignored.
    void SetHostPosition(double quarterNotes) { tempoSync.SetHostPosition(quarterNotes); }

    double SampleRate() const { return sampleRate; }
    int MaxBlockSize() const { return maxBlockSize; }
    double Tempo() const { return tempo; }
    // The live loop has stopped recording (a frozen loop is playing).
    bool LoopRecordingStopped() const { return liveLoop.GetState().recordingStopped != 0; }

    // Frozen-loop hand-over; any thread but the audio thread, never two at once.
    // The blob of the frozen live loop, or empty when there is none (or a reader is
    // already copying it).
    std::vector<uint8_t> CaptureFrozenLoop() { return handover.Capture(liveLoop); }
    // Hands in a loop from a blob (size 0: an empty loop) for the audio thread to
    // install at a block start, converted to the rate the loop runs at for
    // sampleRate. False, with nothing changed, when the blob is refused.
    bool RestoreFrozenLoop(const uint8_t* data, size_t size, double sampleRate)
    {
        return handover.Restore(data, size, sampleRate);
    }
    // Frees a loop still waiting to be installed and the one an install displaced.
    void DiscardPendingLoop() { handover.DropHandedOverLoops(); }
    // Unset in the product: lets a test run the other side of the hand-over at
    // the protocol's fixed points.
    void SetHandoverProbe(std::function<void(FrozenLoopHandover::Point)> probe) { handover.SetProbe(std::move(probe)); }

    // The tempo record of a slot (0 the tremolo, 1 the other modes) for a block of n samples.
    TempoSyncInfo MakeTempoSync(int n, int divisionIndex, int slot, bool synced, bool positionFresh);

private:
    // Reads the engine's state for the tests; it changes nothing.
    friend class EffectEngineProbe;

    void RebuildForRate();
    void ReturnStagesToConstructed();
    void PrepareStagesAndModes();
    void ResetModeWeights();
    void ResetTempoSync();
    static constexpr int kScratchVectorCount = 13;
    std::array<std::vector<float>*, kScratchVectorCount> ScratchVectors();
    void EnsureScratch(int count);
    bool TryEnsureScratch(int count);
    void UpdateBlockParams();
    void UpdateLoopParams();
    void MapModeControls();
    void BuildTempoRecords(int n);
    void AdvanceTempoSync(int i);
    // Samples from here (at most remaining) that the next chunk may cover.
    int RunLength(int remaining) const;
    // An active slot whose processing covers a run as it would its samples one by one.
    bool SlotTakesRuns(int slot) const;
    bool WeightHolds(int slot) const;
    void ProcessChunk(const float* inL, const float* inR, float* outL, float* outR, int count);
    void HandTempoRecordsToModes();
    void LandSmoothersOnFirstSample();
    void ApplyInputGate(float* left, float* right, int count);
    void UpdateModeCrossfade();
    void MixModes(int count);
    void MixRepeatSlot(int count, double engineMix);
    void MixRepeatSlotPiece(int offset, int n, double engineMix, double stereoMix);
    static double StepEngineMix(ParamSmoother& mix);
    void FeedRepeatSlotIdle(const float* left, const float* right, int count);
    void PlanIdleFeeding();
    void GatherIdleInput(int count);
    void FeedIdleSlots();
    void WriteOutput(float* outL, float* outR, int count);

    double Clamped(int index) const;
    bool SwitchOn(int index) const { return values[index] > 0.5; }
    int Rounded(int index) const;
    double LevelGainTarget() const;
    int CurrentMode() const;

    double sampleRate = kDefaultSampleRate;
    int32_t maxBlockSize = kDefaultBlockSize;
    double tempo = 120.0;
    ParamSmoother levelGain;
    ParamSmoother mixAmount;
    ParamSmoother repeatEngineMix;
    double values[kParamCount];
    TempoSyncBuilder tempoSync;
    TempoSyncInfo tremSync;
    TempoSyncInfo modeSync;
    DriftContext drift{1};
    DriveStage drive;
    WearStage wear;
    TremMode trem;
    RepeatMode repeat;
    EchoMode echo;
    EchoMode echoLeft;
    EchoMode echoRight;
    ParamSmoother stereoMix;
    uint32_t chunkCounter = 0;
    LoopsMode liveLoop;
    FrozenLoopHandover handover;

    ModeProcessor* modeTable[kSlotCount];
    ParamSmoother modeWeight[kSlotCount];
    int32_t lastMode = 0;
    uint8_t started = 0;
    int32_t lastSeed = 0;
    double gateEnvelope = 0.0;
    double gateAttack = 0.0;
    double gateRelease = 0.0;

    std::vector<float> workL, workR, dryL, dryR, accL, accR, modeL, modeR;
    std::vector<float> weights[kSlotCount];

    // Block values of the tempo records; the per-sample records derive from them.
    TempoSyncInfo tremSyncBlock;
    TempoSyncInfo modeSyncBlock;
    bool prepared = false;
    // A reader was copying the live history at block start: recording stays
    // stopped for the whole block even if it finishes meanwhile.
    bool freezeHeldForReader = false;
    // Slots silent for the whole block, fed once per block from the gathered
    // post-drive input in idleL, idleR (idleFill samples so far).
    bool idleForBlock[kSlotCount] = {};
    bool deferIdleFeeding = false;
    int idleFill = 0;
    std::vector<float> idleL, idleR;
};
