#pragma once

#include "framework/graphics/IControl.h"

struct BackLayout;

// Captions of the back panel's REPEAT knobs that change with the engine: form 0 reads DECAY (or
// FEEDBACK under the legacy echo), form 1 FEEDBACK, faint under the legacy echo.
class WDecayLabel : public iplug::igraphics::IControl
{
public:
    WDecayLabel(const BackLayout* layout, int form);

    void Paint(iplug::igraphics::IGraphics& g) override;
    bool NeedsRedraw() const override;

private:
    mutable bool lastEngine = false;
    int form;
};
