#include "plugin/panel/ChipDrawing.h"

#include "framework/graphics/IGraphics.h"
#include "plugin/panel/PanelDrawing.h"

using namespace iplug::igraphics;

namespace panel {

void DrawChip(IGraphics& g, const IBox& box)
{
    g.SolidRoundedBox(ToArgb(palette::kChipFill), box, 8);
}

void DrawChipSelection(IGraphics& g, const IBox& part)
{
    const IBox inset(part.left + 2, part.top + 2, part.right - 2, part.bottom - 2);
    g.SolidRoundedBox(ToArgb(palette::kChipSelected), inset, 6);
    g.OutlineRoundedBox(ToArgb(palette::kPanelInkDim), inset, 6, nullptr, 0.75f);
}

} // namespace panel
