#pragma once

#include "standalone/ShutdownWatchdog.h"

#include <windows.h>

// The program's main window, made from dialog IDD_MAIN_WINDOW: it holds the plug-in's editor,
// sizes itself to it, follows DPI changes, serves the menu and, when destroyed, shuts the
// global host down through the watchdog and posts the quit message. One per process.
class MainWindow
{
public:
    // The timer on which the window checks that the audio stream still plays.
    static constexpr UINT_PTR kAudioCheckTimer = 1;

    // A modeless dialog owned by the desktop, menu bar drawn; null when it cannot be made.
    static HWND Create(HINSTANCE instance);
    static HWND Handle();
    // The watchdog the window's destruction runs; tests replace its end-of-process step.
    static ShutdownWatchdog& Watchdog();
    static void SetWatchdog(const ShutdownWatchdog& watchdog);

    // Scale of the window's monitor against 96 DPI; 1 where the system cannot tell.
    static float DpiScale(HWND window);
    // Resizes the window to the client size without treating the resulting size message as a
    // request from the user.
    static bool ResizeClient(HWND window, int width, int height);
};

INT_PTR CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
