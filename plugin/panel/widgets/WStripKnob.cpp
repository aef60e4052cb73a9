#include "plugin/panel/widgets/WStripKnob.h"

#include "framework/graphics/IGraphics.h"
#include "plugin/panel/PanelDrawing.h"

using namespace iplug::igraphics;

WStripKnob::WStripKnob(const IBox& box, const IBitmapRef& strip, int paramIdx)
    : IKnobControlBase(box, paramIdx, kDragVertical, kGearing), IBitmapBase(strip)
{
    hidePointerWhileDragging = false;
    owner = this;
}

void WStripKnob::OnScaleChanged()
{
    if (graphics)
        bitmap = graphics->ReloadBitmapAtScale(bitmap);
}

void WStripKnob::PaintAt(IGraphics& g, double value)
{
    panel::DrawStripFrame(g, bitmap, box, value, &blend);
}

void WStripKnob::DisableIfChanged(bool disable)
{
    if (IsDisabled() != disable)
        Disable(disable);
}

void WStripKnob::Paint(IGraphics& g)
{
    PaintAt(g, ValueAt(0));
}

IBox WStripKnob::GetDragBox() const
{
    const float cx = (box.left + box.right) / 2.0f;
    const float cy = (box.top + box.bottom) / 2.0f;
    const float half = kDragSpan / 2.0f;
    return IBox(cx - half, cy - half, cx + half, cy + half);
}
