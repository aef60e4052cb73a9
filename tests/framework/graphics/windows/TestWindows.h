#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <vector>

namespace iplug::igraphics::test {

// A visible top-level window that plays the host's frame in window tests.
class TestParentWindow
{
public:
    TestParentWindow(int width = 600, int height = 800);
    ~TestParentWindow();
    TestParentWindow(const TestParentWindow&) = delete;
    TestParentWindow& operator=(const TestParentWindow&) = delete;

    HWND Handle() const { return window; }

private:
    HWND window = nullptr;
};

// A plain child window with its own device context, for OpenGL tests that do not
// need the editor's window class.
class TestGLChildWindow
{
public:
    TestGLChildWindow(HWND parent, int width, int height);
    ~TestGLChildWindow();
    TestGLChildWindow(const TestGLChildWindow&) = delete;
    TestGLChildWindow& operator=(const TestGLChildWindow&) = delete;

    HWND Handle() const { return window; }
    HDC DC() const { return dc; }

private:
    HWND window = nullptr;
    HDC dc = nullptr;
};

// Dispatches every queued message of this thread, for roughly the given time.
void PumpMessages(int milliseconds = 0);

// RGBA rows bottom row first, as glReadPixels gives them, from the framebuffer bound now.
std::vector<uint8_t> ReadPixels(int x, int y, int width, int height);

// Counts of the process's user and GDI objects, for leak checks.
struct ObjectCounts
{
    DWORD user = 0;
    DWORD gdi = 0;
    DWORD handles = 0;
};
ObjectCounts CountObjects();

} // namespace iplug::igraphics::test
