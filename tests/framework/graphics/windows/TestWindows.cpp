#include "tests/framework/graphics/windows/TestWindows.h"

#include <GL/gl.h>

namespace iplug::igraphics::test {

namespace {

const wchar_t* RegisterTestClass(const wchar_t* name, UINT style)
{
    WNDCLASSW wc = {};
    wc.style = style;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = name;
    RegisterClassW(&wc);
    return name;
}

} // namespace

TestParentWindow::TestParentWindow(int width, int height)
{
    const wchar_t* cls = RegisterTestClass(L"MarlquinTestParent", 0);
    window = CreateWindowExW(0, cls, L"test host", WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, width,
                             height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    PumpMessages();
}

TestParentWindow::~TestParentWindow()
{
    if (window)
        DestroyWindow(window);
    PumpMessages();
}

TestGLChildWindow::TestGLChildWindow(HWND parent, int width, int height)
{
    const wchar_t* cls = RegisterTestClass(L"MarlquinTestGLChild", CS_OWNDC);
    window = CreateWindowExW(0, cls, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, width,
                             height, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window)
        dc = GetDC(window);
}

TestGLChildWindow::~TestGLChildWindow()
{
    if (window) {
        ReleaseDC(window, dc);
        DestroyWindow(window);
    }
}

void PumpMessages(int milliseconds)
{
    // An animated panel posts its next redraw while the last one paints, so the queue may never
    // run empty: every pass stops at the deadline, and a plain drain after a bounded count.
    constexpr int kDrainBudget = 256;
    const DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
    auto timeLeft = [end] { return static_cast<int>(end - GetTickCount()) > 0; };
    int drained = 0;
    do {
        MSG msg;
        while ((milliseconds > 0 ? timeLeft() : drained++ < kDrainBudget)
               && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (milliseconds > 0)
            Sleep(1);
    } while (timeLeft());
}

std::vector<uint8_t> ReadPixels(int x, int y, int width, int height)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

ObjectCounts CountObjects()
{
    ObjectCounts counts;
    counts.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    counts.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    GetProcessHandleCount(GetCurrentProcess(), &counts.handles);
    return counts;
}

} // namespace iplug::igraphics::test
