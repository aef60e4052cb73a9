#pragma once

#ifdef IPLUG_VST3_EDITOR
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

namespace iplug {
namespace igraphics {

// What the drawing context needs of the VST 3 plug-in to show the host's parameter context
// menu: the host's component handler and the open editor view. The plug-in's binding
// implements it; either may be null while there is none.
class IHostContextMenuSource
{
public:
    virtual ~IHostContextMenuSource() = default;
    virtual Steinberg::Vst::IComponentHandler* GetHostComponentHandler() const = 0;
    virtual Steinberg::IPlugView* GetOpenPlugView() const = 0;
};

} // namespace igraphics
} // namespace iplug
#endif
