#include "plugin/panel/PanelSides.h"

#include "framework/core/IEditorDelegate.h"
#include "framework/core/IParam.h"
#include "framework/graphics/IGraphics.h"
#include "plugin/panel/PluginStatus.h"

using namespace iplug::igraphics;

namespace panel {

void ShowPanelSide(IGraphics& g, bool back)
{
    g.ForEachInGroup(kFaceGroup, [back](IControl* c) { c->SetHidden(back); });
    g.ForEachInGroup(kBackGroup, [back](IControl* c) { c->SetHidden(!back); });
}

void FlipPanelAction::operator()(IControl*) const
{
    if (status)
        status->SetShowBackPanel(back);
    if (graphics)
        ShowPanelSide(*graphics, back);
}

void SeedStepAction::operator()(IControl* pressed) const
{
    iplug::IEditorDelegate* delegate = pressed ? pressed->GetDelegate() : nullptr;
    const iplug::IParam* param = delegate ? delegate->GetParam(paramIdx) : nullptr;
    if (!param)
        return;
    const int lo = static_cast<int>(param->GetMin());
    const int hi = static_cast<int>(param->GetMax());
    const int n = hi - lo + 1;
    if (n <= 0)
        return;
    const int v = static_cast<int>(param->Value());
    const int next = ((v - lo + step) % n + n) % n + lo;
    delegate->SetParamFromEditor(paramIdx, param->NormalizeValue(next));
    if (IGraphics* g = pressed->GetGraphics())
        g->MarkAllControlsDirty();
}

} // namespace panel
