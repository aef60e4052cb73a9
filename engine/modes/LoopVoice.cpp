#include "engine/modes/LoopVoice.h"

#include <cmath>

#include "engine/dsp/EngineMath.h"

namespace {
using EngineMath::kTwoPi;
}

double LoopVoice::RefreshLfo(int k)
{
    lfoValue[k] = EngineMath::Sin(kTwoPi * lfoPhase[k]);
    lfoStale[k] = 0;
    return lfoValue[k];
}

void LoopVoice::RefreshLfoPair(int a, int b)
{
    const StereoDouble s = EngineMath::Sin(StereoDouble(kTwoPi * lfoPhase[a], kTwoPi * lfoPhase[b]));
    lfoValue[a] = s.Left();
    lfoValue[b] = s.Right();
    lfoStale[a] = lfoStale[b] = 0;
}

void LoopVoice::ResetPlayback()
{
    segmentLength = 0;
    segmentPosition = 0;
    readPosition = 0.0;
    windowStart = 0.0;
    windowSpan = 0.0;
    startDelay = 0;
    startStamp = 0;
    reversed = 0;
    ended = 0;
    primed = 0;
    pitchShifted = 0;
    speedSmoother.current = speedSmoother.target = 1.0;
    gainSmoother.current = gainSmoother.target = 1.0;
    panSmoother.current = panSmoother.target = 0.0;
    speed = 1.0;
    gain = 1.0;
    pan = 0.0;
    lengthFraction = 1.0;
    peakFraction = 0.0;
    lastOutL = lastOutR = 0.0;
    heldOutL = heldOutR = 0.0;
    fadeRemaining = 0;
    tailActive = 0;
}

double LoopVoice::WrapIntoWindow(double position, double start, double span, bool reversedWindow)
{
    if (!(span > 0.0))
        return start;
    const double d = position - start;
    if (!reversedWindow) {
        if (d >= 0.0 && d < span)
            return position;
        double rem = d - std::floor(d / span) * span;
        if (!(rem >= 0.0 && rem < span))
            rem = 0.0;
        return start + rem;
    }
    if (d > 0.0 && d <= span)
        return position;
    double rem = d - std::floor(d / span) * span;
    if (!(rem > 0.0 && rem <= span))
        rem = span;
    return start + rem;
}
