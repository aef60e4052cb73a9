#pragma once

#include "plugin/panel/widgets/WStripKnob.h"

// A back-panel REPEAT knob that edits a legacy echo parameter instead while the legacy engine is
// selected, or greys out when it has none.
class WRepeatKnob : public WStripKnob
{
public:
    WRepeatKnob(const iplug::igraphics::IBox& box, const iplug::igraphics::IBitmapRef& strip, int primaryParam,
                int legacyParam);

    bool NeedsRedraw() const override;

private:
    int primaryParam;
    int legacyParam;
};
