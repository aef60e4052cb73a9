#include "plugin/panel/widgets/WRepeatLabel.h"

#include "engine/tables/ParamSpec.h"
#include "framework/graphics/IGraphics.h"
#include "plugin/panel/PanelDrawing.h"
#include "plugin/panel/PanelState.h"

#include <cmath>
#include <cstdio>

using namespace iplug::igraphics;

namespace {
constexpr int kEngineOffset = 1000;

IBox LabelBox(bool back, const FaceLayout* face, const BackLayout* backLayout)
{
    if (back)
        return panel::ToBox(backLayout->countLabelBox);
    const float x = face->repeatLabelCentreX, y = face->repeatLabelCentreY;
    return IBox(x - 45, y - 12.15f, x + 70, y + 17.85f);
}
} // namespace

WRepeatLabel::WRepeatLabel(bool back, const FaceLayout* face, const BackLayout* backLayout)
    : IControl(LabelBox(back, face, backLayout)), backForm(back), centreX(face->repeatLabelCentreX),
      centreY(face->repeatLabelCentreY)
{}

long WRepeatLabel::RoundedCount() const
{
    return std::lround(panel::ParamValue(*this, panel::NewEngine(*this) ? kRepeatCount : kLegacyEchoRepeats));
}

int WRepeatLabel::State() const
{
    return static_cast<int>(RoundedCount()) + (panel::NewEngine(*this) ? kEngineOffset : 0);
}

void WRepeatLabel::Paint(IGraphics& g)
{
    if (backForm) {
        char text[24];
        std::snprintf(text, sizeof text, "%ld", RoundedCount());
        panel::DrawSpacedText(g, panel::TextStyle("Jost-Medium", 18, palette::kPanelInk), text,
                              (box.left + box.right) / 2, (box.top + box.bottom) / 2, 0.0f);
    } else
        panel::DrawSpacedText(g, panel::TextStyle("Jost-SemiBold", 11, palette::kPanelInk),
                              panel::NewEngine(*this) ? "REPEAT" : "ECHO", centreX, centreY, 0.18f);
}

bool WRepeatLabel::NeedsRedraw() const
{
    const int state = State();
    if (state == lastState)
        return IControl::NeedsRedraw();
    lastState = state;
    return true;
}
