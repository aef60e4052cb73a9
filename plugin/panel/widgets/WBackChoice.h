#pragma once

#include "framework/graphics/IControl.h"

// A chip split in two choices (STEREO/MONO, CLASSIC/LFO): the left one is 0, the right one 1.
class WBackChoice : public iplug::igraphics::IControl
{
public:
    WBackChoice(const iplug::igraphics::IBox& box, int paramIdx, const char* leftLabel, const char* rightLabel,
                const char* tooltip = nullptr);

    void OnPointerDown(float x, float y, const iplug::igraphics::IPointerMods& mods) override;
    void Paint(iplug::igraphics::IGraphics& g) override;

private:
    float Middle() const { return (box.left + box.right) / 2.0f; }

    const char* leftLabel;
    const char* rightLabel;
};
