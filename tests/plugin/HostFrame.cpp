#include "tests/plugin/HostFrame.h"

#include <algorithm>

using namespace Steinberg;

namespace {

constexpr DWORD kFrameStyle = WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN;

const wchar_t* FrameClass()
{
    static const wchar_t* name = [] {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"MarlquinHostFrame";
        RegisterClassW(&wc);
        return wc.lpszClassName;
    }();
    return name;
}

bool SameSize(const ViewRect& a, const ViewRect& b)
{
    return a.getWidth() == b.getWidth() && a.getHeight() == b.getHeight();
}

} // namespace

HostFrame::HostFrame(IPlugView* view, int x, int y) : view(view)
{
    ViewRect size;
    view->getSize(&size);
    RECT outer = {0, 0, size.getWidth(), size.getHeight()};
    AdjustWindowRect(&outer, kFrameStyle, FALSE);
    window = CreateWindowExW(0, FrameClass(), L"host frame", kFrameStyle, x, y, outer.right - outer.left,
                             outer.bottom - outer.top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

HostFrame::~HostFrame()
{
    if (window)
        DestroyWindow(window);
}

tresult PLUGIN_API HostFrame::queryInterface(const TUID iid, void** obj)
{
    if (FUnknownPrivate::iidEqual(iid, IPlugFrame::iid) || FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
        *obj = this;
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}

tresult PLUGIN_API HostFrame::resizeView(IPlugView* asking, ViewRect* newSize)
{
    if (!newSize || asking != view)
        return kInvalidArgument;
    ++resizeRequests;
    if (resizing)
        return kResultFalse;
    ViewRect current;
    view->getSize(&current);
    if (SameSize(current, *newSize))
        return kResultTrue;
    resizing = true;
    SetClientSize(std::min(newSize->getWidth(), widestClient), newSize->getHeight());
    resizing = false;
    OnClientResized();
    return kResultTrue;
}

void HostFrame::UserResize(int width, int height)
{
    ViewRect wanted(0, 0, width, height);
    if (view->checkSizeConstraint(&wanted) != kResultTrue)
        view->getSize(&wanted);
    SetClientSize(wanted.getWidth(), wanted.getHeight());
}

SIZE HostFrame::ClientSize() const
{
    RECT client = {};
    GetClientRect(window, &client);
    return {client.right, client.bottom};
}

SIZE HostFrame::ReportedSize() const
{
    ViewRect size;
    view->getSize(&size);
    return {size.getWidth(), size.getHeight()};
}

void HostFrame::SetClientSize(int width, int height)
{
    RECT outer = {0, 0, width, height};
    AdjustWindowRect(&outer, kFrameStyle, FALSE);
    SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    OnClientResized();
}

void HostFrame::OnClientResized()
{
    const SIZE client = ClientSize();
    ViewRect reported;
    view->getSize(&reported);
    ViewRect now(0, 0, client.cx, client.cy);
    if (!SameSize(reported, now))
        view->onSize(&now);
}
