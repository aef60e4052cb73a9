#pragma once

namespace iplug::igraphics {
class IControl;
}

// What panel widgets read of the plug-in's parameters through a control's delegate, and how they
// commit a user's edit. A control without a delegate reads every parameter as 0.
namespace panel {

constexpr int kTrem = 0;
constexpr int kRepeat = 1;
constexpr int kLoops = 2;

double ParamValue(const iplug::igraphics::IControl& control, int paramIdx);
// MODE truncated: 0 TREM, 1 REPEAT, 2 LOOPS.
int Mode(const iplug::igraphics::IControl& control);
bool Synced(const iplug::igraphics::IControl& control);
// Repeat Engine at 0.5 or above: the new REPEAT engine rather than the legacy echo.
bool NewEngine(const iplug::igraphics::IControl& control);

// Stores the normalised value in slot 0 and sends it on to the host, the engine and the other
// controls bound to the same parameter.
void Commit(iplug::igraphics::IControl& control, double normalised);

} // namespace panel
