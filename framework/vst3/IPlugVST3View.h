#pragma once

#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "public.sdk/source/common/pluginview.h"

namespace iplug {

class IPlugVST3;

// The editor view a VST 3 host attaches inside its window (Windows parent windows only):
// opens and closes the framework's editor, negotiates its size, forwards the host's
// content scale and keys. Holds one reference on its plug-in for its whole life.
class IPlugVST3View : public Steinberg::CPluginView, public Steinberg::IPlugViewContentScaleSupport
{
public:
    explicit IPlugVST3View(IPlugVST3& owner);
    ~IPlugVST3View() override;

    Steinberg::tresult PLUGIN_API isPlatformTypeSupported(Steinberg::FIDString type) override;
    Steinberg::tresult PLUGIN_API attached(void* parent, Steinberg::FIDString type) override;
    Steinberg::tresult PLUGIN_API removed() override;
    Steinberg::tresult PLUGIN_API onKeyDown(Steinberg::char16 key, Steinberg::int16 keyCode,
                                            Steinberg::int16 modifiers) override;
    Steinberg::tresult PLUGIN_API onKeyUp(Steinberg::char16 key, Steinberg::int16 keyCode,
                                          Steinberg::int16 modifiers) override;
    Steinberg::tresult PLUGIN_API getSize(Steinberg::ViewRect* size) override;
    Steinberg::tresult PLUGIN_API onSize(Steinberg::ViewRect* newSize) override;
    Steinberg::tresult PLUGIN_API setFrame(Steinberg::IPlugFrame* frame) override;
    Steinberg::tresult PLUGIN_API canResize() override;
    Steinberg::tresult PLUGIN_API checkSizeConstraint(Steinberg::ViewRect* rect) override;
    Steinberg::tresult PLUGIN_API setContentScaleFactor(ScaleFactor factor) override;

    OBJ_METHODS(IPlugVST3View, CPluginView)
    DEFINE_INTERFACES
    DEF_INTERFACE(Steinberg::IPlugViewContentScaleSupport)
    DEF_INTERFACE(Steinberg::IPlugView)
    END_DEFINE_INTERFACES(CPluginView)
    REFCOUNT_METHODS(CPluginView)

    // The editor lives in this view's window. A host may attach a second view while this one is
    // attached (the editor then moves into the new window): from then on the other view holds it.
    bool HoldsEditor() const;

private:
    Steinberg::tresult AttachEditor(void* parent);
    // Closes the editor when this view holds it; a close that throws still counts as done.
    void CloseHeldEditor() noexcept;
    // The host's scale when it sent one, else 1: the monitor's is not known before attaching.
    float ScreenScaleAtOpening() const;
    // Asks the host's frame for the editor's window size when it differs from the size held.
    void ShowEditorSizeToHost();
    void ApplyHostScale();

    IPlugVST3& owner;
    // The host's content scale, 0 until it sends one; kept across attach and remove.
    float hostScale = 0.0f;
};

} // namespace iplug
