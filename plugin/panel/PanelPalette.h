#pragma once

#include <cstdint>

// The panel's colours as (alpha, red, green, blue), shared by the widgets and the image generator.
struct PanelColour
{
    std::uint8_t a;
    std::uint8_t r;
    std::uint8_t g;
    std::uint8_t b;
};

namespace palette {
constexpr PanelColour kPanelInk = {255, 107, 82, 54};
constexpr PanelColour kPanelInkDim = {110, 107, 82, 54};
constexpr PanelColour kPanelInkFaint = {100, 107, 82, 54};
constexpr PanelColour kPanelCream = {255, 242, 201, 140};
constexpr PanelColour kPanelLight = {255, 255, 217, 168};
constexpr PanelColour kPanelAmber = {255, 231, 138, 60};
constexpr PanelColour kPanelDark = {255, 91, 64, 32};
constexpr PanelColour kChipFill = {255, 223, 207, 171};
constexpr PanelColour kChipSelected = {255, 250, 242, 222};
constexpr PanelColour kButtonOn = {255, 234, 190, 120};
constexpr PanelColour kButtonOff = {255, 237, 221, 187};
constexpr PanelColour kTransparent = {0, 0, 0, 0};

// The preset bar's own colours.
constexpr PanelColour kStepperButton = {255, 250, 242, 222};
constexpr PanelColour kStepperOutline = {90, 110, 85, 45};
constexpr PanelColour kStepperChevron = {255, 107, 82, 54};
constexpr PanelColour kStepperPill = {255, 61, 47, 30};
constexpr PanelColour kStepperText = {255, 246, 228, 190};

// The corner resizer under the pointer and while dragged.
constexpr PanelColour kResizerOver = {90, 61, 47, 30};
constexpr PanelColour kResizerDrag = {150, 61, 47, 30};
} // namespace palette
