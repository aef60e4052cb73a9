#include "plugin/WVoiceToggle.h"

#include "framework/graphics/IGraphics.h"
#include "plugin/PanelDrawing.h"
#include "plugin/PanelState.h"

using namespace iplug::igraphics;

WVoiceToggle::WVoiceToggle(const IBox& box, int paramIdx, const IBitmapRef& thumb, const FaceLayout* layout)
    : IControl(box, paramIdx), IBitmapBase(thumb), layout(layout)
{
    owner = this;
}

void WVoiceToggle::OnPointerDown(float, float, const IPointerMods&)
{
    panel::Commit(*this, ValueAt(0) > 0.5 ? 0.0 : 1.0);
}

void WVoiceToggle::OnScaleChanged()
{
    if (graphics)
        bitmap = graphics->ReloadBitmapAtScale(bitmap);
}

void WVoiceToggle::Paint(IGraphics& g)
{
    panel::DrawStripFrame(g, bitmap, panel::ToBox(layout->voiceZones[ValueAt(0) > 0.5 ? 1 : 0]), 0.0, &blend);
}
