#pragma once

#include "framework/graphics/IGraphicsRecords.h"

namespace iplug {
namespace igraphics {

class IControl;
class IGraphics;

// Mix-in that holds a multi-frame bitmap and draws the frame matching its owner's value.
class IBitmapBase
{
public:
    explicit IBitmapBase(const IBitmapRef& bitmap) : bitmap(bitmap) {}
    virtual ~IBitmapBase() = default;

    // Frame number (from 1) for a value of the owner's first slot.
    static int FrameForValue(double value, int frameCount);
    void PaintFrameForValue(IGraphics& g);
    const IBitmapRef& GetBitmap() const { return bitmap; }
    void SetBitmap(const IBitmapRef& b) { bitmap = b; }

protected:
    IBitmapRef bitmap;
    IControl* owner = nullptr;
};

} // namespace igraphics
} // namespace iplug
