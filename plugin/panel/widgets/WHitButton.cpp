#include "plugin/panel/widgets/WHitButton.h"

using namespace iplug::igraphics;

WHitButton::WHitButton(const IBox& box, IControlAction action, int paramIdx)
    : IControl(box, paramIdx, std::move(action))
{}

void WHitButton::OnPointerDown(float, float, const IPointerMods&)
{
    // A copy: the action may rebuild or hide the panel, this control's action included.
    if (IControlAction run = action)
        run(this);
}

void WHitButton::Paint(IGraphics&) {}
