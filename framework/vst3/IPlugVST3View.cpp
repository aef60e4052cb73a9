#include "framework/vst3/IPlugVST3View.h"

#include "framework/graphics/IGraphics.h"
#include "framework/graphics/windows/IGraphicsWin.h"
#include "framework/vst3/IPlugVST3.h"
#include "framework/vst3/InterfaceGuard.h"
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
    CloseHeldEditor();
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
    const tresult result = InterfaceGuard::Run([&] { return AttachEditor(parent); }, kResultFalse);
    // An editor that failed half-way open leaves nothing in the host's window.
    if (result != kResultTrue) {
        CloseHeldEditor();
        owner.ForgetView(this);
        systemWindow = nullptr;
    }
    return result;
}

tresult IPlugVST3View::AttachEditor(void* parent)
{
    // The size last reported, which the host made its frame for.
    const int framedWidth = owner.GetEditorWidth(), framedHeight = owner.GetEditorHeight();
    if (!owner.OpenEditor(parent, nullptr))
        return kResultFalse;
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
    // A view whose editor has moved on to another view's window leaves it to that view.
    CloseHeldEditor();
    owner.ForgetView(this);
    return CPluginView::removed();
}

tresult PLUGIN_API IPlugVST3View::onKeyDown(char16 key, int16 keyCode, int16 modifiers)
{
    igraphics::IKeyStroke stroke;
    if (!Vst3KeyToKeyStroke(static_cast<char16_t>(key), keyCode, modifiers, owner.GetHostCode(), stroke))
        return kResultFalse;
    // A key the editor failed on is left to the host.
    return InterfaceGuard::Run([&] { return owner.OnHostKeyDown(stroke) ? kResultTrue : kResultFalse; }, kResultFalse);
}

tresult PLUGIN_API IPlugVST3View::onKeyUp(char16 key, int16 keyCode, int16 modifiers)
{
    igraphics::IKeyStroke stroke;
    if (!Vst3KeyToKeyStroke(static_cast<char16_t>(key), keyCode, modifiers, owner.GetHostCode(), stroke))
        return kResultFalse;
    return InterfaceGuard::Run([&] { return owner.OnHostKeyUp(stroke) ? kResultTrue : kResultFalse; }, kResultFalse);
}

tresult PLUGIN_API IPlugVST3View::getSize(ViewRect* size)
{
    if (!size)
        return kInvalidArgument;
    if (!owner.HasEditor())
        return kResultFalse;
    return InterfaceGuard::Run([&]() -> tresult {
        if (!owner.GetGraphics())
            owner.PrepareEditorSize(ScreenScaleAtOpening());
        *size = ViewRect(0, 0, owner.GetEditorWidth(), owner.GetEditorHeight());
        return kResultTrue;
    });
}

tresult PLUGIN_API IPlugVST3View::onSize(ViewRect* newSize)
{
    if (!newSize || !owner.IsEditorResizable())
        return kResultFalse;
    rect = *newSize;
    return InterfaceGuard::Run([&]() -> tresult {
        if (HoldsEditor())
            owner.FitEditorToHostSize(newSize->getWidth(), newSize->getHeight());
        return kResultTrue;
    });
}

tresult PLUGIN_API IPlugVST3View::setFrame(IPlugFrame* frame)
{
    plugFrame = frame;
    if (HoldsEditor())
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
    return InterfaceGuard::Run([&]() -> tresult {
        int w = r->getWidth(), h = r->getHeight();
        if (!owner.ClampEditorSize(w, h)) {
            r->right = r->left + w;
            r->bottom = r->top + h;
        }
        return kResultTrue;
    });
}

tresult PLUGIN_API IPlugVST3View::setContentScaleFactor(ScaleFactor factor)
{
    if (!igraphics::IGraphics::ScreenScaleIsSane(factor))
        return kResultFalse;
    hostScale = factor;
    return InterfaceGuard::Run([&]() -> tresult {
        ApplyHostScale();
        return kResultTrue;
    });
}

bool IPlugVST3View::HoldsEditor() const
{
    return owner.GetAttachedView() == this;
}

void IPlugVST3View::CloseHeldEditor() noexcept
{
    if (HoldsEditor())
        iplug::ExceptionBarrier::Run([this] { owner.CloseEditor(); });
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
    if (hostScale <= 0.0f || !HoldsEditor())
        return;
    // From here on the host's factor rules: the window no longer follows its monitor.
    if (auto* win = dynamic_cast<igraphics::IGraphicsWin*>(owner.GetGraphics()))
        win->SetFollowsWindowDpi(false);
    owner.ApplyContentScale(hostScale);
}

} // namespace iplug
