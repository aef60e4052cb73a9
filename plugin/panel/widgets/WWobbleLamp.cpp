#include "plugin/panel/widgets/WWobbleLamp.h"

#include "framework/graphics/IGraphics.h"
#include "plugin/panel/PanelDrawing.h"

#include <algorithm>

using namespace iplug::igraphics;

WWobbleLamp::WWobbleLamp(const IBox& box, int paramIdx, const FaceLayout* layout)
    : IControl(box, paramIdx), layout(layout)
{}

void WWobbleLamp::Paint(IGraphics& g)
{
    const float brightness = 0.18f + 0.82f * static_cast<float>(ValueAt(0));
    const float cx = layout->lampCentreX, cy = layout->lampCentreY, r = layout->lampRadius;
    const auto weighted = [](float w) {
        IBlendSpec spec;
        spec.mode = kBlendSourceOver;
        spec.weight = std::clamp(w, 0.0f, 1.0f);
        return spec;
    };
    const IBlendSpec glow = weighted(0.45f * brightness);
    const IBlendSpec core = weighted(brightness);
    g.SolidCircle(panel::ToArgb(palette::kPanelAmber), cx, cy, r + 4, &glow);
    g.SolidCircle(panel::ToArgb(palette::kPanelAmber), cx, cy, r, &core);
    g.SolidCircle(panel::ToArgb(palette::kPanelLight), cx - 0.3f * r, cy - 0.3f * r, 0.45f * r, &core);
}
