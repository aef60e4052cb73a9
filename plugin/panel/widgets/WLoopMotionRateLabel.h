#pragma once

#include "framework/graphics/IControl.h"

#include <cstddef>

// "RATE · 2.8x" under the Loop Motion Rate knob, dim outside LOOPS.
class WLoopMotionRateLabel : public iplug::igraphics::IControl
{
public:
    explicit WLoopMotionRateLabel(const iplug::igraphics::IBox& box);

    void Paint(iplug::igraphics::IGraphics& g) override;
    bool NeedsRedraw() const override;

    // The rate factor for a knob value: 0.25 at 0, 1 at the middle, 8 at 1.
    static double RateFactor(double value);
    static void FormatRate(double value, char* buffer, size_t size);

private:
    mutable bool seen = false;
    mutable double seenRate = 0.0;
    mutable bool seenLoops = false;
};
