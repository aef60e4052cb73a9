// Runs the built program the way a user does and watches it from outside: windows are found
// by title and process, keys arrive through SendInput, the exit code is the process's own.
#include "plugin/presets/UiScaleFile.h"
#include "plugin/presets/UserDataFolder.h"
#include "standalone/SettingsFile.h"
#include "standalone/StandaloneResourceIds.h"
#include "tests/WaitUntil.h"
#include "tests/plugin/ScratchAppData.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::wstring ProgramPath()
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self);
    path.resize(path.find_last_of(L"\\/") + 1);
    return path + L"" MARLQUIN_PROGRAM_PATH;
}

class Program
{
public:
    Program()
    {
        std::wstring command = L"\"" + ProgramPath() + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)
                  != FALSE;
    }
    ~Program()
    {
        if (started && WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(info.hProcess, 99);
        if (started) {
            CloseHandle(info.hThread);
            CloseHandle(info.hProcess);
        }
    }

    bool Started() const { return started; }
    // The process's visible top-level window with this title (and this owner, when one is
    // given), once it is there; null when the process ends first or the deadline passes.
    HWND WaitForWindow(const wchar_t* title, HWND owner = nullptr) const
    {
        HWND found = nullptr;
        test_wait::WaitUntil(
            [&] {
                found = FindWindowOf(title, owner);
                return found != nullptr || WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0;
            },
            [] { Sleep(20); });
        return found;
    }
    // Exit code, or -1 when the process is still running after the wait.
    long WaitForExit(DWORD timeoutMs = test_wait::kHangMs) const
    {
        if (WaitForSingleObject(info.hProcess, timeoutMs) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        GetExitCodeProcess(info.hProcess, &code);
        return long(code);
    }

private:
    HWND FindWindowOf(const wchar_t* title, HWND ownerWindow) const
    {
        struct Search
        {
            DWORD process;
            const wchar_t* title;
            HWND owner;
            HWND found;
        } search{info.dwProcessId, title, ownerWindow, nullptr};
        EnumWindows(
            [](HWND window, LPARAM data) -> BOOL {
                Search& s = *reinterpret_cast<Search*>(data);
                DWORD process = 0;
                GetWindowThreadProcessId(window, &process);
                wchar_t text[128] = {};
                GetWindowTextW(window, text, 128);
                if (process == s.process && std::wstring(text) == s.title && IsWindowVisible(window)
                    && (!s.owner || GetWindow(window, GW_OWNER) == s.owner)) {
                    s.found = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    PROCESS_INFORMATION info{};
    bool started = false;
};

// Waits, polling, until the condition holds; false when only a hang explains the wait.
template <class Condition>
bool WaitUntil(Condition&& condition)
{
    return test_wait::WaitUntil(condition, [] { Sleep(20); });
}

std::wstring SettingsPath()
{
    return SettingsFile::DefaultFolder() + L"settings.ini";
}

void PressCtrlComma()
{
    INPUT keys[4] = {};
    const WORD codes[4] = {VK_CONTROL, VK_OEM_COMMA, VK_OEM_COMMA, VK_CONTROL};
    for (int i = 0; i < 4; ++i) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = codes[i];
        keys[i].ki.dwFlags = (i >= 2) ? KEYEVENTF_KEYUP : 0;
    }
    SendInput(4, keys, sizeof(INPUT));
}

// Every program started here finds its own user data: no remembered scale unless a case writes
// one, so the panel opens at scale 1.
class ProgramAppData : public ::testing::Environment
{
public:
    void SetUp() override { appData = std::make_unique<ScratchAppData>(); }
    void TearDown() override { appData.reset(); }

private:
    std::unique_ptr<ScratchAppData> appData;
};
const ::testing::Environment* const programAppData = ::testing::AddGlobalTestEnvironment(new ProgramAppData);

int KeyCount(const std::wstring& path, const wchar_t* section)
{
    wchar_t buffer[4096] = {};
    const DWORD n = GetPrivateProfileStringW(section, nullptr, L"", buffer, 4096, path.c_str());
    int count = 0;
    for (const wchar_t* p = buffer; p < buffer + n && *p; p += wcslen(p) + 1)
        ++count;
    return count;
}

// The main window's client area has the size, and the editor inside it fills it.
void ExpectPanelFillingTheWindow(HWND main, int width, int height)
{
    RECT client{};
    GetClientRect(main, &client);
    EXPECT_EQ(client.right, width);
    EXPECT_EQ(client.bottom, height);
    HWND panel = FindWindowExW(main, nullptr, L"IPlugWndClass", nullptr);
    ASSERT_NE(panel, nullptr) << "the editor opens inside the main window";
    RECT panelRect{};
    GetClientRect(panel, &panelRect);
    EXPECT_EQ(panelRect.right, width);
    EXPECT_EQ(panelRect.bottom, height);
}

TEST(Program, StartsOpensPreferencesWithCtrlCommaAndClosesInOrder)
{
    DeleteFileW(SettingsPath().c_str());
    Program program;
    ASSERT_TRUE(program.Started());
    HWND main = program.WaitForWindow(L"Marlquin");
    ASSERT_NE(main, nullptr);
    ExpectPanelFillingTheWindow(main, 460, 640);

    SetForegroundWindow(main);
    PressCtrlComma();
    HWND preferences = program.WaitForWindow(L"Preferences");
    ASSERT_NE(preferences, nullptr);
    PostMessageW(preferences, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(preferences); }));

    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(), 0);
    EXPECT_EQ(KeyCount(SettingsPath(), L"audio"), 9);
    EXPECT_EQ(KeyCount(SettingsPath(), L"midi"), 4);
    wchar_t output[256] = {};
    GetPrivateProfileStringW(L"audio", L"outdev", L"", output, 256, SettingsPath().c_str());
    EXPECT_STREQ(output, L"Primary Sound Driver");
}

// The window is as large as the panel it opens at the remembered scale, to the pixel: scales
// whose products round one way and truncate the other included.
TEST(Program, OpensThePanelAtTheRememberedScale)
{
    const struct
    {
        float scale;
        int width;
        int height;
    } cases[] = {{1.5f, 690, 960}, {1.302f, 598, 833}, {1.299f, 597, 831}, {1.309f, 602, 837}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scale);
        ASSERT_TRUE(UiScaleFile::Write(UserDataFolder::UiScalePath(), c.scale));
        Program program;
        HWND main = program.WaitForWindow(L"Marlquin");
        ASSERT_NE(main, nullptr);
        ExpectPanelFillingTheWindow(main, c.width, c.height);
        PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(program.WaitForExit(), 0);
    }
    DeleteFileA(UserDataFolder::UiScalePath().c_str());
}

// Whether the window w lies above the window below in the z-order.
bool IsAbove(HWND w, HWND below)
{
    for (HWND next = GetWindow(w, GW_HWNDNEXT); next; next = GetWindow(next, GW_HWNDNEXT))
        if (next == below)
            return true;
    return false;
}

// The second start brings the first program's main window back and to the front, whatever
// box of its own it shows: the About box has the main window's class and title, and a modal
// box comes to the front with the window that owns it.
TEST(Program, ASecondStartHandsOverToTheFirstAndExitsWithZero)
{
    const struct
    {
        const char* name;
        bool minimise;
        WORD openBox;
        const wchar_t* boxTitle;
        WORD closeBox;
    } cases[] = {{"behind another window", false, 0, nullptr, 0},
                 {"minimised", true, 0, nullptr, 0},
                 {"minimised with About open", true, ID_ABOUT, L"Marlquin", IDOK},
                 {"minimised with Preferences open", true, ID_PREFERENCES, L"Preferences", IDCANCEL}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Program first;
        HWND main = first.WaitForWindow(L"Marlquin");
        ASSERT_NE(main, nullptr);
        HWND box = nullptr;
        if (c.openBox) {
            PostMessageW(main, WM_COMMAND, MAKEWPARAM(c.openBox, 0), 0);
            box = first.WaitForWindow(c.boxTitle, main);
            ASSERT_NE(box, nullptr);
        }
        if (c.minimise) {
            ShowWindow(main, SW_MINIMIZE);
            ASSERT_TRUE(WaitUntil([&] { return IsIconic(main) != FALSE; }));
        }
        // Something else in front first, so that the hand-over has to bring the program forward.
        HWND other = CreateWindowExW(0, L"Static", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                     nullptr, nullptr, nullptr);
        SetForegroundWindow(other);
        ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == other; }));
        Program second;
        ASSERT_TRUE(second.Started());
        EXPECT_EQ(second.WaitForExit(), 0);
        // Activation across processes reaches this process through the window system, a moment
        // later.
        HWND front = box ? box : main;
        const auto inFront = [&] { return front == main || IsAbove(front, main); };
        WaitUntil(
            [&] { return !IsIconic(main) && GetForegroundWindow() == front && IsAbove(main, other) && inFront(); });
        EXPECT_FALSE(IsIconic(main));
        EXPECT_EQ(GetForegroundWindow(), front);
        EXPECT_TRUE(IsAbove(main, other));
        EXPECT_TRUE(inFront()) << "the box stays above its window";
        EXPECT_EQ(first.WaitForExit(0), -1) << "the first instance keeps running";
        DestroyWindow(other);
        if (box) {
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(c.closeBox, BN_CLICKED), 0);
            ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
        }
        PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(first.WaitForExit(), 0);
    }
}

// Run with a HOME whose ALSA has no device: DirectSound then lists nothing.
TEST(ProgramWithoutAudioDevice, TellsTheUserAndStillRunsAndExitsWithZero)
{
    Program program;
    ASSERT_TRUE(program.Started());
    HWND error = program.WaitForWindow(L"Error");
    ASSERT_NE(error, nullptr);
    wchar_t text[128] = {};
    HWND label = FindWindowExW(error, nullptr, L"Static", nullptr);
    while (label && GetWindowTextW(label, text, 128) == 0)
        label = FindWindowExW(error, label, L"Static", nullptr);
    EXPECT_STREQ(text, L"Please check the audio settings");
    PostMessageW(error, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    HWND main = program.WaitForWindow(L"Marlquin");
    ASSERT_NE(main, nullptr);
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(), 0);
}

} // namespace
