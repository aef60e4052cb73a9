#pragma once

#include "framework/core/QueueRecords.h"
#include "framework/core/TextBuffer.h"
#include "framework/graphics/IGraphicsRecords.h"

#include <functional>
#include <unordered_map>
#include <vector>

#ifdef IPLUG_VST3_EDITOR
#include "base/source/fobject.h"
#include "pluginterfaces/vst/ivstcontextmenu.h"
#endif

namespace iplug {
class IEditorDelegate;
class IParam;

namespace igraphics {

class IGraphics;
class IControl;
class IPopupMenu;

using IControlAction = std::function<void(IControl*)>;

struct IValueSlot
{
    int32_t paramIdx = -1;
    double value = 0.0;
};

// The record a mapped handler is run with: a position followed by the event kind.
struct IMappedEvent
{
    float x = 0.0f;
    float y = 0.0f;
    int32_t kind = 0;
    const void* data = nullptr;
};

using IMappedHandler = std::function<void(IControl*, const IMappedEvent&)>;

// Base of every element of the editor: a box, value slots that may be bound to parameters,
// drawing state, an action and animation functions, and the event and paint operations the
// drawing context calls. Marking a control dirty with its action triggered is the only road
// from a widget to the host. In the plug-in build a control is also a reference-counted host
// context-menu target, so the host can report a chosen item back to it.
class IControl
#ifdef IPLUG_VST3_EDITOR
    : public Steinberg::FObject,
      public Steinberg::Vst::IContextMenuTarget
#endif
{
public:
    IControl(const IBox& box, int paramIdx = -1, IControlAction action = nullptr);
#ifdef IPLUG_VST3_EDITOR
    ~IControl() override;

    OBJ_METHODS(IControl, FObject)
    DEFINE_INTERFACES
    DEF_INTERFACE(Steinberg::Vst::IContextMenuTarget)
    END_DEFINE_INTERFACES(FObject)
    REFCOUNT_METHODS(FObject)

    Steinberg::tresult PLUGIN_API executeMenuItem(Steinberg::int32 tag) override;
#else
    virtual ~IControl();
#endif
    IControl(const IControl&) = delete;
    IControl& operator=(const IControl&) = delete;

    virtual void OnPointerDown(float x, float y, const IPointerMods& mods);
    virtual void OnPointerUp(float x, float y, const IPointerMods& mods);
    virtual void OnPointerDrag(float x, float y, float dx, float dy, const IPointerMods& mods);
    virtual void OnPointerDoubleClick(float x, float y, const IPointerMods& mods);
    virtual void OnWheel(float x, float y, const IPointerMods& mods, float notches);
    virtual bool OnKeyDown(float x, float y, const IKeyStroke& key);
    virtual bool OnKeyUp(float x, float y, const IKeyStroke& key);
    virtual void OnPointerOver(float x, float y, const IPointerMods& mods);
    virtual void OnPointerOut();
    virtual void ReservedHook();
    virtual void OnDropPath(const char* path);
    virtual void OnDropPaths(const std::vector<const char*>& paths);
    virtual void OnScaleChanged();
    virtual void OnBoxChanged();
    virtual void OnBeforeAdd();
    virtual void OnAdded();
    virtual void OnDelegateMessage(int msgTag, int dataSize, const void* data);
    virtual void OnMidiMessage(const IMidiEvent& msg);
    virtual bool RunMappedHandler(const IMappedEvent& event);
    virtual void FillContextMenu(IPopupMenu& menu);
    virtual void OnMenuItemChosen(IPopupMenu* chosen, int valIdx);
    virtual void ReservedHook2();
    virtual void OnTextEntered(const char* text, int valIdx);
    virtual void OnContextItemChosen(int index);
    virtual void Paint(IGraphics& g) = 0;
    virtual void PaintHighlightDot(IGraphics& g);
    virtual void BindParam(int paramIdx, int valIdx = 0);
    virtual int ValueIndexAt(float x, float y) const;
    virtual void SetValueFromHost(double normalised, int valIdx = 0);
    virtual void SetValueFromUser(double normalised, int valIdx = 0);
    virtual void ResetToDefault(int valIdx = -1);
    virtual void StoreValue(double value, int valIdx = 0);
    virtual void SetTextStyle(const ITextStyle& style);
    virtual void MoveTo(float x, float y);
    virtual void ResizeTo(float w, float h);
    virtual void SetHidden(bool hide);
    virtual void Disable(bool disable);
    virtual void SetIgnoresPointer(bool ignore);
    virtual bool ContainsPoint(float x, float y) const;
    virtual void MarkDirty(bool triggerAction = true, int valIdx = -1);
    virtual void MarkClean();
    virtual bool NeedsRedraw() const;
    virtual void ReservedHook3();
    virtual bool WantsMappedHandlers() const;
    virtual void SetValueFromPoint(float x, float y, int axis, const IBox& bounds, int valIdx, double lo = 0.0,
                                   double hi = 1.0);
    virtual void OnAnimationEnd();

    int NValueSlots() const
    {
        return int(valueSlots.size());
    }
    // 0 for a slot that does not exist.
    double ValueAt(int valIdx = 0) const;
    // -1 for a slot that is not bound or does not exist.
    int BoundParamIndex(int valIdx = 0) const;
    // The parameter of a bound slot, null when unbound or past the delegate's list.
    IParam* BoundParam(int valIdx = 0) const;
    int SlotForParam(int paramIdx) const;
    void StepAnimation();
    void SetTooltip(const char* text)
    {
        tooltip.Set(text);
    }
    const char* GetTooltip() const
    {
        return tooltip.Get();
    }

    // Sets the number of value slots; new slots are unbound at 0.
    void SetValueSlotCount(int count);

    const IBox& GetBox() const
    {
        return box;
    }
    const IBox& GetTargetBox() const
    {
        return targetBox;
    }
    void SetTargetBox(const IBox& b)
    {
        targetBox = b;
    }
    const char* GetGroup() const
    {
        return group.Get();
    }
    void SetGroup(const char* name)
    {
        group.Set(name ? name : "");
    }
    const ITextStyle& GetTextStyle() const
    {
        return textStyle;
    }
    const IBlendSpec& GetBlend() const
    {
        return blend;
    }
    IBlendSpec& Blend()
    {
        return blend;
    }
    int GetTextEntryLength() const
    {
        return textEntryLength;
    }
    bool IsDirty() const
    {
        return dirty;
    }
    bool IsHidden() const
    {
        return hidden;
    }
    bool IsDisabled() const
    {
        return disabled;
    }
    bool IsPromptDisabled() const
    {
        return promptDisabled;
    }
    void SetPromptDisabled(bool off)
    {
        promptDisabled = off;
    }
    bool GetDoubleClickFlag() const
    {
        return doubleClickFlag;
    }
    bool GetOverWhenDisabled() const
    {
        return overWhenDisabled;
    }
    bool GetPointerWhenDisabled() const
    {
        return pointerWhenDisabled;
    }
    bool IgnoresPointer() const
    {
        return ignoresPointer;
    }
    bool TakesMidi() const
    {
        return takesMidi;
    }
    void SetTakesMidi(bool on)
    {
        takesMidi = on;
    }
    bool GetHitTestFlag() const
    {
        return hitTestFlag;
    }
    bool GetPromptMenuFlag() const
    {
        return promptMenuFlag;
    }
    bool IsPointerOver() const
    {
        return pointerOver;
    }
    void SetHighlight(bool on, const IArgb& colour)
    {
        highlightOn = on;
        highlightColour = colour;
    }
    IEditorDelegate* GetDelegate() const
    {
        return delegate;
    }
    IGraphics* GetGraphics() const
    {
        return graphics;
    }
    void Attach(IEditorDelegate* newDelegate, IGraphics* newGraphics)
    {
        delegate = newDelegate;
        graphics = newGraphics;
    }
    void SetAction(IControlAction fn)
    {
        action = std::move(fn);
    }
    void SetAnimation(IControlAction fn)
    {
        animationFunction = std::move(fn);
    }
    void SetAnimationEnd(IControlAction fn)
    {
        animationEndFunction = std::move(fn);
    }
    bool IsAnimating() const
    {
        return bool(animationFunction);
    }
    void AddMappedHandler(int kind, IMappedHandler handler)
    {
        mappedHandlers[kind] = std::move(handler);
    }
    int LastHandledKind() const
    {
        return lastHandledKind;
    }

protected:
    bool HasSlot(int valIdx) const
    {
        return valIdx >= 0 && valIdx < NValueSlots();
    }

    IBox box;
    IBox targetBox;
    TextBuffer group;
    ITextStyle textStyle;
    IBlendSpec blend;
    int textEntryLength = 7;
    bool dirty = true;
    bool hidden = false;
    bool disabled = false;
    bool promptDisabled = true;
    bool doubleClickFlag = false;
    bool overWhenDisabled = false;
    bool pointerWhenDisabled = false;
    bool ignoresPointer = false;
    bool takesMidi = false;
    bool hitTestFlag = false;
    bool promptMenuFlag = false;
    bool pointerOver = false;
    TextBuffer tooltip;
    IArgb highlightColour{255, 255, 0, 0};
    bool highlightOn = false;
    IEditorDelegate* delegate = nullptr;
    IGraphics* graphics = nullptr;
    IControlAction action;
    IControlAction animationEndFunction;
    IControlAction animationFunction;
    std::vector<IValueSlot> valueSlots;
    std::unordered_map<int32_t, IMappedHandler> mappedHandlers;
    int32_t lastHandledKind = 0;
};

// Gives up a control the drawing context held: the plug-in build drops its reference (the
// host may still hold one through a context menu), the standalone build deletes it.
void ReleaseControl(IControl* control);

} // namespace igraphics
} // namespace iplug
