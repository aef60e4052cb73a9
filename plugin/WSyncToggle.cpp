#include "plugin/WSyncToggle.h"

#include "framework/graphics/IGraphics.h"
#include "plugin/PanelDrawing.h"
#include "plugin/PanelState.h"

using namespace iplug::igraphics;

WSyncToggle::WSyncToggle(const IBox& box, int paramIdx, const IBitmapRef& thumb, const FaceLayout* layout)
    : IControl(box, paramIdx), IBitmapBase(thumb), layout(layout)
{
    owner = this;
}

void WSyncToggle::OnPointerDown(float, float, const IPointerMods&)
{
    panel::Commit(*this, ValueAt(0) > 0.5 ? 0.0 : 1.0);
}

void WSyncToggle::OnScaleChanged()
{
    if (graphics)
        bitmap = graphics->ReloadBitmapAtScale(bitmap);
}

void WSyncToggle::Paint(IGraphics& g)
{
    g.BlitBitmapFrame(bitmap, panel::ToBox(layout->syncZones[ValueAt(0) > 0.5 ? 1 : 0]), 1, &blend);
}
