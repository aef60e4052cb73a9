#pragma once

#include <cstddef>
#include <vector>

namespace iplug::igraphics {
class IControl;
}
class Quorrel;

// The panel's view of MACRO: which divisions the synced MACRO knob offers and in which order,
// where the knob stands for a free MACRO value in the time-based modes (linear in time, not in
// the parameter), and the text of the time readout.
namespace macro {

extern const char* const kDivisionNames[16];

bool IsRepeatTimeMacro(const iplug::igraphics::IControl& control);
bool IsTimeMacro(const iplug::igraphics::IControl& control);
double MacroKnobPosition(const iplug::igraphics::IControl& control);
void SetMacroFromPosition(iplug::igraphics::IControl& control, double position);
// Divisions in knob order, left to right; tempo decides which REPEAT divisions stay as they are.
std::vector<int>& AllowedDivisions(const iplug::igraphics::IControl& control, double tempo, std::vector<int>& list);
bool DivisionOrderLess(int mode, int a, int b);
double SyncedMacroPosition(const iplug::igraphics::IControl& control, double tempo);
void SetDivisionFromKnob(iplug::igraphics::IControl& control, int division);
// Sync Division truncated and clamped to 0..15.
int SyncDivision(const iplug::igraphics::IControl& control);
// Writes the readout text (cut to size) with a full stop as decimal separator in any locale.
void FormatReadoutText(const Quorrel* plugin, char* buffer, size_t size);

} // namespace macro
