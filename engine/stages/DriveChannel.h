#pragma once
#include "engine/dsp/HalfBandResampler.h"
#include "engine/dsp/StereoDouble.h"

// The per-channel state of the drive stage: the two cascaded half-band
// resamplers (1x <-> 2x, 2x <-> 4x), the voices' filter memories, the
// envelopes that drive the fuzz gate and the output DC blocker. Both channels
// are held side by side, left and right in every value, so that the stage runs
// them together; each channel's numbers are those it would have on its own.
class DriveChannel
{
public:
    static const double kHalfBand12[12];
    static const double kHalfBand6[6];

    // The voices' filter memories: the overdrive path's, then the fuzz path's.
    // The stage keeps them in locals for a run, where they can stay in registers.
    struct VoiceMemory
    {
        StereoDouble odLow720, odLow9000, odPost, fuzzLow250, fuzzDc, fuzzClipPrev, fuzzPost, rectPrev;
    };

    DriveChannel();

    // Everything back to zero, as on a fresh channel.
    void Clear();
    // The five fuzz-path memories only.
    void ClearFuzz();

    // One 1x sample into the envelopes: the fast one follows it with `attack`
    // (and rests at 0 below `floor`); the slow one jumps up to the fast one and
    // falls with `release`, never below `slowFloor`.
    void TrackEnvelopes(StereoDouble x, double attack, double release, double floor, double slowFloor)
    {
        envelopeFast += (Abs(x) - envelopeFast) * attack;
        envelopeFast = Select(envelopeFast < floor, 0.0, envelopeFast);
        envelopeSlow =
            Select(envelopeFast > envelopeSlow, envelopeFast, envelopeSlow + (envelopeFast - envelopeSlow) * release);
        envelopeSlow = Select(envelopeSlow < slowFloor, slowFloor, envelopeSlow);
    }
    StereoDouble EnvelopeFast() const { return envelopeFast; }
    StereoDouble EnvelopeSlow() const { return envelopeSlow; }

    // A run of n 1x samples up to 4n samples at 4x (halfRate gets the 2n between).
    void UpSample(const StereoDouble* in, int n, StereoDouble* halfRate, StereoDouble* quarterRate)
    {
        outer.UpRun(in, n, halfRate);
        inner.UpRun(halfRate, 2 * n, quarterRate);
    }
    // The 4n processed 4x samples of a run back down to n samples at 1x in `out`
    // (halfRate is scratch for the 2n between).
    void DownSample(const StereoDouble* quarterRate, int n, StereoDouble* halfRate, StereoDouble* out)
    {
        inner.DownRun(quarterRate, 2 * n, halfRate);
        // The inner stage's output runs one 2x sample late against the outer stage's frames.
        for (int t = 0; t < 2 * n; ++t) {
            const StereoDouble next = halfRate[t];
            halfRate[t] = halfRateDelay;
            halfRateDelay = next;
        }
        outer.DownRun(halfRate, n, out);
    }

    const VoiceMemory& Voices() const { return voices; }
    void SetVoices(const VoiceMemory& memory) { voices = memory; }

    // The output DC blocker, one 1x sample, with the pole for the rate.
    StereoDouble BlockDc(StereoDouble s, double pole)
    {
        const StereoDouble y = pole * dcOutPrev + (s - dcInPrev);
        dcInPrev = s;
        dcOutPrev = y;
        return y;
    }

private:
    HalfBandResampler<12, StereoDouble> outer; // 1x <-> 2x
    HalfBandResampler<6, StereoDouble> inner;  // 2x <-> 4x
    StereoDouble halfRateDelay = 0.0;          // one sample at 2x that pairs the inner output into 1x frames

    VoiceMemory voices{};

    StereoDouble envelopeFast = 0.0;
    StereoDouble envelopeSlow = 0.0;

    StereoDouble dcInPrev = 0.0;
    StereoDouble dcOutPrev = 0.0;
};
