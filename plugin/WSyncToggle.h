#pragma once

#include "framework/graphics/IBitmapBase.h"
#include "framework/graphics/IControl.h"

struct FaceLayout;

// The sync switch: the thumb sits left for free time, right for tempo sync.
class WSyncToggle : public iplug::igraphics::IControl, public iplug::igraphics::IBitmapBase
{
public:
    WSyncToggle(const iplug::igraphics::IBox& box, int paramIdx, const iplug::igraphics::IBitmapRef& thumb,
                const FaceLayout* layout);

    void OnPointerDown(float x, float y, const iplug::igraphics::IPointerMods& mods) override;
    void OnScaleChanged() override;
    void Paint(iplug::igraphics::IGraphics& g) override;

private:
    const FaceLayout* layout;
};
