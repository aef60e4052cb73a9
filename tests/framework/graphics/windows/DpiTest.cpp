#include "framework/graphics/windows/IGraphicsWin.h"
#include "tests/framework/graphics/windows/EditorRig.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace iplug::igraphics {
namespace {

using namespace test;

const wchar_t* const kDesktopKey = L"Control Panel\\Desktop";

// The system DPI is read when a process starts: the check runs in a child process started
// after LogPixels was set to 144, and the old value is put back afterwards.
TEST(DpiTest, TheEditorFollowsTheMonitorScale)
{
    if (std::getenv("MARLQUIN_DPI_CHILD")) {
        TestParentWindow parent;
        ASSERT_EQ(IGraphicsWin::GetDpiScaleForWindow(parent.Handle()), 1.5f);
        TestDelegate delegate;
        delegate.SetLayout(
            [](IGraphics* g) { g->AddControl(new RecordingControl(IBox(0, 0, 460, 640), IArgb(255, 1, 2, 3))); });
        ASSERT_NE(delegate.OpenEditor(parent.Handle(), nullptr), nullptr);
        IGraphicsWin& g = *delegate.Win();
        // Opened at the whole part of the scale; the first redraw tick applies 1.5.
        PumpMessagesUntil([&] { return g.GetScreenScale() == 1.5f && g.PresentedFrames() >= 1; });
        EXPECT_EQ(g.GetScreenScale(), 1.5f);
        RECT r;
        GetClientRect(static_cast<HWND>(g.GetNativeWindow()), &r);
        EXPECT_EQ(r.right, 690);
        EXPECT_EQ(r.bottom, 960);
        EXPECT_EQ(ReadMainFramebuffer(g, 680, 950), (std::vector<uint8_t>{1, 2, 3, 255}));
        delegate.CloseEditor();
        return;
    }

    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    DWORD old = 0, size = sizeof(old);
    const bool hadValue =
        RegQueryValueExW(key, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&old), &size) == ERROR_SUCCESS;
    const DWORD dpi = 144;
    RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi));

    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(exe) + L"\" --gtest_filter=DpiTest.*";
    SetEnvironmentVariableW(L"MARLQUIN_DPI_CHILD", L"1");
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION process = {};
    const BOOL started =
        CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
    DWORD exitCode = 1;
    if (started) {
        WaitForSingleObject(process.hProcess, 120000);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    SetEnvironmentVariableW(L"MARLQUIN_DPI_CHILD", nullptr);
    if (hadValue)
        RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old), sizeof(old));
    else
        RegDeleteValueW(key, L"LogPixels");
    RegCloseKey(key);
    ASSERT_TRUE(started);
    EXPECT_EQ(exitCode, 0u) << "the check at 144 dots per inch failed (its output is above)";
}

} // namespace
} // namespace iplug::igraphics
