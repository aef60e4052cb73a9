#include "plugin/panel/widgets/WReadout.h"

#include "plugin/panel/MacroDisplay.h"
#include "plugin/panel/PanelDrawing.h"

#include <cstdio>
#include <cstring>

using namespace iplug::igraphics;

WReadout::WReadout(const IBox& box, const PluginStatus* status) : IControl(box), status(status) {}

void WReadout::Paint(IGraphics& g)
{
    char text[kTextLength];
    macro::FormatReadoutText(GetDelegate(), status, text, sizeof text);
    panel::DrawSpacedText(g, panel::TextStyle("Jost-Medium", 14, palette::kPanelCream), text,
                          (box.left + box.right) / 2, (box.top + box.bottom) / 2, 0.2f);
}

bool WReadout::NeedsRedraw() const
{
    char text[kTextLength];
    macro::FormatReadoutText(GetDelegate(), status, text, sizeof text);
    if (std::strncmp(text, lastText, kTextLength) == 0)
        return IControl::NeedsRedraw();
    std::snprintf(lastText, sizeof lastText, "%s", text);
    return true;
}
