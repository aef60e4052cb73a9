#include "framework/graphics/windows/WinShell.h"

#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>

namespace iplug::igraphics {
namespace {

TEST(WinShellTest, FileFilterListsEveryExtensionTwice)
{
    struct Case
    {
        const char* extensions;
        std::wstring filter;
        std::wstring defaultExtension;
    };
    const Case cases[] = {
        {"marlquin", std::wstring(L"*.marlquin\0*.marlquin\0\0", 23), L"marlquin"},
        {"png jpg", std::wstring(L"*.png;*.jpg\0*.png;*.jpg\0\0", 25), L"png"},
        {"  png  ", std::wstring(L"*.png\0*.png\0\0", 13), L"png"},
        {"", L"", L""},
        {nullptr, L"", L""},
    };
    for (const Case& c : cases) {
        const WinShell::FileFilter f = WinShell::MakeFileFilter(c.extensions);
        EXPECT_EQ(f.filter, c.filter) << (c.extensions ? c.extensions : "null");
        EXPECT_EQ(f.defaultExtension, c.defaultExtension);
    }
    // Long lists are not cut: no fixed buffer limits them.
    std::string many;
    for (int i = 0; i < 40; ++i)
        many += "extension" + std::to_string(i) + " ";
    EXPECT_NE(WinShell::MakeFileFilter(many.c_str()).filter.find(L"*.extension39"), std::wstring::npos);
}

// The dialog stand-ins record what they were asked and answer like the user would.
struct DialogScript
{
    static inline std::wstring answer;
    static inline std::wstring startFile, startFolder, filter, defaultExtension;
    static inline DWORD flags = 0;
    static inline int saves = 0, opens = 0;

    static BOOL Record(OPENFILENAMEW* ofn)
    {
        startFile = ofn->lpstrFile;
        startFolder = ofn->lpstrInitialDir ? ofn->lpstrInitialDir : L"";
        filter = ofn->lpstrFilter ? std::wstring(ofn->lpstrFilter, 2 * wcslen(ofn->lpstrFilter) + 2) : L"";
        defaultExtension = ofn->lpstrDefExt ? ofn->lpstrDefExt : L"";
        flags = ofn->Flags;
        if (answer.empty())
            return FALSE;
        wcscpy(ofn->lpstrFile, answer.c_str());
        return TRUE;
    }
    static BOOL WINAPI Save(OPENFILENAMEW* ofn)
    {
        ++saves;
        return Record(ofn);
    }
    static BOOL WINAPI Open(OPENFILENAMEW* ofn)
    {
        ++opens;
        return Record(ofn);
    }
};

TEST(WinShellTest, FileDialogSpeaksUtf8OutsideAndWideInside)
{
    WinShell::Api api;
    api.getSaveFileName = DialogScript::Save;
    api.getOpenFileName = DialogScript::Open;
    DialogScript::answer = L"C:\\Users\\\u0141ucja\\\u041f\u0440\u0435\u0441\u0435\u0442.marlquin";
    TextBuffer file("Zaj\xc4\x99te.marlquin"), folder("C:\\old\\");
    EXPECT_TRUE(WinShell::AskForFile(nullptr, file, folder, 1, "marlquin", api));
    EXPECT_EQ(DialogScript::saves, 1);
    EXPECT_EQ(DialogScript::startFile, L"Zaj\u0119te.marlquin");
    EXPECT_EQ(DialogScript::defaultExtension, L"marlquin");
    EXPECT_TRUE(DialogScript::flags & OFN_OVERWRITEPROMPT);
    EXPECT_STREQ(file.Get(), "C:\\Users\\\xc5\x81ucja\\\xd0\x9f\xd1\x80\xd0\xb5\xd1\x81\xd0\xb5\xd1\x82.marlquin");
    EXPECT_STREQ(folder.Get(), "C:\\Users\\\xc5\x81ucja\\");

    DialogScript::answer.clear();
    EXPECT_FALSE(WinShell::AskForFile(nullptr, file, folder, 0, nullptr, api));
    EXPECT_EQ(DialogScript::opens, 1);
    EXPECT_TRUE(DialogScript::flags & OFN_FILEMUSTEXIST);
    EXPECT_STREQ(file.Get(), "") << "cancel empties the file name";
    EXPECT_STREQ(folder.Get(), "C:\\Users\\\xc5\x81ucja\\") << "and keeps the folder";
}

struct ShellScript
{
    static inline std::wstring file, parameters, directory;
    static inline INT_PTR result = 42;
    static inline bool connected = true;
    static inline int boxes = 0;
    static inline UINT lastBoxType = 0;
    static inline int boxAnswer = IDYES;

    static HINSTANCE WINAPI Execute(HWND, LPCWSTR, LPCWSTR f, LPCWSTR p, LPCWSTR d, INT)
    {
        file = f;
        parameters = p ? p : L"";
        directory = d ? d : L"";
        return reinterpret_cast<HINSTANCE>(result);
    }
    static int WINAPI Box(HWND, LPCWSTR, LPCWSTR, UINT type)
    {
        ++boxes;
        lastBoxType = type;
        return boxAnswer;
    }
    static bool Connected() { return connected; }
};

WinShell::Api ShellApi()
{
    WinShell::Api api;
    api.shellExecute = ShellScript::Execute;
    api.messageBox = ShellScript::Box;
    api.isConnected = ShellScript::Connected;
    return api;
}

TEST(WinShellTest, FileBrowserGetsTheQuotedWidePath)
{
    const WinShell::Api api = ShellApi();
    EXPECT_TRUE(WinShell::ShowInFileBrowser("C:\\Presets\\\xc5\xbb\xc3\xb3\xc5\x82w", true, api));
    EXPECT_EQ(ShellScript::file, L"explorer.exe");
    // A backslash before the closing quote would escape it on explorer's command line.
    EXPECT_EQ(ShellScript::parameters, L"/select,\"C:\\Presets\\\u017b\u00f3\u0142w\"");
    EXPECT_EQ(ShellScript::directory.back(), L'\\');
    EXPECT_TRUE(WinShell::ShowInFileBrowser("C:\\x", false, api));
    EXPECT_EQ(ShellScript::parameters, L"\"C:\\x\"");
    EXPECT_FALSE(WinShell::ShowInFileBrowser("", true, api));
    ShellScript::result = 2;
    EXPECT_FALSE(WinShell::ShowInFileBrowser("C:\\x", false, api));
    ShellScript::result = 42;
}

// Paths built from a folder the system names with backslashes and parts joined with slashes
// reach the dialogs and the file manager with backslashes only.
TEST(WinShellTest, PathsHandedToTheShellUseBackslashesOnly)
{
    const char* mixed = "C:\\Users\\\xc5\x81ucja\\AppData\\Roaming/Ostrevane/Marlquin/Presets";
    const std::wstring native = L"C:\\Users\\\u0141ucja\\AppData\\Roaming\\Ostrevane\\Marlquin\\Presets";
    EXPECT_EQ(WinShell::NativePath(mixed), native);

    WinShell::Api api = ShellApi();
    api.getSaveFileName = DialogScript::Save;
    DialogScript::answer.clear();
    TextBuffer file("Presets/Warm.marlquin"), folder(mixed);
    WinShell::AskForFile(nullptr, file, folder, 1, "marlquin", api);
    EXPECT_EQ(DialogScript::startFolder, native);
    EXPECT_EQ(DialogScript::startFile, L"Presets\\Warm.marlquin");

    EXPECT_TRUE(WinShell::ShowInFileBrowser(mixed, false, api));
    EXPECT_EQ(ShellScript::parameters, L"\"" + native + L"\"");
}

TEST(WinShellTest, WebAddressAsksFirstAndReportsAMissingConnection)
{
    const WinShell::Api api = ShellApi();
    ShellScript::boxes = 0;
    ShellScript::boxAnswer = IDNO;
    EXPECT_FALSE(WinShell::OpenUrl(nullptr, "https://example.org", "t", "Open?", "Failed", api));
    EXPECT_EQ(ShellScript::boxes, 1);

    ShellScript::boxAnswer = IDYES;
    ShellScript::connected = false;
    EXPECT_FALSE(WinShell::OpenUrl(nullptr, "https://example.org", "t", nullptr, "Failed", api));
    EXPECT_EQ(ShellScript::lastBoxType, static_cast<UINT>(MB_OK));
    EXPECT_EQ(ShellScript::boxes, 2);

    ShellScript::connected = true;
    EXPECT_TRUE(WinShell::OpenUrl(nullptr, "https://example.org", "t", nullptr, "Failed", api));
    EXPECT_EQ(ShellScript::file, L"https://example.org");
    EXPECT_EQ(ShellScript::boxes, 2);
}

TEST(WinShellTest, ClipboardCarriesTextAndFilesWithTheGivenOwner)
{
    HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(WinShell::WriteClipboardText(owner, "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82"));
    EXPECT_EQ(GetClipboardOwner(), owner);
    TextBuffer text;
    ASSERT_TRUE(WinShell::ReadClipboardText(text));
    EXPECT_STREQ(text.Get(), "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82");

    ASSERT_TRUE(WinShell::WriteClipboardPath(owner, "C:\\\xc5\xbb.marlquin"));
    EXPECT_FALSE(WinShell::ReadClipboardText(text)) << "the file replaced the text";
    ASSERT_TRUE(OpenClipboard(nullptr));
    auto drop = static_cast<HDROP>(GetClipboardData(CF_HDROP));
    ASSERT_NE(drop, nullptr);
    wchar_t name[MAX_PATH] = {};
    DragQueryFileW(drop, 0, name, MAX_PATH);
    EXPECT_STREQ(name, L"C:\\\u017b.marlquin");
    CloseClipboard();
    DestroyWindow(owner);
}

} // namespace
} // namespace iplug::igraphics
