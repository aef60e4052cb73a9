#pragma once

#include "framework/graphics/IControl.h"

class PluginStatus;

// The panel's two sides: the front face and the back panel, one shown at a time.
namespace panel {

constexpr const char* kFaceGroup = "face";
constexpr const char* kBackGroup = "back";

void ShowPanelSide(iplug::igraphics::IGraphics& g, bool back);

// Turns the panel to one side and remembers the side for the next opening of the editor.
class FlipPanelAction
{
public:
    FlipPanelAction(iplug::igraphics::IGraphics* graphics, PluginStatus* status, bool back)
        : graphics(graphics), status(status), back(back)
    {}
    void operator()(iplug::igraphics::IControl* pressed) const;

private:
    iplug::igraphics::IGraphics* graphics;
    PluginStatus* status;
    bool back;
};

// Steps an integer parameter by a fixed amount, wrapping at both ends (the chaos seed's +).
class SeedStepAction
{
public:
    SeedStepAction(int paramIdx, int step) : paramIdx(paramIdx), step(step) {}
    void operator()(iplug::igraphics::IControl* pressed) const;

private:
    int paramIdx;
    int step;
};

} // namespace panel
