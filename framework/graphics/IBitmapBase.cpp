#include "framework/graphics/IBitmapBase.h"

#include "framework/graphics/IControl.h"
#include "framework/graphics/IGraphics.h"

#include <algorithm>
#include <cmath>

namespace iplug {
namespace igraphics {

int IBitmapBase::FrameForValue(double value, int frameCount)
{
    if (frameCount <= 1 || !std::isfinite(value))
        return 1;
    const double position = std::clamp(value, 0.0, 1.0) * double(frameCount - 1) + 0.5;
    return std::clamp(int(position) + 1, 1, frameCount);
}

void IBitmapBase::PaintFrameForValue(IGraphics& g)
{
    // A bitmap that failed to load has no frames to show.
    if (!owner || !bitmap.IsValid())
        return;
    const int n = bitmap.frameCount;
    const int frame = FrameForValue(owner->ValueAt(0), n);
    const int frameW = bitmap.framesHorizontal ? bitmap.width / n : bitmap.width;
    const int frameH = bitmap.framesHorizontal ? bitmap.height : bitmap.height / n;
    const IBox& b = owner->GetBox();
    const float left = b.MW() - float(frameW) * 0.5f;
    const float top = b.MH() - float(frameH) * 0.5f;
    g.BlitBitmapFrame(bitmap, IBox(left, top, left + float(frameW), top + float(frameH)), frame, &owner->GetBlend());
}

} // namespace igraphics
} // namespace iplug
