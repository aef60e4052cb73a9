#include "plugin/panel/widgets/WLoopMotionRateLabel.h"

#include "engine/tables/ParamSpec.h"
#include "framework/graphics/IGraphics.h"
#include "plugin/panel/PanelDrawing.h"
#include "plugin/panel/PanelNumbers.h"
#include "plugin/panel/PanelState.h"

#include <algorithm>
#include <cmath>

using namespace iplug::igraphics;

WLoopMotionRateLabel::WLoopMotionRateLabel(const IBox& box) : IControl(box) {}

double WLoopMotionRateLabel::RateFactor(double value)
{
    const double r = std::clamp(value, 0.0, 1.0);
    return std::pow(2.0, r <= 0.5 ? 4.0 * r - 2.0 : 6.0 * r - 3.0);
}

void WLoopMotionRateLabel::FormatRate(double value, char* buffer, size_t size)
{
    panel::FormatNumber(buffer, size, "RATE \xC2\xB7 %.2gx", RateFactor(value));
}

void WLoopMotionRateLabel::Paint(IGraphics& g)
{
    char text[32];
    FormatRate(panel::ParamValue(*this, kLoopMotionRate), text, sizeof text);
    const bool loops = panel::Mode(*this) == panel::kLoops;
    g.WriteText(panel::TextStyle("Jost-SemiBold", 14, loops ? palette::kPanelInk : palette::kPanelInkDim), text, box);
}

bool WLoopMotionRateLabel::NeedsRedraw() const
{
    // Nothing tells this label when the rate or the mode changes, so it compares them with
    // what it last saw; redrawing every frame would repaint everything under it too.
    const double rate = panel::ParamValue(*this, kLoopMotionRate);
    const bool loops = panel::Mode(*this) == panel::kLoops;
    const bool changed = !seen || rate != seenRate || loops != seenLoops;
    seen = true;
    seenRate = rate;
    seenLoops = loops;
    return changed || IControl::NeedsRedraw();
}
