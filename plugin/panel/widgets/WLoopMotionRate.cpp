#include "plugin/panel/widgets/WLoopMotionRate.h"

#include "plugin/panel/PanelState.h"

bool WLoopMotionRate::NeedsRedraw() const
{
    const_cast<WLoopMotionRate&>(*this).DisableIfChanged(panel::Mode(*this) != panel::kLoops);
    return IControl::NeedsRedraw();
}
