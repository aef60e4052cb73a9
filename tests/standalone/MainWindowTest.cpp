#include "standalone/MainWindow.h"

#include "framework/core/ModuleResources.h"
#include "framework/graphics/windows/GLLoader.h"
#include "framework/graphics/windows/IGraphicsWin.h"
#include "plugin/Quorrel.h"
#include "standalone/StandaloneHost.h"
#include "standalone/StandaloneResourceIds.h"
#include "tests/WaitUntil.h"
#include "tests/framework/graphics/windows/TestWindows.h"
#include "tests/plugin/ScratchAppData.h"
#include "tests/standalone/FakeAudioBackend.h"
#include "tests/standalone/TempFolder.h"

#include <gtest/gtest.h>

#include <nanovg.h>
#define NANOVG_GL2
#include <nanovg_gl.h>
#include <nanovg_gl_utils.h>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#include "stb_image.h"

#include <algorithm>
#include <cstdlib>
#include <string>
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

struct Pixels
{
    int width = 0;
    int height = 0;
    // RGB, top row first.
    std::vector<unsigned char> rgb;
};

// Dispatches this thread's messages until the condition holds; false when the deadline passes
// first. Each audio check of the window is counted on the way.
template <class Condition>
bool PumpUntil(Condition&& condition, HWND window = nullptr, int* audioChecks = nullptr)
{
    return test_wait::WaitUntil(condition, [&] {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (audioChecks && msg.message == WM_TIMER && msg.hwnd == window
                && msg.wParam == MainWindow::kAudioCheckTimer)
                ++*audioChecks;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    });
}

// Runs the window's audio check the given number of times more.
bool PumpAudioChecks(HWND window, int count)
{
    int checks = 0;
    return PumpUntil([&] { return checks >= count; }, window, &checks);
}

// The editor's last presented frame, read from its main framebuffer.
Pixels EditorFrame(iplug::igraphics::IGraphicsWin& ui)
{
    Pixels out;
    ui.BindGLContext();
    if (NVGLUframebuffer* fb = ui.GetMainFramebuffer()) {
        nvgImageSize(static_cast<NVGcontext*>(ui.GetBackendContext()), fb->image, &out.width, &out.height);
        glBindFramebuffer(GL_FRAMEBUFFER, fb->fbo);
        const std::vector<uint8_t> rows = iplug::igraphics::test::ReadPixels(0, 0, out.width, out.height);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        for (int y = out.height - 1; y >= 0; --y)
            for (int x = 0; x < out.width; ++x) {
                const unsigned char* p = &rows[(size_t(y) * out.width + x) * 4];
                out.rgb.insert(out.rgb.end(), {p[0], p[1], p[2]});
            }
    }
    ui.UnbindGLContext();
    return out;
}

Pixels GoldenPanel(const char* name)
{
    Pixels out;
    int channels = 0;
    const std::string path = std::string(MARLQUIN_GOLDEN_DIR) + "/" + name;
    if (unsigned char* data = stbi_load(path.c_str(), &out.width, &out.height, &channels, 3)) {
        out.rgb.assign(data, data + size_t(out.width) * out.height * 3);
        stbi_image_free(data);
    }
    return out;
}

// Share of colour values further apart than the tolerance; 1 when the sizes differ.
double DifferingShare(const Pixels& a, const Pixels& b, int tolerance)
{
    if (a.width != b.width || a.height != b.height || a.rgb.empty() || a.rgb.size() != b.rgb.size())
        return 1.0;
    size_t differing = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i)
        if (std::abs(int(a.rgb[i]) - int(b.rgb[i])) > tolerance)
            ++differing;
    return double(differing) / double(a.rgb.size());
}

TEST(ShutdownWatchdog, WithoutAHostThereIsNothingToWaitFor)
{
    StandaloneHost* host = nullptr;
    ShutdownWatchdog watchdog([](int) { FAIL() << "the process must not be ended"; }, 100);
    EXPECT_TRUE(watchdog.Run(host));
    watchdog.FinishProcess(0);
}

// The audio library is deleted on the thread that made it, not on the worker: it leaves COM
// on the thread that deletes it and entered COM on the one that made it.
TEST(ShutdownWatchdog, AFinishedTeardownDestroysTheHostAndTheAudioLibraryWhereItWasMade)
{
    TempFolder folder;
    auto script = OneOutput();
    StandaloneHost* host = FakeAudioBackend::MakeHost(script, folder.Path());
    ASSERT_TRUE(host->Init());
    ASSERT_TRUE(host->ApplyAudioSettings());
    StandaloneHost::ReleaseGlobal();
    std::vector<int> ended;
    ShutdownWatchdog watchdog([&](int code) { ended.push_back(code); }, test_wait::kHangMs);
    EXPECT_TRUE(watchdog.Run(host));
    EXPECT_EQ(host, nullptr);
    EXPECT_EQ(script->deletedOn, script->madeOn);
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
        // A hang is what the short wait is for; a failure is seen without any.
        ShutdownWatchdog watchdog([&](int code) { ended.push_back(code); }, hang ? 200 : test_wait::kHangMs);
        EXPECT_FALSE(watchdog.Run(host));
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
        host = FakeAudioBackend::MakeHost(script, folder.Path(), &errors);
        ASSERT_TRUE(host->Init());
        // A teardown that finishes is waited for; the hung driver's case sets its own wait.
        MainWindow::SetWatchdog(ShutdownWatchdog([this](int code) { ended.push_back(code); }, test_wait::kHangMs));
        // The panel's images and fonts are embedded in this program, as in Marlquin.exe.
        iplug::SetModuleInstance(GetModuleHandleW(nullptr));
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
    // The panel opens at scale 1 whatever other tests remember meanwhile.
    ScratchAppData appData;
    std::shared_ptr<Script> script;
    StandaloneHost* host = nullptr;
    HWND window = nullptr;
    std::vector<int> ended;
    std::vector<std::string> errors;
};

TEST_F(MainWindowTest, SizesItsClientAreaToTheEditorAndCentresOnTheScreen)
{
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    EXPECT_STREQ(title, L"Marlquin");
    EXPECT_TRUE(IsWindowVisible(window));
    const float scale = MainWindow::DpiScale(window);
    const SIZE client = ClientSize(window);
    EXPECT_EQ(client.cx, iplug::igraphics::IGraphics::WindowPixels(460, 1.0f, scale));
    EXPECT_EQ(client.cy, iplug::igraphics::IGraphics::WindowPixels(640, 1.0f, scale));
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

// The panel is drawn in the program's window as a host shows it: the frame it presents matches
// the plug-in's golden picture of the front at scale 1.
TEST_F(MainWindowTest, ThePanelDrawsInsideTheWindow)
{
    HWND panel = FindWindowExW(window, nullptr, L"IPlugWndClass", nullptr);
    ASSERT_NE(panel, nullptr);
    const SIZE panelSize = ClientSize(panel);
    const SIZE client = ClientSize(window);
    EXPECT_EQ(panelSize.cx, client.cx);
    EXPECT_EQ(panelSize.cy, client.cy);
    auto* ui = dynamic_cast<iplug::igraphics::IGraphicsWin*>(static_cast<Quorrel*>(host->Plugin())->GetGraphics());
    ASSERT_NE(ui, nullptr);
    const Pixels golden = GoldenPanel("panel_face_1x.png");
    ASSERT_EQ(golden.width, 460);
    // The images and fonts are decoded over the first frames: the panel is waited for until it
    // is drawn whole, frame after frame.
    double differing = 1.0;
    PumpUntil([&] {
        if (ui->PresentedFrames() > 0)
            differing = DifferingShare(EditorFrame(*ui), golden, 8);
        return differing < 0.005;
    });
    EXPECT_LT(differing, 0.005);
}

// Every panel scale at the usual screen scales: the window's client area is the panel's drawn
// size to the pixel, so no row or column of the dialog shows beside it. The panel changes its
// scale as its own control does, then the screen changes under it.
TEST_F(MainWindowTest, TheClientAreaIsThePanelsDrawnSizeAtEveryScale)
{
    iplug::igraphics::IGraphics* ui = static_cast<Quorrel*>(host->Plugin())->GetGraphics();
    ASSERT_NE(ui, nullptr);
    HWND panel = FindWindowExW(window, nullptr, L"IPlugWndClass", nullptr);
    ASSERT_NE(panel, nullptr);
    const int width = ui->Width(), height = ui->Height();
    int mismatches = 0;
    for (int dpi : {96, 120, 144}) {
        for (int thousandths = 750; thousandths <= 2000 && mismatches < 10; ++thousandths) {
            const float scale = float(thousandths) / 1000.0f;
            ui->ResizeEditor(width, height, scale, true);
            RECT suggested{};
            GetWindowRect(window, &suggested);
            SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
            const SIZE client = ClientSize(window), drawn = ClientSize(panel);
            if (client.cx != drawn.cx || client.cy != drawn.cy) {
                ++mismatches;
                ADD_FAILURE() << "scale " << scale << " at " << dpi << " dpi: client " << client.cx << "x" << client.cy
                              << ", panel " << drawn.cx << "x" << drawn.cy;
            }
        }
    }
    // A 144-dpi screen at the panel's own scale: 460 x 640 units take 690 x 960 pixels.
    ui->ResizeEditor(width, height, 1.0f, true);
    RECT suggested{};
    GetWindowRect(window, &suggested);
    SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(ClientSize(window).cx, 690);
    EXPECT_EQ(ClientSize(window).cy, 960);
}

TEST_F(MainWindowTest, TheEditorsCornerResizerResizesTheWindow)
{
    EXPECT_TRUE(host->Plugin()->ResizeHostWindow(520, 700));
    const SIZE client = ClientSize(window);
    EXPECT_EQ(client.cx, 520);
    EXPECT_EQ(client.cy, 700);
}

// An output device that goes away while playing: the window's next audio check notices and
// says so once, instead of staying silent.
TEST_F(MainWindowTest, ADeviceThatFailsWhilePlayingIsReportedOnce)
{
    ASSERT_TRUE(host->ApplyAudioSettings());
    ASSERT_TRUE(PumpAudioChecks(window, 2));
    EXPECT_TRUE(errors.empty());
    static_cast<FakeAudioBackend*>(host->Audio())->FailWhileRunning();
    ASSERT_TRUE(PumpUntil([&] { return !errors.empty(); }));
    // The checks that follow the report say nothing more.
    ASSERT_TRUE(PumpAudioChecks(window, 2));
    EXPECT_EQ(errors, std::vector<std::string>{StandaloneHost::kCheckAudioSettings});
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
    MainWindow::SetWatchdog(ShutdownWatchdog([this](int code) { ended.push_back(code); }, 200));
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
