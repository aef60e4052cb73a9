#include "plugin/panel/widgets/WWellText.h"

#include "framework/core/IParam.h"
#include "plugin/panel/PanelDrawing.h"

#include <algorithm>
#include <cstdio>

using namespace iplug::igraphics;

WWellText::WWellText(const IBox& box, int paramIdx, Formatter formatter, float fontSize, float spacing)
    : IControl(box, paramIdx), formatter(formatter), fontSize(fontSize), spacing(spacing)
{}

void WWellText::FormatSeedText(const iplug::IParam* param, char* buffer, size_t size)
{
    const int seed = param ? std::clamp(static_cast<int>(param->Value()), 0, 99) : 0;
    std::snprintf(buffer, size, "%02d", seed);
}

void WWellText::Paint(IGraphics& g)
{
    char text[16] = {};
    if (formatter)
        formatter(BoundParam(0), text, sizeof text);
    panel::DrawSpacedText(g, panel::TextStyle("Jost-Medium", fontSize, palette::kPanelCream), text,
                          (box.left + box.right) / 2, (box.top + box.bottom) / 2, spacing);
}
