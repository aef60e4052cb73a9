#include "plugin/panel/PanelState.h"

#include "engine/tables/ParamSpec.h"
#include "framework/core/IEditorDelegate.h"
#include "framework/core/IParam.h"
#include "framework/graphics/IControl.h"

namespace panel {

double ParamValue(const iplug::igraphics::IControl& control, int paramIdx)
{
    iplug::IEditorDelegate* delegate = control.GetDelegate();
    if (!delegate)
        return 0.0;
    const iplug::IParam* param = delegate->GetParam(paramIdx);
    return param ? param->Value() : 0.0;
}

int Mode(const iplug::igraphics::IControl& control)
{
    return static_cast<int>(ParamValue(control, kMode));
}

bool Synced(const iplug::igraphics::IControl& control)
{
    return ParamValue(control, kSync) > 0.5;
}

bool NewEngine(const iplug::igraphics::IControl& control)
{
    return ParamValue(control, kRepeatEngine) >= 0.5;
}

void Commit(iplug::igraphics::IControl& control, double normalised)
{
    control.StoreValue(normalised, 0);
    control.MarkDirty(true, -1);
}

} // namespace panel
