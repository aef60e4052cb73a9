#include "plugin/panel/widgets/WOctaveDir.h"

#include "framework/graphics/IGraphics.h"
#include "plugin/panel/ChipDrawing.h"
#include "plugin/panel/PanelDrawing.h"
#include "plugin/panel/PanelState.h"

#include <algorithm>
#include <cmath>

using namespace iplug::igraphics;

namespace {
const char* const kTip = "Octave direction for the LOOPS voices: both ways, up only, or down only.";
}

WOctaveDir::WOctaveDir(const IBox& box, int paramIdx) : IControl(box, paramIdx)
{
    SetTooltip(kTip);
}

void WOctaveDir::OnPointerDown(float x, float, const IPointerMods& mods)
{
    if (!mods.left)
        return;
    const int zone = std::clamp(static_cast<int>(std::trunc((x - box.left) / box.W() * 3.0f)), 0, 2);
    panel::Commit(*this, zone * 0.5);
}

void WOctaveDir::Paint(IGraphics& g)
{
    panel::DrawChip(g, box);
    const int selected = static_cast<int>(std::lround(2.0 * ValueAt(0)));
    const float w = box.W() / 3.0f;
    const IArgb ink = panel::ToArgb(palette::kPanelInk);
    for (int i = 0; i < 3; ++i) {
        const IBox zone(box.left + i * w, box.top, box.left + (i + 1) * w, box.bottom);
        if (i == selected)
            panel::DrawChipSelection(g, zone);
        const float cx = (zone.left + zone.right) / 2, cy = (zone.top + zone.bottom) / 2;
        g.StrokeLine(ink, cx, cy - 6, cx, cy + 6, nullptr, 1.5f);
        if (i != 2) {
            g.StrokeLine(ink, cx - 3.5f, cy - 2.5f, cx, cy - 6, nullptr, 1.5f);
            g.StrokeLine(ink, cx + 3.5f, cy - 2.5f, cx, cy - 6, nullptr, 1.5f);
        }
        if (i != 1) {
            g.StrokeLine(ink, cx - 3.5f, cy + 2.5f, cx, cy + 6, nullptr, 1.5f);
            g.StrokeLine(ink, cx + 3.5f, cy + 2.5f, cx, cy + 6, nullptr, 1.5f);
        }
    }
}
