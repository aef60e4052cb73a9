#pragma once

#include "framework/graphics/APIBitmap.h"
#include "framework/graphics/IGraphicsRecords.h"

#include <memory>

namespace iplug {
namespace igraphics {

class IControl;

// An offscreen drawing target. It owns its backend bitmap until the bitmap is taken out.
struct IOffscreenLayer
{
    std::unique_ptr<APIBitmap> bitmap;
    IControl* owner = nullptr;
    IBox ownerBox;
    IBox box;
    bool invalid = false;
};

} // namespace igraphics
} // namespace iplug
