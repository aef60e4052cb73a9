#include "plugin/panel/widgets/WBackChip.h"

#include "framework/graphics/IGraphics.h"
#include "plugin/panel/ChipDrawing.h"
#include "plugin/panel/PanelDrawing.h"
#include "plugin/panel/PanelState.h"

using namespace iplug::igraphics;

namespace {
const char* const kTip =
    "Pitched-up repeats play on into the next part of the phrase instead of stopping short of the next repeat.";
}

WBackChip::WBackChip(const IBox& box, int paramIdx, const char* label) : IControl(box, paramIdx), label(label)
{
    SetTooltip(kTip);
}

void WBackChip::OnPointerDown(float, float, const IPointerMods& mods)
{
    if (mods.left)
        panel::Commit(*this, ValueAt(0) > 0.5 ? 0.0 : 1.0);
}

void WBackChip::Paint(IGraphics& g)
{
    panel::DrawChip(g, box);
    if (ValueAt(0) > 0.5)
        panel::DrawChipSelection(g, box);
    g.WriteText(
        panel::TextStyle("Jost-SemiBold", 13, panel::NewEngine(*this) ? palette::kPanelInk : palette::kPanelInkDim),
        label, box);
}

bool WBackChip::NeedsRedraw() const
{
    const bool engine = panel::NewEngine(*this);
    if (engine == lastEngine)
        return IControl::NeedsRedraw();
    lastEngine = engine;
    return true;
}
