#include "plugin/WLoopMotionRate.h"

#include "plugin/PanelState.h"

bool WLoopMotionRate::NeedsRedraw() const
{
    const_cast<WLoopMotionRate&>(*this).DisableIfChanged(panel::Mode(*this) != panel::kLoops);
    return IControl::NeedsRedraw();
}
