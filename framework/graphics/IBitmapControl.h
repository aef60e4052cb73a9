#pragma once

#include "framework/graphics/IBitmapBase.h"
#include "framework/graphics/IControl.h"

namespace iplug {
namespace igraphics {

// A plain control that shows one bitmap frame per value.
class IBitmapControl : public IControl, public IBitmapBase
{
public:
    IBitmapControl(const IBox& box, const IBitmapRef& bitmap, int paramIdx = -1, int blendMode = kBlendSourceOver);

    void Paint(IGraphics& g) override;
    void OnScaleChanged() override;
};

} // namespace igraphics
} // namespace iplug
