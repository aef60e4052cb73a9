#include "framework/vst3/IPlugVST3View.h"

#include "framework/graphics/IGraphics.h"
#include "framework/graphics/windows/IGraphicsWin.h"
#include "framework/vst3/IPlugVST3.h"
#include "framework/vst3/Vst3KeyCodes.h"

#include <cstring>

namespace iplug {

using namespace Steinberg;

namespace {

bool IsHwnd(FIDString type)
{
    return type && std::strcmp(type, kPlatformTypeHWND) == 0;
}

} // namespace

IPlugVST3View::IPlugVST3View(IPlugVST3& owner) : owner(owner)
{
    owner.addRef();
}

IPlugVST3View::~IPlugVST3View()
{
    // A view the host made only to ask the size goes without being attached; whichever
    // view goes, the plug-in keeps no pointer to it.
    if (editorOpen)
        owner.CloseEditor();
    owner.ForgetView(this);
    owner.release();
}

tresult PLUGIN_API IPlugVST3View::isPlatformTypeSupported(FIDString type)
{
    return owner.HasEditor() && IsHwnd(type) ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API IPlugVST3View::attached(void* parent, FIDString type)
{
    if (!owner.HasEditor() || !IsHwnd(type) || !parent)
        return kResultFalse;
    // The size last reported, which the host made its frame for.
    const int framedWidth = owner.GetEditorWidth(), framedHeight = owner.GetEditorHeight();
    if (!owner.OpenEditor(parent, nullptr))
        return kResultFalse;
    editorOpen = true;
    systemWindow = parent;
    owner.SetViewFrame(this, plugFrame);
    // The editor opened before the host's frame was known to it, possibly at another size (a
    // scale remembered since, the monitor's, the host's): the frame hears of it through resizeView.
    owner.SetEditorSize(framedWidth, framedHeight);
    ApplyHostScale();
    ShowEditorSizeToHost();
    attachedToParent();
    return kResultTrue;
}

tresult PLUGIN_API IPlugVST3View::removed()
{
    if (editorOpen) {
        owner.CloseEditor();
        editorOpen = false;
    }
    owner.ForgetView(this);
    return CPluginView::removed();
}

tresult PLUGIN_API IPlugVST3View::onKeyDown(char16 key, int16 keyCode, int16 modifiers)
{
    igraphics::IKeyStroke stroke;
    if (!Vst3KeyToKeyStroke(static_cast<char16_t>(key), keyCode, modifiers, owner.GetHostCode(), stroke))
        return kResultFalse;
    return owner.OnHostKeyDown(stroke) ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API IPlugVST3View::onKeyUp(char16 key, int16 keyCode, int16 modifiers)
{
    igraphics::IKeyStroke stroke;
    if (!Vst3KeyToKeyStroke(static_cast<char16_t>(key), keyCode, modifiers, owner.GetHostCode(), stroke))
        return kResultFalse;
    return owner.OnHostKeyUp(stroke) ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API IPlugVST3View::getSize(ViewRect* size)
{
    if (!size)
        return kInvalidArgument;
    if (!owner.HasEditor())
        return kResultFalse;
    if (!owner.GetGraphics())
        owner.PrepareEditorSize(ScreenScaleAtOpening());
    *size = ViewRect(0, 0, owner.GetEditorWidth(), owner.GetEditorHeight());
    return kResultTrue;
}

tresult PLUGIN_API IPlugVST3View::onSize(ViewRect* newSize)
{
    if (!newSize || !owner.IsEditorResizable())
        return kResultFalse;
    rect = *newSize;
    owner.FitEditorToHostSize(newSize->getWidth(), newSize->getHeight());
    return kResultTrue;
}

tresult PLUGIN_API IPlugVST3View::setFrame(IPlugFrame* frame)
{
    plugFrame = frame;
    if (editorOpen)
        owner.SetViewFrame(this, frame);
    return kResultTrue;
}

tresult PLUGIN_API IPlugVST3View::canResize()
{
    return owner.HasEditor() && owner.IsEditorResizable() ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API IPlugVST3View::checkSizeConstraint(ViewRect* r)
{
    if (!r)
        return kInvalidArgument;
    int w = r->getWidth(), h = r->getHeight();
    if (!owner.ClampEditorSize(w, h)) {
        r->right = r->left + w;
        r->bottom = r->top + h;
    }
    return kResultTrue;
}

tresult PLUGIN_API IPlugVST3View::setContentScaleFactor(ScaleFactor factor)
{
    if (!igraphics::IGraphics::ScreenScaleIsSane(factor))
        return kResultFalse;
    hostScale = factor;
    ApplyHostScale();
    return kResultTrue;
}

float IPlugVST3View::ScreenScaleAtOpening() const
{
    return hostScale > 0.0f ? hostScale : 1.0f;
}

void IPlugVST3View::ShowEditorSizeToHost()
{
    igraphics::IGraphics* graphics = owner.GetGraphics();
    if (!graphics)
        return;
    int width = 0, height = 0;
    graphics->WindowPixelSize(width, height);
    owner.ResizeHostWindow(width, height);
}

void IPlugVST3View::ApplyHostScale()
{
    if (hostScale <= 0.0f || !editorOpen)
        return;
    // From here on the host's factor rules: the window no longer follows its monitor.
    if (auto* win = dynamic_cast<igraphics::IGraphicsWin*>(owner.GetGraphics()))
        win->SetFollowsWindowDpi(false);
    owner.ApplyContentScale(hostScale);
}

} // namespace iplug
