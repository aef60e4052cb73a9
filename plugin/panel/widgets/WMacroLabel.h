#pragma once

#include "framework/graphics/IControl.h"

struct FaceLayout;

// The caption over the MACRO knob: RATE in TREM, TIME in REPEAT, LENGTH in LOOPS.
class WMacroLabel : public iplug::igraphics::IControl
{
public:
    WMacroLabel(const iplug::igraphics::IBox& box, const FaceLayout* layout);

    void Paint(iplug::igraphics::IGraphics& g) override;
    bool NeedsRedraw() const override;

private:
    const FaceLayout* layout;
    mutable int lastMode = -1;
};
