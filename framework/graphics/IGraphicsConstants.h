#pragma once

#include "framework/graphics/IGraphicsRecords.h"

namespace iplug {
namespace igraphics {

// Stock colours, blends and styles. Every unit that includes this holds its own equal copy.

static const IArgb kTransparent{0, 0, 0, 0};
static const IArgb kFaintShadow{10, 0, 0, 0};
static const IArgb kBlack{255, 0, 0, 0};
static const IArgb kHalfBlack{128, 0, 0, 0};
static const IArgb kGrey{255, 127, 127, 127};
static const IArgb kLightGrey{255, 240, 240, 240};
static const IArgb kMidGrey{255, 200, 200, 200};
static const IArgb kDarkGrey{255, 70, 70, 70};
static const IArgb kWhite{255, 255, 255, 255};
static const IArgb kRed{255, 255, 0, 0};
static const IArgb kGreen{255, 0, 255, 0};
static const IArgb kBlue{255, 0, 0, 255};
static const IArgb kYellow{255, 255, 255, 0};
static const IArgb kOrange{255, 255, 127, 0};
static const IArgb kIndigo{255, 75, 0, 130};
static const IArgb kViolet{255, 148, 0, 211};
static const IArgb kShadow{60, 0, 0, 0};

static const IBlendSpec kBlend75{kBlendSourceOver, 0.75f};
static const IBlendSpec kBlend50{kBlendSourceOver, 0.5f};
static const IBlendSpec kBlend25{kBlendSourceOver, 0.25f};
static const IBlendSpec kBlend10{kBlendSourceOver, 0.1f};
static const IBlendSpec kBlend05{kBlendSourceOver, 0.05f};
static const IBlendSpec kBlend01{kBlendSourceOver, 0.01f};
static const IBlendSpec kBlendMask{kBlendDestIn, 1.0f};
static const IBlendSpec kBlendUnder{kBlendDestOver, 1.0f};

static const ITextStyle kDefaultTextStyle{"Roboto-Regular", 14.0f, kBlack, kAlignCentre, kAlignMiddle};

inline IWidgetStyle MakeDefaultWidgetStyle()
{
    IWidgetStyle style;
    style.colours =
        IRoleColours({kTransparent, kMidGrey, kLightGrey, kDarkGrey, kFaintShadow, kShadow, kBlack, kGreen, kBlue});
    style.titleStyle = ITextStyle("Roboto-Regular", 19.0f, kBlack, kAlignCentre, kAlignTop);
    style.valueStyle = ITextStyle("Roboto-Regular", 14.0f, kBlack, kAlignCentre, kAlignBottom);
    return style;
}

static const IWidgetStyle kDefaultWidgetStyle = MakeDefaultWidgetStyle();

} // namespace igraphics
} // namespace iplug
