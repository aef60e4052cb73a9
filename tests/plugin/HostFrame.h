#pragma once

#include "pluginterfaces/gui/iplugview.h"

#include <climits>
#include <windows.h>

// A host's editor window as the VST 3 SDK's sample host runs it: a top-level window whose client
// area is the view's frame, made at the size the view answers. The user's resizes reach the view
// through checkSizeConstraint and onSize; the view's own requests are granted by resizing the
// window, which tells the view the new size unless it already has it, and a request that arrives
// while the window is being resized is refused.
class HostFrame : public Steinberg::IPlugFrame
{
public:
    // Asks the view's size and makes the window for it, placed at (x, y) on the screen.
    HostFrame(Steinberg::IPlugView* view, int x, int y);
    ~HostFrame();
    HostFrame(const HostFrame&) = delete;
    HostFrame& operator=(const HostFrame&) = delete;

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }
    Steinberg::tresult PLUGIN_API resizeView(Steinberg::IPlugView* view, Steinberg::ViewRect* newSize) override;

    // The user drags the window to this client size.
    void UserResize(int width, int height);

    HWND Handle() const { return window; }
    SIZE ClientSize() const;
    // The view's answer to getSize.
    SIZE ReportedSize() const;

    // A host whose screen has room for no wider frame grants narrower sizes than asked.
    int widestClient = INT_MAX;
    int resizeRequests = 0;

private:
    void SetClientSize(int width, int height);
    // The window's size changed: the view learns it unless it reports that size already.
    void OnClientResized();

    Steinberg::IPlugView* view = nullptr;
    HWND window = nullptr;
    bool resizing = false;
};
