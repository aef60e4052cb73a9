#pragma once
#include <cstdint>
#include <vector>

#include "engine/dsp/DelayLine.h"
#include "engine/dsp/DriftContext.h"
#include "engine/dsp/EngineMath.h"
#include "engine/dsp/ParamSmoother.h"
#include "engine/modes/GrainShifter.h"
#include "engine/modes/ModeProcessor.h"
#include "engine/modes/PitchVoice.h"
#include "engine/modes/TempoSyncInfo.h"
#include "engine/modes/TransientMap.h"

// Pitch ratio of the legacy echo's repeats for a SHAPE value: five plateaus
// (0.5, 1.0, 1.005, 1.5, 2.0) joined by linear ramps.
double ShapeRatio(double shape);

// The legacy echo: a mono-fed multi-tap delay of up to eight equally spaced
// repeats, each quieter by the feedback ratio, darker by its own low-pass,
// optionally pitched, panned alternately left and right and disturbed by seeded
// chaos events. The buffer records continuously (FeedIdle keeps it current while
// the instance is not heard) so that an instance has history the moment it is
// heard again.
class EchoMode : public ModeProcessor
{
public:
    static constexpr int kTaps = 8;

    // Constructed control values; the engine restores these at every preparation.
    static constexpr double kDefaultTime = 0.25;
    static constexpr double kDefaultPitchControl = 0.0;
    static constexpr double kDefaultFeedback = 0.5;
    static constexpr int kDefaultRepeats = 4;

    EchoMode();
    ~EchoMode() override = default;
    EchoMode(const EchoMode&) = delete;
    EchoMode& operator=(const EchoMode&) = delete;

    void Prepare(double sampleRate, int maxBlockSize) override;
    void Reset() override;
    void SetControls(double a, double b) override;
    void Process(float* left, float* right, int n, DriftContext& drift) override;
    void SetTime(double value) override;
    void SetTempoSync(const TempoSyncInfo& info) override;

    // Feedback of the repeats (clamped to 0..0.9) and its smoother's target.
    void SetFeedback(double value);
    // Number of repeats, clamped to 1..8.
    void SetRepeats(int count);
    // Returns time, pitchControl, feedback, repeats and sync to their constructed values.
    void RestoreConstructedControls();

    // Lands the three control smoothers on time, ShapeRatio(pitchControl) and feedback.
    void SnapSmoothers();
    // Keeps the history and the transient map current while the instance is not heard.
    void FeedIdle(const float* left, const float* right, int n);

    // False when the last preparation could not get its memory; Process then
    // writes silence.
    bool IsReady() const { return ready; }

    // What the echo carries from sample to sample, in its documented order.
    // The ring, the shifters, the onset map and the pitch voices keep their
    // own state; the prepared tables and the smoothers are the echo's own.
    struct State
    {
        uint8_t reinitPending = 0; // fed while not heard: restart the taps
        uint32_t flickerRng = 1;
        int32_t flickerCountdown[kTaps] = {};
        double flickerGain[kTaps] = {};
        double flickerTarget[kTaps] = {};
        double sampleRate = EngineMath::kDefaultSampleRate;
        double clock = 0.0; // samples written since the last reset
        double pitchVoiceMix[kTaps] = {};
        double tapLevels[kTaps] = {};
        uint8_t tapLevelsValid = 0;
        uint8_t pitchVoiceRunning[kTaps] = {};
        int32_t pitchVoiceWarmup[kTaps] = {};
        int32_t pitchVoiceHoldoff[kTaps] = {};
        uint32_t idleSampleCounter = 0;
        uint64_t pitchVoiceSamples = 0;
        uint8_t pitchVoiceEnabled[kTaps] = {};
        double tapSpacing[kTaps] = {};
        double blockStartClock = 0.0;
        double tapLowpassState[kTaps] = {};
        uint32_t chaosRng = 1;
        uint32_t chaosGeneration = 0;
        uint8_t chaosSeeded = 0;
        int32_t tapChaosCountdown[kTaps] = {};
        uint8_t reverseRun[kTaps] = {};
        double reverseRunLength[kTaps] = {};
        double reverseRunPos[kTaps] = {};
        uint8_t fastRun[kTaps] = {};
        double fastRunLength[kTaps] = {};
        double fastRunPos[kTaps] = {};
        double tapDelay[kTaps] = {};
        double oldTapDelay[kTaps] = {};
        double minOldTapDelay = 1e30;
        double tapCrossfade[kTaps] = {}; // -1: none
        int32_t tickCountdown = 0;
        uint8_t delaysValid = 0;
        uint32_t tickCount = 0;
        int32_t syncCountdown = -1; // -1: none
        int32_t octaveUpCountdown[kTaps] = {};
        int32_t muteCountdown[kTaps] = {};
        double muteGain[kTaps] = {};
        int32_t ghostCountdown[kTaps] = {};
        double ghostLowpassState[kTaps] = {};
        int32_t eventCountdown = 0;
        int32_t dropoutCountdown = 0;
        int32_t clickPosition = -1; // -1: none
        double dropoutGain = 1.0;
        int32_t bendRemaining = 0;
        int32_t bendLength = 0;
        double bendDepth = 0.0;
        uint32_t reverseRunCount = 0;
        uint32_t fastRunCount = 0;
        uint32_t octaveJumpCount = 0;
        uint32_t muteCount = 0;
        uint32_t ghostCount = 0;
        uint32_t dropoutCount = 0;
        uint32_t bendCount = 0;
        uint32_t delayFloorCount = 0;
        double time = kDefaultTime;
        double pitchControl = kDefaultPitchControl;
        double feedback = kDefaultFeedback;
        int32_t repeats = kDefaultRepeats;
        TempoSyncInfo sync;
    };

    const State& CurrentState() const { return state; }
    // The ring of mono input, written at the clock.
    const DelayLine<1>& History() const { return history; }
    const TransientMap& Transients() const { return transientMap; }

private:
    // What a sample's processing takes from the smoothed controls, the chaos
    // amount and the tempo record; samples in a row share it while it holds.
    struct SamplePlan
    {
        bool reinit = false;
        bool firstBlock = false;
        double chaos = 0.0;
        double periodSamples = 0.0;
        // Chances of the chaos events, per roll.
        double pFast = 0.0;
        double pReverse = 0.0;
        double pOctave = 0.0;
        double pMuteGhost = 0.0;
        double pDropout = 0.0;
        double tapRatio[kTaps] = {};
        // How far ahead of its spacing a tap pitched up starts reading.
        double extra[kTaps] = {};
        double drive = 1.0;
        int32_t periodCount = 1;
        double levelStep = 0.0;
        double mixStep = 0.0;
        double crossfadeSamples = 0.0;
        double flickerStep = 0.0;
        int32_t clickLength = 0;
        double shifterDelay = 0.0;
        double maxTapDelay = 0.0;
    };

    // Sizes the ring and everything that points into it for the rate; false
    // when the memory cannot be had.
    bool AllocateForRate();
    void ReleaseMemory();
    // The rate's filter poles, smoother times and pan.
    void PrepareTables();
    void FillPanMatrix();
    // Everything Reset does but clearing the history.
    void ResetState();
    void ResetChaos();
    void ResetTap(int k);
    // The plan of one sample, made as a call of one sample makes it.
    SamplePlan PlanSample(const DriftContext& drift);
    // Making the plan again would change no state and give the same plan, but for
    // the parts that move with every sample, which RefreshSamplePlan makes.
    bool PlanStillHolds(const DriftContext& drift) const;
    void RefreshSamplePlan(SamplePlan& plan);
    void ProcessSample(float& left, float& right, const SamplePlan& plan);
    void RestartTaps();
    double TapPeriod(double chaos, const DriftContext& drift) const;
    bool ChaosNeedsSeed(double chaos, const DriftContext& drift) const;
    void SeedChaos(double chaos, const DriftContext& drift);
    void PlanTaps(SamplePlan& plan, double period);
    void PlanPitchVoices(const SamplePlan& plan);
    void PrefillShifters(const SamplePlan& plan);
    void ScheduleSyncTick();

    // Renders one sample of every voice that may be heard.
    void RenderPitchVoices(const SamplePlan& plan);
    void RollGlobalEvents(const SamplePlan& plan);
    double StepWow();
    bool StepTick(int32_t periodCount);
    double StepClick(int32_t clickLength);
    // One tap's sample before its level and pan.
    double TapOutput(int k, double newest, double wow, bool tick, const SamplePlan& plan);
    void RollTapEvents(int k, const SamplePlan& plan);
    // Rolls the tap's chance of each event, its countdown having run out.
    void RollTapEventsNow(int k, const SamplePlan& plan);
    // -1 during a reverse run, 2 during a fast run, else 1.
    double StepRunSpeed(int k);
    // Moves the tap's read head and reads it, crossfading from where it was after a jump.
    double ReadTap(int k, double newest, double wow, double speed, bool tick, const SamplePlan& plan);
    double BlendPitchVoice(int k, double y, bool runActive, const SamplePlan& plan);

    // Linear read of the ring at an absolute position (slot = position modulo length).
    double ReadEcho(double position) const;
    // Weights of the old and the new read head at a whole step of a tap's crossfade.
    void CrossfadeWeights(double step, double crossfadeSamples, double& oldWeight, double& newWeight) const;
    static void ComputeCrossfadeWeights(double step, double crossfadeSamples, double& oldWeight, double& newWeight);
    void BuildCrossfadeTable();

    State state;
    std::vector<float> scratch;
    DelayLine<1> history;
    GrainShifter shifters[kTaps];
    TransientMap transientMap;
    PitchVoice pitchVoices[kTaps];
    float pitchVoiceOut[kTaps] = {};
    // Prepared for the rate: each tap's low-pass pole, and the pan of odd and
    // even repeats into left and right.
    double tapLowpassCoef[kTaps] = {};
    double panMatrix[4] = {};
    double muteCoef = 0.0;
    double dropoutCoef = 0.0;
    // The feedback's powers for the taps and their ghosts, made for decayFeedback.
    double tapDecay[kTaps] = {};
    double ghostDecay[kTaps] = {};
    double decayFeedback = 0.0;
    uint8_t decayValid = 0;
    ParamSmoother timeSmoother;
    ParamSmoother pitchSmoother;
    ParamSmoother feedbackSmoother;
    // The crossfade weights at whole steps, as CrossfadeWeights computes them
    // for the crossfade length of the prepared rate.
    std::vector<double> crossfadeOldWeights;
    std::vector<double> crossfadeNewWeights;
    double crossfadeTableSamples = 0.0;
    // Whether each tap's octave jump was on when the voices were last planned.
    bool plannedOctaveUp[kTaps] = {};
    bool ready = false;
};
