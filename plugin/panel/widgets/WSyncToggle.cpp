#include "plugin/panel/widgets/WSyncToggle.h"

#include "framework/graphics/IGraphics.h"
#include "plugin/panel/PanelDrawing.h"

using namespace iplug::igraphics;

void WSyncToggle::OnPointerDown(float, float, const IPointerMods&)
{
    Flip();
}

void WSyncToggle::Paint(IGraphics& g)
{
    g.BlitBitmapFrame(bitmap, panel::ToBox(layout->syncZones[IsOn() ? 1 : 0]), 1, &blend);
}
