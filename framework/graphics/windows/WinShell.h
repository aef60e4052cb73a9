#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <commdlg.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>

#include "framework/core/TextBuffer.h"

#include <string>

namespace iplug::igraphics {

// True when the system reports an internet connection.
bool SystemIsConnected();

// The system calls of WinShell; tests replace single entries.
struct WinShellApi
{
    BOOL(WINAPI* getOpenFileName)(OPENFILENAMEW*) = ::GetOpenFileNameW;
    BOOL(WINAPI* getSaveFileName)(OPENFILENAMEW*) = ::GetSaveFileNameW;
    HINSTANCE(WINAPI* shellExecute)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT) = ::ShellExecuteW;
    int(WINAPI* messageBox)(HWND, LPCWSTR, LPCWSTR, UINT) = ::MessageBoxW;
    BOOL(WINAPI* chooseColour)(CHOOSECOLORW*) = ::ChooseColorW;
    PIDLIST_ABSOLUTE(WINAPI* browseForFolder)(BROWSEINFOW*) = ::SHBrowseForFolderW;
    BOOL(WINAPI* pathFromIdList)(PCIDLIST_ABSOLUTE, LPWSTR) = ::SHGetPathFromIDListW;
    HRESULT(WINAPI* oleInitialize)(LPVOID) = ::OleInitialize;
    void(WINAPI* oleUninitialize)() = ::OleUninitialize;
    bool (*isConnected)() = SystemIsConnected;
};

// The window layer's file dialog, clipboard, web and file-manager services. Paths are
// UTF-8 here and wide at every system call, so user and preset names in any script
// work. The system calls go through Api, which tests replace.
class WinShell
{
public:
    using Api = WinShellApi;

    // The file dialog's filter: every space-separated extension w as *.w, joined with
    // ';', twice (name and pattern) with their terminators and the final one. The
    // default extension is the first word. Empty for no list.
    struct FileFilter
    {
        std::wstring filter;
        std::wstring defaultExtension;
    };
    static FileFilter MakeFileFilter(const char* extensions);

    // Mode 1 saves, any other opens. Chosen: fileName := the full path, folder := its
    // drive and directory with the trailing backslash; answers true. Cancelled or
    // failed: fileName := empty, folder unchanged; false.
    static bool AskForFile(HWND owner, TextBuffer& fileName, TextBuffer& folder, int mode, const char* extensions,
                           const Api& api = Api());
    // A UTF-8 path as wide text with backslashes only: the dialogs and the file manager take a
    // forward slash for a switch or another folder. Empty when the text is not UTF-8.
    static std::wstring NativePath(const char* path);
    // The folder part of a path, up to and including its last backslash or slash.
    static void FolderOfPath(const char* path, TextBuffer& folder);

    // Shows path in the file manager, selected when select is set.
    static bool ShowInFileBrowser(const char* path, bool select, const Api& api = Api());
    static bool OpenUrl(HWND owner, const char* url, const char* title, const char* confirmation, const char* failure,
                        const Api& api = Api());

    // Clipboard, owned by owner (the editor's own window) while written.
    static bool ReadClipboardText(TextBuffer& text);
    static bool WriteClipboardText(HWND owner, const char* text);
    static bool WriteClipboardPath(HWND owner, const char* path);

private:
    static bool OpenAndEmptyClipboard(HWND owner);
    static bool SetClipboardBlock(UINT format, HGLOBAL block);
};

} // namespace iplug::igraphics
