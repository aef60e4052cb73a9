#include "plugin/panel/widgets/WPaddleSlider.h"

#include "framework/graphics/IGraphics.h"
#include "plugin/panel/PanelDrawing.h"
#include "plugin/panel/PanelState.h"

#include <algorithm>

using namespace iplug::igraphics;

WPaddleSlider::WPaddleSlider(const PaddlePlacement& placement, int paramIdx, const IBitmapRef& paddle)
    : IControl(panel::ToBox(placement.box), paramIdx), IBitmapBase(paddle), placement(placement)
{
    owner = this;
}

void WPaddleSlider::OnPointerDrag(float, float, float, float dy, const IPointerMods& mods)
{
    const double range = placement.travelBottom - placement.travelTop;
    if (range <= 0.0)
        return;
    panel::Commit(*this, std::clamp(ValueAt(0) - dy / range * (mods.Fine() ? kFineFactor : 1.0), 0.0, 1.0));
}

void WPaddleSlider::OnScaleChanged()
{
    if (graphics)
        bitmap = graphics->ReloadBitmapAtScale(bitmap);
}

void WPaddleSlider::Paint(IGraphics& g)
{
    const float v = std::clamp(static_cast<float>(ValueAt(0)), 0.0f, 1.0f);
    const float y = placement.travelBottom + v * (placement.travelTop - placement.travelBottom);
    g.BlitBitmapFrame(bitmap,
                      IBox(placement.trackX, y, placement.trackX + placement.paddleWidth, y + placement.paddleHeight),
                      1, &blend);
}
