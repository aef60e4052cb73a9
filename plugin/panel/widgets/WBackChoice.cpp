#include "plugin/panel/widgets/WBackChoice.h"

#include "framework/graphics/IGraphics.h"
#include "plugin/panel/ChipDrawing.h"
#include "plugin/panel/PanelDrawing.h"
#include "plugin/panel/PanelState.h"

using namespace iplug::igraphics;

WBackChoice::WBackChoice(const IBox& box, int paramIdx, const char* leftLabel, const char* rightLabel,
                         const char* tooltip)
    : IControl(box, paramIdx), leftLabel(leftLabel), rightLabel(rightLabel)
{
    if (tooltip)
        SetTooltip(tooltip);
}

void WBackChoice::OnPointerDown(float x, float, const IPointerMods& mods)
{
    if (mods.left)
        panel::Commit(*this, x >= Middle() ? 1.0 : 0.0);
}

void WBackChoice::Paint(IGraphics& g)
{
    const float mid = Middle();
    const IBox left(box.left, box.top, mid, box.bottom);
    const IBox right(mid, box.top, box.right, box.bottom);
    panel::DrawChip(g, box);
    panel::DrawChipSelection(g, ValueAt(0) > 0.5 ? right : left);
    const ITextStyle style = panel::TextStyle("Jost-SemiBold", 12, palette::kPanelInk);
    g.WriteText(style, leftLabel, left);
    g.WriteText(style, rightLabel, right);
}
