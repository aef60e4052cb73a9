#include "framework/graphics/IGraphics.h"

#include "framework/core/IParam.h"
#include "framework/core/ScopedSection.h"
#include "framework/graphics/IControl.h"
#include "framework/graphics/ICornerResizerControl.h"
#include "framework/graphics/IGEditorDelegate.h"
#include "framework/graphics/ProcessCache.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace iplug {
namespace igraphics {

IGraphics::IGraphics(IGEditorDelegate& dlg, int w, int h, int framesPerSecond, float scale)
    : width(w), height(h), fps(framesPerSecond), drawScale(scale), delegate(&dlg)
{
    ScopedSection bitmapLock(BitmapCache().Lock());
    ScopedSection svgLock(SvgCache().Lock());
    BitmapCache().Acquire();
    SvgCache().Acquire();
}

IGraphics::~IGraphics()
{
    pointerHidden = false;
    RemoveAllControls();
    ScopedSection bitmapLock(BitmapCache().Lock());
    ScopedSection svgLock(SvgCache().Lock());
    BitmapCache().ReleaseUse();
    SvgCache().ReleaseUse();
}

IGraphics::InUse::~InUse()
{
    IGraphics& g = graphics;
    if (--g.useCount > 0 || g.finishingUse)
        return;
    // Whatever the deferred close calls back into may take and give back uses of its own; only
    // this outermost return finishes the close and the deletion.
    g.finishingUse = true;
    if (g.closePending) {
        g.ClosePlatformWindow();
        // Asked again from inside this close, the close is done all the same.
        g.closePending = false;
    }
    g.finishingUse = false;
    if (g.disposePending)
        delete &g;
}

void IGraphics::Dispose(IGraphics* graphics)
{
    if (!graphics)
        return;
    if (graphics->useCount > 0 || graphics->finishingUse) {
        graphics->disposePending = true;
        return;
    }
    delete graphics;
}

bool IGraphics::DeferCloseWhileInUse()
{
    if (useCount == 0)
        return false;
    closePending = true;
    return true;
}

IControl* IGraphics::AddControl(IControl* control, int tag, const char* group)
{
    if (!control)
        return nullptr;
    if (tag > -1) {
        if (!tagMap.emplace(tag, control).second)
            return nullptr;
    }
    control->Attach(delegate, this);
    control->OnBeforeAdd();
    control->OnBoxChanged();
    control->OnScaleChanged();
    control->SetGroup(group);
    controls.Append(control);
    control->OnAdded();
    return control;
}

void IGraphics::AddCornerResizer(int mode, bool relayout, const IArgb& colour, const IArgb& overColour,
                                 const IArgb& dragColour, float handleSize)
{
    auto* resizer = new ICornerResizerControl(IBox(float(width) - handleSize + 1.0f, float(height) - handleSize + 1.0f,
                                                   float(width) - 1.0f, float(height) - 1.0f),
                                              handleSize, colour, overColour, dragColour);
    resizer->SetInitialBox(IBox(0.0f, 0.0f, float(width), float(height)));
    if (cornerResizer) {
        ReleaseControl(resizer);
        return;
    }
    cornerResizer = resizer;
    resizeMode = mode;
    layoutOnResize = relayout;
    resizer->Attach(delegate, this);
    resizer->OnBeforeAdd();
    resizer->OnBoxChanged();
    resizer->OnScaleChanged();
}

IControl* IGraphics::FindControlByTag(int tag) const
{
    const auto found = tagMap.find(tag);
    return found == tagMap.end() ? nullptr : found->second;
}

void IGraphics::ForEachInGroup(const char* group, const std::function<void(IControl*)>& fn)
{
    if (!group || !*group)
        return;
    for (int i = 0; i < controls.Count(); ++i) {
        IControl* c = controls.Get(i);
        if (std::strcmp(c->GetGroup(), group) == 0)
            fn(c);
    }
}

void IGraphics::ForEachControl(const std::function<void(IControl*)>& fn)
{
    for (int i = 0; i < controls.Count(); ++i)
        fn(controls.Get(i));
}

void IGraphics::ForAllControls(const std::function<void(IControl*)>& fn)
{
    ForEachControl(fn);
    if (cornerResizer)
        fn(cornerResizer);
}

void IGraphics::MarkAllControlsDirty()
{
    ForAllControls([](IControl* c) { c->MarkDirty(false, -1); });
}

void IGraphics::MarkAllControlsClean()
{
    ForAllControls([](IControl* c) { c->MarkClean(); });
}

void IGraphics::SyncPeerControls(IControl* source, int valIdx)
{
    const int param = source->BoundParamIndex(valIdx);
    if (param < 0)
        return;
    const double value = source->ValueAt(valIdx);
    for (int i = 0; i < controls.Count(); ++i) {
        IControl* c = controls.Get(i);
        if (c == source)
            continue;
        const int slot = c->SlotForParam(param);
        if (slot != -1)
            c->SetValueFromHost(value, slot);
    }
}

void IGraphics::RemoveAllControls()
{
    ReleaseAllCaptures();
    overControl = nullptr;
    overIndex = -1;
    textEntryControl = nullptr;
    menuControl = nullptr;
    ReleaseControl(cornerResizer);
    cornerResizer = nullptr;
    tagMap.clear();
    for (int i = controls.Count() - 1; i >= 0; --i)
        ReleaseControl(controls.RemoveAt(i));
}

void IGraphics::ReleaseAllCaptures()
{
    std::unordered_map<uint64_t, ICapture> released;
    released.swap(captureMap);
    for (auto& entry : released)
        EndGestures(entry.second.gestures);
    if (pointerHidden)
        ShowPointer(false, true);
}

void IGraphics::AbandonGestures()
{
    for (auto& entry : captureMap)
        entry.second.gestures.clear();
    openGestures.clear();
}

bool IGraphics::IsCaptured(const IControl* control) const
{
    for (const auto& entry : captureMap)
        if (entry.second.control == control)
            return true;
    return false;
}

IControl* IGraphics::GetCapturedControl(uint64_t touchId) const
{
    const auto found = captureMap.find(touchId);
    return found == captureMap.end() ? nullptr : found->second.control;
}

int IGraphics::OpenGestures(int paramIdx) const
{
    const auto found = openGestures.find(paramIdx);
    return found == openGestures.end() ? 0 : found->second;
}

std::vector<int> IGraphics::BeginGestures(IControl* control)
{
    std::vector<int> begun;
    for (int i = 0; i < control->NValueSlots(); ++i) {
        const int param = control->BoundParamIndex(i);
        if (param > -1) {
            delegate->BeginParamEditFromEditor(param);
            ++openGestures[param];
            begun.push_back(param);
        }
    }
    return begun;
}

std::vector<int> IGraphics::BeginMissingGestures(IControl* control)
{
    std::vector<int> begun;
    for (int i = 0; i < control->NValueSlots(); ++i) {
        const int param = control->BoundParamIndex(i);
        if (param > -1 && OpenGestures(param) == 0) {
            delegate->BeginParamEditFromEditor(param);
            ++openGestures[param];
            begun.push_back(param);
        }
    }
    return begun;
}

void IGraphics::OnControlEdit(IControl* control, int paramIdx)
{
    if (OpenGestures(paramIdx) > 0)
        return;
    for (auto& entry : captureMap) {
        if (entry.second.control == control) {
            delegate->BeginParamEditFromEditor(paramIdx);
            ++openGestures[paramIdx];
            entry.second.gestures.push_back(paramIdx);
            return;
        }
    }
}

void IGraphics::EndParamGesture(int paramIdx)
{
    const auto found = openGestures.find(paramIdx);
    if (found == openGestures.end() || found->second <= 0)
        return;
    if (--found->second == 0)
        openGestures.erase(found);
    delegate->EndParamEditFromEditor(paramIdx);
}

void IGraphics::EndGestures(const std::vector<int>& params)
{
    for (int param : params)
        EndParamGesture(param);
}

IControl* IGraphics::FindControlAt(float x, float y, bool capture, bool forOver, uint64_t touchId)
{
    const auto held = captureMap.find(touchId);
    if (held != captureMap.end())
        return held->second.control;

    IControl* result = nullptr;
    int index = -1;
    if (cornerResizer && cornerResizer->GetBox().Contains(x, y)) {
        result = cornerResizer;
    } else if (!forOver || mouseOverEnabled) {
        const int last = forOver ? 1 : 0;
        for (int i = controls.Count() - 1; i >= last; --i) {
            IControl* c = controls.Get(i);
            if (c->IsHidden() || c->IgnoresPointer())
                continue;
            if (c->IsDisabled() && !(forOver ? c->GetOverWhenDisabled() : c->GetPointerWhenDisabled()))
                continue;
            if (c->ContainsPoint(x, y)) {
                result = c;
                index = i;
                break;
            }
        }
    }
    if (capture && result)
        captureMap[touchId].control = result;
    if (forOver)
        overIndex = index;
    return result;
}

void IGraphics::OnPointerDown(const IPointerEventList& events)
{
    if (events.Count() == 1) {
        pressX = events[0].x;
        pressY = events[0].y;
    }
    for (int i = 0; i < events.Count(); ++i) {
        const IPointerEvent e = events[i];
        // The window layer delivers no release for a middle-button press: a capture taken
        // here would hold the control (and its gesture) until some later release.
        if (e.mods.touchId == 0 && !e.mods.left && !e.mods.right)
            continue;
        IControl* c = FindControlAt(e.x, e.y, true, false, e.mods.touchId);
        if (!c)
            continue;
        const int valIdx = c->ValueIndexAt(e.x, e.y);
        const int param = c->BoundParamIndex(std::max(valIdx, 0));
        if (e.mods.right && param > -1) {
            ReleaseAllCaptures();
            ShowHostContextMenu(c, param, e.x, e.y);
            return;
        }
        std::vector<int> begun = BeginGestures(c);
        auto& gestures = captureMap[e.mods.touchId].gestures;
        gestures.insert(gestures.end(), begun.begin(), begun.end());
        c->OnPointerDown(e.x, e.y, e.mods);
    }
}

void IGraphics::OnPointerUp(const IPointerEventList& events)
{
    for (int i = 0; i < events.Count() && !captureMap.empty(); ++i) {
        const IPointerEvent e = events[i];
        IControl* c = GetCapturedControl(e.mods.touchId);
        if (!c)
            continue;
        c->OnPointerUp(e.x, e.y, e.mods);
        // The release may have opened a menu or dialog that already released the capture.
        const auto found = captureMap.find(e.mods.touchId);
        if (found == captureMap.end())
            continue;
        const std::vector<int> gestures = std::move(found->second.gestures);
        captureMap.erase(found);
        EndGestures(gestures);
    }
    if (resizing) {
        resizing = false;
        if (resizeMode == kResizeScale) {
            ForAllControls([](IControl* c) { c->OnScaleChanged(); });
            MarkAllControlsDirty();
        } else if (cornerResizer) {
            cornerResizer->MarkDirty(false, -1);
        }
    }
    if (events.Count() == 1 && events[0].mods.touchId == 0)
        ApplyPointerOver(events[0].x, events[0].y, events[0].mods);
}

void IGraphics::OnPointerDrag(const IPointerEventList& events)
{
    if (resizing && events.Count() == 1) {
        const IPointerEvent& e = events[0];
        if (resizeMode == kResizeScale) {
            const float scale = std::min(drawScale * e.y / pressY, drawScale * e.x / pressX);
            if (ScalesAreUsable(scale))
                ResizeEditor(width, height, scale, true);
        } else if (std::isfinite(e.x) && std::isfinite(e.y)) {
            ResizeEditor(int(e.x), int(e.y), drawScale, true);
        }
        return;
    }
    if (captureMap.empty() || textEntryControl)
        return;
    for (int i = 0; i < events.Count(); ++i) {
        const IPointerEvent e = events[i];
        if (e.dx == 0.0f && e.dy == 0.0f)
            continue;
        if (IControl* c = GetCapturedControl(e.mods.touchId))
            c->OnPointerDrag(e.x, e.y, e.dx, e.dy, e.mods);
    }
}

bool IGraphics::OnPointerDoubleClick(float x, float y, const IPointerMods& mods)
{
    IControl* c = FindControlAt(x, y, true, false, mods.touchId);
    if (!c)
        return false;
    // The reset to default reaches the host as an edit: it gets its own gesture, which the
    // release of the captures below ends.
    std::vector<int> begun = BeginMissingGestures(c);
    auto& gestures = captureMap[mods.touchId].gestures;
    gestures.insert(gestures.end(), begun.begin(), begun.end());
    c->OnPointerDoubleClick(x, y, mods);
    ReleaseAllCaptures();
    return true;
}

bool IGraphics::OnWheel(float x, float y, const IPointerMods& mods, float notches)
{
    IControl* c = FindControlAt(x, y, false, false, 0);
    if (!c)
        return false;
    const std::vector<int> begun = BeginMissingGestures(c);
    c->OnWheel(x, y, mods, notches);
    EndGestures(begun);
    return true;
}

void IGraphics::ApplyPointerOver(float x, float y, const IPointerMods& mods)
{
    IControl* c = FindControlAt(x, y, false, true, 0);
    if (c != overControl) {
        if (overControl)
            overControl->OnPointerOut();
        overControl = c;
    }
    if (overControl)
        overControl->OnPointerOver(x, y, mods);
}

bool IGraphics::OnPointerOver(float x, float y, const IPointerMods& mods)
{
    ApplyPointerOver(x, y, mods);
    return overControl != nullptr;
}

void IGraphics::OnPointerOut()
{
    cursorKind = SetPointerShape(kCursorArrow);
    ForAllControls([](IControl* c) { c->OnPointerOut(); });
    overControl = nullptr;
    overIndex = -1;
}

bool IGraphics::OnKeyDown(float x, float y, const IKeyStroke& key)
{
    IControl* c = FindControlAt(x, y, false, false, 0);
    if (c && c != controls.Get(0) && c->OnKeyDown(x, y, key))
        return true;
    return keyHandler ? keyHandler(key, false) : false;
}

bool IGraphics::OnKeyUp(float x, float y, const IKeyStroke& key)
{
    IControl* c = FindControlAt(x, y, false, false, 0);
    if (c && c != controls.Get(0) && c->OnKeyUp(x, y, key))
        return true;
    return keyHandler ? keyHandler(key, true) : false;
}

void IGraphics::OnDropPath(const char* path, float x, float y)
{
    if (IControl* c = FindControlAt(x, y, false, false, 0))
        c->OnDropPath(path);
}

void IGraphics::OnDropPaths(const std::vector<const char*>& paths, float x, float y)
{
    if (paths.empty())
        return;
    if (IControl* c = FindControlAt(x, y, false, false, 0))
        c->OnDropPaths(paths);
}

#ifndef IPLUG_VST3_EDITOR
void IGraphics::ShowHostContextMenu(IControl* control, int paramIdx, float x, float y)
{
    // Without a plug-in host the control's own menu stands in for the host's.
    ShowControlContextMenu(control, x, y);
}
#endif

void IGraphics::ShowControlContextMenu(IControl* control, float x, float y)
{
    promptMenu.Clear(true);
    if (!control)
        return;
    control->FillContextMenu(promptMenu);
    if (promptMenu.NItems() > 0)
        ShowMenuForControl(control, &promptMenu, IBox(x, y, x, y), -1);
}

void IGraphics::ShowMenuForControl(IControl* control, IPopupMenu* menu, const IBox& box, int valIdx)
{
    ReleaseAllCaptures();
    if (!control || !menu)
        return;
    menuControl = control;
    menuValIdx = valIdx;
    bool isAsync = false;
    IPopupMenu* chosen = ShowPlatformMenu(*menu, box, isAsync);
    if (isAsync || menuControl != control)
        return;
    IPopupMenu* result = chosen && chosen->GetChosenIndex() != -1 ? chosen : nullptr;
    // The choice reaches the host as an edit; it gets a gesture of its own, and only
    // a gesture begun here is ended here.
    const std::vector<int> begun = result ? BeginMissingGestures(control) : std::vector<int>();
    if (menuIsContext)
        control->OnContextItemChosen(result ? result->GetChosenIndex() : -1);
    else
        control->OnMenuItemChosen(result, valIdx);
    EndGestures(begun);
    menuControl = nullptr;
}

void IGraphics::AskForParamValue(IControl* control, const IBox& box, int valIdx)
{
    const IParam* param = control ? control->BoundParam(valIdx) : nullptr;
    if (!param)
        return;
    const bool asMenu = param->Kind() == kKindEnum || (param->Kind() == kKindBool && param->DisplayTextCount() > 0);
    if (asMenu) {
        promptMenu.Clear(true);
        TextBuffer current;
        param->FormatValueText(param->Value(), false, current);
        for (int i = 0; i < param->DisplayTextCount(); ++i) {
            const IParamDisplayText* t = param->GetDisplayText(i);
            const char* text = param->DisplayTextFor(double(i));
            if (!text)
                text = t ? t->text : "";
            const bool checked = std::strcmp(text, current.Get()) == 0;
            promptMenu.AddEntry(new IPopupMenu::Entry(text, checked ? IPopupMenu::kChecked : 0));
        }
        promptMenu.SetTitle(param->GetName());
        ShowMenuForControl(control, &promptMenu, box, valIdx);
        return;
    }
    TextBuffer text;
    param->FormatValueText(param->Value(), false, text, false);
    if (control->GetPromptMenuFlag())
        text.AppendFormatted(0, " %s", param->GetLabel());
    OpenTextEntry(control, control->GetTextStyle(), box, text.Get(), valIdx);
}

void IGraphics::OpenTextEntry(IControl* control, const ITextStyle& style, const IBox& box, const char* text, int valIdx)
{
    if (!control)
        return;
    textEntryControl = control;
    textEntryValIdx = valIdx;
    OpenPlatformTextEntry(control->BoundParamIndex(valIdx), style, box, control->GetTextEntryLength(),
                          text ? text : "");
    control->MarkDirty(false, -1);
}

void IGraphics::ApplyTextEntryResult(const char* text)
{
    IControl* control = textEntryControl;
    if (!control)
        return;
    const int valIdx = textEntryValIdx;
    textEntryControl = nullptr;
    const IParam* param = valIdx >= 0 ? control->BoundParam(valIdx) : nullptr;
    if (param) {
        const double normalised = param->NormalizeValue(param->ParseValueText(text ? text : ""));
        const std::vector<int> begun = BeginMissingGestures(control);
        control->SetValueFromUser(normalised, valIdx);
        EndGestures(begun);
    } else {
        control->OnTextEntered(text ? text : "", valIdx);
    }
}

void IGraphics::EnableTooltips(bool on)
{
    tooltipsEnabled = on;
    if (on)
        mouseOverEnabled = true;
}

int IGraphics::SetPointerShape(int kind)
{
    const int previous = cursorKind;
    cursorKind = kind;
    return previous;
}

void IGraphics::AddUniqueCode(int code)
{
    if (std::find(codes.begin(), codes.end(), code) == codes.end())
        codes.push_back(code);
}

} // namespace igraphics
} // namespace iplug
