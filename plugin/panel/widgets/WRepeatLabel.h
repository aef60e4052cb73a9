#pragma once

#include "framework/graphics/IControl.h"

struct FaceLayout;
struct BackLayout;

// The face's REPEAT/ECHO caption under the mode switch, or the back's repeat count number; both
// follow the engine choice.
class WRepeatLabel : public iplug::igraphics::IControl
{
public:
    WRepeatLabel(bool back, const FaceLayout* face, const BackLayout* backLayout);

    void Paint(iplug::igraphics::IGraphics& g) override;
    bool NeedsRedraw() const override;

private:
    int State() const;
    long RoundedCount() const;

    bool backForm;
    float centreX;
    float centreY;
    mutable int lastState = -1;
};
