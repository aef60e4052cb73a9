#include "standalone/MainWindow.h"

#include "standalone/StandaloneHost.h"
#include "standalone/StandaloneResourceIds.h"
#include "tests/standalone/FakeAudioBackend.h"
#include "tests/standalone/TempFolder.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Script = FakeAudioBackend::Script;

std::shared_ptr<Script> OneOutput()
{
    auto script = std::make_shared<Script>();
    script->devices = {FakeAudioBackend::Device("Primary Sound Driver", 0, 2, true)};
    return script;
}

SIZE ClientSize(HWND window)
{
    RECT client{};
    GetClientRect(window, &client);
    return SIZE{client.right, client.bottom};
}

TEST(ShutdownWatchdog, WithoutAHostThereIsNothingToWaitFor)
{
    StandaloneHost* host = nullptr;
    ShutdownWatchdog watchdog([](int) { FAIL() << "the process must not be ended"; });
    EXPECT_TRUE(watchdog.Run(host, 100));
    watchdog.FinishProcess(0);
}

TEST(ShutdownWatchdog, AFinishedTeardownDestroysTheHost)
{
    TempFolder folder;
    StandaloneHost* host = FakeAudioBackend::MakeHost(OneOutput(), folder.Path());
    ASSERT_TRUE(host->Init());
    ASSERT_TRUE(host->ApplyAudioSettings());
    StandaloneHost::ReleaseGlobal();
    std::vector<int> ended;
    ShutdownWatchdog watchdog([&](int code) { ended.push_back(code); });
    EXPECT_TRUE(watchdog.Run(host));
    EXPECT_EQ(host, nullptr);
    watchdog.FinishProcess(0);
    EXPECT_TRUE(ended.empty());
}

// A driver that hangs or fails keeps its host alive; the program then ends its process
// without the exit handlers that would destroy what the worker still uses.
TEST(ShutdownWatchdog, AHungOrFailedTeardownKeepsTheHostAndEndsTheProcessLater)
{
    for (bool hang : {true, false}) {
        SCOPED_TRACE(hang ? "hang" : "throw");
        TempFolder folder;
        auto script = OneOutput();
        StandaloneHost* host = FakeAudioBackend::MakeHost(script, folder.Path());
        ASSERT_TRUE(host->Init());
        ASSERT_TRUE(host->ApplyAudioSettings());
        StandaloneHost::ReleaseGlobal();
        script->hangOnAbort = hang;
        script->throwOnAbort = !hang;
        std::vector<int> ended;
        ShutdownWatchdog watchdog([&](int code) { ended.push_back(code); });
        EXPECT_FALSE(watchdog.Run(host, 200));
        EXPECT_NE(host, nullptr);
        watchdog.FinishProcess(0);
        EXPECT_EQ(ended, std::vector<int>{0});
        // The worker may still be inside the hung driver: the host is left to the process.
        script->hangOnAbort = false;
    }
}

class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        script = OneOutput();
        host = FakeAudioBackend::MakeHost(script, folder.Path());
        ASSERT_TRUE(host->Init());
        MainWindow::SetWatchdog(ShutdownWatchdog([this](int code) { ended.push_back(code); }));
        window = MainWindow::Create(GetModuleHandleW(nullptr));
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override
    {
        if (IsWindow(window))
            DestroyWindow(window);
        delete StandaloneHost::ReleaseGlobal();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    TempFolder folder;
    std::shared_ptr<Script> script;
    StandaloneHost* host = nullptr;
    HWND window = nullptr;
    std::vector<int> ended;
};

TEST_F(MainWindowTest, SizesItsClientAreaToTheEditorAndCentresOnTheScreen)
{
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    EXPECT_STREQ(title, L"Marlquin");
    EXPECT_TRUE(IsWindowVisible(window));
    const float scale = MainWindow::DpiScale(window);
    const SIZE client = ClientSize(window);
    EXPECT_EQ(client.cx, MainWindow::ScaledPixels(460, scale));
    EXPECT_EQ(client.cy, MainWindow::ScaledPixels(640, scale));
    RECT outer{};
    GetWindowRect(window, &outer);
    EXPECT_NEAR((outer.left + outer.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((outer.top + outer.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);

    HMENU menu = GetMenu(window);
    ASSERT_NE(menu, nullptr);
    wchar_t text[64] = {};
    GetMenuStringW(menu, ID_PREFERENCES, text, 64, MF_BYCOMMAND);
    EXPECT_STREQ(text, L"&Preferences...\tCtrl+,");
    GetMenuStringW(menu, ID_ABOUT, text, 64, MF_BYCOMMAND);
    EXPECT_STREQ(text, L"&About");
}

TEST(MainWindowScale, EditorSizesScaleWithTheScreen)
{
    EXPECT_EQ(MainWindow::ScaledPixels(460, 1.5f), 690);
    EXPECT_EQ(MainWindow::ScaledPixels(640, 1.5f), 960);
    EXPECT_EQ(MainWindow::ScaledPixels(461, 1.25f), 576);
}

TEST_F(MainWindowTest, TheEditorsCornerResizerResizesTheWindow)
{
    EXPECT_TRUE(host->Plugin()->ResizeHostWindow(520, 700));
    const SIZE client = ClientSize(window);
    EXPECT_EQ(client.cx, 520);
    EXPECT_EQ(client.cy, 700);
}

TEST_F(MainWindowTest, QuitShutsTheHostDownAndPostsTheQuitMessage)
{
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(ID_QUIT, 0), 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(StandaloneHost::Global(), nullptr);
    EXPECT_EQ(MainWindow::Handle(), nullptr);
    EXPECT_FALSE(MainWindow::Watchdog().Failed());
    MSG msg{};
    bool quit = false;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        quit = quit || msg.message == WM_QUIT;
    EXPECT_TRUE(quit);
    EXPECT_TRUE(ended.empty());
}

// A driver that never returns from stopping: the window still goes and the quit message is
// posted after the watchdog's wait, and the program's end is the immediate one, with code 0.
TEST_F(MainWindowTest, AHungDriverStillLetsTheProgramEndWithZero)
{
    ASSERT_TRUE(host->ApplyAudioSettings());
    script->hangOnAbort = true;
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(ID_QUIT, 0), 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(MainWindow::Watchdog().Failed());
    MSG msg{};
    bool quit = false;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        quit = quit || msg.message == WM_QUIT;
    EXPECT_TRUE(quit);
    MainWindow::Watchdog().FinishProcess(0);
    EXPECT_EQ(ended, std::vector<int>{0});
    // The worker is still inside the driver with the host: both are left to the process.
    script->hangOnAbort = false;
}

} // namespace
