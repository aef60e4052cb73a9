#pragma once

#include "plugin/panel/widgets/WThumbSwitch.h"

// The three-position mode switch: TREM, REPEAT, LOOPS; a press picks the nearest position.
class WModeSwitch : public WThumbSwitch
{
public:
    using WThumbSwitch::WThumbSwitch;

    void OnPointerDown(float x, float y, const iplug::igraphics::IPointerMods& mods) override;
    void Paint(iplug::igraphics::IGraphics& g) override;
};
