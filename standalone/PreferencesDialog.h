#pragma once

#include <windows.h>

// Dialog procedure of the Preferences dialog (resource IDD_PREFERENCES). It edits the global
// host's settings in place; OK, Apply and Cancel reopen the audio as needed. Answers TRUE for
// the initialisation message and every command.
INT_PTR CALLBACK PreferencesProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
