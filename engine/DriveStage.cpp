#include "engine/DriveStage.h"

#include <algorithm>
#include <cmath>

#include "engine/EngineMath.h"

namespace {
using EngineMath::kTwoPi;
constexpr double kSwitchSeconds = 0.01;
constexpr double kBypassLanding = 1e-12;
constexpr double kVoiceLanding = 1e-9;
constexpr double kEnvelopeFloor = 1e-12;
constexpr double kSlowEnvelopeFloor = 0.0031622777;
constexpr double kGateOpenLevel = 0.000316228;
constexpr double kAntiAliasEpsilon = 1e-6;

template <class T>
T Smoothstep(T u)
{
    return u * u * (3.0 - 2.0 * u);
}

double DcPole(double rate)
{
    return std::clamp(1.0 - kTwoPi * 10.0 / rate, 0.0, 0.999999);
}

double OnePolePole(double hz, double rate)
{
    return std::exp(-kTwoPi * hz / rate);
}

// Asymmetric soft clip of the overdrive: at most 1.67 and -0.95.
inline StereoDouble OverdriveClip(StereoDouble v)
{
    // Most samples of a light drive lie in the straight part, where the clip leaves them alone.
    const StereoDouble::Mask high = v > 1.05;
    const StereoDouble::Mask low = v < -0.62;
    if (!(high.Any() || low.Any()))
        return v;
    // One exp serves both knees: each lane takes the exponent of its own side.
    const StereoDouble e =
        EngineMath::Exp(Select(high, EngineMath::Divide(-(v - 1.05), 0.62), EngineMath::Divide(v + 0.62, 0.33)));
    return Select(high, 1.05 + 0.62 * (1.0 - e), Select(low, -(0.62 + 0.33 * (1.0 - e)), v));
}

StereoDouble FuzzClip(StereoDouble z)
{
    return Select(z < -0.44, -0.44, Select(z > 0.62, 0.62, z));
}

// Antiderivative of FuzzClip, for first-order anti-aliasing.
StereoDouble FuzzClipIntegral(StereoDouble z)
{
    return Select(z > 0.62, 0.62 * z - 0.1922, Select(z < -0.44, -0.44 * z - 0.0968, 0.5 * z * z));
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
    cutoffBias = 0.15;
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

    const double oversampledRate = 4.0 * sampleRate;
    a720 = OnePolePole(720.0, oversampledRate);
    a9000 = OnePolePole(9000.0, oversampledRate);
    a250 = OnePolePole(250.0, oversampledRate);
    a30 = OnePolePole(30.0, oversampledRate);
    envelopeAttack = 1.0 - std::exp(-1.0 / (sampleRate * 0.005));
    envelopeRelease = 1.0 - std::exp(-1.0 / (sampleRate * 10.0));
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
    const double oversampledRate = 4.0 * sampleRate;
    preGain = 1.0 + 30.0 * d;
    fuzzGain = 1.0 + 80.0 * d;
    odMakeup =
        std::pow(10.0, CurveLookup(kCurveOverdriveDb, d) / 20.0) / (8.405 * std::tanh(preGain * 0.25 / 9.375) + 1.0);
    fuzzMakeup = std::pow(10.0, CurveLookup(kCurveFuzzDb, d) / 20.0) * 0.193
                 / std::max(std::tanh(fuzzGain * 0.25 / 0.55) * 0.55, 1e-9);
    fuzzLowpass = std::exp(-kTwoPi * 7400.0 * std::pow(0.3108108108108108, d) / oversampledRate);
    odLowpass = std::exp(-kTwoPi * 9000.0 * std::pow(0.28888888888888886, d) / oversampledRate);
    fadeIn = Smoothstep(std::min(d / 0.04, 1.0));
    octaveMix = std::clamp((d - 0.2) / 0.8, 0.0, 1.0) * 0.6;
    bias = 0.18 * d;
    cutoffBias = 0.15 + 0.65 * d;
    gateHigh = std::pow(10.0, (14.0 * d - 30.0) / 20.0);
    gateLow = std::pow(10.0, (14.0 * d - 45.0) / 20.0);
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
        if (bypassed) {
            channels.Clear();
            bypassed = 0;
            fuzzSilent = 0;
        }
        if (d != cachedDrive)
            UpdateCoefficients(d);
        if (!fuzz) {
            fuzzSilent = 1;
        } else if (fuzzSilent) {
            channels.ClearFuzz();
            fuzzSilent = 0;
        }
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
    DriveChannel& ch = channels;
    for (int j = 0; j < count; ++j) {
        // A non-finite sample would otherwise live on in every filter memory.
        const StereoDouble x(std::isfinite(left[j]) ? left[j] : 0.0, std::isfinite(right[j]) ? right[j] : 0.0);
        runInput[j] = x;
        ch.envelopeFast += (Abs(x) - ch.envelopeFast) * envelopeAttack;
        ch.envelopeFast = Select(ch.envelopeFast < kEnvelopeFloor, 0.0, ch.envelopeFast);
        ch.envelopeSlow = Select(ch.envelopeFast > ch.envelopeSlow, ch.envelopeFast,
                                 ch.envelopeSlow + (ch.envelopeFast - ch.envelopeSlow) * envelopeRelease);
        ch.envelopeSlow = Select(ch.envelopeSlow < kSlowEnvelopeFloor, kSlowEnvelopeFloor, ch.envelopeSlow);
        if (Fuzz) {
            // gateOpen mutes the fuzz below -70 dB; gateCut rises as a note decays below
            // its own slow peak and pulls the fuzz bias toward cut-off (the sputter).
            const StereoDouble r = ch.envelopeFast / kGateOpenLevel;
            const StereoDouble r2 = r * r;
            runGateOpen[j] = Select(ch.envelopeFast < kGateOpenLevel, r2 * r2 * r2, 1.0);
            const StereoDouble t1 = ch.envelopeSlow * gateHigh;
            const StereoDouble t2 = ch.envelopeSlow * gateLow;
            runGateCut[j] = Select(ch.envelopeFast >= t1, 0.0,
                                   Select(ch.envelopeFast <= t2, 1.0, Smoothstep((t1 - ch.envelopeFast) / (t1 - t2))));
        }
    }

    ch.outer.UpRun(runInput, count, runHalfRate);
    ch.inner.UpRun(runHalfRate, 2 * count, runQuarterRate);
    // The voices' memories and coefficients live in locals for the run, where the
    // compiler can keep them in registers.
    VoiceMemory memory{ch.odLow720, ch.odLow9000,    ch.odPost,   ch.fuzzLow250,
                       ch.fuzzDc,   ch.fuzzClipPrev, ch.fuzzPost, ch.rectPrev};
    const VoiceCoefficients c{1.0 - a720,        1.0 - a9000, preGain,    1.0 - odLowpass,
                              odMakeup,          fadeIn,      1.0 - a250, 1.0 - a30,
                              octaveMix,         fuzzGain,    bias,       -(cutoffBias + 0.44) - bias,
                              1.0 - fuzzLowpass, fuzzMakeup};
    for (int j = 0; j < count; ++j) {
        const StereoDouble gateOpen = Fuzz ? runGateOpen[j] : StereoDouble(1.0);
        const StereoDouble gateCut = Fuzz ? runGateCut[j] : StereoDouble(0.0);
        StereoDouble* frame = runQuarterRate + 4 * j;
        for (int k = 0; k < 4; ++k)
            frame[k] = ProcessVoices<Fuzz>(memory, c, frame[k], gateOpen, gateCut, pendingVoiceMix[j]);
    }
    ch.odLow720 = memory.odLow720;
    ch.odLow9000 = memory.odLow9000;
    ch.odPost = memory.odPost;
    ch.fuzzLow250 = memory.fuzzLow250;
    ch.fuzzDc = memory.fuzzDc;
    ch.fuzzClipPrev = memory.fuzzClipPrev;
    ch.fuzzPost = memory.fuzzPost;
    ch.rectPrev = memory.rectPrev;
    ch.inner.DownRun(runQuarterRate, 2 * count, runHalfRate);
    // The inner stage's output runs one 2x sample late against the outer stage's frames.
    for (int t = 0; t < 2 * count; ++t) {
        const StereoDouble next = runHalfRate[t];
        runHalfRate[t] = ch.halfRateDelay;
        ch.halfRateDelay = next;
    }
    ch.outer.DownRun(runHalfRate, count, runQuarterRate);

    for (int j = 0; j < count; ++j) {
        const StereoDouble s = runQuarterRate[j];
        const StereoDouble y = dcPole * ch.dcOutPrev + (s - ch.dcInPrev);
        ch.dcInPrev = s;
        ch.dcOutPrev = y;
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
