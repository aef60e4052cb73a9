#include "plugin/tools/ToolWindow.h"

void ToolWindow::Pump(int milliseconds)
{
    const DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
    do {
        // One message at a time: an editor keeps asking for redraws while it draws.
        MSG msg;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        } else
            Sleep(5);
    } while (static_cast<int>(end - GetTickCount()) > 0);
}

void ToolWindow::Click(HWND window, int x, int y)
{
    const LPARAM at = MAKELPARAM(x, y);
    SendMessageW(window, WM_MOUSEMOVE, 0, at);
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(window, WM_LBUTTONUP, 0, at);
}
