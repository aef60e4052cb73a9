#include "plugin/panel/widgets/WLoopVoices.h"

#include "framework/core/IParam.h"
#include "framework/graphics/IGraphics.h"
#include "plugin/panel/PanelDrawing.h"
#include "plugin/panel/PanelState.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace iplug::igraphics;

namespace {
constexpr int kStops = 6;
const char* const kTip = "1 to 6 loop voices. Voices fade in and out; six preserves the full texture.";
} // namespace

WLoopVoices::WLoopVoices(const IBox& box, int paramIdx) : IControl(box, paramIdx)
{
    SetTooltip(kTip);
}

void WLoopVoices::VoicesFromX(float x)
{
    const iplug::IParam* param = BoundParam(0);
    if (!param)
        return;
    const float t = std::clamp((x - (box.left + kTrackStart)) / kTrackLength, 0.0f, 1.0f);
    const double voices = std::lround(t * (kStops - 1)) + 1;
    panel::Commit(*this, std::clamp(param->GetShape().Normalize(param->ClampToRange(voices), *param), 0.0, 1.0));
}

void WLoopVoices::OnPointerDown(float x, float, const IPointerMods& mods)
{
    if (mods.left)
        VoicesFromX(x);
}

void WLoopVoices::OnPointerDrag(float x, float, float, float, const IPointerMods&)
{
    VoicesFromX(x);
}

void WLoopVoices::Paint(IGraphics& g)
{
    const IArgb ink = panel::ToArgb(palette::kPanelInk);
    const float x0 = box.left + kTrackStart, x1 = x0 + kTrackLength, y = box.top + 14;
    g.StrokeLine(ink, x0, y, x1, y, nullptr, 2.0f);
    for (int i = 0; i < kStops; ++i)
        g.SolidCircle(ink, x0 + i * (x1 - x0) / (kStops - 1), y, 2);
    const iplug::IParam* param = BoundParam(0);
    const int n = param ? static_cast<int>(param->Value()) : 1;
    const float cx = x0 + (n - 1) * (x1 - x0) / (kStops - 1);
    const IBox thumb(cx - 9, y - 10, cx + 9, y + 10);
    g.SolidRoundedBox(panel::ToArgb(palette::kChipSelected), thumb, 5);
    g.OutlineRoundedBox(ink, thumb, 5, nullptr, 1.0f);
    char text[8];
    std::snprintf(text, sizeof text, "%d", n);
    g.WriteText(panel::TextStyle("Jost-Medium", 15, palette::kPanelInk), text,
                IBox(box.left + 245, box.top, box.left + 280, box.bottom));
}
