#pragma once

#include "framework/graphics/IGraphicsRecords.h"
#include "plugin/panel/PanelLayout.h"
#include "plugin/panel/PanelPalette.h"

namespace iplug::igraphics {
class IGraphics;
}

// Drawing routines every panel widget shares, and the conversions from the panel's plain layout
// and palette records to the drawing context's.
namespace panel {

iplug::igraphics::IArgb ToArgb(const PanelColour& c);
iplug::igraphics::IBox ToBox(const PanelRect& r);

// A text style in the panel's defaults (white entry background, black entry text, centred on
// both axes) with the given font, size and colour.
iplug::igraphics::ITextStyle TextStyle(const char* font, float size, const PanelColour& colour);

// The frame of a multi-frame strip for a value in 0..1 (frames rounded to nearest), scaled to
// fill the box. A strip of one frame is always drawn whole.
int StripFrameFor(int frameCount, double value);
void DrawStripFrame(iplug::igraphics::IGraphics& g, const iplug::igraphics::IBitmapRef& strip,
                    const iplug::igraphics::IBox& box, double value, const iplug::igraphics::IBlendSpec* blend);

// One line centred on (centreX, centreY) with spacing times the font size added after every
// character; the space after the last one does not count towards centring.
void DrawSpacedText(iplug::igraphics::IGraphics& g, iplug::igraphics::ITextStyle style, const char* text, float centreX,
                    float centreY, float spacing);

} // namespace panel
