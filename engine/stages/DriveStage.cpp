#include "engine/stages/DriveStage.h"

#include <algorithm>
#include <cmath>

#include "engine/dsp/EngineMath.h"

namespace {
using EngineMath::kTwoPi;
constexpr double kSwitchSeconds = 0.01;
constexpr double kBypassLanding = 1e-12;
constexpr double kVoiceLanding = 1e-9;
constexpr double kEnvelopeFloor = 1e-12;
constexpr double kSlowEnvelopeFloor = 0.0031622777;
constexpr double kGateOpenLevel = 0.000316228;
constexpr double kAntiAliasEpsilon = 1e-6;
constexpr double kTinyDivisor = 1e-9;

// The voices run at four times the rate.
constexpr int kOversampling = 4;
// The output DC blocker's corner (Hz) and the pole it never exceeds.
constexpr double kDcCornerHz = 10.0;
constexpr double kDcPoleLimit = 0.999999;
// One-pole corners at 4x (Hz): the overdrive's high-pass and low-pass before the
// clip, the fuzz's input high-pass and the DC removal after its rectifier.
constexpr double kOverdriveHighPassHz = 720.0;
constexpr double kOverdriveLowPassHz = 9000.0;
constexpr double kFuzzHighPassHz = 250.0;
constexpr double kOctaveDcHz = 30.0;
// Envelope times of the fuzz gate (seconds).
constexpr double kEnvelopeAttackSeconds = 0.005;
constexpr double kEnvelopeReleaseSeconds = 10.0;

// The overdrive's asymmetric soft clip: straight up to 1.05, then a knee of
// height 0.62; straight down to -0.62, then a knee of height 0.33.
constexpr double kOverdriveKneeHigh = 1.05;
constexpr double kOverdriveKneeHighSpan = 0.62;
constexpr double kOverdriveKneeLow = 0.62;
constexpr double kOverdriveKneeLowSpan = 0.33;
// The fuzz's hard clip at -0.44 and 0.62, and the constants of its antiderivative.
constexpr double kFuzzClipLow = 0.44;
constexpr double kFuzzClipHigh = 0.62;
constexpr double kFuzzIntegralHigh = 0.1922;
constexpr double kFuzzIntegralLow = 0.0968;

// Coefficients over the smoothed drive d: the gains 1 + 30d and 1 + 80d; the
// make-up normalisers of the two clip curves; the voices' low-pass corners
// (Hz at d = 0, times ratio^d); the fade-in over d up to 0.04; the octave mix
// from d 0.2 over 0.8 up to 0.6; the bias; and the gate thresholds in dB.
constexpr double kOverdriveGainPerDrive = 30.0;
constexpr double kFuzzGainPerDrive = 80.0;
constexpr double kDecibelsPerGainDecade = 20.0;
constexpr double kOverdriveNormSpan = 8.405;
constexpr double kCurveInputScale = 0.25;
constexpr double kOverdriveNormKnee = 9.375;
constexpr double kFuzzNormGain = 0.193;
constexpr double kFuzzNormKnee = 0.55;
constexpr double kFuzzLowPassHz = 7400.0;
constexpr double kFuzzLowPassRatio = 0.3108108108108108;
constexpr double kOverdriveToneHz = 9000.0;
constexpr double kOverdriveToneRatio = 0.28888888888888886;
constexpr double kFadeInDrive = 0.04;
constexpr double kOctaveDriveFloor = 0.2;
constexpr double kOctaveDriveSpan = 0.8;
constexpr double kOctaveMixMax = 0.6;
constexpr double kBiasPerDrive = 0.18;
constexpr double kCutoffBiasFloor = 0.15;
constexpr double kCutoffBiasPerDrive = 0.65;
constexpr double kGateDbPerDrive = 14.0;
constexpr double kGateHighDb = 30.0;
constexpr double kGateLowDb = 45.0;

template <class T>
T Smoothstep(T u)
{
    return u * u * (3.0 - 2.0 * u);
}

double DcPole(double rate)
{
    return std::clamp(1.0 - kTwoPi * kDcCornerHz / rate, 0.0, kDcPoleLimit);
}

double OnePolePole(double hz, double rate)
{
    return std::exp(-kTwoPi * hz / rate);
}

// Asymmetric soft clip of the overdrive: at most 1.67 and -0.95.
inline StereoDouble OverdriveClip(StereoDouble v)
{
    // Most samples of a light drive lie in the straight part, where the clip leaves them alone.
    const StereoDouble::Mask high = v > kOverdriveKneeHigh;
    const StereoDouble::Mask low = v < -kOverdriveKneeLow;
    if (!(high.Any() || low.Any()))
        return v;
    // One exp serves both knees: each lane takes the exponent of its own side.
    const StereoDouble e =
        EngineMath::Exp(Select(high, EngineMath::Divide(-(v - kOverdriveKneeHigh), kOverdriveKneeHighSpan),
                               EngineMath::Divide(v + kOverdriveKneeLow, kOverdriveKneeLowSpan)));
    return Select(high, kOverdriveKneeHigh + kOverdriveKneeHighSpan * (1.0 - e),
                  Select(low, -(kOverdriveKneeLow + kOverdriveKneeLowSpan * (1.0 - e)), v));
}

StereoDouble FuzzClip(StereoDouble z)
{
    return Select(z < -kFuzzClipLow, -kFuzzClipLow, Select(z > kFuzzClipHigh, kFuzzClipHigh, z));
}

// Antiderivative of FuzzClip, for first-order anti-aliasing.
StereoDouble FuzzClipIntegral(StereoDouble z)
{
    return Select(z > kFuzzClipHigh, kFuzzClipHigh * z - kFuzzIntegralHigh,
                  Select(z < -kFuzzClipLow, -kFuzzClipLow * z - kFuzzIntegralLow, 0.5 * z * z));
}

} // namespace

const double DriveStage::kCurveX[kCurvePoints] = {0, 0.02, 0.04, 0.08, 0.15, 0.25, 0.35, 0.5, 0.65, 0.8, 1};
const double DriveStage::kCurveOverdriveDb[kCurvePoints] = {-3.3, -4.16, -5,    -6.17, -6.96, -6.6,
                                                            -5.8, -4.33, -3.05, -1.93, -0.69};
const double DriveStage::kCurveFuzzDb[kCurvePoints] = {1, 0.34, 0.45, 0.32, 0.17, 0.17, 0.23, 0.42, 0.7, 1.03, 2.55};

DriveStage::DriveStage()
{
    ResetToConstructed();
}

void DriveStage::ResetToConstructed()
{
    preGain = 1.0;
    odMakeup = 1.0;
    fuzzGain = 1.0;
    fuzzMakeup = 1.0;
    octaveMix = 0.0;
    bias = 0.0;
    fuzzLowpass = 0.0;
    cutoffBias = kCutoffBiasFloor;
    gateHigh = 0.0;
    gateLow = 0.0;
    fadeIn = 0.0;
    odLowpass = 0.0;
    cachedDrive = -1.0;
    sampleRate = EngineMath::kDefaultSampleRate;
    dcPole = DcPole(sampleRate);
    driveTarget = 0.0;
    voice = kVoiceOverdrive;
    driveSmoother = ParamSmoother{};
    bypassMix = 1.0;
    bypassCoefficient = 1.0;
    voiceMix = 0.0;
    voiceCoefficient = 1.0;
    a720 = a9000 = a250 = a30 = 0.0;
    envelopeAttack = 1.0;
    envelopeRelease = 1.0;
    bypassed = 0;
    fuzzSilent = 0;
    channels.Clear();
}

void DriveStage::Prepare(double rate)
{
    // A preparation always starts from scratch so that the blocks after it do not
    // depend on what ran before.
    ResetToConstructed();
    sampleRate = EngineMath::UsableSampleRate(rate);
    dcPole = DcPole(sampleRate);
    cachedDrive = -1.0;
    bypassMix = driveTarget <= 0.0 ? 1.0 : 0.0;
    voiceMix = voice == kVoiceFuzz ? 1.0 : 0.0;
    bypassCoefficient = 1.0 - std::exp(-1.0 / (sampleRate * kSwitchSeconds));
    voiceCoefficient = bypassCoefficient;
    driveSmoother.Configure(kSwitchSeconds, sampleRate);
    driveSmoother.target = driveTarget;
    driveSmoother.current = driveTarget;

    const double oversampledRate = kOversampling * sampleRate;
    a720 = OnePolePole(kOverdriveHighPassHz, oversampledRate);
    a9000 = OnePolePole(kOverdriveLowPassHz, oversampledRate);
    a250 = OnePolePole(kFuzzHighPassHz, oversampledRate);
    a30 = OnePolePole(kOctaveDcHz, oversampledRate);
    envelopeAttack = 1.0 - std::exp(-1.0 / (sampleRate * kEnvelopeAttackSeconds));
    envelopeRelease = 1.0 - std::exp(-1.0 / (sampleRate * kEnvelopeReleaseSeconds));
}

void DriveStage::SetDrive(double drive)
{
    const double d = std::isfinite(drive) ? std::clamp(drive, 0.0, 1.0) : 0.0;
    driveTarget = d;
    driveSmoother.target = d;
}

void DriveStage::SetVoice(int newVoice)
{
    voice = newVoice == kVoiceFuzz ? kVoiceFuzz : kVoiceOverdrive;
}

double DriveStage::CurveLookup(const double (&values)[kCurvePoints], double d)
{
    if (!(d > 0.0))
        return values[0];
    if (d > 1.0)
        return values[kCurvePoints - 1];
    int k = 1;
    while (k < kCurvePoints - 1 && kCurveX[k] < d)
        ++k;
    const double t = (d - kCurveX[k - 1]) / (kCurveX[k] - kCurveX[k - 1]);
    return values[k - 1] + (values[k] - values[k - 1]) * t;
}

void DriveStage::UpdateCoefficients(double d)
{
    const double oversampledRate = kOversampling * sampleRate;
    preGain = 1.0 + kOverdriveGainPerDrive * d;
    fuzzGain = 1.0 + kFuzzGainPerDrive * d;
    odMakeup = std::pow(10.0, CurveLookup(kCurveOverdriveDb, d) / kDecibelsPerGainDecade)
               / (kOverdriveNormSpan * std::tanh(preGain * kCurveInputScale / kOverdriveNormKnee) + 1.0);
    fuzzMakeup = std::pow(10.0, CurveLookup(kCurveFuzzDb, d) / kDecibelsPerGainDecade) * kFuzzNormGain
                 / std::max(std::tanh(fuzzGain * kCurveInputScale / kFuzzNormKnee) * kFuzzNormKnee, kTinyDivisor);
    fuzzLowpass = std::exp(-kTwoPi * kFuzzLowPassHz * std::pow(kFuzzLowPassRatio, d) / oversampledRate);
    odLowpass = std::exp(-kTwoPi * kOverdriveToneHz * std::pow(kOverdriveToneRatio, d) / oversampledRate);
    fadeIn = Smoothstep(std::min(d / kFadeInDrive, 1.0));
    octaveMix = std::clamp((d - kOctaveDriveFloor) / kOctaveDriveSpan, 0.0, 1.0) * kOctaveMixMax;
    bias = kBiasPerDrive * d;
    cutoffBias = kCutoffBiasFloor + kCutoffBiasPerDrive * d;
    gateHigh = std::pow(10.0, (kGateDbPerDrive * d - kGateHighDb) / kDecibelsPerGainDecade);
    gateLow = std::pow(10.0, (kGateDbPerDrive * d - kGateLowDb) / kDecibelsPerGainDecade);
    cachedDrive = d;
}

void DriveStage::Process(float* left, float* right, int n)
{
    const double voiceTarget = voice == kVoiceFuzz ? 1.0 : 0.0;
    if (bypassMix == 1.0 && driveTarget <= 0.0 && voiceMix == voiceTarget) {
        // Faded out and staying out: every sample would pass untouched, only the
        // drive glide moves on.
        for (int i = 0; i < n; ++i)
            driveSmoother.Tick();
        bypassed = 1;
        return;
    }
    // The switches move per sample and never look at the audio, so each sample's
    // switches are stepped first and its audio joins the pending run; the run is
    // worked through whenever the next sample needs other coefficients, another
    // voice path or cleared filters.
    const double bypassTarget = driveTarget <= 0.0 ? 1.0 : 0.0;
    pendingCount = 0;
    for (int i = 0; i < n; ++i) {
        if (SwitchesHold(bypassTarget, voiceTarget)) {
            if (pendingCount > 0)
                FlushPending(left, right);
            ProcessSettled(left + i, right + i, n - i);
            return;
        }
        const double d = driveSmoother.Tick();
        bypassMix = EngineMath::StepFade(bypassMix, bypassTarget, bypassCoefficient, kBypassLanding);
        voiceMix = EngineMath::StepFade(voiceMix, voiceTarget, voiceCoefficient, kVoiceLanding);
        const bool fuzz = voiceMix != 0.0;
        if (pendingCount > 0
            && (d != cachedDrive || fuzz != pendingFuzz || pendingCount == kRunLength
                || (bypassMix == 1.0 && bypassTarget == 1.0 && voiceMix == voiceTarget)))
            FlushPending(left, right);

        if (bypassMix == 1.0 && bypassTarget == 1.0 && voiceMix == voiceTarget) {
            bypassed = 1;
            continue;
        }
        WakeFilters(fuzz);
        if (d != cachedDrive)
            UpdateCoefficients(d);
        if (pendingCount == 0) {
            pendingStart = i;
            pendingFuzz = fuzz;
        }
        pendingBypassMix[pendingCount] = bypassMix;
        pendingVoiceMix[pendingCount] = voiceMix;
        ++pendingCount;
    }
    if (pendingCount > 0)
        FlushPending(left, right);
}

inline void DriveStage::WakeFilters(bool fuzz)
{
    if (bypassed) {
        channels.Clear();
        bypassed = 0;
        fuzzSilent = 0;
    }
    if (!fuzz) {
        fuzzSilent = 1;
    } else if (fuzzSilent) {
        channels.ClearFuzz();
        fuzzSilent = 0;
    }
}

bool DriveStage::SwitchesHold(double bypassTarget, double voiceTarget) const
{
    // With both fades landed the fade steps change nothing; with the glide's tick
    // leaving the drive as it is, bit for bit, every later sample of the call sees
    // the same switches, coefficients and voice path.
    if (bypassed || bypassTarget != 0.0 || bypassMix != 0.0 || voiceMix != voiceTarget)
        return false;
    if (driveSmoother.current != cachedDrive || fuzzSilent != (voiceMix == 0.0 ? 1 : 0))
        return false;
    return driveSmoother.TickHolds();
}

void DriveStage::ProcessSettled(float* left, float* right, int n)
{
    const bool fuzz = voiceMix != 0.0;
    for (int start = 0; start < n; start += kRunLength) {
        const int count = std::min(kRunLength, n - start);
        for (int j = 0; j < count; ++j) {
            pendingBypassMix[j] = bypassMix;
            pendingVoiceMix[j] = voiceMix;
        }
        if (fuzz)
            ProcessFrames<true>(left + start, right + start, count);
        else
            ProcessFrames<false>(left + start, right + start, count);
    }
}

void DriveStage::FlushPending(float* left, float* right)
{
    if (pendingFuzz)
        ProcessFrames<true>(left + pendingStart, right + pendingStart, pendingCount);
    else
        ProcessFrames<false>(left + pendingStart, right + pendingStart, pendingCount);
    pendingCount = 0;
}

template <bool Fuzz>
void DriveStage::ProcessFrames(float* left, float* right, int count)
{
    TakeRunInput<Fuzz>(left, right, count);
    channels.UpSample(runInput, count, runHalfRate, runQuarterRate);
    RunVoices<Fuzz>(count);
    channels.DownSample(runQuarterRate, count, runHalfRate, runQuarterRate);
    WriteRunOutput(left, right, count);
}

template <bool Fuzz>
inline void DriveStage::TakeRunInput(const float* left, const float* right, int count)
{
    for (int j = 0; j < count; ++j) {
        // A non-finite sample would otherwise live on in every filter memory.
        const StereoDouble x(std::isfinite(left[j]) ? left[j] : 0.0, std::isfinite(right[j]) ? right[j] : 0.0);
        runInput[j] = x;
        channels.TrackEnvelopes(x, envelopeAttack, envelopeRelease, kEnvelopeFloor, kSlowEnvelopeFloor);
        if (!Fuzz)
            continue;
        // gateOpen mutes the fuzz below -70 dB; gateCut rises as a note decays below
        // its own slow peak and pulls the fuzz bias toward cut-off (the sputter).
        const StereoDouble fast = channels.EnvelopeFast();
        const StereoDouble slow = channels.EnvelopeSlow();
        const StereoDouble r = fast / kGateOpenLevel;
        const StereoDouble r2 = r * r;
        runGateOpen[j] = Select(fast < kGateOpenLevel, r2 * r2 * r2, 1.0);
        const StereoDouble high = slow * gateHigh;
        const StereoDouble low = slow * gateLow;
        runGateCut[j] = Select(fast >= high, 0.0, Select(fast <= low, 1.0, Smoothstep((high - fast) / (high - low))));
    }
}

inline DriveStage::VoiceCoefficients DriveStage::CurrentVoiceCoefficients() const
{
    return VoiceCoefficients{1.0 - a720,        1.0 - a9000, preGain,    1.0 - odLowpass,
                             odMakeup,          fadeIn,      1.0 - a250, 1.0 - a30,
                             octaveMix,         fuzzGain,    bias,       -(cutoffBias + kFuzzClipLow) - bias,
                             1.0 - fuzzLowpass, fuzzMakeup};
}

template <bool Fuzz>
inline void DriveStage::RunVoices(int count)
{
    // The voices' memories and coefficients live in locals for the run, where the
    // compiler can keep them in registers.
    VoiceMemory memory = channels.Voices();
    const VoiceCoefficients c = CurrentVoiceCoefficients();
    for (int j = 0; j < count; ++j) {
        const StereoDouble gateOpen = Fuzz ? runGateOpen[j] : StereoDouble(1.0);
        const StereoDouble gateCut = Fuzz ? runGateCut[j] : StereoDouble(0.0);
        StereoDouble* frame = runQuarterRate + kOversampling * j;
        for (int k = 0; k < kOversampling; ++k)
            frame[k] = ProcessVoices<Fuzz>(memory, c, frame[k], gateOpen, gateCut, pendingVoiceMix[j]);
    }
    channels.SetVoices(memory);
}

inline void DriveStage::WriteRunOutput(float* left, float* right, int count)
{
    for (int j = 0; j < count; ++j) {
        const StereoDouble y = channels.BlockDc(runQuarterRate[j], dcPole);
        const double mix = pendingBypassMix[j];
        const StereoDouble mixed = mix * runInput[j] + (1.0 - mix) * y;
        left[j] = static_cast<float>(mixed.Left());
        right[j] = static_cast<float>(mixed.Right());
    }
}

template <bool Fuzz>
inline StereoDouble DriveStage::ProcessVoices(VoiceMemory& m, const VoiceCoefficients& c, StereoDouble u,
                                              StereoDouble gateOpen, StereoDouble gateCut, double mix)
{
    // Overdrive: 720 Hz high-pass, 9 kHz low-pass, soft clip, drive-dependent low-pass.
    m.odLow720 += (u - m.odLow720) * c.odLow720Step;
    m.odLow9000 += (u - m.odLow720 - m.odLow9000) * c.odLow9000Step;
    const StereoDouble v = OverdriveClip(m.odLow9000 * c.preGain);
    m.odPost += (v - m.odPost) * c.odPostStep;
    const StereoDouble od = ((m.odPost + u) * c.odMakeup - u) * c.fadeIn + u;
    if (!Fuzz)
        return od;

    m.fuzzLow250 += (u - m.fuzzLow250) * c.fuzzLow250Step;
    const StereoDouble h = u - m.fuzzLow250;
    // Anti-aliased h|h|: twice the full-wave rectified signal, the octave.
    const StereoDouble p = m.rectPrev;
    StereoDouble r = Select(Abs(h - p) > kAntiAliasEpsilon, (Abs(h) * h - Abs(p) * p) / (h - p), Abs(p + h));
    m.rectPrev = h;
    m.fuzzDc += (r - m.fuzzDc) * c.fuzzDcStep;
    r -= m.fuzzDc;

    const StereoDouble z = ((r - h) * c.octaveMix + h) * c.fuzzGain + (c.bias + c.cutSpan * gateCut);
    const StereoDouble q = m.fuzzClipPrev;
    const StereoDouble clipped = Select(Abs(z - q) > kAntiAliasEpsilon,
                                        (FuzzClipIntegral(z) - FuzzClipIntegral(q)) / (z - q), FuzzClip(0.5 * (z + q)));
    m.fuzzClipPrev = z;
    m.fuzzPost += (clipped - m.fuzzPost) * c.fuzzPostStep;
    const StereoDouble fz = (m.fuzzPost * c.fuzzMakeup * gateOpen - u) * c.fadeIn + u;
    return od + (fz - od) * mix;
}
