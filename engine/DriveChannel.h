#pragma once
#include "engine/HalfBandResampler.h"
#include "engine/StereoDouble.h"

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

    DriveChannel();

    // Everything back to zero, as on a fresh channel.
    void Clear();
    // The five fuzz-path memories only.
    void ClearFuzz();

    HalfBandResampler<12, StereoDouble> outer; // 1x <-> 2x
    HalfBandResampler<6, StereoDouble> inner;  // 2x <-> 4x
    StereoDouble halfRateDelay = 0.0;          // one sample at 2x that pairs the inner output into 1x frames

    StereoDouble odLow720 = 0.0;
    StereoDouble odLow9000 = 0.0;
    StereoDouble odPost = 0.0;
    StereoDouble fuzzLow250 = 0.0;
    StereoDouble fuzzDc = 0.0;
    StereoDouble fuzzPost = 0.0;
    StereoDouble fuzzClipPrev = 0.0;
    StereoDouble rectPrev = 0.0;

    StereoDouble envelopeFast = 0.0;
    StereoDouble envelopeSlow = 0.0;

    StereoDouble dcInPrev = 0.0;
    StereoDouble dcOutPrev = 0.0;
};
