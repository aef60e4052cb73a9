#pragma once

#include "framework/graphics/IControl.h"

// HOLD (on while pressed) and LATCH (flips on each press) of the new REPEAT engine; neither is
// drawn nor pressable in other modes, and a held HOLD lets go when the mode or engine changes.
class WRepeatButton : public iplug::igraphics::IControl
{
public:
    WRepeatButton(const iplug::igraphics::IBox& box, int paramIdx, const char* label, bool momentary);

    void OnPointerDown(float x, float y, const iplug::igraphics::IPointerMods& mods) override;
    void OnPointerUp(float x, float y, const iplug::igraphics::IPointerMods& mods) override;
    void OnPointerOut() override;
    void Paint(iplug::igraphics::IGraphics& g) override;
    bool NeedsRedraw() const override;

private:
    bool Active() const;
    void Release();

    const char* label;
    bool momentary;
    mutable bool pressed = false;
    mutable int lastState = -1;
};
