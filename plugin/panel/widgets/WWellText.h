#pragma once

#include "framework/graphics/IControl.h"

#include <cstddef>

namespace iplug {
class IParam;
}

// A number shown in cream in one of the panel's dark wells.
class WWellText : public iplug::igraphics::IControl
{
public:
    using Formatter = void (*)(const iplug::IParam* param, char* buffer, size_t size);

    WWellText(const iplug::igraphics::IBox& box, int paramIdx, Formatter formatter, float fontSize, float spacing);

    void Paint(iplug::igraphics::IGraphics& g) override;

    // "%02d" of the value truncated and clamped to 0..99 (0 without a parameter).
    static void FormatSeedText(const iplug::IParam* param, char* buffer, size_t size);

private:
    Formatter formatter;
    float fontSize;
    float spacing;
};
