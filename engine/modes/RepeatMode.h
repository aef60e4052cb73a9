#pragma once
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "engine/dsp/DelayLine.h"
#include "engine/dsp/DriftContext.h"
#include "engine/dsp/EngineMath.h"
#include "engine/dsp/StereoDouble.h"
#include "engine/modes/ModeProcessor.h"
#include "engine/modes/RepeatTapRun.h"
#include "engine/modes/TempoSyncInfo.h"

// The REPEAT engine's state, field by field in its documented order. The
// recorded input and the feedback line hold frames: left and right of one
// sample side by side, so that a tap reads both from one cache line.
struct RepeatState
{
    static constexpr int kMaxRepeats = 64;

    DelayLine<2> history;
    std::vector<float> capture[2];
    DelayLine<2> feedbackLine;
    double repeatGain[kMaxRepeats] = {};
    double speed[kMaxRepeats] = {};
    double previousSpeed[kMaxRepeats] = {};
    TempoSyncInfo sync;
    uint64_t clock = 0;
    uint64_t feedbackValidFrom = 0;
    double sampleRate = EngineMath::kDefaultSampleRate;
    double time = 0.25;
    double shape = 0.28;
    double sliceLength = 12000.0;
    double position = 0.0;
    double decayTarget = 0.85;
    double decay = 0.85;
    double feedbackTarget = 0.0;
    double feedback = 0.0;
    double captureStart = 0.0;
    double holdMix = 0.0;
    double stereoWidth = 0.0;
    double feedbackFilter[2] = {};
    double coefficient10ms = 0.0;
    double rampStep = 0.0;
    double lowpass8k = 0.0;
    double readOffsetA = 0.0;
    double readOffsetB = 0.0;
    double envelopeFast = 0.0;
    double envelopeSlow = 0.0;
    double coefficient5ms = 0.0;
    double coefficient50ms = 0.0;
    int32_t offsetFadeCount = 1000000;
    int32_t transientHoldoff = 0;
    uint8_t gapless = 0;
    double previousSliceLength = 12000.0;
    double previousPosition = 0.0;
    double previousOffsetA = 0.0;
    int32_t transitionCount = -1;
    double correlation = 0.0;
    uint64_t transientHistory = 0;
    uint8_t dipFlag = 0;
    uint8_t transientSeen = 0;
    uint8_t captureHasTransient = 0;
    int32_t count = 4;
    int32_t captureLength = 0;
    int32_t captured = 0;
    int32_t cycleCount = 1000000;
    uint8_t hold = 0;
    uint8_t previousHold = 0;
    uint8_t started = 0;
    uint8_t preserveStereo = 0;
};

// The REPEAT engine: records the input continuously and plays up to 64 repeats
// of the last slices (repeat k plays the audio of k+1 slices ago, one decay step
// quieter each), with per-repeat speeds picked by SHAPE and varied by CHAOS, a
// feedback path, a HOLD/LATCH capture that loops the last slice, gapless fast
// repeats, transient-aware re-alignment and a correlation-aware crossfade when
// the slice length changes.
//
// The engine sets the count, decay, feedback, gapless, hold and Preserve Stereo
// controls once per block through their setters. All memory is sized in Prepare;
// when that allocation fails the mode stays silent until a later Prepare succeeds.
class RepeatMode : public ModeProcessor, private RepeatState
{
public:
    using State = RepeatState;
    using RepeatState::kMaxRepeats;

    RepeatMode() = default;
    ~RepeatMode() override = default;

    void Prepare(double sampleRate, int maxBlockSize) override;
    void Reset() override;
    // a = MACRO (slice time 0.01 x 120^a s), b = SHAPE.
    void SetControls(double a, double b) override;
    void Process(float* left, float* right, int n, DriftContext& drift) override;
    // Slice time in seconds, clamped to 0.001..1.2.
    void SetTime(double seconds) override;
    void SetTempoSync(const TempoSyncInfo& info) override;

    // Keeps the history (and a HOLD capture) current while the mode is not heard.
    void FeedIdle(const float* left, const float* right, int n);

    // Number of repeats heard, clamped to 1..kMaxRepeats.
    void SetCount(int repeats);
    // Gain step from one repeat to the next (0..1), approached over 10 ms.
    void SetDecay(double target) { decayTarget = target; }
    // Feedback of the first repeat into the line (0..0.95), approached over 10 ms.
    void SetFeedback(double target) { feedbackTarget = target; }
    void SetGapless(bool on) { gapless = on ? 1 : 0; }
    // HOLD or LATCH: a rising edge captures the last slice.
    void SetHold(bool on) { hold = on ? 1 : 0; }
    void SetPreserveStereo(bool on) { preserveStereo = on ? 1 : 0; }

    // True once Prepare has sized the buffers; false after a failed allocation.
    bool IsPrepared() const { return prepared; }
    const State& CurrentState() const { return *this; }
    // Puts a state taken from CurrentState back, buffers included (allocates),
    // and plays on from it. False, with the mode silent until the next Prepare,
    // when the state's buffers are not the ones Prepare sizes for its rate or
    // its speeds are not those of a cycle.
    bool RestoreState(const State& saved);

private:
    using Frame = DelayFrame<2>;
    using Line = DelayLine<2>::View;
    // Everything the slice-length crossfade computes twice (new and old slice).
    struct Voices
    {
        Frame sum;
        Frame first;
        Frame held;
        Frame fed;
    };

    // Read offset and gain of a tap at one speed and offset, for the current sample.
    struct TapShape
    {
        double shift;       // read position minus the repeat's source position
        double gain;        // fades that do not depend on the source position
        double writerScale; // gapless fast taps: 1 / ((speed - 1) x fade), else 0
        double writerLimit; // reads at or before this position need no writer fade
    };
    // A tap's speed is the cycle's base speed times 2^step, step -2..2; its class
    // is step + 2 for the current cycle's speeds and 5 more for the previous
    // cycle's, so taps of one class share one speed.
    static constexpr int kUnitStepClass = 2;
    static constexpr int kPreviousCycleClasses = 5;
    static constexpr int kSpeedClasses = 2 * kPreviousCycleClasses;
    static constexpr uint32_t kCurrentCycleClassBits = (1u << kPreviousCycleClasses) - 1;

    // Gains of the read-offset change after a transient, shared by every tap of one sample.
    struct OffsetFade
    {
        bool active = false;
        double gainA = 1.0;
        double gainB = 0.0;
    };

    Line HistoryLine() const { return history.ViewAt(static_cast<double>(clock)); }
    Line FeedbackLine() const { return feedbackLine.ViewAt(static_cast<double>(clock)); }

    static double RaisedCosine(double x);
    double DipCurve() const;
    double DipGain() const;
    // The fades of every speed class in use at read offset A (slot 0) and, while
    // the offset change fades, B (slot 1).
    void FillTapShapes();
    void FillShape(TapShape& shape, double s, double offset, double now) const;
    // dip: the transient dip gain of the repeat, applied to its speed-1 reads.
    static Frame TapReadShaped(const Line& line, double src, double s, const TapShape& shape, double dip);
    Frame TapRead(const Line& line, double src, double s, int speedClass, int offsetSlot, double dip) const;
    Frame TapReadAligned(const Line& line, double src, double s, int speedClass, double dip) const;
    Frame TapReadRepeat(const Line& line, double src, int k, double dip) const;
    double CaptureRead(int channel, double heldLength, double s) const;
    double Correlation(double span) const;
    void NewCycle(DriftContext& drift);

    void StartIfFirst(DriftContext& drift);
    void UpdateHold(DriftContext& drift);
    void UpdateSliceLength();
    void DetectTransient(double left, double right);
    void StepControls(float inL, float inR, DriftContext& drift);
    void PrepareTaps();
    void RenderHeldAndFed(Voices& voices);
    void WriteFeedback(const Voices& voices);
    void FillCapture();
    void RampRepeatGains();
    void UpdateTapFades();
    Voices RenderVoices();
    Frame RepeatSum(Frame& first);
    void UpdateTapDecay(double step);
    bool BuffersFit() const;
    bool RebuildSpeedClasses();
    bool GroupSpeeds(const double* speeds, uint8_t* classes, int firstClass);
    void NoteUnitSpeedTaps();
    int TapsInside(const Line& line, int active) const;
    // Tap k's term goes to terms[k x stride].
    void AddTapTerms(Line line, uint64_t taps, StereoDouble* terms, int stride, Frame& firstTap) const;
    static uint64_t HeardTaps(int active);
    bool UnitTapsCanWait(const Line& line, RepeatTapRun::Key& key) const;
    void RenderSample(int index, float inL, float inR, float* left, float* right);
    void RenderAtOnce(int index, float inL, float inR, float* left, float* right);
    void RenderIntoRun(const Line& line, const RepeatTapRun::Key& key, int index, float inL, float inR, float* left,
                       float* right);
    void FinishRun(float* left, float* right);
    // What the output adds to the repeat sum, taken at the sample.
    RepeatTapRun::Output OutputOf(const Voices& voices) const;
    static void WriteOutput(const RepeatTapRun::Output& output, const Frame& sum, float& left, float& right);
    Frame CapturePlayback();
    void MixSliceTransition(Voices& voices);
    void Advance(DriftContext& drift);
    void WriteInput(float left, float right);
    bool AllocateBuffers();
    void ReleaseBuffers();

    TapShape tapShapes[kSpeedClasses][2] = {};
    // The speed of each class, and which classes some tap of the current cycle
    // (bits 0..4) or the previous one (bits 5..9) plays at.
    double classSpeed[kSpeedClasses] = {};
    uint32_t classesInUse = 0;
    uint8_t speedClass[kMaxRepeats] = {};
    uint8_t previousSpeedClass[kMaxRepeats] = {};
    double dipCurve = 1.0;
    // Set once per rendered sample rather than per tap: the speed-change fade
    // after a new cycle and the offset-change fade.
    double speedFade = 1.0;
    OffsetFade offsetFade;
    // The repeat gains rest at their targets for this count, so the per-sample
    // ramp has nothing to do; only repeats below activeRepeats are heard.
    bool gainsSettled = false;
    int32_t settledCount = 0;
    int activeRepeats = kMaxRepeats;
    // Bit k: repeat k plays at unit speed this cycle.
    uint64_t unitSpeedTaps = ~uint64_t{0};
    // decay^k for each repeat k, and the decay they were worked out for.
    double tapDecay[kMaxRepeats] = {};
    double tapDecayOf = std::numeric_limits<double>::quiet_NaN();
    // Samples whose outputs wait for their repeat sums; see RepeatTapRun.
    RepeatTapRun run;
    static_assert(RepeatTapRun::kMaxTaps == kMaxRepeats, "the run holds a term for every repeat");
    bool prepared = false;
};
