#pragma once
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/dsp/DelayLine.h"
#include "engine/dsp/DriftContext.h"
#include "engine/dsp/EngineMath.h"
#include "engine/dsp/ParamSmoother.h"
#include "engine/modes/GrainShifter.h"
#include "engine/modes/LoopVoice.h"
#include "engine/modes/ModeProcessor.h"
#include "engine/modes/TempoSyncInfo.h"

// The LOOPS mode: records the last 52 seconds of stereo input into a history
// ring and lets up to six voices replay segments of it at octave-related
// speeds, forwards or reversed, free-running or locked to the host tempo.
// Freezing stops the recording once every voice has started, and that frozen
// state is what the engine publishes, saves and restores.
//
// What a saved or published loop carries is one record, State; the engine
// sets its per-block controls through the setters, and everything derived from
// the preparation or the controls (tables, smoothers' timing, levels, scratch)
// stays inside.
class LoopsMode : public ModeProcessor
{
public:
    static constexpr int kVoiceCount = 6;
    // Supported preparation rates, the engine's; the frozen-loop coder uses the same range.
    static constexpr double kMinSampleRate = EngineMath::kMinSampleRate;
    static constexpr double kMaxSampleRate = EngineMath::kMaxSampleRate;
    static constexpr double kDefaultSampleRate = EngineMath::kDefaultSampleRate;
    static constexpr double kHistorySeconds = 52.0;
    static constexpr double kMaxSegmentSeconds = 16.0;
    static constexpr int kFadeTableSize = 2048;
    static constexpr int kPanTableSize = 1025;
    // Voice v sounds while its order number is below voiceCount.
    static constexpr int kVoiceOrder[kVoiceCount] = {4, 2, 0, 1, 3, 5};

    // The playback state of a loop: what the frozen-loop blob stores, copy and
    // swap move and a resample converts. The history holds left and right of
    // each recorded sample side by side; its slot for a position is found from
    // writeIndex and clock, which the record keeps itself.
    struct State
    {
        uint8_t resetVoicesPending = 0;
        DelayLine<2> history;
        int32_t writeIndex = 0;
        double clock = 0.0;
        uint8_t recordingStopped = 0;
        double loopTime = 0.25;
        double amount = 0.0;
        uint8_t freezeRequested = 0;
        double lfoRateScale = 1.0;
        double chaos = 0.0;
        int32_t fadeLength = 0;
        ParamSmoother amountSmoother;
        double octavesTarget = 1.0;
        double reverseTarget = 1.0;
        double reachTarget = 1.0;
        double widthTarget = 1.0;
        double octaves = 1.0;
        double reverse = 1.0;
        double reach = 1.0;
        double width = 1.0;
        uint32_t octaveDirection = 0;
        ParamSmoother octavesSmoother;
        ParamSmoother reverseSmoother;
        ParamSmoother reachSmoother;
        ParamSmoother widthSmoother;
        LoopVoice voices[kVoiceCount];
        TempoSyncInfo sync;
        uint64_t sampleCounter = 0;
        uint32_t divisionsPerLoop = 1;
        uint32_t divisionCounter = 0;
        uint8_t wasSynced = 0;
        int32_t startCountdown[kVoiceCount] = {-1, -1, -1, -1, -1, -1};
        int32_t lastDivisionSamples = 0;
        uint8_t randomised = 0;
        uint32_t randomGeneration = 0;
        uint32_t voiceStartCounter = 0;
        double minVoiceAge = 1e300;
        double maxVoiceAge = 0.0;
        GrainShifter shifters[2];
        int32_t shifterOwner = -1;
        uint32_t chaosReverseFlips = 0;
        uint32_t chaosOctaveDrops = 0;
        uint32_t shifterStarts = 0;
        uint32_t shifterStartsDown = 0;
    };

    // The rate the mode runs at when prepared for a host rate: unusable rates
    // become the default, others are pulled into the supported range.
    static double SupportedRate(double rate);

    LoopsMode();
    ~LoopsMode() override;
    LoopsMode(const LoopsMode& other);
    LoopsMode(LoopsMode&& other) noexcept;
    LoopsMode& operator=(const LoopsMode& other);
    LoopsMode& operator=(LoopsMode&& other) noexcept;

    // ModeProcessor. A failed allocation in Prepare leaves the mode silent.
    void Prepare(double sampleRate, int maxBlockSize) override;
    void Reset() override;
    void SetControls(double a, double b) override;
    void Process(float* left, float* right, int n, DriftContext& drift) override;
    void SetTime(double value) override;
    void SetTempoSync(const TempoSyncInfo& info) override;

    // Lands the amount and the four control smoothers on their targets.
    void SnapSmoothers();

    // Per-block controls from the engine's parameter values.
    void SetMonoVoices(double loopMonoVoices);
    void SetLfoMotion(double loopLfoMotion);
    void SetVoiceCount(double loopVoices);
    void SetMotionRate(double loopMotionRate);
    void SetOctaveDirection(double loopOctaveDir);
    void SetShapeTargets(double octaves, double reverse, double reach, double width);
    void SetFreezeRequested(bool requested);
    // Returns every control the engine sets to its constructed value.
    void RestoreConstructedControls();
    // The voices' personalities count as drawn for this drift generation: an
    // installed loop keeps the ones it came with.
    void SetRandomGeneration(uint32_t generation) { state.randomGeneration = generation; }

    // Keeps the history current while LOOPS is not heard: records n samples and
    // restarts the voices at the next Process. A frozen loop stays untouched.
    void FeedIdle(const float* left, const float* right, int n);

    // Whether Prepare sized every array (false after a failed allocation and
    // for a shadow whose history was released).
    bool IsReady() const;

    // The state record as it stands.
    const State& GetState() const { return state; }
    // Moves the record out, arrays and all; the loop is not ready until a
    // record is restored.
    State TakeState() noexcept;
    // Installs a record whose history fits this loop's preparation and whose
    // shifters are whole; false, with the record left as it was, otherwise.
    bool RestoreState(State&& record) noexcept;
    // Frees the history (a shadow that only ever receives playback state).
    void ReleaseHistory() noexcept;
    // Copies the recorded audio of another loop prepared at the same rate.
    // Throws std::bad_alloc when the memory cannot be had.
    void CopyHistoryFrom(const LoopsMode& source);

    double SampleRate() const { return sampleRate; }
    int32_t HistoryLength() const { return historyLength; }
    // The output normalisation for the sounding voices, and voice v's on/off level.
    double OutputNorm() const { return outputNorm; }
    double VoiceLevel(int v) const { return voiceLevels[v]; }

    // Exchanges the complete state of two objects without copying samples.
    static void SwapState(LoopsMode& a, LoopsMode& b) noexcept;
    // Copies the playback state (no history, rate, pan tables or scratch);
    // reuses this object's capacity, so it does not allocate when both objects
    // were prepared at the same rate.
    void CopyStateFrom(const LoopsMode& source);
    // Converts this loop in place to another sample rate. Returns false and
    // leaves the loop unchanged when the rate is unsupported or memory is short.
    bool Resample(double newRate);

    // Voice operations, called from Process.
    void Randomise(const DriftContext& drift);
    void StartVoice(int v, double a);
    void CaptureTail(int v);
    void RenderTail(int v, double& outL, double& outR);

private:
    // The recorded ring as one sample sees it: both channels and the span of
    // positions a read may use.
    struct RingView
    {
        DelayLineView<2> frames;
        double newest = 0.0;
        double oldest = 0.0;
        double Clamp(double position) const;
    };
    // What the per-call work hands to the samples it covers.
    struct RunControls
    {
        double startAmount = 0.0;
        double rampStep = 0.0; // per sample, of the voice levels and the mono fold
        int32_t loopSamples = 0;
        bool locked = false;
        bool justZeroed = false;
    };
    // The state that per-call work writes and reads back on the next call: when
    // one more call leaves it bit for bit unchanged (a zero's sign included),
    // that work has settled.
    struct ControlSnapshot
    {
        std::array<double, 11> values{};
        std::array<uint8_t, 5> flags{};
        std::array<uint32_t, 4> counters{};
        std::array<int32_t, kVoiceCount> countdowns{};
        bool SameBits(const ControlSnapshot& other) const;
    };
    // The chaos events a segment start draws from its voice's generator.
    struct ChaosEvents
    {
        bool flipReverse = false;
        bool dropOctave = false;
        bool takeShifters = false;
        bool shiftDown = false;
    };
    // How much of a segment fits the recorded history and how far back it may go.
    struct SegmentFit
    {
        double length = 0.0;   // samples the segment plays (E)
        double room = 0.0;     // samples back from the newest it may reach (R)
        double jitter = 0.0;   // the largest start jitter, samples (J)
        double fraction = 0.0; // length over the wanted length
    };

    void AllocateForRate();
    void BuildPanTables();
    void ClearHistory();
    // Everything Reset does but clearing the history.
    void ResetState();
    void ResetSchedule();
    void ReleaseArrays() noexcept;
    ControlSnapshot SnapshotControls() const;
    RunControls UpdateRunControls(const DriftContext& drift);
    bool AllVoicesPrimed() const;
    // Renders up to n samples with one set of per-call controls; returns how
    // many it rendered.
    int RenderRun(float* left, float* right, int n, const RunControls& run);
    void FillLfoSteps(double (&lfoSteps)[kVoiceCount][LoopVoice::kLfoCount]) const;
    void RecordFrame(float left, float right);
    // The six voices' sum for one sample, scaled by the output normalisation.
    void RenderVoices(int i, const RunControls& run, double& sumL, double& sumR);
    void UpdateVoiceLfosAndTargets(const double (&lfoSteps)[kVoiceCount][LoopVoice::kLfoCount], bool justZeroed);
    bool UpdateTempoLock(int32_t& loopSamples);
    void RenderVoice(int v, const RingView& ring, double& sumL, double& sumR);
    void RenderSegment(int v, const RingView& ring, double& outL, double& outR);
    void RenderTail(int v, const RingView& ring, double& outL, double& outR);
    void AdvanceVoice(LoopVoice& voice, const RingView& ring);
    DelayLineView<2> HistoryView() const;
    RingView CurrentRing() const;
    void ReadHistory(const RingView& ring, double position, int interpolation, double& outL, double& outR) const;
    // The segment fade at position p of a segment of length len.
    double Fade(int32_t position, int32_t length);
    // Fade, with the flat middle of a segment answered without a call.
    double SegmentFade(int32_t position, int32_t length)
    {
        const int32_t fadeLength = state.fadeLength;
        if (position >= fadeLength && fadeLength >= 1 && fadeTableLength == fadeLength
            && static_cast<int64_t>(length) - position - 1 >= fadeLength)
            return 1.0;
        return Fade(position, length);
    }
    // Equal-power pan gains for pan in -1..1 (1 and 1 at the centre). Inline:
    // every voice pans every sample.
    void PanGains(double panValue, double& gainL, double& gainR) const
    {
        if (panValue == 0.0) {
            gainL = gainR = 1.0;
            return;
        }
        int j = 0;
        double f = 0.0;
        if (panValue >= -1.0) {
            const double x = (std::min(panValue, 1.0) + 1.0) * 0.5 * 1024.0;
            j = std::min(static_cast<int>(x), 1023);
            f = x - j;
        }
        const size_t a = static_cast<size_t>(j);
        gainL = panLeft[a] + (panLeft[a + 1] - panLeft[a]) * f;
        gainR = panRight[a] + (panRight[a + 1] - panRight[a]) * f;
    }
    void FoldToMono(double& l, double& r) const;
    void RebuildFadeTable();
    // The parts of Process: the shape controls' glide, the voices' smoother time
    // (it follows chaos under LFO motion), a tempo division passing, a voice's
    // start when its countdown or segment runs out, and the output's level
    // normalisation over the sounding voices.
    void StepShapeControls(double dt);
    void ConfigureVoiceSmoothers();
    void CountDivision(int32_t loopSamples);
    void StartVoiceWhenDue(int v, double startAmount);
    void UpdateOutputNorm();
    // The parts of StartVoice: the segment's length before it is fitted into
    // the history, the octave speed, the direction, the chaos events, the fit
    // into the history, the level, the placement, the pitch shifters taken over
    // by a voice, the window a voice reads and the segment it counts.
    double SegmentSamples(LoopVoice& voice, bool locked, int32_t minSeg) const;
    double OctaveSpeed(LoopVoice& voice, double a) const;
    bool WantsReverse(const LoopVoice& voice, double a) const;
    ChaosEvents DrawChaosEvents(LoopVoice& voice);
    double ApplyChaosEvents(const ChaosEvents& events, double speed, bool& reversed);
    void ReleaseShifters(int v);
    SegmentFit FitSegment(const LoopVoice& voice, double wanted, bool locked, int32_t minSeg) const;
    static void UpdateLevelScale(LoopVoice& voice, double fraction, double a);
    double PlacementDelay(int v, const SegmentFit& fit, double a);
    double SpanCap(const LoopVoice& voice, const SegmentFit& fit) const;
    void HandShiftersTo(int v, bool down);
    void PlaceWindow(LoopVoice& voice, double newest, double span, bool reversed) const;
    void CountSegment(int v, const SegmentFit& fit, int32_t previousLength, bool locked, int32_t minSeg);
    void AimVoiceSmoothers(LoopVoice& voice, double speed, double previousSpeed) const;
    // The gain and pan targets: the segment's values moved by chaos through LFO2 and LFO3.
    void AimGainAndPan(LoopVoice& voice) const;
    void PrefillShifters(LoopVoice& voice);
    // The parts of Resample: the history read into the new ring, and the voices'
    // and the schedule's positions and lengths scaled by the rate ratio.
    void ResampleHistoryInto(LoopsMode& target, double ratio) const;
    void ScaleVoices(double ratio, double newRate);
    void ScaleTimingAndDropTempoLock(double ratio, double newRate);

    State state;
    double sampleRate = kDefaultSampleRate;
    int32_t historyLength = 0;
    uint8_t lfoMotion = 0;
    double voiceSmootherTime = 0.0;
    uint8_t voiceSmoothersValid = 0;
    uint8_t chaosWasZero = 0;
    double outputNorm = 0.0;
    double outputNormSum = 0.0;
    uint8_t outputNormValid = 0;
    std::array<double, kFadeTableSize> fadeTable{};
    int32_t fadeTableLength = 0;
    double monoTarget = 0.0;
    double monoAmount = 0.0;
    int32_t voiceCount = kVoiceCount;
    double voiceLevels[kVoiceCount] = {1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
    std::vector<double> panLeft;
    std::vector<double> panRight;
};
