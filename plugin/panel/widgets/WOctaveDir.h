#pragma once

#include "framework/graphics/IControl.h"

// The octave direction of the loop voices in three arrow zones: both ways, up, down.
class WOctaveDir : public iplug::igraphics::IControl
{
public:
    WOctaveDir(const iplug::igraphics::IBox& box, int paramIdx);

    void OnPointerDown(float x, float y, const iplug::igraphics::IPointerMods& mods) override;
    void Paint(iplug::igraphics::IGraphics& g) override;
};
