#include "plugin/panel/widgets/WMacroLabel.h"

#include "framework/graphics/IGraphics.h"
#include "plugin/panel/PanelDrawing.h"
#include "plugin/panel/PanelState.h"

using namespace iplug::igraphics;

WMacroLabel::WMacroLabel(const IBox& box, const FaceLayout* layout) : IControl(box), layout(layout) {}

void WMacroLabel::Paint(IGraphics& g)
{
    const int mode = panel::Mode(*this);
    const char* text = mode == panel::kTrem ? "RATE" : mode == panel::kRepeat ? "TIME" : "LENGTH";
    panel::DrawSpacedText(g, panel::TextStyle("Jost-SemiBold", 13, palette::kPanelInk), text, layout->macroLabelCentreX,
                          layout->macroLabelCentreY - 4.55f, 0.18f);
}

bool WMacroLabel::NeedsRedraw() const
{
    const int mode = panel::Mode(*this);
    if (mode == lastMode)
        return IControl::NeedsRedraw();
    lastMode = mode;
    return true;
}
