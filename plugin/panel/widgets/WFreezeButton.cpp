#include "plugin/panel/widgets/WFreezeButton.h"

#include "framework/graphics/IGraphics.h"
#include "plugin/panel/PanelDrawing.h"
#include "plugin/panel/PanelState.h"
#include "plugin/panel/PluginStatus.h"

using namespace iplug::igraphics;

namespace {
constexpr float kFrozenWeight = 1.0f;
constexpr float kWaitingWeight = 0.5f;
} // namespace

WFreezeButton::WFreezeButton(const IBox& box, int paramIdx, const IBitmapRef& offImage, const IBitmapRef& onImage,
                             const PluginStatus* status)
    : IControl(box, paramIdx), offImage(offImage), onImage(onImage), status(status)
{}

bool WFreezeButton::Frozen() const
{
    return status && status->LoopFrozen();
}

void WFreezeButton::OnPointerDown(float, float, const IPointerMods&)
{
    panel::Commit(*this, ValueAt(0) > 0.5 ? 0.0 : 1.0);
}

void WFreezeButton::OnScaleChanged()
{
    if (!graphics)
        return;
    offImage = graphics->ReloadBitmapAtScale(offImage);
    onImage = graphics->ReloadBitmapAtScale(onImage);
}

bool WFreezeButton::NeedsRedraw() const
{
    const int mode = panel::Mode(*this);
    const int frozen = Frozen() ? 1 : 0;
    if (mode == lastMode && frozen == lastFrozen)
        return IControl::NeedsRedraw();
    lastMode = mode;
    lastFrozen = frozen;
    const_cast<WFreezeButton&>(*this).SetIgnoresPointer(mode != panel::kLoops);
    return true;
}

void WFreezeButton::Paint(IGraphics& g)
{
    if (panel::Mode(*this) != panel::kLoops)
        return;
    const bool on = ValueAt(0) > 0.5;
    g.BlitBitmapFrame(offImage, box, 1, &blend);
    if (on) {
        IBlendSpec lit;
        lit.mode = kBlendSourceOver;
        lit.weight = Frozen() ? kFrozenWeight : kWaitingWeight;
        g.BlitBitmapFrame(onImage, box, 1, &lit);
    }
    panel::DrawSpacedText(g, panel::TextStyle("Jost-SemiBold", 10, on ? palette::kPanelDark : palette::kPanelInk),
                          "FREEZE", (box.left + box.right) / 2, (box.top + box.bottom) / 2, 0.24f);
}
