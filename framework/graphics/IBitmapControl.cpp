#include "framework/graphics/IBitmapControl.h"

#include "framework/graphics/IGraphics.h"

namespace iplug {
namespace igraphics {

IBitmapControl::IBitmapControl(const IBox& b, const IBitmapRef& bmp, int paramIdx, int blendMode)
    : IControl(b, paramIdx, nullptr), IBitmapBase(bmp)
{
    owner = this;
    blend = IBlendSpec{blendMode, 1.0f};
}

void IBitmapControl::Paint(IGraphics& g)
{
    PaintFrameForValue(g);
}

void IBitmapControl::OnScaleChanged()
{
    if (!graphics)
        return;
    // An image that cannot be found again (one loaded from memory) stays as it was.
    IBitmapRef reloaded = graphics->ReloadBitmapAtScale(bitmap);
    if (reloaded.bitmap)
        bitmap = reloaded;
}

} // namespace igraphics
} // namespace iplug
