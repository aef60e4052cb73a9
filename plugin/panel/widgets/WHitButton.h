#pragma once

#include "framework/graphics/IControl.h"

// An invisible area that runs its action when pressed with any button (the panel's side flip and
// seed step).
class WHitButton : public iplug::igraphics::IControl
{
public:
    WHitButton(const iplug::igraphics::IBox& box, iplug::igraphics::IControlAction action, int paramIdx = -1);

    void OnPointerDown(float x, float y, const iplug::igraphics::IPointerMods& mods) override;
    void Paint(iplug::igraphics::IGraphics& g) override;
};
