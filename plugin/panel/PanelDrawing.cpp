#include "plugin/panel/PanelDrawing.h"

#include "framework/graphics/IGraphics.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace iplug::igraphics;

namespace panel {

IArgb ToArgb(const PanelColour& c)
{
    return IArgb(c.a, c.r, c.g, c.b);
}

IBox ToBox(const PanelRect& r)
{
    return IBox(r.left, r.top, r.right, r.bottom);
}

ITextStyle TextStyle(const char* font, float size, const PanelColour& colour)
{
    ITextStyle style(font, size, ToArgb(colour), kAlignCentre, kAlignMiddle);
    style.entryBackground = IArgb(255, 255, 255, 255);
    style.entryText = IArgb(255, 0, 0, 0);
    style.angle = 0.0f;
    return style;
}

int StripFrameFor(int frameCount, double value)
{
    if (frameCount <= 1)
        return 1;
    const double frame = std::trunc((frameCount - 1) * value + 0.5) + 1.0;
    if (!(frame >= 1.0))
        return 1;
    return frame > frameCount ? frameCount : static_cast<int>(frame);
}

void DrawStripFrame(IGraphics& g, const IBitmapRef& strip, const IBox& box, double value, const IBlendSpec* blend)
{
    const int n = strip.frameCount;
    const int frame = StripFrameFor(n, value);
    const int fw = n > 1 && strip.framesHorizontal ? strip.width / n : strip.width;
    const int fh = n > 1 && !strip.framesHorizontal ? strip.height / n : strip.height;
    if (fw <= 0 || fh <= 0)
        return;
    g.SaveTransform();
    g.TranslateTransform(box.left, box.top);
    g.ScaleTransform(box.W() / fw, box.H() / fh);
    g.BlitBitmapFrame(strip, IBox(0, 0, float(fw), float(fh)), frame, blend);
    g.RestoreTransform();
}

void DrawSpacedText(IGraphics& g, ITextStyle style, const char* text, float centreX, float centreY, float spacing)
{
    if (!text || !*text)
        return;
    style.hAlign = kAlignLeft;
    style.vAlign = kAlignMiddle;
    const float extra = spacing * style.size;
    const size_t count = std::strlen(text);
    float widths[256];
    const size_t measured = std::min(count, sizeof widths / sizeof widths[0]);
    float total = 0.0f;
    char one[2] = {0, 0};
    for (size_t i = 0; i < measured; ++i) {
        one[0] = text[i];
        IBox bounds;
        widths[i] = g.TextExtent(style, one, bounds);
        total += widths[i] + extra;
    }
    if (total <= 0.0f)
        return;
    float x = centreX - (total - extra) / 2.0f;
    for (size_t i = 0; i < measured; ++i) {
        one[0] = text[i];
        g.WriteText(style, one, IBox(x, centreY - style.size, x + widths[i], centreY + style.size));
        x += widths[i] + extra;
    }
}

} // namespace panel
