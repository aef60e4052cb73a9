#include "plugin/panel/widgets/WVoiceToggle.h"

#include "framework/graphics/IGraphics.h"
#include "plugin/panel/PanelDrawing.h"

using namespace iplug::igraphics;

void WVoiceToggle::OnPointerDown(float, float, const IPointerMods&)
{
    Flip();
}

void WVoiceToggle::Paint(IGraphics& g)
{
    panel::DrawStripFrame(g, bitmap, panel::ToBox(layout->voiceZones[IsOn() ? 1 : 0]), 0.0, &blend);
}
