#pragma once

namespace iplug::igraphics {
class IGraphics;
}
class PluginPresets;
class PluginStatus;

// The effect's layout function: scale limits, the corner resizer, fonts, images and every widget
// of the front face and the back panel, then the side the plug-in last showed. The widgets reach
// the plug-in through these two and the graphics' delegate only.
void BuildPanel(iplug::igraphics::IGraphics* graphics, PluginPresets* presets, PluginStatus* status);
