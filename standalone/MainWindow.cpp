#include "standalone/MainWindow.h"

#include "framework/core/ExceptionBarrier.h"
#include "framework/graphics/IGraphics.h"
#include "plugin/Quorrel.h"
#include "standalone/PreferencesDialog.h"
#include "standalone/StandaloneHost.h"
#include "standalone/StandaloneResourceIds.h"

namespace {

constexpr float kBaseDpi = 96.0f;
constexpr UINT kAudioCheckMs = 500;
constexpr char kShutdownFailedLine[] =
    "Marlquin: audio shutdown timed out or failed; retaining host until process exit.\n";
constexpr wchar_t kAboutText[] = L"Marlquin " MARLQUIN_VERSION "\nby Ostrevane\n\nStandalone program built " __DATE__;

HINSTANCE programInstance = nullptr;
HWND mainWindow = nullptr;
bool resizingSelf = false;
ShutdownWatchdog watchdog;

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);

// Looked up once: older systems have no per-window DPI.
GetDpiForWindowFunction DpiFunction()
{
    static const GetDpiForWindowFunction function = reinterpret_cast<GetDpiForWindowFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    return function;
}

iplug::IPlugAPP* Plugin()
{
    StandaloneHost* host = StandaloneHost::Global();
    return host ? host->Plugin() : nullptr;
}

iplug::igraphics::IGraphics* OpenGraphics()
{
    iplug::IPlugAPP* plugin = Plugin();
    return plugin ? static_cast<Quorrel*>(plugin)->GetGraphics() : nullptr;
}

// The client size that holds the editor exactly. An open drawing context sizes its own window
// with WindowPixelSize, so the client takes the same function's answer: any other rounding
// leaves a row or column of the dialog showing beside the panel. Before it opens, the size the
// delegate stores, scaled the same way.
SIZE EditorPixels(float screenScale)
{
    using iplug::igraphics::IGraphics;
    int width = 0, height = 0;
    if (IGraphics* graphics = OpenGraphics()) {
        graphics->WindowPixelSize(width, height);
    } else if (iplug::IPlugAPP* plugin = Plugin()) {
        width = IGraphics::WindowPixels(plugin->GetEditorWidth(), 1.0f, screenScale);
        height = IGraphics::WindowPixels(plugin->GetEditorHeight(), 1.0f, screenScale);
    }
    return SIZE{width, height};
}

SIZE WindowSizeForClient(HWND window, int width, int height)
{
    RECT rect{0, 0, width, height};
    AdjustWindowRectEx(&rect, DWORD(GetWindowLongPtrW(window, GWL_STYLE)), GetMenu(window) != nullptr,
                       DWORD(GetWindowLongPtrW(window, GWL_EXSTYLE)));
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

void PlaceWindow(HWND window, int left, int top, SIZE outer)
{
    resizingSelf = true;
    SetWindowPos(window, nullptr, left, top, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    resizingSelf = false;
}

void OnInit(HWND window)
{
    mainWindow = window;
    StandaloneHost* host = StandaloneHost::Global();
    if (host) {
        host->SetOwnerWindow(window);
        host->SetWindowResizer(
            [window](int width, int height) { return MainWindow::ResizeClient(window, width, height); });
        host->OpenEditor(window);
    }
    SetTimer(window, MainWindow::kAudioCheckTimer, kAudioCheckMs, nullptr);
    const SIZE client = EditorPixels(MainWindow::DpiScale(window));
    const SIZE outer = WindowSizeForClient(window, client.cx, client.cy);
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    PlaceWindow(window, screenWidth / 2 - outer.cx / 2, screenHeight / 2 - outer.cy / 2, outer);
    ShowWindow(window, SW_SHOW);
}

void OnSize(HWND window, WPARAM kind, LPARAM size)
{
    iplug::IPlugAPP* plugin = Plugin();
    if (resizingSelf || !plugin || (kind != SIZE_RESTORED && kind != SIZE_MAXIMIZED))
        return;
    if (plugin->IsEditorResizable())
        plugin->FitEditorToHostSize(LOWORD(size), HIWORD(size));
}

void OnMinMax(HWND window, MINMAXINFO* info)
{
    iplug::IPlugAPP* plugin = Plugin();
    if (!plugin || !info)
        return;
    const float scale = MainWindow::DpiScale(window);
    info->ptMinTrackSize = POINT{LONG(plugin->GetMinWidth() * scale), LONG(plugin->GetMinHeight() * scale)};
    info->ptMaxTrackSize = POINT{LONG(plugin->GetMaxWidth() * scale), LONG(plugin->GetMaxHeight() * scale)};
}

void OnDpiChanged(HWND window, WPARAM dpi, const RECT* suggested)
{
    const float scale = float(LOWORD(dpi)) / kBaseDpi;
    if (iplug::igraphics::IGraphics* graphics = OpenGraphics())
        graphics->ApplyScreenScale(scale);
    const SIZE client = EditorPixels(scale);
    const SIZE outer = WindowSizeForClient(window, client.cx, client.cy);
    PlaceWindow(window, suggested ? suggested->left : 0, suggested ? suggested->top : 0, outer);
}

void ShowAbout(HWND window)
{
    iplug::IPlugAPP* plugin = Plugin();
    if (plugin && plugin->OnAboutRequested())
        return;
    MessageBoxW(window, kAboutText, L"Marlquin", MB_OK);
}

void ShowPreferences(HWND window)
{
    const INT_PTR result =
        DialogBoxParamW(programInstance, MAKEINTRESOURCEW(IDD_PREFERENCES), window, PreferencesProc, 0);
    if (result == IDOK)
        if (StandaloneHost* host = StandaloneHost::Global())
            host->SaveSettings();
}

void OnTimer(UINT_PTR id)
{
    if (id != MainWindow::kAudioCheckTimer)
        return;
    if (StandaloneHost* host = StandaloneHost::Global())
        host->CheckAudioStream();
}

void OnDestroy(HWND window)
{
    KillTimer(window, MainWindow::kAudioCheckTimer);
    // Whatever fails on the way, the program ends: the quit message is always posted.
    iplug::ExceptionBarrier::Run([] {
        if (StandaloneHost* host = StandaloneHost::Global()) {
            host->CloseEditor();
            host->SetWindowResizer(nullptr);
            host->SetOwnerWindow(nullptr);
        }
    });
    mainWindow = nullptr;
    StandaloneHost* host = StandaloneHost::ReleaseGlobal();
    if (host)
        host->MarkExiting();
    if (!iplug::ExceptionBarrier::Value<bool>([&] { return watchdog.Run(host); }, false))
        OutputDebugStringA(kShutdownFailedLine);
    PostQuitMessage(0);
}

} // namespace

HWND MainWindow::Create(HINSTANCE instance)
{
    programInstance = instance;
    HWND window =
        CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN_WINDOW), GetDesktopWindow(), MainWindowProc, 0);
    if (window)
        DrawMenuBar(window);
    return window;
}

HWND MainWindow::Handle()
{
    return mainWindow;
}

ShutdownWatchdog& MainWindow::Watchdog()
{
    return watchdog;
}

void MainWindow::SetWatchdog(const ShutdownWatchdog& replacement)
{
    watchdog = replacement;
}

float MainWindow::DpiScale(HWND window)
{
    const GetDpiForWindowFunction function = DpiFunction();
    const UINT dpi = function && window ? function(window) : 0;
    return dpi ? float(dpi) / kBaseDpi : 1.0f;
}

bool MainWindow::ResizeClient(HWND window, int width, int height)
{
    if (!window || width <= 0 || height <= 0)
        return false;
    RECT current{};
    GetWindowRect(window, &current);
    PlaceWindow(window, current.left, current.top, WindowSizeForClient(window, width, height));
    return true;
}

namespace {

INT_PTR HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInit(window);
        return TRUE;
    case WM_SIZE:
        OnSize(window, wParam, lParam);
        return TRUE;
    case WM_GETMINMAXINFO:
        OnMinMax(window, reinterpret_cast<MINMAXINFO*>(lParam));
        return TRUE;
    case WM_DPICHANGED:
        OnDpiChanged(window, wParam, reinterpret_cast<const RECT*>(lParam));
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(window);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case ID_ABOUT:
            ShowAbout(window);
            return TRUE;
        case ID_PREFERENCES:
            ShowPreferences(window);
            return TRUE;
        case ID_QUIT:
            DestroyWindow(window);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_TIMER:
        OnTimer(wParam);
        return TRUE;
    case WM_DESTROY:
        OnDestroy(window);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

INT_PTR CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Nothing may unwind into the dialog manager; a message whose handling failed counts as not
    // handled, and the window goes on.
    return iplug::ExceptionBarrier::Value<INT_PTR>([&] { return HandleMessage(window, message, wParam, lParam); },
                                                   FALSE);
}
