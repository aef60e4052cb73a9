#include "plugin/panel/widgets/WThumbSwitch.h"

#include "framework/graphics/IGraphics.h"
#include "plugin/panel/PanelState.h"

using namespace iplug::igraphics;

WThumbSwitch::WThumbSwitch(const IBox& box, int paramIdx, const IBitmapRef& thumb, const FaceLayout* layout)
    : IControl(box, paramIdx), IBitmapBase(thumb), layout(layout)
{
    owner = this;
}

void WThumbSwitch::OnScaleChanged()
{
    if (graphics)
        bitmap = graphics->ReloadBitmapAtScale(bitmap);
}

void WThumbSwitch::Flip()
{
    panel::Commit(*this, IsOn() ? 0.0 : 1.0);
}
