#pragma once

#include "framework/graphics/IBitmapBase.h"
#include "framework/graphics/IControl.h"

struct FaceLayout;

// What the face's thumb switches share: a thumb image that follows the scale, the face's layout
// record for where the thumb sits, and the flip of a two-way switch.
class WThumbSwitch : public iplug::igraphics::IControl, public iplug::igraphics::IBitmapBase
{
public:
    WThumbSwitch(const iplug::igraphics::IBox& box, int paramIdx, const iplug::igraphics::IBitmapRef& thumb,
                 const FaceLayout* layout);

    void OnScaleChanged() override;

protected:
    // Off when on, on otherwise; any button that reaches the switch flips it.
    void Flip();
    bool IsOn() const { return ValueAt(0) > 0.5; }

    const FaceLayout* layout;
};
