#pragma once
#include "engine/HalfBandResampler.h"

// The per-channel state of the drive stage: the two cascaded half-band
// resamplers (1x <-> 2x, 2x <-> 4x), the voices' filter memories, the
// envelopes that drive the fuzz gate and the output DC blocker.
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

    HalfBandResampler<12> outer; // 1x <-> 2x
    HalfBandResampler<6> inner;  // 2x <-> 4x
    double halfRateDelay = 0.0;  // one sample at 2x that pairs the inner output into 1x frames

    double odLow720 = 0.0;
    double odLow9000 = 0.0;
    double odPost = 0.0;
    double fuzzLow250 = 0.0;
    double fuzzDc = 0.0;
    double fuzzPost = 0.0;
    double fuzzClipPrev = 0.0;
    double rectPrev = 0.0;

    double envelopeFast = 0.0;
    double envelopeSlow = 0.0;

    double dcInPrev = 0.0;
    double dcOutPrev = 0.0;
};
