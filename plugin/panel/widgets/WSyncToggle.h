#pragma once

#include "plugin/panel/widgets/WThumbSwitch.h"

// The sync switch: the thumb sits left for free time, right for tempo sync.
class WSyncToggle : public WThumbSwitch
{
public:
    using WThumbSwitch::WThumbSwitch;

    void OnPointerDown(float x, float y, const iplug::igraphics::IPointerMods& mods) override;
    void Paint(iplug::igraphics::IGraphics& g) override;
};
