#include "plugin/panel/widgets/WDecayLabel.h"

#include "framework/graphics/IGraphics.h"
#include "plugin/panel/PanelDrawing.h"
#include "plugin/panel/PanelState.h"

using namespace iplug::igraphics;

WDecayLabel::WDecayLabel(const BackLayout* layout, int form)
    : IControl(panel::ToBox(layout->decayLabelBoxes[form == 0 ? 0 : 1])), form(form)
{}

void WDecayLabel::Paint(IGraphics& g)
{
    const bool engine = panel::NewEngine(*this);
    const char* text = form == 0 && engine ? "DECAY" : "FEEDBACK";
    const PanelColour colour = form == 1 && !engine ? palette::kPanelInkFaint : palette::kPanelInk;
    g.WriteText(panel::TextStyle("Jost-SemiBold", 14, colour), text, box);
}

bool WDecayLabel::NeedsRedraw() const
{
    const bool engine = panel::NewEngine(*this);
    if (engine == lastEngine)
        return IControl::NeedsRedraw();
    lastEngine = engine;
    return true;
}
