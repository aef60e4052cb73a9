#include "framework/graphics/IControl.h"

#include "framework/core/IEditorDelegate.h"
#include "framework/core/IParam.h"
#include "framework/graphics/IGraphics.h"

#include <algorithm>
#include <cmath>

namespace iplug {
namespace igraphics {

IControl::IControl(const IBox& b, int paramIdx, IControlAction fn)
    : box(b), targetBox(b), action(std::move(fn)), valueSlots(1, IValueSlot{paramIdx, 0.0}), mappedHandlers(8)
{}

IControl::~IControl() = default;

#ifdef IPLUG_VST3_EDITOR
Steinberg::tresult PLUGIN_API IControl::executeMenuItem(Steinberg::int32 tag)
{
    OnContextItemChosen(int(tag));
    return Steinberg::kResultOk;
}

void ReleaseControl(IControl* control)
{
    if (!control)
        return;
    // The host may still hold the control through an open menu: it must not reach the drawing
    // context or the delegate it was attached to after they are gone.
    control->Attach(nullptr, nullptr);
    control->release();
}
#else
void ReleaseControl(IControl* control)
{
    delete control;
}
#endif

void IControl::OnPointerDown(float x, float y, const IPointerMods& mods)
{
    if (!mods.right)
        return;
    const int valIdx = ValueIndexAt(x, y);
    if (valIdx < 0 || BoundParamIndex(valIdx) < 0 || promptDisabled || !graphics)
        return;
    const IParam* param = BoundParam(valIdx);
    IBox promptBox = box;
    if (param && param->DisplayTextCount() == 0)
        promptBox = IBox(box.MW() - 20.0f, box.MH() - 8.0f, box.MW() + 20.0f, box.MH() + 8.0f);
    graphics->AskForParamValue(this, promptBox, valIdx);
    MarkDirty(false);
}

void IControl::OnPointerUp(float, float, const IPointerMods&) {}
void IControl::OnPointerDrag(float, float, float, float, const IPointerMods&) {}

void IControl::OnPointerDoubleClick(float x, float y, const IPointerMods&)
{
    ResetToDefault(ValueIndexAt(x, y));
}

void IControl::OnWheel(float, float, const IPointerMods&, float) {}
bool IControl::OnKeyDown(float, float, const IKeyStroke&)
{
    return false;
}
bool IControl::OnKeyUp(float, float, const IKeyStroke&)
{
    return false;
}

void IControl::OnPointerOver(float, float, const IPointerMods&)
{
    if (!pointerOver) {
        pointerOver = true;
        MarkDirty(false);
    }
}

void IControl::OnPointerOut()
{
    if (pointerOver) {
        pointerOver = false;
        MarkDirty(false);
    }
}

void IControl::ReservedHook() {}
void IControl::OnDropPath(const char*) {}

void IControl::OnDropPaths(const std::vector<const char*>& paths)
{
    if (!paths.empty())
        OnDropPath(paths.front());
}

void IControl::OnScaleChanged() {}
void IControl::OnBoxChanged() {}
void IControl::OnBeforeAdd() {}
void IControl::OnAdded() {}
void IControl::OnDelegateMessage(int, int, const void*) {}
void IControl::OnMidiMessage(const IMidiEvent&) {}

bool IControl::RunMappedHandler(const IMappedEvent& event)
{
    const auto found = mappedHandlers.find(event.kind);
    if (found == mappedHandlers.end() || !found->second)
        return false;
    lastHandledKind = event.kind;
    found->second(this, event);
    return true;
}

void IControl::FillContextMenu(IPopupMenu&) {}

void IControl::OnMenuItemChosen(IPopupMenu* chosen, int valIdx)
{
    if (!chosen || valIdx < 0 || BoundParamIndex(valIdx) < 0 || promptDisabled)
        return;
    const IParam* param = BoundParam(0);
    if (!param)
        return;
    SetValueFromUser(param->NormalizeValue(double(chosen->GetChosenIndex())), valIdx);
}

void IControl::ReservedHook2() {}
void IControl::OnTextEntered(const char*, int) {}
void IControl::OnContextItemChosen(int) {}

void IControl::PaintHighlightDot(IGraphics& g)
{
    if (highlightOn)
        g.SolidCircle(highlightColour, targetBox.right - 5.0f, targetBox.top + 5.0f, 2.0f);
}

void IControl::BindParam(int paramIdx, int valIdx)
{
    if (!HasSlot(valIdx))
        return;
    valueSlots[size_t(valIdx)].paramIdx = paramIdx;
    MarkDirty(false);
}

int IControl::ValueIndexAt(float, float) const
{
    return NValueSlots() == 1 ? 0 : -1;
}

void IControl::SetValueFromHost(double normalised, int valIdx)
{
    if (!HasSlot(valIdx))
        return;
    if (graphics && graphics->IsCaptured(this))
        return;
    if (valueSlots[size_t(valIdx)].value != normalised) {
        StoreValue(normalised, valIdx);
        MarkDirty(false);
    }
}

void IControl::SetValueFromUser(double normalised, int valIdx)
{
    if (!HasSlot(valIdx))
        return;
    if (valueSlots[size_t(valIdx)].value != normalised) {
        StoreValue(normalised, valIdx);
        MarkDirty(true, valIdx);
    }
}

void IControl::ResetToDefault(int valIdx)
{
    if (NValueSlots() == 1)
        valIdx = 0;
    for (int i = 0; i < NValueSlots(); ++i) {
        if (valIdx >= 0 && i != valIdx)
            continue;
        if (const IParam* param = BoundParam(i))
            valueSlots[size_t(i)].value = param->GetDefaultValue(true);
    }
    MarkDirty(true, valIdx);
}

void IControl::StoreValue(double value, int valIdx)
{
    if (HasSlot(valIdx))
        valueSlots[size_t(valIdx)].value = value;
}

void IControl::SetTextStyle(const ITextStyle& style)
{
    textStyle = style;
}

void IControl::MoveTo(float x, float y)
{
    x = std::max(x, 0.0f);
    y = std::max(y, 0.0f);
    const float dx = targetBox.left - box.left;
    const float dy = targetBox.top - box.top;
    const float tw = targetBox.W();
    const float th = targetBox.H();
    box = IBox(x, y, x + box.W(), y + box.H());
    pointerOver = false;
    OnBoxChanged();
    targetBox = IBox(box.left + dx, box.top + dy, box.left + dx + tw, box.top + dy + th);
}

void IControl::ResizeTo(float w, float h)
{
    w = std::max(w, 0.0f);
    h = std::max(h, 0.0f);
    box = IBox(box.left, box.top, box.left + w, box.top + h);
    targetBox = box;
    pointerOver = false;
    OnBoxChanged();
}

void IControl::SetHidden(bool hide)
{
    hidden = hide;
    MarkDirty(false);
}

void IControl::Disable(bool disable)
{
    disabled = disable;
    blend.weight = disable ? 0.25f : 1.0f;
    MarkDirty(false);
}

void IControl::SetIgnoresPointer(bool ignore)
{
    ignoresPointer = ignore;
}

bool IControl::ContainsPoint(float x, float y) const
{
    return targetBox.Contains(x, y);
}

void IControl::MarkDirty(bool triggerAction, int valIdx)
{
    if (NValueSlots() == 1)
        valIdx = 0;
    if (valIdx >= NValueSlots())
        return;
    for (int i = 0; i < NValueSlots(); ++i) {
        if (valIdx < 0 || i == valIdx) {
            const double v = valueSlots[size_t(i)].value;
            StoreValue(std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0), i);
        }
    }
    dirty = true;
    if (!triggerAction)
        return;
    for (int i = 0; i < NValueSlots(); ++i) {
        if ((valIdx < 0 || i == valIdx) && BoundParamIndex(i) > -1) {
            if (graphics)
                graphics->OnControlEdit(this, BoundParamIndex(i));
            if (delegate)
                delegate->SetParamFromEditor(BoundParamIndex(i), ValueAt(i));
            if (graphics)
                graphics->SyncPeerControls(this, i);
        }
    }
    if (action)
        action(this);
}

void IControl::MarkClean()
{
    dirty = false;
}

bool IControl::NeedsRedraw() const
{
    return animationFunction ? true : dirty;
}

void IControl::ReservedHook3() {}

bool IControl::WantsMappedHandlers() const
{
    return !mappedHandlers.empty() && !animationFunction;
}

void IControl::SetValueFromPoint(float x, float y, int axis, const IBox& bounds, int valIdx, double lo, double hi)
{
    if (valIdx < -1 || valIdx >= NValueSlots())
        return;
    const float w = bounds.W();
    const float h = bounds.H();
    // A box without extent along the axis gives no position to read.
    if ((axis == kDragVertical && !(h > 0.0f)) || (axis != kDragVertical && !(w > 0.0f)))
        return;
    x = std::clamp(x, bounds.left, bounds.right);
    y = std::clamp(y, bounds.top, bounds.bottom);
    const float v = axis == kDragVertical ? 1.0f - (y - bounds.top) / h : (x - bounds.left) / w;
    const double stored = std::clamp(std::round(double(v) / 0.001) * 0.001, lo, hi);
    for (int i = 0; i < NValueSlots(); ++i)
        if (valIdx == -1 || i == valIdx)
            StoreValue(stored, i);
    MarkDirty(true, valIdx);
}

void IControl::OnAnimationEnd()
{
    animationFunction = nullptr;
    MarkDirty(false);
    if (animationEndFunction)
        animationEndFunction(this);
}

double IControl::ValueAt(int valIdx) const
{
    return HasSlot(valIdx) ? valueSlots[size_t(valIdx)].value : 0.0;
}

int IControl::BoundParamIndex(int valIdx) const
{
    return HasSlot(valIdx) ? valueSlots[size_t(valIdx)].paramIdx : -1;
}

IParam* IControl::BoundParam(int valIdx) const
{
    const int idx = BoundParamIndex(valIdx);
    if (idx < 0 || !delegate)
        return nullptr;
    return delegate->GetParam(idx);
}

int IControl::SlotForParam(int paramIdx) const
{
    for (int i = 0; i < NValueSlots(); ++i)
        if (valueSlots[size_t(i)].paramIdx == paramIdx)
            return i;
    return -1;
}

void IControl::StepAnimation()
{
    if (animationFunction)
        animationFunction(this);
}

void IControl::SetValueSlotCount(int count)
{
    valueSlots.resize(size_t(std::max(count, 1)));
}

} // namespace igraphics
} // namespace iplug
