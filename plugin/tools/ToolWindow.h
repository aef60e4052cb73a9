#pragma once

#include <windows.h>

// What the panel tools do to the windows they open, as a user and a host's message loop would.
class ToolWindow
{
public:
    // Dispatches this thread's messages for the given time, so an editor draws its frames.
    static void Pump(int milliseconds);
    // A left click at a point of the window's client area, in pixels.
    static void Click(HWND window, int x, int y);
};
