#pragma once

#include "framework/graphics/IBitmapBase.h"
#include "framework/graphics/IControl.h"

struct FaceLayout;

// The drive voice switch: OD on the left, FUZZ on the right; the mode switch's thumb, scaled down.
class WVoiceToggle : public iplug::igraphics::IControl, public iplug::igraphics::IBitmapBase
{
public:
    WVoiceToggle(const iplug::igraphics::IBox& box, int paramIdx, const iplug::igraphics::IBitmapRef& thumb,
                 const FaceLayout* layout);

    void OnPointerDown(float x, float y, const iplug::igraphics::IPointerMods& mods) override;
    void OnScaleChanged() override;
    void Paint(iplug::igraphics::IGraphics& g) override;

private:
    const FaceLayout* layout;
};
