#include "engine/EffectEngine.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "engine/dsp/EngineMath.h"
#include "engine/tables/NoteDivisions.h"

namespace {

using EngineMath::Clamp01;
using EngineMath::kPi;
constexpr int kChaosStepSamples = 512;

constexpr double kLevelSmoothSeconds = 0.02;
constexpr double kMixSmoothSeconds = 0.01;
constexpr double kEngineMixSmoothSeconds = 0.02;
constexpr double kStereoMixSmoothSeconds = 0.02;
constexpr double kModeWeightSmoothSeconds = 0.03;
constexpr double kGateAttackSeconds = 0.005;
constexpr double kGateReleaseSeconds = 0.05;
constexpr float kActiveWeight = 0.0001f;
// Weights and the output glides closer than this to their landing value land on it.
constexpr double kGlideLanding = 1e-9;
// The repeat slot's engine crossfade lands on 0 below and on 1 above these.
constexpr double kEngineMixFloor = 1e-6;
constexpr double kEngineMixCeiling = 0.999999;
// The Preserve Stereo crossfade lands on its target within this.
constexpr double kStereoMixLanding = 1e-6;
// The input gate closes below an envelope of kGateClosedFraction x Input Gate and
// opens fully kGateOpeningFraction x Input Gate above that.
constexpr double kGateClosedFraction = 0.1;
constexpr double kGateOpeningFraction = 0.05;
// A gate envelope below this is silence.
constexpr double kGateEnvelopeFloor = 1e-20;

constexpr double kRadiansPerDegree = kPi / 180.0;
constexpr double kMaxEchoFeedback = 0.9;
constexpr int kMaxEchoRepeats = 8;
// MACRO 0..1 sweeps the free tremolo rate from 0.5 Hz over a range of 24 (to 12 Hz)
// and the loop length from 10 ms over a range of 1600 (to 16 s).
constexpr double kTremSlowestHz = 0.5;
constexpr double kTremRateRange = 24.0;
constexpr double kLoopShortestSeconds = 0.01;
constexpr double kLoopLengthRange = 1600.0;
constexpr double kLoopLongestSeconds = 16.0;
// Pieces of the crossfaded repeat slot go through the modes in one call each.
constexpr int kRepeatSlotPiece = 64;

double DecibelsToGain(double db)
{
    return std::pow(10.0, db / 20.0);
}

// Far above any real signal (+120 dB over full scale), far below the float limit:
// sums and products of samples further on stay finite.
constexpr float kInputLimit = 1.0e6f;

// Non-finite input would poison every filter and delay line behind it.
float SanitizedSample(float x)
{
    return std::isfinite(x) ? std::clamp(x, -kInputLimit, kInputLimit) : 0.0f;
}

void ClearTempoSync(TempoSyncInfo& info)
{
    info = TempoSyncInfo{};
}

// One sample of the output's mix or level glide, which lands within 1e-9.
double StepGlide(ParamSmoother& glide, double landing)
{
    double value = glide.Tick();
    if (std::fabs(value - landing) <= kGlideLanding)
        value = glide.current = landing;
    return value;
}

// The glide's step would leave it exactly where it is.
bool GlideHolds(const ParamSmoother& glide, double landing)
{
    return glide.StepRuleHolds([landing](ParamSmoother& s) { StepGlide(s, landing); });
}

} // namespace

EffectEngine::EffectEngine() : modeTable{&trem, &echo, &liveLoop}
{
    for (int i = 0; i < kParamCount; ++i)
        values[i] = GetParamSpec(i).defaultValue;
}

void EffectEngine::SetParam(int index, double value)
{
    if (static_cast<unsigned>(index) >= static_cast<unsigned>(kParamCount) || !std::isfinite(value))
        return;
    values[index] = ClampToParamSpec(index, value);
}

double EffectEngine::GetParam(int index) const
{
    if (static_cast<unsigned>(index) >= static_cast<unsigned>(kParamCount))
        return 0.0;
    return values[index];
}

double EffectEngine::Clamped(int index) const
{
    return Clamp01(values[index]);
}

int EffectEngine::Rounded(int index) const
{
    return EngineMath::RoundToInt(values[index]);
}

double EffectEngine::LevelGainTarget() const
{
    return DecibelsToGain(values[kLevel]);
}

int EffectEngine::CurrentMode() const
{
    return std::clamp(Rounded(kMode), 0, kSlotCount - 1);
}

// ---------------------------------------------------------------------------
// Preparation

void EffectEngine::Prepare(double newSampleRate, int newMaxBlockSize)
{
    sampleRate = EngineMath::UsableSampleRate(newSampleRate);
    maxBlockSize = newMaxBlockSize >= 1 ? newMaxBlockSize : kDefaultBlockSize;
    prepared = TryEnsureScratch(maxBlockSize);
    if (!prepared)
        return;
    levelGain.Configure(kLevelSmoothSeconds, sampleRate);
    mixAmount.Configure(kMixSmoothSeconds, sampleRate);
    gateAttack = 1.0 - std::exp(-1.0 / (sampleRate * kGateAttackSeconds));
    gateRelease = 1.0 - std::exp(-1.0 / (sampleRate * kGateReleaseSeconds));
    RebuildForRate();
}

std::array<std::vector<float>*, EffectEngine::kScratchVectorCount> EffectEngine::ScratchVectors()
{
    return {&workL, &workR,      &dryL,       &dryR,       &accL,  &accR, &modeL,
            &modeR, &weights[0], &weights[1], &weights[2], &idleL, &idleR};
}

void EffectEngine::EnsureScratch(int count)
{
    const size_t needed = static_cast<size_t>(std::max(count, 0));
    if (workL.size() >= needed)
        return;
    for (std::vector<float>* v : ScratchVectors())
        v->resize(needed, 0.0f);
}

// A host may ask for a block size no memory can hold; the engine then stays silent
// until a later preparation succeeds, instead of letting the failure escape.
bool EffectEngine::TryEnsureScratch(int count)
{
    try {
        EnsureScratch(count);
        return true;
    } catch (const std::exception&) {
        for (std::vector<float>* v : ScratchVectors())
            std::vector<float>().swap(*v);
        return false;
    }
}

void EffectEngine::RebuildForRate()
{
    handover.DropHandedOverLoops();
    ReturnStagesToConstructed();
    PrepareStagesAndModes();
    handover.RenewShadow(sampleRate, maxBlockSize);
    ResetModeWeights();
    ResetTempoSync();
    gateEnvelope = 0.0;

    levelGain.target = LevelGainTarget();
    levelGain.current = levelGain.target;

    lastSeed = Rounded(kChaosSeed);
    drift.Reseed(static_cast<uint32_t>(lastSeed) + kSeedOffset);
}

void EffectEngine::ReturnStagesToConstructed()
{
    drive.ResetToConstructed();
    wear.ResetToConstructed();
    trem.ResetToConstructed();
    echo.RestoreConstructedControls();
    echoLeft.RestoreConstructedControls();
    echoRight.RestoreConstructedControls();
    liveLoop.RestoreConstructedControls();
    chunkCounter = 0;
    stereoMix.Configure(kStereoMixSmoothSeconds, sampleRate);
    stereoMix.current = 0.0;
}

void EffectEngine::PrepareStagesAndModes()
{
    drive.Prepare(sampleRate);
    wear.Prepare(sampleRate);

    trem.Prepare(sampleRate, maxBlockSize);
    repeatEngineMix.Configure(kEngineMixSmoothSeconds, sampleRate);
    repeatEngineMix.current = 1.0;
    repeat.Prepare(sampleRate, maxBlockSize);
    echo.Prepare(sampleRate, maxBlockSize);
    echoLeft.Prepare(sampleRate, maxBlockSize);
    echoRight.Prepare(sampleRate, maxBlockSize);
    liveLoop.Prepare(sampleRate, maxBlockSize);
}

void EffectEngine::ResetModeWeights()
{
    for (auto& weight : modeWeight) {
        weight.current = 0.0;
        weight.target = 0.0;
        weight.Configure(kModeWeightSmoothSeconds, sampleRate);
    }
    started = 0;
    lastMode = 0;
}

void EffectEngine::ResetTempoSync()
{
    tempoSync.Reset();
    ClearTempoSync(tremSync);
    ClearTempoSync(modeSync);
    ClearTempoSync(tremSyncBlock);
    ClearTempoSync(modeSyncBlock);
}

// ---------------------------------------------------------------------------
// Block processing

void EffectEngine::Process(const float* inL, const float* inR, float* outL, float* outR, int n)
{
    if (n < 1)
        return;
    if (!prepared) {
        // Nothing is sized yet: silence instead of running stages without buffers.
        std::fill_n(outL, n, 0.0f);
        std::fill_n(outR, n, 0.0f);
        return;
    }

    const FrozenLoopHandover::BlockStart blockStart = handover.BeginBlock(liveLoop, values[kLoopFreeze] >= 0.5);
    freezeHeldForReader = blockStart.readerHolding;

    UpdateBlockParams();
    MapModeControls();

    if (blockStart.loopInstalled) {
        // The installed voices keep the personalities they were saved with.
        liveLoop.SetRandomGeneration(drift.Generation());
        liveLoop.SnapSmoothers();
    }

    BuildTempoRecords(n);
    PlanIdleFeeding();
    // A found boundary makes the tempo records differ from sample to sample in
    // more than the phase.
    const bool perSample = tremSyncBlock.boundaryFound || modeSyncBlock.boundaryFound;
    for (int i = 0; i < n;) {
        const int count = perSample ? 1 : RunLength(n - i);
        AdvanceTempoSync(i);
        ProcessChunk(inL + i, inR + i, outL + i, outR + i, count);
        GatherIdleInput(count);
        i += count;
    }
    FeedIdleSlots();

    handover.Publish(liveLoop, n);
}

void EffectEngine::BuildTempoRecords(int n)
{
    const bool synced = SwitchOn(kSync);
    const int division = Rounded(kSyncDivision);
    const bool fresh = tempoSync.PositionFresh();
    tremSyncBlock = MakeTempoSync(n, ResolveDivisionIndex(false, division), 0, synced, fresh);
    modeSyncBlock = MakeTempoSync(n, std::clamp(division, 0, kNoteDivisionCount - 1), 1, synced, fresh);
    tempoSync.TakePosition();
}

void EffectEngine::UpdateBlockParams()
{
    const int seed = Rounded(kChaosSeed);
    if (seed != lastSeed) {
        drift.Reseed(static_cast<uint32_t>(seed) + kSeedOffset);
        lastSeed = seed;
    }
    drift.SetAmount(values[kChaos]);

    drive.SetDrive(Clamped(kDrive));
    drive.SetVoice(Rounded(kDriveVoice) >= 1 ? DriveStage::kVoiceFuzz : DriveStage::kVoiceOverdrive);

    wear.SetTargets(Clamped(kWear), Clamped(kDirtTrimWow), Clamped(kDirtTrimBandwidth), Clamped(kDirtTrimNoise),
                    Clamped(kDirtTrimCrush));

    trem.SetStereoPhase(values[kTremStereoPhase] * kRadiansPerDegree);
    trem.SetDepth(Clamped(kTremDepth));

    repeatEngineMix.target = SwitchOn(kRepeatEngine) ? 1.0 : 0.0;

    repeat.SetCount(Rounded(kRepeatCount));
    repeat.SetDecay(Clamped(kRepeatDecay));
    repeat.SetFeedback(std::clamp(values[kRepeatFeedback], 0.0, 0.95));
    repeat.SetGapless(SwitchOn(kRepeatGapless));
    repeat.SetHold(SwitchOn(kRepeatHold) || SwitchOn(kRepeatLatch));
    repeat.SetPreserveStereo(SwitchOn(kEchoPreserveStereo));

    const double echoFeedback = std::clamp(values[kLegacyEchoFeedback], 0.0, kMaxEchoFeedback);
    const int echoRepeats = std::clamp(Rounded(kLegacyEchoRepeats), 1, kMaxEchoRepeats);
    for (EchoMode* e : {&echo, &echoLeft, &echoRight}) {
        e->SetFeedback(echoFeedback);
        e->SetRepeats(echoRepeats);
    }

    stereoMix.target = SwitchOn(kEchoPreserveStereo) ? 1.0 : 0.0;
    UpdateLoopParams();
    levelGain.target = LevelGainTarget();
}

void EffectEngine::UpdateLoopParams()
{
    liveLoop.SetVoiceCount(values[kLoopVoices]);
    liveLoop.SetMotionRate(values[kLoopMotionRate]);
    liveLoop.SetLfoMotion(values[kLoopLFOMotion]);
    liveLoop.SetOctaveDirection(values[kLoopOctaveDir]);
    liveLoop.SetMonoVoices(values[kLoopMonoVoices]);
    liveLoop.SetShapeTargets(Clamped(kLoopOctaves), Clamped(kLoopReverse), Clamped(kLoopReach), Clamped(kLoopWidth));
    // A reader copying the snapshot keeps the loop frozen until it is done.
    liveLoop.SetFreezeRequested(SwitchOn(kLoopFreeze) || freezeHeldForReader || handover.ReaderCopying());
}

void EffectEngine::MapModeControls()
{
    const double a = Clamped(kMacro);
    const double s = Clamped(kShape);
    const bool sync = SwitchOn(kSync);
    const int d = Rounded(kSyncDivision);
    const int clampedDivision = std::clamp(d, 0, kNoteDivisionCount - 1);

    trem.SetControls(a, s);
    const double freeRate = kTremSlowestHz * std::pow(kTremRateRange, a);
    const double period = DivisionSeconds(1.0 / freeRate, sync, ResolveDivisionIndex(false, d), tempo);
    trem.SetTime(period > 0.0 ? 1.0 / period : freeRate);

    repeat.SetControls(a, s);
    repeat.SetTime(DivisionSeconds(0.01 * std::pow(120.0, a), sync, LimitDivisionForRepeat(d, tempo), tempo));

    const double echoSeconds = SyncedSeconds(tempo, a, sync, clampedDivision);
    for (EchoMode* e : {&echo, &echoLeft, &echoRight}) {
        e->SetControls(a, s);
        e->SetTime(echoSeconds);
    }

    liveLoop.SetControls(a, s);
    const double loopSeconds =
        DivisionSeconds(kLoopShortestSeconds * std::pow(kLoopLengthRange, a), sync, clampedDivision, tempo);
    liveLoop.SetTime(loopSeconds < kLoopShortestSeconds ? kLoopShortestSeconds
                                                        : std::min(loopSeconds, kLoopLongestSeconds));
}

// ---------------------------------------------------------------------------
// Tempo sync

TempoSyncInfo EffectEngine::MakeTempoSync(int n, int divisionIndex, int slot, bool synced, bool fresh)
{
    return tempoSync.Make(n, divisionIndex, slot, synced, fresh, tempo, sampleRate);
}

void EffectEngine::AdvanceTempoSync(int i)
{
    for (auto* pair : {&tremSync, &modeSync}) {
        const TempoSyncInfo& block = pair == &tremSync ? tremSyncBlock : modeSyncBlock;
        TempoSyncInfo& info = *pair;
        info = block;
        info.phase = EngineMath::FractionOf(i * block.beatsPerSample / block.divisionBeats + block.phase);
        const int offset = block.boundaryOffset;
        info.boundaryOffset = offset >= 0 && i >= offset && (i - offset) % block.divisionSamples == 0 ? 0 : -1;
        info.movedBack = block.movedBack && i == 0 ? 1 : 0;
    }
}

// ---------------------------------------------------------------------------
// Runs

// A chunk does its per-chunk work once for all its samples, so it may cover
// only samples for which one-sample chunks would repeat that work unchanged:
// the first sample after a preparation is alone, a chaos step opens a chunk,
// the mode weights hold still (so each slot stays active or idle throughout),
// and every active slot's processing covers a run as it would its samples
// one by one. The scratch buffers bound a chunk too.
int EffectEngine::RunLength(int remaining) const
{
    if (started == 0 || CurrentMode() != lastMode)
        return 1;
    for (int k = 0; k < kSlotCount; ++k) {
        if (!WeightHolds(k))
            return 1;
        if (static_cast<float>(modeWeight[k].current) > kActiveWeight && !SlotTakesRuns(k))
            return 1;
    }
    const int toChaosStep = kChaosStepSamples - static_cast<int>(chunkCounter % kChaosStepSamples);
    return std::min({remaining, toChaosStep, static_cast<int>(workL.size())});
}

// The repeat slot mixes its engines with one crossfade value per chunk, so it
// takes a run only while that crossfade holds still.
bool EffectEngine::SlotTakesRuns(int slot) const
{
    if (slot != 1)
        return true;
    return repeatEngineMix.StepRuleHolds(StepEngineMix);
}

// The weight's per-sample step (MixModes) would leave it exactly as it is.
bool EffectEngine::WeightHolds(int slot) const
{
    return modeWeight[slot].StepRuleHolds([](ParamSmoother& s) {
        if (std::fabs(s.Tick()) < kGlideLanding)
            s.current = 0.0;
    });
}

// ---------------------------------------------------------------------------
// Chunk path

void EffectEngine::ProcessChunk(const float* inL, const float* inR, float* outL, float* outR, int count)
{
    const bool firstSample = started == 0;
    UpdateModeCrossfade();
    started = 1;

    if (chunkCounter % kChaosStepSamples == 0)
        drift.Step(kChaosStepSamples / sampleRate);
    chunkCounter += static_cast<uint32_t>(count);

    mixAmount.target = Clamped(kMix);
    if (firstSample)
        LandSmoothersOnFirstSample();

    HandTempoRecordsToModes();

    for (int i = 0; i < count; ++i) {
        workL[i] = SanitizedSample(inL[i]);
        workR[i] = SanitizedSample(inR[i]);
    }

    ApplyInputGate(workL.data(), workR.data(), count);
    drive.Process(workL.data(), workR.data(), count);
    std::copy_n(workL.begin(), count, dryL.begin());
    std::copy_n(workR.begin(), count, dryR.begin());

    MixModes(count);
    wear.Process(workL.data(), workR.data(), count, drift);
    WriteOutput(outL, outR, count);
}

void EffectEngine::HandTempoRecordsToModes()
{
    modeTable[0]->SetTempoSync(tremSync);
    repeat.SetTempoSync(modeSync);
    modeTable[1]->SetTempoSync(modeSync);
    echoLeft.SetTempoSync(modeSync);
    echoRight.SetTempoSync(modeSync);
    modeTable[2]->SetTempoSync(modeSync);
}

void EffectEngine::LandSmoothersOnFirstSample()
{
    repeatEngineMix.current = SwitchOn(kRepeatEngine) ? 1.0 : 0.0;
    liveLoop.SnapSmoothers();
    echo.SnapSmoothers();
    echoLeft.SnapSmoothers();
    echoRight.SnapSmoothers();
    stereoMix.current = SwitchOn(kEchoPreserveStereo) ? 1.0 : 0.0;
    mixAmount.current = Clamped(kMix);
    levelGain.current = levelGain.target;
}

void EffectEngine::ApplyInputGate(float* left, float* right, int count)
{
    const double g = values[kInputGate];
    for (int i = 0; i < count; ++i) {
        const double x = (std::fabs(static_cast<double>(left[i])) + std::fabs(static_cast<double>(right[i]))) * 0.5;
        gateEnvelope += (x - gateEnvelope) * (x > gateEnvelope ? gateAttack : gateRelease);
        // A NaN envelope would never recover and close or poison the gate for good.
        if (gateEnvelope < kGateEnvelopeFloor || !std::isfinite(gateEnvelope))
            gateEnvelope = 0.0;
        if (!(g > 0.0))
            continue;
        const double t = std::clamp((gateEnvelope - kGateClosedFraction * g) / (kGateOpeningFraction * g), 0.0, 1.0);
        const double gain = t * t * (3.0 - 2.0 * t);
        left[i] = static_cast<float>(left[i] * gain);
        right[i] = static_cast<float>(right[i] * gain);
    }
}

void EffectEngine::WriteOutput(float* outL, float* outR, int count)
{
    const double mixLanding = Clamped(kMix);
    const double levelLanding = levelGain.target;
    auto write = [&](int i, double mix, double level) {
        const float wetL = static_cast<float>(workL[i] * level);
        const float wetR = static_cast<float>(workR[i] * level);
        outL[i] = static_cast<float>(wetL * mix + dryL[i] * (1.0 - mix));
        outR[i] = static_cast<float>(wetR * mix + dryR[i] * (1.0 - mix));
    };
    if (count > 1 && GlideHolds(mixAmount, mixLanding) && GlideHolds(levelGain, levelLanding)) {
        const double mix = mixAmount.current;
        const double level = levelGain.current;
        for (int i = 0; i < count; ++i)
            write(i, mix, level);
        return;
    }
    for (int i = 0; i < count; ++i) {
        const double mix = StepGlide(mixAmount, mixLanding);
        write(i, mix, StepGlide(levelGain, levelLanding));
    }
}

// ---------------------------------------------------------------------------
// Mode mixing

void EffectEngine::UpdateModeCrossfade()
{
    const int m = CurrentMode();
    if (!started) {
        lastMode = m;
        for (int k = 0; k < kSlotCount; ++k) {
            modeWeight[k].target = k == m ? 1.0 : 0.0;
            modeWeight[k].current = modeWeight[k].target;
        }
        return;
    }
    if (m == lastMode)
        return;
    lastMode = m;
    for (int k = 0; k < kSlotCount; ++k)
        modeWeight[k].target = k == m ? 1.0 : 0.0;
}

void EffectEngine::MixModes(int count)
{
    bool active[kSlotCount] = {};
    for (int k = 0; k < kSlotCount; ++k) {
        if (count > 1 && WeightHolds(k)) {
            std::fill_n(weights[k].begin(), count, static_cast<float>(modeWeight[k].current));
            active[k] = weights[k][0] > kActiveWeight;
            continue;
        }
        for (int i = 0; i < count; ++i) {
            double w = modeWeight[k].Tick();
            if (std::fabs(w) < kGlideLanding)
                w = modeWeight[k].current = 0.0;
            weights[k][i] = static_cast<float>(w);
            active[k] = active[k] || weights[k][i] > kActiveWeight;
        }
    }
    std::fill_n(accL.begin(), count, 0.0f);
    std::fill_n(accR.begin(), count, 0.0f);

    double e = 0.0;
    for (int i = 0; i < count; ++i)
        e = StepEngineMix(repeatEngineMix);

    for (int k = 0; k < kSlotCount; ++k) {
        if (!active[k]) {
            if (idleForBlock[k])
                continue;
            if (k == 1)
                FeedRepeatSlotIdle(workL.data(), workR.data(), count);
            else if (k == 2)
                liveLoop.FeedIdle(workL.data(), workR.data(), count);
            continue;
        }
        std::copy_n(workL.begin(), count, modeL.begin());
        std::copy_n(workR.begin(), count, modeR.begin());
        if (k == 1)
            MixRepeatSlot(count, e);
        else
            modeTable[k]->Process(modeL.data(), modeR.data(), count, drift);
        for (int i = 0; i < count; ++i) {
            accL[i] += weights[k][i] * modeL[i];
            accR[i] += weights[k][i] * modeR[i];
        }
    }

    std::copy_n(accL.begin(), count, workL.begin());
    std::copy_n(accR.begin(), count, workR.begin());
}

// One sample of the repeat slot's engine crossfade.
double EffectEngine::StepEngineMix(ParamSmoother& mix)
{
    double e = mix.Tick();
    if (e < kEngineMixFloor)
        e = mix.current = 0.0;
    else if (e > kEngineMixCeiling)
        e = mix.current = 1.0;
    return e;
}

void EffectEngine::FeedRepeatSlotIdle(const float* left, const float* right, int count)
{
    repeat.FeedIdle(left, right, count);
    echo.FeedIdle(left, right, count);
    echoLeft.FeedIdle(left, left, count);
    echoRight.FeedIdle(right, right, count);
}

// A slot other than the block's mode whose weight is already 0 stays silent for
// the whole block, and feeding an idle mode touches nothing but that mode's own
// history. Its input is gathered chunk by chunk and fed once per block (or
// whenever the gathered input fills the scratch), which leaves its state exactly
// as sample-by-sample feeding would and saves the per-sample calls.
void EffectEngine::PlanIdleFeeding()
{
    const int mode = CurrentMode();
    idleFill = 0;
    deferIdleFeeding = false;
    for (int k = 1; k < kSlotCount; ++k) {
        idleForBlock[k] = k != mode && (started == 0 || modeWeight[k].current == 0.0);
        deferIdleFeeding = deferIdleFeeding || idleForBlock[k];
    }
}

void EffectEngine::GatherIdleInput(int count)
{
    if (!deferIdleFeeding)
        return;
    const int capacity = static_cast<int>(idleL.size());
    for (int done = 0; done < count;) {
        const int take = std::min(count - done, capacity - idleFill);
        std::copy_n(dryL.begin() + done, take, idleL.begin() + idleFill);
        std::copy_n(dryR.begin() + done, take, idleR.begin() + idleFill);
        idleFill += take;
        done += take;
        if (idleFill == capacity)
            FeedIdleSlots();
    }
}

void EffectEngine::FeedIdleSlots()
{
    if (idleFill == 0)
        return;
    if (idleForBlock[1])
        FeedRepeatSlotIdle(idleL.data(), idleR.data(), idleFill);
    if (idleForBlock[2])
        liveLoop.FeedIdle(idleL.data(), idleR.data(), idleFill);
    idleFill = 0;
}

// The slot processes `count` samples exactly as `count` calls of one sample
// would. The engine mix e is the same for all of them: the engine hands over
// longer runs only while its step changes nothing. On the crossfaded path the
// Preserve Stereo crossfade w steps once per sample; while it moves, samples go
// one at a time, and once its step changes nothing the rest goes through the
// modes in pieces, each mode taking the piece in one call.
void EffectEngine::MixRepeatSlot(int count, double e)
{
    if (e >= 1.0) {
        repeat.Process(modeL.data(), modeR.data(), count, drift);
        echo.FeedIdle(workL.data(), workR.data(), count);
        echoLeft.FeedIdle(workL.data(), workL.data(), count);
        echoRight.FeedIdle(workR.data(), workR.data(), count);
        return;
    }

    const auto stepStereoMix = [](ParamSmoother& smoother) {
        double w = smoother.Tick();
        if (std::fabs(w - smoother.target) <= kStereoMixLanding)
            w = smoother.current = smoother.target;
        return w;
    };
    for (int i = 0; i < count;) {
        const double w = stepStereoMix(stereoMix);
        const bool holds = stereoMix.StepRuleHolds(stepStereoMix);
        const int n = holds ? std::min(count - i, kRepeatSlotPiece) : 1;
        MixRepeatSlotPiece(i, n, e, w);
        i += n;
    }
}

// n samples of the crossfaded repeat slot from `offset` on: the repeat engine
// at engine mix e against the legacy echo, whose stereo and per-channel echoes
// are mixed by the Preserve Stereo crossfade w.
void EffectEngine::MixRepeatSlotPiece(int offset, int n, double e, double w)
{
    float repeatL[kRepeatSlotPiece], repeatR[kRepeatSlotPiece];
    float leftA[kRepeatSlotPiece], leftB[kRepeatSlotPiece], rightA[kRepeatSlotPiece], rightB[kRepeatSlotPiece];
    const float* inL = workL.data() + offset;
    const float* inR = workR.data() + offset;
    float* outL = modeL.data() + offset;
    float* outR = modeR.data() + offset;

    std::copy_n(inL, n, repeatL);
    std::copy_n(inR, n, repeatR);
    if (e > 0.0)
        repeat.Process(repeatL, repeatR, n, drift);
    else
        repeat.FeedIdle(inL, inR, n);

    if (w < 1.0) {
        echo.Process(outL, outR, n, drift);
    } else {
        echo.FeedIdle(inL, inR, n);
        std::fill_n(outL, n, 0.0f);
        std::fill_n(outR, n, 0.0f);
    }

    if (w > 0.0) {
        std::copy_n(inL, n, leftA);
        std::copy_n(inL, n, leftB);
        echoLeft.Process(leftA, leftB, n, drift);
        std::copy_n(inR, n, rightA);
        std::copy_n(inR, n, rightB);
        echoRight.Process(rightA, rightB, n, drift);
        for (int j = 0; j < n; ++j) {
            outL[j] = static_cast<float>((leftA[j] + leftB[j]) * w * 0.5 + outL[j] * (1.0 - w));
            outR[j] = static_cast<float>((rightA[j] + rightB[j]) * w * 0.5 + outR[j] * (1.0 - w));
        }
    } else {
        echoLeft.FeedIdle(inL, inL, n);
        echoRight.FeedIdle(inR, inR, n);
    }

    for (int j = 0; j < n; ++j) {
        outL[j] = static_cast<float>(repeatL[j] * e + outL[j] * (1.0 - e));
        outR[j] = static_cast<float>(repeatR[j] * e + outR[j] * (1.0 - e));
    }
}
