#include "framework/core/ModuleResources.h"
#include "standalone/MainWindow.h"
#include "standalone/StandaloneHost.h"
#include "standalone/StandaloneResourceIds.h"

#include <windows.h>

#include <commctrl.h>

#include <cwchar>
#include <exception>
#include <functional>

namespace {

constexpr wchar_t kMutexName[] = L"Quorrel";
constexpr wchar_t kDialogClass[] = L"#32770";
constexpr wchar_t kMainWindowTitle[] = L"Marlquin";
constexpr int kQueueErrorRetryMs = 10;

using SetDpiContextFunction = BOOL(WINAPI*)(HANDLE);

bool IsMainWindowOfProgram(HWND window)
{
    wchar_t className[16] = {};
    wchar_t title[16] = {};
    GetClassNameW(window, className, 16);
    GetWindowTextW(window, title, 16);
    // The About box shares the class and the title; only the main window has the menu.
    return wcscmp(className, kDialogClass) == 0 && wcscmp(title, kMainWindowTitle) == 0 && GetMenu(window);
}

// The first top-level window, in z-order, that passes the test.
HWND FirstTopLevelWindow(const std::function<bool(HWND)>& test)
{
    struct Search
    {
        const std::function<bool(HWND)>* test;
        HWND found;
    } search{&test, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            Search& s = *reinterpret_cast<Search*>(data);
            if (!(*s.test)(window))
                return TRUE;
            s.found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A visible, enabled window that this one owns: the modal box open on it, if any.
HWND EnabledOwnedWindow(HWND owner)
{
    return FirstTopLevelWindow([owner](HWND window) {
        return GetWindow(window, GW_OWNER) == owner && IsWindowVisible(window) && IsWindowEnabled(window);
    });
}

// Raises the window and, while a modal box keeps it disabled, that box above it (and the box
// that one opened, and so on). Answers the window that takes the input, the last one raised.
// Each is raised itself: activating a box that is already its program's active window does not
// raise it.
HWND RaiseWithModalBoxes(HWND window)
{
    constexpr int kMostNestedBoxes = 8;
    for (int depth = 0; depth < kMostNestedBoxes; ++depth) {
        SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        HWND box = IsWindowEnabled(window) ? nullptr : EnabledOwnedWindow(window);
        if (!box)
            break;
        window = box;
    }
    return window;
}

void BringRunningInstanceForward()
{
    HWND running = FirstTopLevelWindow(IsMainWindowOfProgram);
    if (!running)
        return;
    if (IsIconic(running))
        ShowWindow(running, SW_RESTORE);
    SetForegroundWindow(RaiseWithModalBoxes(running));
}

void MakeDpiAware()
{
    static const SetDpiContextFunction function = reinterpret_cast<SetDpiContextFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
    if (function)
        function(reinterpret_cast<HANDLE>(intptr_t(-4)));
}

bool IsTopLevelDialog(HWND window, bool& child)
{
    if (GetClassLongPtrW(window, GCW_ATOM) != 32770)
        return false;
    child = (GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD) != 0;
    return true;
}

// The dialog that should see a message for this window: the first top-level dialog among
// the window and its parents, else the outermost child dialog on the way.
HWND DialogFor(HWND window)
{
    HWND outermostChild = nullptr;
    for (HWND w = window; w; w = GetParent(w)) {
        bool child = false;
        if (!IsTopLevelDialog(w, child))
            continue;
        if (!child)
            return w;
        outermostChild = w;
    }
    return outermostChild;
}

bool TakenByDialogs(MSG& msg, HACCEL accelerators)
{
    HWND main = MainWindow::Handle();
    if (main && accelerators && TranslateAcceleratorW(main, accelerators, &msg))
        return true;
    if (main && IsDialogMessageW(main, &msg))
        return true;
    HWND dialog = DialogFor(msg.hwnd);
    return dialog && IsDialogMessageW(dialog, &msg);
}

int RunMessageLoop(HACCEL accelerators)
{
    MSG msg{};
    for (;;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0)
            return int(msg.wParam);
        if (got == -1) {
            Sleep(kQueueErrorRetryMs);
            continue;
        }
        if (msg.hwnd && TakenByDialogs(msg, accelerators))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

int RunProgram(HINSTANCE instance)
{
    StandaloneHost* host = StandaloneHost::Create(StandaloneHost::SystemEnvironment());
    host->Init();
    host->ApplyAudioSettings();
    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
    MakeDpiAware();
    MainWindow::Create(instance);
    RunMessageLoop(accelerators);
    if (HWND main = MainWindow::Handle())
        DestroyWindow(main);
    return 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    // Creating and checking in one call leaves no gap in which two starts both win.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, kMutexName);
    if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) {
        BringRunningInstanceForward();
        if (mutex)
            CloseHandle(mutex);
        return 0;
    }
    iplug::SetModuleInstance(instance);
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    RegisterWindowMessageW(L"MSWHEEL_ROLLMSG");

    int code = 0;
    try {
        code = RunProgram(instance);
    } catch (const std::exception&) {
        code = 1;
    }
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    // A host left behind by a hung shutdown may still be inside the audio library.
    MainWindow::Watchdog().FinishProcess(code);
    return code;
}
