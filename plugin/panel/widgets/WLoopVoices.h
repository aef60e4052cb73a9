#pragma once

#include "framework/graphics/IControl.h"

// The number of loop voices on a six-stop track; a press jumps to the nearest stop.
class WLoopVoices : public iplug::igraphics::IControl
{
public:
    static constexpr float kTrackStart = 13.0f;
    static constexpr float kTrackLength = 220.0f;

    WLoopVoices(const iplug::igraphics::IBox& box, int paramIdx);

    void OnPointerDown(float x, float y, const iplug::igraphics::IPointerMods& mods) override;
    void OnPointerDrag(float x, float y, float dx, float dy, const iplug::igraphics::IPointerMods& mods) override;
    void Paint(iplug::igraphics::IGraphics& g) override;

    void VoicesFromX(float x);
};
