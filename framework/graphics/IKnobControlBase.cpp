#include "framework/graphics/IKnobControlBase.h"

#include "framework/core/IParam.h"
#include "framework/graphics/IGraphics.h"

#include <algorithm>
#include <cmath>

namespace iplug {
namespace igraphics {

IKnobControlBase::IKnobControlBase(const IBox& b, int paramIdx, int axis, double gear, IControlAction fn)
    : IControl(b, paramIdx, std::move(fn)), dragAxis(axis), gearing(gear)
{}

void IKnobControlBase::OnPointerDown(float x, float y, const IPointerMods& mods)
{
    pointerDown = true;
    dragValue = ValueAt(0);
    if (hidePointerWhileDragging && graphics)
        graphics->ShowPointer(true, true);
    IControl::OnPointerDown(x, y, mods);
}

void IKnobControlBase::OnPointerUp(float, float, const IPointerMods&)
{
    if (hidePointerWhileDragging && graphics)
        graphics->ShowPointer(false, false);
    pointerDown = false;
    MarkDirty(false);
}

IBox IKnobControlBase::GetDragBox() const
{
    return targetBox;
}

const IParam* IKnobControlBase::SteppedParam() const
{
    const IParam* param = BoundParam(0);
    return param && param->IsStepped() && param->GetStep() > 0.0 ? param : nullptr;
}

void IKnobControlBase::OnPointerDrag(float, float, float dx, float dy, const IPointerMods& mods)
{
    const double g = gearing * (IsFineAdjust(mods) ? 10.0 : 1.0);
    const IBox b = GetDragBox();
    const double span = dragAxis == kDragVertical ? double(b.top - b.bottom) : double(b.right - b.left);
    const double move = dragAxis == kDragVertical ? double(dy) : double(dx);
    const double step = move / span / g;
    // A box without extent or a zero gearing gives no distance to scale by.
    if (!std::isfinite(step))
        return;
    dragValue = std::clamp(dragValue + step, 0.0, 1.0);
    const IParam* stepped = SteppedParam();
    StoreValue(stepped ? stepped->SnapNormalized(dragValue) : dragValue, 0);
    MarkDirty(true, -1);
}

void IKnobControlBase::OnWheel(float, float, const IPointerMods& mods, float notches)
{
    double v = ValueAt(0);
    if (const IParam* stepped = SteppedParam()) {
        if (notches == 0.0f)
            return;
        const double real = stepped->ClampToRange(stepped->GetShape().Denormalize(v, *stepped));
        v = stepped->NormalizeValue(real + (notches > 0.0f ? stepped->GetStep() : -stepped->GetStep()));
    } else {
        if (!std::isfinite(notches))
            return;
        v += double(notches) * (IsFineAdjust(mods) ? 0.001 : 0.01);
    }
    StoreValue(v, 0);
    MarkDirty(true, -1);
}

} // namespace igraphics
} // namespace iplug
