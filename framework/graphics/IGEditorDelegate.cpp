#include "framework/graphics/IGEditorDelegate.h"

#include "framework/core/ExceptionBarrier.h"
#include "framework/core/IStateBuffer.h"
#include "framework/graphics/IControl.h"
#include "framework/graphics/IGraphics.h"

#include <cmath>

namespace iplug {
namespace igraphics {

IGEditorDelegate::IGEditorDelegate(int nParams) : IEditorDelegate(nParams) {}

IGEditorDelegate::~IGEditorDelegate()
{
    // The derived links that send edits to the host are gone by now.
    if (graphics)
        graphics->AbandonGestures();
    IGraphics::Dispose(graphics);
    graphics = nullptr;
}

void* IGEditorDelegate::OpenEditor(void* parent, void* context)
{
    try {
        if (!graphics) {
            graphics = BuildGraphicsContext();
            if (graphics && savedWidth != 0 && savedHeight != 0 && savedScale != 0.0f)
                graphics->ResizeEditor(savedWidth, savedHeight, savedScale, true);
        }
        return graphics ? graphics->OpenPlatformWindow(parent) : nullptr;
    } catch (...) {
        // An open that failed part-way (a layout or an opening hook that threw) leaves no
        // half-made editor in the host's window.
        CloseEditor();
        throw;
    }
}

void IGEditorDelegate::CloseEditor()
{
    // A host may close again from inside the closing hook; the first close finishes alone.
    if (closingEditor)
        return;
    closingEditor = true;
    // The window goes whatever the hook does: a close is never refused.
    ExceptionBarrier::Run([this] { OnEditorClosing(); });
    if (graphics) {
        savedWidth = graphics->Width();
        savedHeight = graphics->Height();
        savedScale = graphics->GetDrawScale();
        graphics->ClosePlatformWindow();
        IGraphics* closed = graphics;
        graphics = nullptr;
        // Closed from inside one of the editor's modal loops (a host's timer or window fires
        // there), the drawing context goes only when the loop and its caller have returned.
        IGraphics::Dispose(closed);
    }
    closingEditor = false;
}

void IGEditorDelegate::FitEditorToHostSize(int width, int height)
{
    if (!graphics)
        return;
    IGraphics::InUse use(*graphics);
    graphics->OnHostResize(width, height);
}

bool IGEditorDelegate::OnHostKeyDown(const IKeyStroke& key)
{
    IGraphics* g = graphics;
    if (!g)
        return false;
    IGraphics::InUse use(*g);
    float x = 0.0f, y = 0.0f;
    g->GetPointerPosition(x, y);
    return g->OnKeyDown(x, y, key);
}

bool IGEditorDelegate::OnHostKeyUp(const IKeyStroke& key)
{
    IGraphics* g = graphics;
    if (!g)
        return false;
    IGraphics::InUse use(*g);
    float x = 0.0f, y = 0.0f;
    g->GetPointerPosition(x, y);
    return g->OnKeyUp(x, y, key);
}

void IGEditorDelegate::PushControlValue(int ctrlTag, double normalised)
{
    if (!graphics)
        return;
    IGraphics::InUse use(*graphics);
    if (IControl* control = graphics->FindControlByTag(ctrlTag))
        control->SetValueFromHost(normalised, 0);
}

void IGEditorDelegate::PushControlMessage(int ctrlTag, int msgTag, int dataSize, const void* data)
{
    if (!graphics)
        return;
    IGraphics::InUse use(*graphics);
    if (IControl* control = graphics->FindControlByTag(ctrlTag))
        control->OnDelegateMessage(msgTag, dataSize, data);
}

void IGEditorDelegate::PushMidiToEditor(const IMidiEvent& msg)
{
    if (IGraphics* g = graphics) {
        IGraphics::InUse use(*g);
        for (int i = 0; i < g->NControls(); ++i) {
            IControl* control = g->GetControl(i);
            if (control && control->TakesMidi())
                control->OnMidiMessage(msg);
        }
    }
    OnEditorMidi(msg);
}

void IGEditorDelegate::PushParamValueToEditor(int paramIdx, double value, bool isNormalised)
{
    if (IGraphics* g = graphics) {
        IGraphics::InUse use(*g);
        if (!isNormalised) {
            if (const IParam* param = GetParam(paramIdx))
                value = param->NormalizeValue(value);
        }
        for (int i = 0; i < g->NControls(); ++i) {
            IControl* control = g->GetControl(i);
            if (!control)
                continue;
            for (int slot = 0; slot < control->NValueSlots(); ++slot) {
                if (control->BoundParamIndex(slot) == paramIdx)
                    control->SetValueFromHost(value, slot);
            }
        }
    }
    OnEditorParamChange(paramIdx, kOriginDelegate);
}

bool IGEditorDelegate::SaveEditorState(IStateBuffer& state) const
{
    const int32_t width = graphics ? graphics->Width() : savedWidth;
    const int32_t height = graphics ? graphics->Height() : savedHeight;
    const float scale = graphics ? graphics->GetDrawScale() : savedScale;
    bool ok = state.Put(width);
    ok = ok && state.Put(height);
    ok = ok && state.Put(scale);
    return ok;
}

int IGEditorDelegate::LoadEditorState(const IStateBuffer& state, int startPos)
{
    int32_t width = 0, height = 0;
    float scale = 0.0f;
    int pos = state.Get(&width, startPos);
    if (pos < 0)
        width = 0;
    pos = state.Get(&height, pos);
    if (pos < 0)
        height = 0;
    pos = state.Get(&scale, pos);
    // A stored record is outside data: a size or scale that cannot be applied counts as absent.
    if (pos < 0 || !std::isfinite(scale) || scale < 0.0f)
        scale = 0.0f;
    if (width < 0)
        width = 0;
    if (height < 0)
        height = 0;

    if (!graphics) {
        savedWidth = width;
        savedHeight = height;
        savedScale = scale;
    } else if (width != 0 && height != 0 && scale != 0.0f) {
        graphics->ResizeEditor(width, height, scale, true);
    }
    return pos;
}

void IGEditorDelegate::ApplyContentScale(float scale)
{
    if (graphics)
        graphics->ApplyScreenScale(scale);
}

IGraphics* IGEditorDelegate::BuildGraphicsContext()
{
    return makeGraphicsFunction ? makeGraphicsFunction() : nullptr;
}

void IGEditorDelegate::RunLayoutFunction(IGraphics* target)
{
    if (layoutFunction)
        layoutFunction(target);
}

void IGEditorDelegate::PrepareEditorSize(float screenScale) {}

} // namespace igraphics
} // namespace iplug
