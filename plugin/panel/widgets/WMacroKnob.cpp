#include "plugin/panel/widgets/WMacroKnob.h"

#include "engine/tables/ParamSpec.h"
#include "framework/core/IParam.h"
#include "plugin/panel/MacroDisplay.h"
#include "plugin/panel/PanelState.h"
#include "plugin/panel/PluginStatus.h"

#include <algorithm>
#include <cmath>

using namespace iplug::igraphics;

namespace {
constexpr double kTimeTravel = 180.0;
constexpr double kFineTimeFactor = 10.0;
constexpr double kFineDivisionFactor = 0.25;
constexpr double kWheelStep = 0.01;
constexpr double kFineWheelStep = 0.001;
constexpr double kNotchSlack = 1e-4;
constexpr float kMaxNotches = 1000.0f;
} // namespace

WMacroKnob::WMacroKnob(const IBox& box, const IBitmapRef& strip, const PluginStatus* status)
    : WStripKnob(box, strip, kMacro), status(status)
{}

double WMacroKnob::Tempo() const
{
    return status ? status->Tempo() : 120.0;
}

double WMacroKnob::DisplayPosition() const
{
    return panel::Synced(*this) ? macro::SyncedMacroPosition(*this, Tempo()) : macro::MacroKnobPosition(*this);
}

bool WMacroKnob::NeedsRedraw() const
{
    // The drawing context asks before every frame; the knob follows Sync here.
    auto& self = const_cast<WMacroKnob&>(*this);
    const int synced = panel::Synced(*this) ? 1 : 0;
    if (synced != lastSync) {
        lastSync = synced;
        // Parts of a notch gathered for the other parameter mean nothing for this one.
        self.pendingNotches = 0.0;
        self.BindParam(synced ? kSyncDivision : kMacro, 0);
        if (const iplug::IParam* param = BoundParam(0))
            self.SetValueFromHost(param->GetNormalized(), 0);
        return true;
    }
    if (const iplug::IParam* param = BoundParam(0))
        self.SetValueFromHost(param->GetNormalized(), 0);
    const double position = DisplayPosition();
    if (position == lastPosition)
        return IControl::NeedsRedraw();
    lastPosition = position;
    return true;
}

void WMacroKnob::OnPointerDown(float x, float y, const IPointerMods& mods)
{
    IKnobControlBase::OnPointerDown(x, y, mods);
    dragPosition = DisplayPosition();
}

void WMacroKnob::OnPointerDrag(float x, float y, float dx, float dy, const IPointerMods& mods)
{
    const bool fine = mods.Fine();
    if (macro::IsTimeMacro(*this)) {
        dragPosition = std::clamp(dragPosition - dy / ((fine ? kFineTimeFactor : 1.0) * kTimeTravel), 0.0, 1.0);
        macro::SetMacroFromPosition(*this, dragPosition);
    } else if (panel::Synced(*this)) {
        macro::DivisionList list;
        macro::AllowedDivisions(*this, Tempo(), list);
        const int m = static_cast<int>(list.size()) - 1;
        if (m <= 0)
            return;
        dragPosition =
            std::clamp(dragPosition - dy * (fine ? kFineDivisionFactor : 1.0) / (m * kDivisionTravel), 0.0, 1.0);
        macro::SetDivisionFromKnob(*this, list[static_cast<size_t>(std::lround(dragPosition * m))]);
    } else
        IKnobControlBase::OnPointerDrag(x, y, dx, dy, mods);
}

void WMacroKnob::StepDivision(int steps)
{
    macro::DivisionList list;
    macro::AllowedDivisions(*this, Tempo(), list);
    const int m = static_cast<int>(list.size()) - 1;
    if (m < 0)
        return;
    const int k =
        std::clamp(static_cast<int>(std::lround(m * macro::SyncedMacroPosition(*this, Tempo()))) + steps, 0, m);
    macro::SetDivisionFromKnob(*this, list[static_cast<size_t>(k)]);
}

int WMacroKnob::TakeWholeNotches(float notches)
{
    // A turn the other way starts afresh: what was left of the last direction is dropped.
    if ((notches > 0.0f && pendingNotches < 0.0) || (notches < 0.0f && pendingNotches > 0.0))
        pendingNotches = 0.0;
    pendingNotches += notches;
    // Fractions that should add up to a notch (ten tenths) may fall a rounding error short.
    const double whole = std::trunc(pendingNotches + (pendingNotches > 0.0 ? kNotchSlack : -kNotchSlack));
    pendingNotches -= whole;
    return static_cast<int>(whole);
}

void WMacroKnob::OnWheel(float x, float y, const IPointerMods& mods, float notches)
{
    if (!std::isfinite(notches))
        return;
    // MACRO moves by whole notches only, so a light touch on a touchpad changes nothing. The
    // limit lies far beyond any real wheel and keeps the count within an int.
    if (const int whole = TakeWholeNotches(std::clamp(notches, -kMaxNotches, kMaxNotches)))
        TurnByNotches(x, y, mods, whole);
}

void WMacroKnob::TurnByNotches(float x, float y, const IPointerMods& mods, int notches)
{
    if (macro::IsTimeMacro(*this))
        macro::SetMacroFromPosition(*this, macro::MacroKnobPosition(*this)
                                               + notches * (mods.Fine() ? kFineWheelStep : kWheelStep));
    else if (panel::Synced(*this))
        StepDivision(notches > 0 ? 1 : -1);
    else
        IKnobControlBase::OnWheel(x, y, mods, static_cast<float>(notches));
}

void WMacroKnob::Paint(IGraphics& g)
{
    PaintAt(g, DisplayPosition());
}
