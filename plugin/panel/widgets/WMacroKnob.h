#pragma once

#include "plugin/panel/widgets/WStripKnob.h"

class PluginStatus;

// The MACRO knob. Free, it edits MACRO, standing for time rather than the raw value in the
// time-based modes; with tempo sync on it binds itself to Sync Division and steps through the
// divisions the current mode allows.
class WMacroKnob : public WStripKnob
{
public:
    static constexpr double kDivisionTravel = 22.5;

    WMacroKnob(const iplug::igraphics::IBox& box, const iplug::igraphics::IBitmapRef& strip,
               const PluginStatus* status);

    void OnPointerDown(float x, float y, const iplug::igraphics::IPointerMods& mods) override;
    void OnPointerDrag(float x, float y, float dx, float dy, const iplug::igraphics::IPointerMods& mods) override;
    void OnWheel(float x, float y, const iplug::igraphics::IPointerMods& mods, float notches) override;
    void Paint(iplug::igraphics::IGraphics& g) override;
    bool NeedsRedraw() const override;

    double DisplayPosition() const;

private:
    double Tempo() const;
    void StepDivision(int steps);
    // Adds a wheel turn to the parts of a notch gathered so far and takes out the whole notches.
    int TakeWholeNotches(float notches);
    void TurnByNotches(float x, float y, const iplug::igraphics::IPointerMods& mods, int notches);

    const PluginStatus* status;
    double dragPosition = 0.0;
    // Parts of a notch from touchpads and fine-step wheels, kept until they make a whole one.
    double pendingNotches = 0.0;
    mutable double lastPosition = -1.0;
    mutable int lastSync = -1;
};
