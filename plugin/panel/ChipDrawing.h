#pragma once

#include "framework/graphics/IGraphicsRecords.h"

namespace iplug::igraphics {
class IGraphics;
}

// The look the back panel's chips and choosers share: a rounded chip and a raised selected part.
namespace panel {
void DrawChip(iplug::igraphics::IGraphics& g, const iplug::igraphics::IBox& box);
void DrawChipSelection(iplug::igraphics::IGraphics& g, const iplug::igraphics::IBox& part);
} // namespace panel
