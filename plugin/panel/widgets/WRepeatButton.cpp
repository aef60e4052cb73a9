#include "plugin/panel/widgets/WRepeatButton.h"

#include "framework/graphics/IGraphics.h"
#include "plugin/panel/PanelDrawing.h"
#include "plugin/panel/PanelState.h"

using namespace iplug::igraphics;

namespace {
constexpr float kCorner = 10.0f;
const char* const kHoldTip = "Hold to capture the preceding TIME window. Release to let go.";
const char* const kLatchTip = "Latch the preceding TIME window; press again to release.";
} // namespace

WRepeatButton::WRepeatButton(const IBox& box, int paramIdx, const char* label, bool momentary)
    : IControl(box, paramIdx), label(label), momentary(momentary)
{
    SetTooltip(momentary ? kHoldTip : kLatchTip);
}

bool WRepeatButton::Active() const
{
    return panel::Mode(*this) == panel::kRepeat && panel::NewEngine(*this);
}

void WRepeatButton::Release()
{
    pressed = false;
    panel::Commit(*this, 0.0);
}

bool WRepeatButton::NeedsRedraw() const
{
    auto& self = const_cast<WRepeatButton&>(*this);
    const bool active = Active();
    if (!active && pressed)
        self.Release();
    self.SetIgnoresPointer(!active);
    const int state = active ? 1 : 0;
    if (state == lastState)
        return IControl::NeedsRedraw();
    lastState = state;
    return true;
}

void WRepeatButton::OnPointerDown(float, float, const IPointerMods& mods)
{
    if (!Active() || !mods.left)
        return;
    pressed = momentary;
    panel::Commit(*this, momentary ? 1.0 : (ValueAt(0) > 0.5 ? 0.0 : 1.0));
}

void WRepeatButton::OnPointerUp(float, float, const IPointerMods&)
{
    if (pressed)
        Release();
}

void WRepeatButton::OnPointerOut()
{
    if (momentary && pressed)
        Release();
    IControl::OnPointerOut();
}

void WRepeatButton::Paint(IGraphics& g)
{
    if (!Active())
        return;
    g.SolidRoundedBox(panel::ToArgb(ValueAt(0) > 0.5 ? palette::kButtonOn : palette::kButtonOff), box, kCorner);
    g.OutlineRoundedBox(panel::ToArgb(palette::kPanelInk), box, kCorner, nullptr, 1.0f);
    g.WriteText(panel::TextStyle("Jost-SemiBold", 12, palette::kPanelInk), label, box);
}
