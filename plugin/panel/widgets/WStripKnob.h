#pragma once

#include "framework/graphics/IBitmapBase.h"
#include "framework/graphics/IKnobControlBase.h"

// A knob drawn from a 61-frame strip: the frame for the value, scaled into the knob's box.
class WStripKnob : public iplug::igraphics::IKnobControlBase, public iplug::igraphics::IBitmapBase
{
public:
    static constexpr double kGearing = 1.5;
    static constexpr float kDragSpan = 120.0f;

    WStripKnob(const iplug::igraphics::IBox& box, const iplug::igraphics::IBitmapRef& strip, int paramIdx);

    void OnScaleChanged() override;
    void Paint(iplug::igraphics::IGraphics& g) override;
    // A 120-unit square around the knob's centre, whatever the knob's size.
    iplug::igraphics::IBox GetDragBox() const override;

protected:
    void PaintAt(iplug::igraphics::IGraphics& g, double value);
    // For the checks run before every frame: disabling marks the knob dirty, so only a change may.
    void DisableIfChanged(bool disable);
};
