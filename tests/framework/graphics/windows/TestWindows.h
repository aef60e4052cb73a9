#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "tests/WaitUntil.h"

#include <chrono>
#include <cstdint>
#include <functional>
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

// Dispatches this thread's messages until done() answers true, or until a deadline that only a
// hang reaches; answers done().
bool PumpMessagesUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = test_wait::kHangLimit);

// RGBA rows bottom row first, as glReadPixels gives them, from the framebuffer bound now.
std::vector<uint8_t> ReadPixels(int x, int y, int width, int height);

// What an editor may leave behind, counted in ways Wine answers (it answers 0 for every
// GUI-resource and handle count): this process's running threads, through Toolhelp, and this
// thread's windows, child windows included.
struct ObjectCounts
{
    int threads = 0;
    int windows = 0;
};
ObjectCounts CountObjects();
// The counts once they are back to at most the given ones (a closed editor's thread ends a
// moment after its window has gone), or as they are when a hang has run out the time.
ObjectCounts CountObjectsOnceBackTo(const ObjectCounts& before);

// Memory that faults on every touch once freed: its pages are decommitted and never handed out
// again, so code that runs on a deleted object ends the test process at once instead of
// reading what is left there.
void* AllocatePoisonable(size_t size);
void FreePoisoned(void* memory, size_t size);
// Objects made through Poisoned and not yet deleted.
int PoisonedObjectsAlive();

template <class T>
class Poisoned : public T
{
public:
    using T::T;
    static void* operator new(size_t size) { return AllocatePoisonable(size); }
    static void operator delete(void* memory, size_t size) { FreePoisoned(memory, size); }
};

// Steps run one at a time by a thread timer, so they run inside whatever modal loop (menu,
// dialog, drag) this thread is in when it fires. A step answers false to be tried again at the
// next tick (a dialog that is not up yet).
class TimerScript
{
public:
    explicit TimerScript(std::vector<std::function<bool()>> steps, UINT periodMs = 50);
    ~TimerScript();
    TimerScript(const TimerScript&) = delete;
    TimerScript& operator=(const TimerScript&) = delete;

    bool Done() const { return next == steps.size(); }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);

    std::vector<std::function<bool()>> steps;
    size_t next = 0;
    UINT_PTR timer = 0;
};

// A visible window of this thread with the given class ("#32770" for dialogs and message
// boxes, "#32768" for menus), or null.
HWND FindThreadWindow(const wchar_t* className);

} // namespace iplug::igraphics::test
