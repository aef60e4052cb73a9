#pragma once

#include "framework/graphics/IControl.h"

class PluginStatus;

// The FREEZE button of LOOPS: drawn and pressable only in LOOPS; while on, its lit image shows at
// half strength until the loop has really frozen.
class WFreezeButton : public iplug::igraphics::IControl
{
public:
    WFreezeButton(const iplug::igraphics::IBox& box, int paramIdx, const iplug::igraphics::IBitmapRef& offImage,
                  const iplug::igraphics::IBitmapRef& onImage, const PluginStatus* status);

    void OnPointerDown(float x, float y, const iplug::igraphics::IPointerMods& mods) override;
    void OnScaleChanged() override;
    void Paint(iplug::igraphics::IGraphics& g) override;
    bool NeedsRedraw() const override;

private:
    bool Frozen() const;

    iplug::igraphics::IBitmapRef offImage;
    iplug::igraphics::IBitmapRef onImage;
    const PluginStatus* status;
    mutable int lastMode = -1;
    mutable int lastFrozen = -1;
};
