#pragma once

#include "framework/graphics/IControl.h"

struct FaceLayout;

// The CHAOS lamp: an amber glow whose strength follows CHAOS.
class WWobbleLamp : public iplug::igraphics::IControl
{
public:
    WWobbleLamp(const iplug::igraphics::IBox& box, int paramIdx, const FaceLayout* layout);

    void Paint(iplug::igraphics::IGraphics& g) override;

private:
    const FaceLayout* layout;
};
