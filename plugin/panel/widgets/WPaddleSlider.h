#pragma once

#include "framework/graphics/IBitmapBase.h"
#include "framework/graphics/IControl.h"
#include "plugin/panel/PanelLayout.h"

// A vertical paddle for one wear trim: dragging up raises it, 30 units for the whole range.
class WPaddleSlider : public iplug::igraphics::IControl, public iplug::igraphics::IBitmapBase
{
public:
    static constexpr double kFineFactor = 0.25;

    WPaddleSlider(const PaddlePlacement& placement, int paramIdx, const iplug::igraphics::IBitmapRef& paddle);

    void OnPointerDrag(float x, float y, float dx, float dy, const iplug::igraphics::IPointerMods& mods) override;
    void OnScaleChanged() override;
    void Paint(iplug::igraphics::IGraphics& g) override;

private:
    PaddlePlacement placement;
};
