#pragma once

#include "plugin/panel/widgets/WThumbSwitch.h"

// The drive voice switch: OD on the left, FUZZ on the right; the mode switch's thumb, scaled down.
class WVoiceToggle : public WThumbSwitch
{
public:
    using WThumbSwitch::WThumbSwitch;

    void OnPointerDown(float x, float y, const iplug::igraphics::IPointerMods& mods) override;
    void Paint(iplug::igraphics::IGraphics& g) override;
};
