#include "framework/graphics/windows/IGraphicsWin.h"
#include "framework/graphics/windows/DropFilesBlock.h"
#include "framework/graphics/windows/WglContext.h"
#include "framework/graphics/windows/WinFont.h"
#include "tests/framework/graphics/windows/EditorRig.h"

#include <shlobj.h>

#include <new>
#include <stdexcept>

#include <gtest/gtest.h>

namespace iplug::igraphics {
namespace {

using namespace test;

const IArgb kBackground(255, 32, 64, 96);
const IArgb kRed(255, 255, 0, 0);

// Both redraw clocks: the vertical-blank thread (Windows 8 and later) and the timer.
class IGraphicsWinTest : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        delegate.useVBlankClock = GetParam();
        delegate.SetLayout([this](IGraphics* g) {
            background = new RecordingControl(IBox(0, 0, 460, 640), kBackground);
            knob = new RecordingControl(IBox(100, 100, 160, 160), kRed, 0);
            g->AddControl(background);
            g->AddControl(knob);
        });
    }

    IGraphicsWin* Open()
    {
        HWND child = static_cast<HWND>(delegate.OpenEditor(parent.Handle(), nullptr));
        if (!child)
            return nullptr;
        IGraphicsWin* g = delegate.Win();
        WaitForFrames(*g, 1);
        return g;
    }

    // The editor with a text entry open over the knob, which edits an integer (1 to 8, now 4).
    IGraphicsWin* OpenWithStepsEntry()
    {
        delegate.GetParam(0)->SetupInt("Steps", 4, 1, 8);
        IGraphicsWin* g = Open();
        if (g)
            g->OpenTextEntry(knob, ITextStyle(), knob->GetBox(), "4", 0);
        return g && g->GetTextEntryWindow() ? g : nullptr;
    }

    void Send(UINT msg, WPARAM w, LPARAM l)
    {
        SendMessageW(static_cast<HWND>(delegate.Win()->GetNativeWindow()), msg, w, l);
    }

    // One parent for the run (a visible top-level window takes seconds to go under Wine),
    // given back at its first size by every test.
    static TestParentWindow& SharedParent()
    {
        static TestParentWindow window;
        return window;
    }
    void TearDown() override
    {
        SetWindowPos(parent.Handle(), nullptr, 0, 0, 600, 800, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    TestParentWindow& parent = SharedParent();
    TestDelegate delegate;
    RecordingControl* background = nullptr;
    RecordingControl* knob = nullptr;
};

TEST_P(IGraphicsWinTest, OpensDrawsThePanelAndClosesWithoutLeftovers)
{
    const ObjectCounts before = CountObjects();
    const int contextsBefore = WglContext::LiveCount(), fontsBefore = WinFont::LiveCount();
    IGraphicsWin* g = Open();
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(delegate.opened, 1);
    EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 1);
    EXPECT_EQ(g->UsesVBlankClock(), GetParam());
    ASSERT_GE(g->PresentedFrames(), 1);
    EXPECT_EQ(ReadMainFramebuffer(*g, 10, 10), (std::vector<uint8_t>{32, 64, 96, 255}));
    EXPECT_EQ(ReadMainFramebuffer(*g, 130, 130), (std::vector<uint8_t>{255, 0, 0, 255}));
    EXPECT_EQ(ReadMainFramebuffer(*g, 459, 639), (std::vector<uint8_t>{32, 64, 96, 255}));
    RECT r;
    GetClientRect(static_cast<HWND>(g->GetNativeWindow()), &r);
    EXPECT_EQ(r.right, 460);
    EXPECT_EQ(r.bottom, 640);

    delegate.CloseEditor();
    EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 0);
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    EXPECT_EQ(GetWindow(parent.Handle(), GW_CHILD), nullptr);
    const ObjectCounts after = CountObjectsOnceBackTo(before);
    EXPECT_LE(after.threads, before.threads);
    EXPECT_LE(after.windows, before.windows);
    EXPECT_EQ(WglContext::LiveCount(), contextsBefore);
    EXPECT_EQ(WinFont::LiveCount(), fontsBefore);
}

// An idle editor draws nothing; a dirty control redraws only itself.
TEST_P(IGraphicsWinTest, RedrawsOnlyWhenSomethingIsDirty)
{
    IGraphicsWin* g = Open();
    ASSERT_NE(g, nullptr);
    PumpMessages(100);
    const int frames = g->PresentedFrames();
    const int backgroundPaints = background->paints, knobPaints = knob->paints;
    PumpMessages(200);
    EXPECT_EQ(g->PresentedFrames(), frames);

    knob->colour = IArgb(255, 0, 255, 0);
    knob->MarkDirty(false);
    ASSERT_TRUE(WaitForFrames(*g, frames + 1));
    EXPECT_EQ(knob->paints, knobPaints + 1);
    EXPECT_EQ(background->paints, backgroundPaints + 1) << "under the knob only";
    EXPECT_EQ(ReadMainFramebuffer(*g, 130, 130), (std::vector<uint8_t>{0, 255, 0, 255}));
    EXPECT_EQ(ReadMainFramebuffer(*g, 10, 10), (std::vector<uint8_t>{32, 64, 96, 255}));
    delegate.CloseEditor();
}

// What changes while the host hides the editor is drawn when it is shown, not before.
TEST_P(IGraphicsWinTest, AHiddenEditorPresentsNothingUntilItIsShown)
{
    IGraphicsWin* g = Open();
    ASSERT_NE(g, nullptr);
    // Past the opening frames, which still fill the new back buffer whole.
    knob->MarkDirty(false);
    ASSERT_TRUE(WaitForFrames(*g, g->PresentedFrames() + 1));
    HWND window = static_cast<HWND>(g->GetNativeWindow());
    ShowWindow(window, SW_HIDE);
    PumpMessages(50);
    const int frames = g->PresentedFrames();
    knob->colour = IArgb(255, 0, 255, 0);
    knob->MarkDirty(false);
    PumpMessages(200);
    EXPECT_EQ(g->PresentedFrames(), frames);

    ShowWindow(window, SW_SHOW);
    ASSERT_TRUE(WaitForFrames(*g, frames + 1));
    EXPECT_EQ(ReadMainFramebuffer(*g, 130, 130), (std::vector<uint8_t>{0, 255, 0, 255}));
    delegate.CloseEditor();
}

TEST_P(IGraphicsWinTest, EveryFailedOpenStepLeavesNothingAndALaterOpenWorks)
{
    for (auto step : {IGraphicsWin::OpenStep::CreateWindow, IGraphicsWin::OpenStep::GLContext,
                      IGraphicsWin::OpenStep::NanoVGContext, IGraphicsWin::OpenStep::MainFramebuffer}) {
        auto* g = new IGraphicsWin(delegate, 460, 640, 60, 1.0f);
        g->SetUseVBlankClock(GetParam());
        g->FailOpenStepForTesting(step);
        EXPECT_EQ(g->OpenPlatformWindow(parent.Handle()), nullptr) << int(step);
        EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 0) << int(step);
        EXPECT_EQ(GetWindow(parent.Handle(), GW_CHILD), nullptr) << int(step);
        EXPECT_EQ(wglGetCurrentContext(), nullptr) << int(step);
        EXPECT_FALSE(g->GetVBlankClock().IsRunning()) << int(step);
        EXPECT_EQ(g->NControls(), 0) << "no layout ran";
        g->FailOpenStepForTesting(IGraphicsWin::OpenStep::None);
        EXPECT_NE(g->OpenPlatformWindow(parent.Handle()), nullptr) << int(step);
        g->ClosePlatformWindow();
        delete g;
    }
}

TEST_P(IGraphicsWinTest, PointerPressDragReleaseReachTheControlWithAGesture)
{
    IGraphicsWin* g = Open();
    ASSERT_NE(g, nullptr);
    Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(120, 120));
    EXPECT_EQ(delegate.openGestures, 1);
    Send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(120, 120));
    Send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(125, 117));
    Send(WM_LBUTTONUP, 0, MAKELPARAM(125, 117));
    EXPECT_EQ(knob->events, (std::vector<std::string>{"down", "drag 5,-3", "up"}));
    EXPECT_EQ(delegate.openGestures, 0);
    delegate.CloseEditor();
}

// Alt-Tab or a host dialog during a knob drag takes the capture away.
TEST_P(IGraphicsWinTest, LosingTheCaptureEndsTheDragAndShowsThePointer)
{
    IGraphicsWin* g = Open();
    ASSERT_NE(g, nullptr);
    knob->hidePointerOnDrag = true;
    for (UINT lost : {UINT(WM_CAPTURECHANGED), UINT(WM_CANCELMODE)}) {
        knob->events.clear();
        Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(120, 120));
        Send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(121, 125));
        EXPECT_TRUE(g->IsPointerHidden());
        Send(lost, 0, 0);
        EXPECT_EQ(knob->events.back(), "up") << lost;
        EXPECT_EQ(delegate.openGestures, 0) << lost;
        EXPECT_FALSE(g->IsPointerHidden()) << lost;
        EXPECT_EQ(g->NCaptures(), 0);
    }
    // The editor closed in the middle of a drag (the host removed the view).
    Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(120, 120));
    Send(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(121, 125));
    EXPECT_EQ(delegate.openGestures, 1);
    g->ClosePlatformWindow();
    EXPECT_EQ(delegate.openGestures, 0);
    EXPECT_FALSE(g->IsPointerHidden());
    delegate.CloseEditor();
}

TEST_P(IGraphicsWinTest, WheelKeysAndDroppedFilesAreDispatched)
{
    IGraphicsWin* g = Open();
    ASSERT_NE(g, nullptr);
    HWND hwnd = static_cast<HWND>(g->GetNativeWindow());
    RECT r;
    GetWindowRect(hwnd, &r);
    for (int delta : {60, -240}) {
        knob->events.clear();
        Send(WM_MOUSEWHEEL, MAKEWPARAM(0, delta), MAKELPARAM(r.left + 130, r.top + 130));
        ASSERT_FALSE(knob->events.empty());
        EXPECT_EQ(knob->events.back(), "wheel " + std::to_string(delta / 120));
    }

    knob->events.clear();
    POINT inside = {130, 130};
    ClientToScreen(hwnd, &inside);
    SetCursorPos(inside.x, inside.y);
    Send(WM_KEYDOWN, 'A', 0x001E0001);
    ASSERT_FALSE(knob->events.empty());
    EXPECT_EQ(knob->events.back(), "key 65 'a'");

    knob->events.clear();
    HGLOBAL drop = MakeDropFilesBlock("C:\\Zaj\xc4\x99te.marlquin");
    auto* record = static_cast<DROPFILES*>(GlobalLock(drop));
    record->pt = {130, 130};
    record->fNC = FALSE;
    GlobalUnlock(drop);
    Send(WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    ASSERT_FALSE(knob->events.empty());
    EXPECT_EQ(knob->events.back(), "drop C:\\Zaj\xc4\x99te.marlquin");
    delegate.CloseEditor();
}

TEST_P(IGraphicsWinTest, CloseMessagesRunTheCloseEvenWhileTyping)
{
    IGraphicsWin* g = Open();
    ASSERT_NE(g, nullptr);
    g->OpenPlatformTextEntry(-1, ITextStyle(), IBox(10, 10, 100, 30), 20, "12");
    ASSERT_NE(g->GetTextEntryWindow(), nullptr);
    EXPECT_EQ(g->GetTextEntryState(), IGraphicsWin::kTextEntryEditing) << "focus reached the new procedure";
    Send(WM_CLOSE, 0, 0);
    EXPECT_FALSE(g->IsWindowOpen());
    EXPECT_EQ(g->GetTextEntryWindow(), nullptr);
    EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 0);
    delegate.CloseEditor();
}

TEST_P(IGraphicsWinTest, HostResizeChangesOnlyTheChildWindow)
{
    IGraphicsWin* g = Open();
    ASSERT_NE(g, nullptr);
    RECT parentBefore;
    GetWindowRect(parent.Handle(), &parentBefore);
    delegate.FitEditorToHostSize(500, 700);
    RECT r;
    GetClientRect(static_cast<HWND>(g->GetNativeWindow()), &r);
    EXPECT_EQ(r.right, 500);
    EXPECT_EQ(r.bottom, 700);
    RECT parentAfter;
    GetWindowRect(parent.Handle(), &parentAfter);
    EXPECT_EQ(parentAfter.right - parentAfter.left, parentBefore.right - parentBefore.left);
    ASSERT_NE(g->GetMainFramebuffer(), nullptr);

    // The corner handle: the editor grows its window and, with no host frame taking
    // the change, the parent by the same amount.
    g->ResizeEditor(520, 720, 1.0f, true);
    GetClientRect(static_cast<HWND>(g->GetNativeWindow()), &r);
    EXPECT_EQ(r.right, 520);
    GetWindowRect(parent.Handle(), &parentAfter);
    EXPECT_EQ(parentAfter.right - parentAfter.left, parentBefore.right - parentBefore.left + 20);
    delegate.CloseEditor();
}

// The redraw clock carries out a commit or cancel at its next tick.
void WaitForTextEntryToClose(IGraphicsWin& g)
{
    PumpMessagesUntil([&] { return !g.GetTextEntryWindow(); });
}

TEST_P(IGraphicsWinTest, TextEntryFiltersCommitsAndCancelsAtTheNextTick)
{
    IGraphicsWin* g = OpenWithStepsEntry();
    ASSERT_NE(g, nullptr);
    HWND entry = g->GetTextEntryWindow();
    SendMessageW(entry, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
    for (wchar_t c : {L'x', L'7', L'.'})
        SendMessageW(entry, WM_CHAR, c, 0);
    wchar_t typed[16] = {};
    GetWindowTextW(entry, typed, 16);
    EXPECT_STREQ(typed, L"7") << "an integer takes digits and signs only";
    SendMessageW(entry, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(g->GetTextEntryState(), IGraphicsWin::kTextEntryCommit);
    WaitForTextEntryToClose(*g);
    EXPECT_EQ(g->GetTextEntryWindow(), nullptr);
    EXPECT_EQ(delegate.GetParam(0)->Value(), 7.0) << "the bound parameter took the typed value";
    EXPECT_EQ(delegate.openGestures, 0);

    knob->events.clear();
    g->OpenTextEntry(knob, ITextStyle(), knob->GetBox(), "4", 0);
    ASSERT_NE(g->GetTextEntryWindow(), nullptr);
    SendMessageW(g->GetTextEntryWindow(), WM_KEYDOWN, VK_ESCAPE, 0);
    WaitForTextEntryToClose(*g);
    EXPECT_EQ(g->GetTextEntryWindow(), nullptr);
    EXPECT_EQ(delegate.GetParam(0)->Value(), 7.0) << "a cancelled entry enters nothing";
    delegate.CloseEditor();
}

// The clock keeps ticking while the entry has the focus and the user takes their time:
// Return must still reach the entry, and the panel must go on drawing afterwards.
TEST_P(IGraphicsWinTest, AnEntryLeftOpenForAWhileStillCommitsAndThePanelRedrawsAfter)
{
    IGraphicsWin* g = OpenWithStepsEntry();
    ASSERT_NE(g, nullptr);
    HWND entry = g->GetTextEntryWindow();
    PumpMessages(300);
    SendMessageW(entry, WM_CHAR, L'6', 0);
    SendMessageW(entry, WM_KEYDOWN, VK_RETURN, 0);
    WaitForTextEntryToClose(*g);
    EXPECT_EQ(g->GetTextEntryWindow(), nullptr);
    EXPECT_EQ(delegate.GetParam(0)->Value(), 6.0);

    const int frames = g->PresentedFrames();
    knob->colour = IArgb(255, 0, 255, 0);
    knob->MarkDirty(false);
    ASSERT_TRUE(WaitForFrames(*g, frames + 1));
    EXPECT_EQ(ReadMainFramebuffer(*g, 130, 130), (std::vector<uint8_t>{0, 255, 0, 255}));
    delegate.CloseEditor();
}

// Files dropped on the panel while the user types are not taken, but the drop's memory
// is still the window's to give back.
TEST_P(IGraphicsWinTest, FilesDroppedWhileTypingAreLeftAloneAndReleased)
{
    IGraphicsWin* g = Open();
    ASSERT_NE(g, nullptr);
    g->OpenPlatformTextEntry(-1, ITextStyle(), IBox(10, 10, 100, 30), 20, "12");
    ASSERT_EQ(g->GetTextEntryState(), IGraphicsWin::kTextEntryEditing);
    HGLOBAL drop = MakeDropFilesBlock("C:\\Zaj\xc4\x99te.marlquin");
    ASSERT_NE(drop, nullptr);
    knob->events.clear();
    Send(WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    EXPECT_EQ(GlobalFlags(drop), UINT(GMEM_INVALID_HANDLE)) << "the drop was finished";
    EXPECT_TRUE(knob->events.empty());
    EXPECT_EQ(g->GetTextEntryState(), IGraphicsWin::kTextEntryEditing);
    delegate.CloseEditor();
}

// The menu runs its own modal loop; a timer inside it picks the second entry with the keys.
TEST_P(IGraphicsWinTest, NativeMenuAnswersTheChosenEntry)
{
    IGraphicsWin* g = Open();
    ASSERT_NE(g, nullptr);
    static HWND target;
    target = static_cast<HWND>(g->GetNativeWindow());
    IPopupMenu menu(nullptr, 0, false, {"one", "two", "three"});
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        for (WPARAM key : {WPARAM(VK_DOWN), WPARAM(VK_DOWN), WPARAM(VK_RETURN)})
            PostMessageW(target, WM_KEYDOWN, key, 0);
    });
    bool isAsync = false;
    IPopupMenu* chosen = g->ShowPlatformMenu(menu, knob->GetBox(), isAsync);
    KillTimer(nullptr, timer);
    EXPECT_FALSE(isAsync);
    ASSERT_EQ(chosen, &menu);
    EXPECT_EQ(menu.GetChosenIndex(), 1);
    EXPECT_TRUE(g->IsWindowOpen());
    delegate.CloseEditor();
}

// Widget code can throw (an allocation that fails, a bad file); the window procedure must
// not let it unwind into the system's or the host's message dispatch, and the editor goes on.
class ThrowingControl : public RecordingControl
{
public:
    using RecordingControl::RecordingControl;

    void OnPointerDown(float x, float y, const IPointerMods& mods) override
    {
        RecordingControl::OnPointerDown(x, y, mods);
        throw std::runtime_error("pointer handler failed");
    }
    void Paint(IGraphics& g) override
    {
        if (throwOnPaint) {
            ++failedPaints;
            throw std::runtime_error("paint failed");
        }
        RecordingControl::Paint(g);
    }

    bool throwOnPaint = false;
    int failedPaints = 0;
};

TEST_P(IGraphicsWinTest, AControlThatThrowsLeavesTheEditorWorking)
{
    ThrowingControl* faulty = nullptr;
    delegate.SetLayout([&](IGraphics* g) {
        background = new RecordingControl(IBox(0, 0, 460, 640), kBackground);
        faulty = new ThrowingControl(IBox(100, 100, 160, 160), kRed);
        g->AddControl(background);
        g->AddControl(faulty);
    });
    IGraphicsWin* g = Open();
    ASSERT_NE(g, nullptr);

    EXPECT_NO_THROW(Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(120, 120)));
    EXPECT_EQ(faulty->events, (std::vector<std::string>{"down"}));
    Send(WM_LBUTTONUP, 0, MAKELPARAM(120, 120));
    Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
    Send(WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
    EXPECT_EQ(background->events, (std::vector<std::string>{"down", "up"}));

    // A frame that fails is dropped; the next one draws.
    faulty->throwOnPaint = true;
    faulty->MarkDirty(false);
    const int frames = g->PresentedFrames();
    EXPECT_NO_THROW(EXPECT_TRUE(PumpMessagesUntil([&] { return faulty->failedPaints > 0; })));
    faulty->throwOnPaint = false;
    faulty->colour = IArgb(255, 0, 255, 0);
    faulty->MarkDirty(false);
    ASSERT_TRUE(WaitForFrames(*g, frames + 1));
    EXPECT_EQ(ReadMainFramebuffer(*g, 130, 130), (std::vector<uint8_t>{0, 255, 0, 255}));
    delegate.CloseEditor();
    EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 0);
    EXPECT_EQ(GetWindow(parent.Handle(), GW_CHILD), nullptr);
}

// A redraw clock that cannot start makes the window fail to open, as any other failed step.
TEST_P(IGraphicsWinTest, AClockThatThrowsAtTheWindowsCreationFailsTheOpenCleanly)
{
    auto* g = new IGraphicsWin(delegate, 460, 640, 60, 1.0f);
    g->SetUseVBlankClock(true);
    g->SetVBlankSystemForTesting([]() -> std::unique_ptr<VBlankClock::System> { throw std::bad_alloc(); });
    void* opened = reinterpret_cast<void*>(1);
    EXPECT_NO_THROW(opened = g->OpenPlatformWindow(parent.Handle()));
    EXPECT_EQ(opened, nullptr);
    EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 0);
    EXPECT_EQ(GetWindow(parent.Handle(), GW_CHILD), nullptr);
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    g->SetVBlankSystemForTesting(nullptr);
    g->SetUseVBlankClock(GetParam());
    EXPECT_NE(g->OpenPlatformWindow(parent.Handle()), nullptr);
    g->ClosePlatformWindow();
    delete g;
}

// The editor's own choice of clock, read against the version the system reports: the
// vertical-blank clock from Windows 8 (6.2) on. The tests run under a Windows 7 prefix and
// again under a Windows 10 one, so both answers are checked.
TEST(IGraphicsWinClockTest, TheDefaultClockFollowsTheWindowsVersion)
{
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto getVersion = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    ASSERT_NE(getVersion, nullptr);
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    ASSERT_EQ(getVersion(&version), 0);
    const bool windows8OrLater =
        version.dwMajorVersion > 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion >= 2);
    TestDelegate delegate;
    IGraphicsWin g(delegate, 460, 640, 60, 1.0f);
    EXPECT_EQ(g.UsesVBlankClock(), windows8OrLater) << version.dwMajorVersion << "." << version.dwMinorVersion;
}

INSTANTIATE_TEST_SUITE_P(Clocks, IGraphicsWinTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "VBlank" : "Timer"; });

} // namespace
} // namespace iplug::igraphics
