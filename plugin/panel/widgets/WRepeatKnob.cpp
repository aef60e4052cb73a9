#include "plugin/panel/widgets/WRepeatKnob.h"

#include "framework/core/IParam.h"
#include "plugin/panel/PanelState.h"

using namespace iplug::igraphics;

WRepeatKnob::WRepeatKnob(const IBox& box, const IBitmapRef& strip, int primaryParam, int legacyParam)
    : WStripKnob(box, strip, primaryParam), primaryParam(primaryParam), legacyParam(legacyParam)
{}

bool WRepeatKnob::NeedsRedraw() const
{
    auto& self = const_cast<WRepeatKnob&>(*this);
    const bool newEngine = panel::NewEngine(*this);
    const bool usesLegacy = !newEngine && legacyParam >= 0;
    const int target = usesLegacy ? legacyParam : primaryParam;
    self.DisableIfChanged(!usesLegacy && !newEngine);
    if (BoundParamIndex(0) == target)
        return IControl::NeedsRedraw();
    self.BindParam(target, 0);
    if (const iplug::IParam* param = BoundParam(0))
        self.SetValueFromHost(param->GetNormalized(), 0);
    return true;
}
