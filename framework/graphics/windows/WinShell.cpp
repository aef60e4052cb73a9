#include "framework/graphics/windows/WinShell.h"

#include "framework/core/WideTextBuffer.h"
#include "framework/graphics/windows/DropFilesBlock.h"

#include <shellapi.h>
#include <wininet.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace iplug::igraphics {

namespace {

constexpr int kFileBufferUnits = 260;

std::wstring Wide(const char* text)
{
    const WideTextBuffer wide(text ? text : "");
    return wide.GetW() ? std::wstring(wide.GetW()) : std::wstring();
}

} // namespace

bool SystemIsConnected()
{
    DWORD flags = 0;
    return InternetGetConnectedState(&flags, 0) != FALSE;
}

WinShell::FileFilter WinShell::MakeFileFilter(const char* extensions)
{
    FileFilter result;
    if (!extensions || !*extensions)
        return result;
    std::wstring pattern;
    const std::wstring list = Wide(extensions);
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(L' ', start);
        if (end == std::wstring::npos)
            end = list.size();
        if (end > start) {
            const std::wstring word = list.substr(start, end - start);
            if (result.defaultExtension.empty())
                result.defaultExtension = word;
            if (!pattern.empty())
                pattern += L';';
            pattern += L"*." + word;
        }
        start = end + 1;
    }
    if (pattern.empty())
        return result;
    result.filter = pattern;
    result.filter += L'\0';
    result.filter += pattern;
    result.filter += L'\0';
    result.filter += L'\0';
    return result;
}

std::wstring WinShell::NativePath(const char* path)
{
    std::wstring native = Wide(path);
    std::replace(native.begin(), native.end(), L'/', L'\\');
    return native;
}

void WinShell::FolderOfPath(const char* path, TextBuffer& folder)
{
    const char* lastSeparator = nullptr;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/')
            lastSeparator = p;
    if (lastSeparator)
        folder.Set(path, static_cast<int>(lastSeparator - path + 1));
    else
        folder.Set("");
}

bool WinShell::AskForFile(HWND owner, TextBuffer& fileName, TextBuffer& folder, int mode, const char* extensions,
                          const Api& api)
{
    std::vector<wchar_t> file(kFileBufferUnits, L'\0');
    const std::wstring start = NativePath(fileName.Get());
    if (start.size() < kFileBufferUnits)
        std::memcpy(file.data(), start.c_str(), start.size() * sizeof(wchar_t));
    const std::wstring initialDir = NativePath(folder.Get());
    const FileFilter filter = MakeFileFilter(extensions);

    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = kFileBufferUnits - 1;
    ofn.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
    ofn.lpstrFilter = filter.filter.empty() ? nullptr : filter.filter.c_str();
    ofn.lpstrDefExt = filter.defaultExtension.empty() ? nullptr : filter.defaultExtension.c_str();
    BOOL chosen;
    if (mode == 1) {
        ofn.Flags = OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT;
        chosen = api.getSaveFileName(&ofn);
    } else {
        ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
        chosen = api.getOpenFileName(&ofn);
    }
    if (!chosen) {
        fileName.Set("");
        return false;
    }
    fileName.FromUtf16(file.data());
    FolderOfPath(fileName.Get(), folder);
    return fileName.GetLength() > 0;
}

bool WinShell::ShowInFileBrowser(const char* path, bool select, const Api& api)
{
    if (!path || !*path)
        return false;
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length < 1 || length > 258)
        return false;
    std::wstring directory(system, length);
    directory += L'\\';
    std::wstring parameters = select ? L"/select," : L"";
    parameters += L'"';
    parameters += NativePath(path);
    parameters += L'"';
    const auto result =
        api.shellExecute(nullptr, L"open", L"explorer.exe", parameters.c_str(), directory.c_str(), SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

bool WinShell::OpenUrl(HWND owner, const char* url, const char* title, const char* confirmation, const char* failure,
                       const Api& api)
{
    const std::wstring wideTitle = Wide(title);
    if (confirmation && api.messageBox(owner, Wide(confirmation).c_str(), wideTitle.c_str(), MB_YESNO) != IDYES)
        return false;
    if (api.isConnected()) {
        const auto result = api.shellExecute(owner, L"open", Wide(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        if (reinterpret_cast<INT_PTR>(result) > 32)
            return true;
    }
    if (failure)
        api.messageBox(owner, Wide(failure).c_str(), wideTitle.c_str(), MB_OK);
    return false;
}

bool WinShell::ReadClipboardText(TextBuffer& text)
{
    text.Set("");
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(nullptr))
        return false;
    bool read = false;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* wide = static_cast<const wchar_t*>(GlobalLock(data))) {
            text.FromUtf16(wide);
            GlobalUnlock(data);
            read = true;
        }
    }
    CloseClipboard();
    return read;
}

bool WinShell::OpenAndEmptyClipboard(HWND owner)
{
    if (!OpenClipboard(owner))
        return false;
    EmptyClipboard();
    return true;
}

bool WinShell::SetClipboardBlock(UINT format, HGLOBAL block)
{
    const bool taken = block && SetClipboardData(format, block);
    if (block && !taken)
        GlobalFree(block);
    CloseClipboard();
    return taken;
}

bool WinShell::WriteClipboardText(HWND owner, const char* text)
{
    if (!OpenAndEmptyClipboard(owner))
        return false;
    if (!text || !*text) {
        CloseClipboard();
        return true;
    }
    const WideTextBuffer wide(text);
    HGLOBAL block = nullptr;
    const int units = wide.GetLength();
    if (units > 0) {
        block = GlobalAlloc(GMEM_MOVEABLE, (static_cast<SIZE_T>(units) + 1) * sizeof(wchar_t));
        if (void* target = block ? GlobalLock(block) : nullptr) {
            std::memcpy(target, wide.GetW(), (static_cast<SIZE_T>(units) + 1) * sizeof(wchar_t));
            GlobalUnlock(block);
        }
    }
    return SetClipboardBlock(CF_UNICODETEXT, block);
}

bool WinShell::WriteClipboardPath(HWND owner, const char* path)
{
    if (!OpenAndEmptyClipboard(owner))
        return false;
    return SetClipboardBlock(CF_HDROP, MakeDropFilesBlock(path));
}

} // namespace iplug::igraphics
