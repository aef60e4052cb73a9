#include "plugin/panel/widgets/WModeSwitch.h"

#include "framework/core/IParam.h"
#include "framework/graphics/IGraphics.h"
#include "plugin/panel/PanelDrawing.h"
#include "plugin/panel/PanelState.h"

#include <algorithm>
#include <cmath>

using namespace iplug::igraphics;

void WModeSwitch::OnPointerDown(float x, float, const IPointerMods&)
{
    int nearest = 0;
    for (int k = 1; k < 3; ++k)
        if (std::fabs(x - layout->modeZones[k].CentreX()) < std::fabs(x - layout->modeZones[nearest].CentreX()))
            nearest = k;
    const iplug::IParam* param = BoundParam(0);
    panel::Commit(*this, param ? param->NormalizeValue(nearest) : nearest * 0.5);
}

void WModeSwitch::Paint(IGraphics& g)
{
    const iplug::IParam* param = BoundParam(0);
    const int k = param ? std::clamp(static_cast<int>(param->Value()), 0, 2) : 0;
    g.BlitBitmapFrame(bitmap, panel::ToBox(layout->modeZones[k]), 1, &blend);
}
