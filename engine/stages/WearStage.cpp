#include "engine/stages/WearStage.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "engine/dsp/EngineMath.h"

namespace {
using EngineMath::Clamp01;
using EngineMath::kPi;
using EngineMath::kTwoPi;
using EngineMath::kZeroSeedReplacement;
constexpr double kSmoothSeconds = 0.02;
constexpr double kSwitchSeconds = 0.01;
constexpr double kBypassLanding = 1e-12;
// The control smoothers glide forever towards their targets; landing them lets
// WEAR reach exactly 0 so the bypass can engage, with or without flush-to-zero.
constexpr double kSmootherLanding = 1e-9;
constexpr int kWowWalker = 4;
constexpr double kHissDuckDb = -6.0;
constexpr double kDropoutFloor = 0.05;
// The ducking envelope's times (seconds), and the level (full scale) at which
// the hiss is ducked by the full 6 dB.
constexpr double kEnvelopeAttackSeconds = 0.01;
constexpr double kEnvelopeReleaseSeconds = 0.2;
constexpr double kFullDuckLevel = 0.3;
// The hiss band's corners (Hz).
constexpr double kHissHighPassHz = 2000.0;
constexpr double kHissLowPassHz = 14000.0;
// A dropout may start this often (seconds); it lasts 20 ms plus up to 40 ms
// and enters and leaves over 5 ms raised-cosine ramps.
constexpr double kDropoutIntervalSeconds = 0.1;
constexpr double kDropoutShortestMs = 20.0;
constexpr double kDropoutSpanMs = 40.0;
constexpr double kMillisecondsToSeconds = 0.001;
constexpr double kDropoutRampSeconds = 0.005;
// Where each effect starts and how far it runs over its control (WEAR x trim x 2):
// wow from 0.1, saturation from WEAR 0.2, tone from 0.35, hiss from 0.5 up to a
// level of 0.02, dropouts from 0.75 up to a chance of 0.3, crush from 0.65 (its
// mix full at 0.7 of its range, its hold rate falling from 0.35 of it to 8 kHz).
constexpr double kTrimScale = 2.0;
constexpr double kWowStart = 0.1;
constexpr double kWowSpan = 0.9;
constexpr double kSaturationStart = 0.2;
constexpr double kSaturationSpan = 0.8;
constexpr double kToneStart = 0.35;
constexpr double kToneSpan = 0.65;
constexpr double kHissStart = 0.5;
constexpr double kHissSlope = 2.0;
constexpr double kHissLevelMax = 0.02;
constexpr double kDropoutStart = 0.75;
constexpr double kDropoutSlope = 4.0;
constexpr double kDropoutChanceMax = 0.3;
constexpr double kCrushStart = 0.65;
constexpr double kCrushSpan = 0.35;
constexpr double kCrushMixFull = 0.7;
constexpr double kHoldRateStart = 0.35;
constexpr double kHoldRateSpan = 0.65;
constexpr double kLowestHoldRateHz = 8000.0;
constexpr double kSlowestHoldRateHz = 1.0;
constexpr int32_t kConstructedDropoutInterval = 4800;

double ClampTarget(double x)
{
    return std::isfinite(x) ? Clamp01(x) : 0.0;
}

void StepLanding(ParamSmoother& smoother, double dt)
{
    if (smoother.current == smoother.target)
        return;
    smoother.Step(dt);
    if (std::fabs(smoother.target - smoother.current) < kSmootherLanding)
        smoother.current = smoother.target;
}

// StepLanding would leave the smoother exactly as it is.
bool LandingStepHolds(const ParamSmoother& smoother, double dt)
{
    if (smoother.current == smoother.target)
        return true;
    return smoother.StepHolds(dt) && !(std::fabs(smoother.target - smoother.current) < kSmootherLanding);
}

void LandOn(ParamSmoother& smoother, double target)
{
    smoother.target = target;
    smoother.current = target;
}

int MuLawEncode(int pcm14)
{
    int mask = 0xFF;
    if (pcm14 < 0) {
        pcm14 = -pcm14;
        mask = 0x7F;
    }
    pcm14 = std::min(pcm14, 8159) + 33;
    int segment = 0;
    for (int end = 0x3F; segment < 8 && pcm14 > end; end = (end << 1) | 1)
        ++segment;
    if (segment >= 8)
        return 0x7F ^ mask;
    return ((segment << 4) | ((pcm14 >> (segment + 1)) & 0x0F)) ^ mask;
}

int MuLawDecode(int code)
{
    code = ~code & 0xFF;
    const int magnitude = (((code & 0x0F) << 3) + 0x84) << ((code & 0x70) >> 4);
    return (code & 0x80) ? 0x84 - magnitude : magnitude - 0x84;
}
} // namespace

WearStage::WearStage()
{
    ResetToConstructed();
}

void WearStage::ResetToConstructed()
{
    sampleRate = EngineMath::kDefaultSampleRate;
    wearTarget = wowTarget = bandwidthTarget = noiseTarget = crushTarget = 0.0;
    for (ParamSmoother* s : {&wearSmoother, &wowSmoother, &bandwidthSmoother, &noiseSmoother, &crushSmoother})
        *s = ParamSmoother{};
    bypassMix = 1.0;
    bypassCoefficient = 1.0;
    bypassed = 0;
    duckDb = 1.0;
    duckGain = 1.0;
    for (int ch = 0; ch < 2; ++ch) {
        wow[ch].ResetToConstructed();
        saturator[ch].ResetToConstructed();
        tone[ch].ResetToConstructed();
    }
    envelopeAttack = envelopeRelease = 1.0;
    hissHighPole = hissLowPole = 0.0;
    dropoutInterval = kConstructedDropoutInterval;
    ClearAudioState();
    seeded = 0;
    randomGeneration = 0;
    rng = 1;
}

void WearStage::ClearAudioState()
{
    holdPhase = 0.0;
    heldL = heldR = 0.0;
    for (int ch = 0; ch < 2; ++ch)
        hissPrevious[ch] = hissHigh[ch] = hissLow[ch] = 0.0;
    envelope = 0.0;
    dropoutActive = 0;
    dropoutPosition = dropoutLength = dropoutCountdown = 0;
}

void WearStage::Prepare(double rate)
{
    sampleRate = EngineMath::UsableSampleRate(rate);
    for (ParamSmoother* s : {&wearSmoother, &wowSmoother, &bandwidthSmoother, &noiseSmoother, &crushSmoother})
        s->Configure(kSmoothSeconds, sampleRate);
    envelopeAttack = 1.0 - std::exp(-1.0 / (sampleRate * kEnvelopeAttackSeconds));
    envelopeRelease = 1.0 - std::exp(-1.0 / (sampleRate * kEnvelopeReleaseSeconds));
    dropoutInterval = std::max(static_cast<int32_t>(kDropoutIntervalSeconds * sampleRate), int32_t{1});
    hissHighPole = std::exp(-kTwoPi * kHissHighPassHz / sampleRate);
    hissLowPole = std::exp(-kTwoPi * kHissLowPassHz / sampleRate);
    for (int ch = 0; ch < 2; ++ch) {
        // The units start from silence and fade in from the next block, whatever
        // they were doing before, so a preparation does not depend on history.
        wow[ch].ClearAmount();
        saturator[ch].ClearAmount();
        tone[ch].ClearAmount();
        wow[ch].Prepare(sampleRate);
        saturator[ch].Prepare(sampleRate);
        tone[ch].Prepare(sampleRate);
    }
    rng = 1;
    seeded = 0;
    randomGeneration = 0;
    ClearAudioState();
    bypassed = 0;
    duckDb = 1.0;
    duckGain = 1.0;
    LandOn(wearSmoother, wearTarget);
    LandOn(wowSmoother, wowTarget);
    LandOn(bandwidthSmoother, bandwidthTarget);
    LandOn(noiseSmoother, noiseTarget);
    LandOn(crushSmoother, crushTarget);
    bypassMix = wearTarget <= 0.0 ? 1.0 : 0.0;
    bypassCoefficient = 1.0 - std::exp(-1.0 / (sampleRate * kSwitchSeconds));
}

void WearStage::SetTargets(double wear, double wowTrim, double bandwidth, double noise, double crush)
{
    wearTarget = wearSmoother.target = ClampTarget(wear);
    wowTarget = wowSmoother.target = ClampTarget(wowTrim);
    bandwidthTarget = bandwidthSmoother.target = ClampTarget(bandwidth);
    noiseTarget = noiseSmoother.target = ClampTarget(noise);
    crushTarget = crushSmoother.target = ClampTarget(crush);
}

double WearStage::MuLaw(double x)
{
    if (!std::isfinite(x))
        return 0.0;
    const int pcm16 = EngineMath::RoundToInt(std::clamp(x * 32767.0, -32768.0, 32767.0));
    // An arithmetic shift, spelled out: -1 stays -1.
    const int pcm14 = pcm16 >= 0 ? pcm16 >> 2 : ~((~pcm16) >> 2);
    return MuLawDecode(MuLawEncode(pcm14)) * (1.0 / 32768.0);
}

uint32_t WearStage::NextRandom()
{
    return rng = DriftContext::XorShift32(rng);
}

void WearStage::SeedFrom(DriftContext& drift)
{
    uint32_t value = drift.NextRandom();
    if (value == 0)
        value = kZeroSeedReplacement;
    const uint32_t s1 = DriftContext::XorShift32(value);
    const uint32_t s2 = DriftContext::XorShift32(s1);
    // One seed for both channels keeps the wow in step between left and right.
    wow[0].SeedPhases(s1);
    wow[1].SeedPhases(s1);
    rng = s2 != 0 ? s2 : kZeroSeedReplacement;
    seeded = 1;
    randomGeneration = drift.Generation();
}

void WearStage::StepSmoothers(double dt)
{
    StepLanding(wearSmoother, dt);
    StepLanding(wowSmoother, dt);
    StepLanding(bandwidthSmoother, dt);
    StepLanding(noiseSmoother, dt);
    StepLanding(crushSmoother, dt);
}

WearStage::Amounts WearStage::ComputeAmounts() const
{
    const double w = wearSmoother.current;
    Amounts a;
    a.wow = Clamp01((Clamp01(kTrimScale * w * wowSmoother.current) - kWowStart) / kWowSpan);
    a.saturation = Clamp01((Clamp01(w) - kSaturationStart) / kSaturationSpan);
    a.tone = Clamp01((Clamp01(kTrimScale * w * bandwidthSmoother.current) - kToneStart) / kToneSpan);
    const double noise = Clamp01(kTrimScale * w * noiseSmoother.current);
    a.hissLevel = Clamp01(kHissSlope * (noise - kHissStart)) * kHissLevelMax;
    a.dropoutChance = Clamp01(kDropoutSlope * (noise - kDropoutStart)) * kDropoutChanceMax;
    const double crush = Clamp01((Clamp01(kTrimScale * w * crushSmoother.current) - kCrushStart) / kCrushSpan);
    a.crushMix = Clamp01(crush / kCrushMixFull);
    const double holdFall = Clamp01((crush - kHoldRateStart) / kHoldRateSpan);
    const double holdRate =
        std::max(sampleRate + (std::min(sampleRate, kLowestHoldRateHz) - sampleRate) * holdFall, kSlowestHoldRateHz);
    a.holdStep = holdRate < sampleRate ? holdRate / sampleRate : 1.0;
    return a;
}

const WearStage::Amounts& WearStage::CurrentAmounts()
{
    const double controls[6] = {wearSmoother.current,  wowSmoother.current,   bandwidthSmoother.current,
                                noiseSmoother.current, crushSmoother.current, sampleRate};
    if (!amountsCached || !std::equal(std::begin(controls), std::end(controls), std::begin(cachedControls))) {
        cachedAmounts = ComputeAmounts();
        std::copy(std::begin(controls), std::end(controls), std::begin(cachedControls));
        amountsCached = true;
    }
    return cachedAmounts;
}

double WearStage::HissGain(double hissLevel)
{
    const double db = Clamp01(EngineMath::Divide(envelope, kFullDuckLevel)) * kHissDuckDb;
    if (hissLevel == 0.0)
        return 1.0;
    if (db != duckDb) {
        duckDb = db;
        duckGain = EngineMath::DecibelsToGain(db);
    }
    return duckGain;
}

double WearStage::DropoutGain(double chance)
{
    if (dropoutCountdown < 1) {
        const uint32_t r = NextRandom();
        if (!dropoutActive && DriftContext::ToUnit(r) < chance) {
            const uint32_t length = NextRandom();
            dropoutLength =
                std::max(static_cast<int32_t>((DriftContext::ToUnit(length) * kDropoutSpanMs + kDropoutShortestMs)
                                              * kMillisecondsToSeconds * sampleRate),
                         int32_t{1});
            dropoutActive = 1;
            dropoutPosition = 0;
        }
        dropoutCountdown = dropoutInterval;
    }
    dropoutCountdown -= 1;
    if (!dropoutActive)
        return 1.0;

    double ramp = kDropoutRampSeconds * sampleRate;
    if (dropoutLength < 2.0 * ramp)
        ramp = 0.5 * dropoutLength;
    const double fromStart = dropoutPosition;
    const double fromEnd = static_cast<double>(dropoutLength) - dropoutPosition;
    double g = kDropoutFloor;
    if (ramp > 0.0 && (fromStart < ramp || fromEnd < ramp)) {
        const double u = fromStart < ramp ? fromStart : fromEnd;
        g = 1.0 - (1.0 - EngineMath::Cos(kPi * u / ramp)) * 0.5 * (1.0 - kDropoutFloor);
    }
    if (++dropoutPosition >= dropoutLength)
        dropoutActive = 0;
    return g;
}

void WearStage::Process(float* left, float* right, int n, DriftContext& drift)
{
    int done = 0;
    while (done < n) {
        const CallControls call = BeginCall(drift);
        const int count = NextCallRepeats() ? n - done : 1;
        if (call.awake)
            RenderSamples(left + done, right + done, count, call);
        done += count;
    }
}

WearStage::CallControls WearStage::BeginCall(DriftContext& drift)
{
    CallControls call;
    if (!seeded || randomGeneration != drift.Generation())
        SeedFrom(drift);
    StepSmoothers(1.0 / sampleRate);
    const double w = wearSmoother.current;
    call.bypassTarget = w > 0.0 ? 0.0 : 1.0;
    if (bypassMix == 1.0 && call.bypassTarget == 1.0) {
        // Faded out and staying out: every sample would pass untouched. The units
        // are handed their amounts again on the call that wakes the stage.
        bypassed = 1;
        return call;
    }

    call.awake = true;
    const double chaos = std::clamp(drift.WalkerValue(kWowWalker), -1.0, 1.0);
    call.amounts = CurrentAmounts();

    for (int ch = 0; ch < 2; ++ch) {
        wow[ch].SetAmount(call.amounts.wow, call.amounts.wow * chaos);
        saturator[ch].SetAmount(call.amounts.saturation);
        tone[ch].SetAmount(call.amounts.tone);
    }
    // Both channels' wow share one seed and get the same settings, so one sweep
    // serves both; its sines are the costliest part of the wear.
    call.wowInStep = wow[1].SweepsLike(wow[0]);
    call.toneBypassed = tone[0].StaysBypassed() && tone[1].StaysBypassed();
    call.saturatorRunning =
        saturator[0].StaysRunning(call.saturatorAmounts[0]) && saturator[1].StaysRunning(call.saturatorAmounts[1]);
    return call;
}

// The seed, the amounts' cache and the units' settings are settled by the call
// just begun; only moving control glides would change them again. A run keeps
// its first sample's choice between one wow sweep for both channels and one each,
// which give the same numbers.
bool WearStage::NextCallRepeats() const
{
    const double dt = 1.0 / sampleRate;
    for (const ParamSmoother* s : {&wearSmoother, &wowSmoother, &bandwidthSmoother, &noiseSmoother, &crushSmoother})
        if (!LandingStepHolds(*s, dt))
            return false;
    return true;
}

void WearStage::RenderSamples(float* left, float* right, int n, const CallControls& call)
{
    for (int i = 0; i < n; ++i) {
        if (StepBypass(call.bypassTarget))
            continue;
        // A non-finite sample would otherwise live on in the delay lines and filters.
        const double dryL = std::isfinite(left[i]) ? left[i] : 0.0;
        const double dryR = std::isfinite(right[i]) ? right[i] : 0.0;
        double xL = dryL;
        double xR = dryR;
        RunUnits(xL, xR, call);
        Crush(xL, xR, call.amounts);

        const double level = (std::fabs(heldR) + std::fabs(heldL)) * 0.5;
        envelope += (level - envelope) * (level > envelope ? envelopeAttack : envelopeRelease);
        const double hissGain = HissGain(call.amounts.hissLevel);
        double hiss[2];
        NextHiss(call.amounts.hissLevel, hiss);

        const double g = DropoutGain(call.amounts.dropoutChance);
        const double wet = 1.0 - bypassMix;
        left[i] = static_cast<float>((hiss[0] * hissGain + heldL) * g * wet + bypassMix * dryL);
        right[i] = static_cast<float>((hiss[1] * hissGain + heldR) * g * wet + bypassMix * dryR);
    }
    if (call.wowInStep)
        wow[1].FollowSweep(wow[0]);
}

inline bool WearStage::StepBypass(double bypassTarget)
{
    bypassMix = EngineMath::StepFade(bypassMix, bypassTarget, bypassCoefficient, kBypassLanding);
    if (bypassMix == 1.0 && bypassTarget == 1.0) {
        bypassed = 1;
        return true;
    }
    if (bypassed) {
        // Leaving bypass restarts the crush, the hiss and the ducking.
        bypassed = 0;
        holdPhase = 0.0;
        for (int ch = 0; ch < 2; ++ch)
            hissPrevious[ch] = hissHigh[ch] = hissLow[ch] = 0.0;
        envelope = 0.0;
    }
    return false;
}

inline void WearStage::RunUnits(double& xL, double& xR, const CallControls& call)
{
    if (call.wowInStep) {
        WowFlutter::DelayReadBoth(wow[0], wow[1], xL, xR, wow[0].NextDelay());
    } else {
        xL = wow[0].Process(xL);
        xR = wow[1].Process(xR);
    }
    if (call.saturatorRunning)
        TapeSaturator::ProcessBothRunning(saturator[0], saturator[1], xL, xR, call.saturatorAmounts[0],
                                          call.saturatorAmounts[1]);
    else
        TapeSaturator::ProcessBoth(saturator[0], saturator[1], xL, xR);
    if (!call.toneBypassed) {
        xL = tone[0].Process(xL);
        xR = tone[1].Process(xR);
    }
}

inline void WearStage::Crush(double xL, double xR, const Amounts& amounts)
{
    if (holdPhase <= 0.0) {
        const double crush = amounts.crushMix;
        const double qL = crush > 0.0 ? MuLaw(xL) : xL;
        const double qR = crush > 0.0 ? MuLaw(xR) : xR;
        heldL = (1.0 - crush) * xL + crush * qL;
        heldR = (1.0 - crush) * xR + crush * qR;
        holdPhase += 1.0;
    }
    holdPhase -= amounts.holdStep;
}

inline void WearStage::NextHiss(double hissLevel, double (&hiss)[2])
{
    const uint32_t a = NextRandom();
    const uint32_t b = NextRandom();
    const double noise[2] = {DriftContext::ToBipolar(a), DriftContext::ToBipolar(b)};
    for (int ch = 0; ch < 2; ++ch) {
        hissHigh[ch] = (noise[ch] - hissPrevious[ch]) + hissHighPole * hissHigh[ch];
        hissPrevious[ch] = noise[ch];
        hissLow[ch] = (1.0 - hissLowPole) * hissHigh[ch] + hissLowPole * hissLow[ch];
        hiss[ch] = hissLow[ch] * hissLevel;
    }
}
