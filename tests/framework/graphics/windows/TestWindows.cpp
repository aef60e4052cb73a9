#include "tests/framework/graphics/windows/TestWindows.h"

#include <GL/gl.h>
#include <tlhelp32.h>

#include <cwchar>
#include <new>

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

bool PumpMessagesUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    return test_wait::WaitUntil(
        done, [] { PumpMessages(5); }, limit);
}

std::vector<uint8_t> ReadPixels(int x, int y, int width, int height)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

namespace {

int CountThreads()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
    CloseHandle(snapshot);
    return count;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM count)
{
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

BOOL CALLBACK CountWindowAndChildren(HWND window, LPARAM count)
{
    ++*reinterpret_cast<int*>(count);
    EnumChildWindows(window, CountWindow, count);
    return TRUE;
}

struct WindowSearch
{
    const wchar_t* className;
    HWND found = nullptr;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<WindowSearch*>(param);
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (!IsWindowVisible(window) || wcscmp(name, search->className) != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

int poisonedAlive = 0;
TimerScript* runningScript = nullptr;

} // namespace

ObjectCounts CountObjects()
{
    ObjectCounts counts;
    counts.threads = CountThreads();
    EnumThreadWindows(GetCurrentThreadId(), CountWindowAndChildren, reinterpret_cast<LPARAM>(&counts.windows));
    return counts;
}

ObjectCounts CountObjectsOnceBackTo(const ObjectCounts& before)
{
    ObjectCounts now;
    PumpMessagesUntil([&] {
        now = CountObjects();
        return now.threads <= before.threads && now.windows <= before.windows;
    });
    return now;
}

void* AllocatePoisonable(size_t size)
{
    void* memory = VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!memory)
        throw std::bad_alloc();
    ++poisonedAlive;
    return memory;
}

void FreePoisoned(void* memory, size_t size)
{
    // Decommitted but still reserved: the addresses stay unusable for the rest of the run.
    VirtualFree(memory, size, MEM_DECOMMIT);
    --poisonedAlive;
}

int PoisonedObjectsAlive()
{
    return poisonedAlive;
}

TimerScript::TimerScript(std::vector<std::function<bool()>> steps, UINT periodMs) : steps(std::move(steps))
{
    runningScript = this;
    timer = SetTimer(nullptr, 0, periodMs, Tick);
}

TimerScript::~TimerScript()
{
    KillTimer(nullptr, timer);
    runningScript = nullptr;
}

void CALLBACK TimerScript::Tick(HWND, UINT, UINT_PTR, DWORD)
{
    TimerScript* script = runningScript;
    if (!script || script->Done())
        return;
    if (script->steps[script->next]())
        ++script->next;
}

HWND FindThreadWindow(const wchar_t* className)
{
    WindowSearch search{className};
    EnumThreadWindows(GetCurrentThreadId(), MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace iplug::igraphics::test
