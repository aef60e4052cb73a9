#pragma once

#include <cstddef>

namespace iplug {
class IEditorDelegate;
}
namespace iplug::igraphics {
class IControl;
}
class PluginStatus;

// The panel's view of MACRO: which divisions the synced MACRO knob offers and in which order,
// where the knob stands for a free MACRO value in the time-based modes (linear in time, not in
// the parameter), and the text of the time readout.
namespace macro {

// The sync divisions the panel offers, 0 (1/32) to 15.
constexpr int kDivisionCount = 16;
extern const char* const kDivisionNames[kDivisionCount];

bool IsRepeatTimeMacro(const iplug::igraphics::IControl& control);
bool IsTimeMacro(const iplug::igraphics::IControl& control);
double MacroKnobPosition(const iplug::igraphics::IControl& control);
void SetMacroFromPosition(iplug::igraphics::IControl& control, double position);
// Some of the 16 divisions, held without the heap: the synced knob lists them in its redraw
// check, every frame.
struct DivisionList
{
    int items[kDivisionCount] = {};
    int count = 0;

    size_t size() const { return static_cast<size_t>(count); }
    int operator[](size_t i) const { return items[i]; }
    const int* begin() const { return items; }
    const int* end() const { return items + count; }
};

// Divisions in knob order, left to right; tempo decides which REPEAT divisions stay as they are.
DivisionList& AllowedDivisions(const iplug::igraphics::IControl& control, double tempo, DivisionList& list);
bool DivisionOrderLess(int mode, int a, int b);
double SyncedMacroPosition(const iplug::igraphics::IControl& control, double tempo);
void SetDivisionFromKnob(iplug::igraphics::IControl& control, int division);
// Sync Division truncated and clamped to 0..15.
int SyncDivision(const iplug::igraphics::IControl& control);
// Writes the readout text (cut to size) with a full stop as decimal separator in any locale: the
// parameters as the delegate holds them, the time as the plug-in reports it. Empty without either.
void FormatReadoutText(const iplug::IEditorDelegate* delegate, const PluginStatus* status, char* buffer, size_t size);

} // namespace macro
