#pragma once

namespace iplug::igraphics {
class IGraphics;
}
class Quorrel;

// The effect's layout function: scale limits, the corner resizer, fonts, images and every widget
// of the front face and the back panel, then the side the plug-in last showed.
void BuildPanel(iplug::igraphics::IGraphics* graphics, Quorrel* plugin);
