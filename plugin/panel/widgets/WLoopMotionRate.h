#pragma once

#include "plugin/panel/widgets/WStripKnob.h"

// The Loop Motion Rate knob: usable only in LOOPS, greyed out otherwise.
class WLoopMotionRate : public WStripKnob
{
public:
    using WStripKnob::WStripKnob;

    bool NeedsRedraw() const override;
};
