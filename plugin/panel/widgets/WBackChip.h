#pragma once

#include "framework/graphics/IControl.h"

// The GAPLESS on/off chip of the REPEAT engine; its caption dims under the legacy echo.
class WBackChip : public iplug::igraphics::IControl
{
public:
    WBackChip(const iplug::igraphics::IBox& box, int paramIdx, const char* label);

    void OnPointerDown(float x, float y, const iplug::igraphics::IPointerMods& mods) override;
    void Paint(iplug::igraphics::IGraphics& g) override;
    bool NeedsRedraw() const override;

private:
    const char* label;
    mutable bool lastEngine = true;
};
