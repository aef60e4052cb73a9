#pragma once

#include "framework/graphics/IControl.h"

class PluginStatus;

// The face's time readout: MACRO's time or rate, or the synced division, as the engine plays it.
class WReadout : public iplug::igraphics::IControl
{
public:
    static constexpr size_t kTextLength = 32;

    WReadout(const iplug::igraphics::IBox& box, const PluginStatus* status);

    void Paint(iplug::igraphics::IGraphics& g) override;
    bool NeedsRedraw() const override;

private:
    const PluginStatus* status;
    mutable char lastText[kTextLength] = {};
};
