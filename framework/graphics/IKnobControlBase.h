#pragma once

#include "framework/graphics/IControl.h"

namespace iplug {
namespace igraphics {

// Turns pointer drags and wheel turns into changes of the first value slot, with a gearing,
// fine adjustment under ctrl or shift, and snapping to stepped parameters.
class IKnobControlBase : public IControl
{
public:
    IKnobControlBase(const IBox& box, int paramIdx = -1, int dragAxis = kDragVertical, double gearing = 1.5,
                     IControlAction action = nullptr);

    void OnPointerDown(float x, float y, const IPointerMods& mods) override;
    void OnPointerUp(float x, float y, const IPointerMods& mods) override;
    void OnPointerDrag(float x, float y, float dx, float dy, const IPointerMods& mods) override;
    void OnWheel(float x, float y, const IPointerMods& mods, float notches) override;
    // The box whose height (vertical) or width (horizontal) is the full-scale drag distance.
    virtual IBox GetDragBox() const;

    static bool IsFineAdjust(const IPointerMods& mods) { return mods.ctrl || mods.shift; }
    bool IsDragging() const { return pointerDown; }
    double GetDragValue() const { return dragValue; }
    double GetGearing() const { return gearing; }
    void SetGearing(double g) { gearing = g; }

protected:
    // The parameter of slot 0 when it is stepped with a step above 0.
    const IParam* SteppedParam() const;

    bool hidePointerWhileDragging = true;
    int dragAxis;
    double gearing;
    bool pointerDown = false;
    double dragValue = 0.0;
};

} // namespace igraphics
} // namespace iplug
