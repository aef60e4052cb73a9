#include "framework/graphics/windows/IGraphicsWin.h"
#include "tests/framework/graphics/windows/EditorRig.h"

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace iplug::igraphics {
namespace {

using namespace test;

// One host window for the whole run: under Wine every visible top-level window takes
// seconds to go away.
HWND SharedHost()
{
    static TestParentWindow host(800, 1000);
    return host.Handle();
}

// Records where each pointer event of a control landed, touch id included.
class TouchControl : public IControl
{
public:
    TouchControl(const IBox& box, int paramIdx) : IControl(box, paramIdx) {}
    void Paint(IGraphics& g) override { g.SolidBox(IArgb(255, 90, 90, 90), GetBox()); }
    void OnPointerDown(float x, float y, const IPointerMods& mods) override
    {
        events.push_back("down " + Where(x, y) + " #" + std::to_string(mods.touchId));
    }
    void OnPointerUp(float x, float y, const IPointerMods& mods) override
    {
        events.push_back("up " + Where(x, y) + " #" + std::to_string(mods.touchId));
    }
    void OnPointerDrag(float x, float y, float dx, float dy, const IPointerMods& mods) override
    {
        events.push_back("drag " + Where(dx, dy) + " #" + std::to_string(mods.touchId));
    }
    static std::string Where(float x, float y)
    {
        return std::to_string(int(std::lround(x))) + "," + std::to_string(int(std::lround(y)));
    }
    std::vector<std::string> events;
};

// The touch records a WM_TOUCH message would carry, handed out by the stand-in of
// GetTouchInputInfo; every handle given back is remembered.
struct TouchScript
{
    static inline std::vector<TOUCHINPUT> inputs;
    static inline bool readFails = false;
    static inline std::vector<HTOUCHINPUT> closed;

    static BOOL WINAPI GetInfo(HTOUCHINPUT, UINT count, TOUCHINPUT* out, int size)
    {
        if (readFails || size != int(sizeof(TOUCHINPUT)) || count > inputs.size())
            return FALSE;
        std::copy(inputs.begin(), inputs.begin() + count, out);
        return TRUE;
    }
    static BOOL WINAPI Close(HTOUCHINPUT handle)
    {
        closed.push_back(handle);
        return TRUE;
    }
};

class TouchTest : public ::testing::Test
{
protected:
    // Draw scale 1.5: the records' screen positions in hundredths of a pixel become
    // panel units divided by 1.5.
    void SetUp() override
    {
        TouchScript::inputs.clear();
        TouchScript::closed.clear();
        TouchScript::readFails = false;
        delegate.drawScale = 1.5f;
        delegate.prepare = [](IGraphicsWin& g) {
            g.SetTouchInputApiForTesting({TouchScript::GetInfo, TouchScript::Close});
        };
        delegate.SetLayout([this](IGraphics* g) {
            left = new TouchControl(IBox(0, 0, 200, 200), 0);
            right = new TouchControl(IBox(200, 0, 400, 200), 1);
            g->AddControl(left);
            g->AddControl(right);
        });
        ASSERT_NE(delegate.OpenEditor(SharedHost(), nullptr), nullptr);
        window = static_cast<HWND>(delegate.Win()->GetNativeWindow());
        ClientToScreen(window, &origin);
    }
    void TearDown() override { delegate.CloseEditor(); }

    // A record at a panel position.
    TOUCHINPUT Touch(DWORD id, DWORD flags, float x, float y) const
    {
        TOUCHINPUT t = {};
        t.dwID = id;
        t.dwFlags = flags;
        t.x = LONG((origin.x + std::lround(x * 1.5f)) * 100);
        t.y = LONG((origin.y + std::lround(y * 1.5f)) * 100);
        return t;
    }
    void SendTouch(std::vector<TOUCHINPUT> inputs, int handle)
    {
        TouchScript::inputs = std::move(inputs);
        SendMessageW(window, WM_TOUCH, MAKEWPARAM(TouchScript::inputs.size(), 0), LPARAM(handle));
    }

    TestDelegate delegate;
    HWND window = nullptr;
    POINT origin = {0, 0};
    TouchControl* left = nullptr;
    TouchControl* right = nullptr;
};

TEST_F(TouchTest, TwoTouchesPressDragAndReleaseTheirOwnControls)
{
    SendTouch({Touch(7, TOUCHEVENTF_DOWN, 100, 100), Touch(9, TOUCHEVENTF_DOWN, 300, 50)}, 0x101);
    EXPECT_EQ(delegate.openGestures, 2);
    SendTouch({Touch(7, TOUCHEVENTF_MOVE, 110, 90), Touch(9, TOUCHEVENTF_MOVE, 280, 70)}, 0x102);
    SendTouch({Touch(9, TOUCHEVENTF_UP, 280, 70)}, 0x103);
    EXPECT_EQ(delegate.openGestures, 1) << "the other touch still holds its control";
    SendTouch({Touch(7, TOUCHEVENTF_MOVE, 112, 94)}, 0x104);
    SendTouch({Touch(7, TOUCHEVENTF_UP, 112, 94)}, 0x105);

    EXPECT_EQ(left->events,
              (std::vector<std::string>{"down 100,100 #7", "drag 10,-10 #7", "drag 2,4 #7", "up 112,94 #7"}));
    EXPECT_EQ(right->events, (std::vector<std::string>{"down 300,50 #9", "drag -20,20 #9", "up 280,70 #9"}));
    EXPECT_EQ(delegate.openGestures, 0);
    EXPECT_EQ(delegate.Win()->NCaptures(), 0);
    EXPECT_EQ(TouchScript::closed, (std::vector<HTOUCHINPUT>{HTOUCHINPUT(0x101), HTOUCHINPUT(0x102), HTOUCHINPUT(0x103),
                                                             HTOUCHINPUT(0x104), HTOUCHINPUT(0x105)}));
}

TEST_F(TouchTest, ATapInOneMessagePressesBeforeItReleases)
{
    SendTouch({Touch(3, TOUCHEVENTF_UP, 50, 60), Touch(4, TOUCHEVENTF_DOWN, 50, 60)}, 0x201);
    EXPECT_EQ(left->events, (std::vector<std::string>{"down 50,60 #4"}));
    SendTouch({Touch(5, TOUCHEVENTF_DOWN, 40, 40), Touch(5, TOUCHEVENTF_UP, 40, 40), Touch(4, TOUCHEVENTF_UP, 50, 60)},
              0x202);
    EXPECT_EQ(left->events, (std::vector<std::string>{"down 50,60 #4", "down 40,40 #5", "up 40,40 #5", "up 50,60 #4"}));
    EXPECT_EQ(delegate.openGestures, 0);
    EXPECT_EQ(delegate.Win()->NCaptures(), 0);
}

// The host removes the editor while a finger is down: the gesture ends, and a reopened
// window knows no touch of the old one.
TEST_F(TouchTest, ClosingWithATouchDownEndsItsGesture)
{
    SendTouch({Touch(7, TOUCHEVENTF_DOWN, 100, 100)}, 0x401);
    EXPECT_EQ(delegate.openGestures, 1);
    IGraphicsWin* g = delegate.Win();
    g->ClosePlatformWindow();
    EXPECT_EQ(delegate.openGestures, 0);
    EXPECT_EQ(g->NCaptures(), 0);
    ASSERT_NE(g->OpenPlatformWindow(SharedHost()), nullptr);
    window = static_cast<HWND>(g->GetNativeWindow());
    SendTouch({Touch(7, TOUCHEVENTF_MOVE, 120, 100)}, 0x402);
    EXPECT_EQ(g->NCaptures(), 0);
    EXPECT_EQ(delegate.openGestures, 0);
}

TEST_F(TouchTest, UnreadableOrEmptyMessagesDispatchNothingAndTheHandleIsStillClosed)
{
    TouchScript::readFails = true;
    SendTouch({Touch(1, TOUCHEVENTF_DOWN, 50, 50)}, 0x301);
    TouchScript::readFails = false;
    // A move of a touch whose press never arrived reads no recorded event.
    SendTouch({Touch(2, TOUCHEVENTF_MOVE, 50, 50)}, 0x302);
    SendMessageW(window, WM_TOUCH, 0, LPARAM(0x303));
    EXPECT_TRUE(left->events.empty());
    EXPECT_EQ(delegate.openGestures, 0);
    EXPECT_EQ(TouchScript::closed, (std::vector<HTOUCHINPUT>{HTOUCHINPUT(0x301), HTOUCHINPUT(0x302)}));
}

// Tooltips follow the control under the pointer; the tip is the text of the window's
// one tool in the system's tooltip control.
class TooltipTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        delegate.prepare = [](IGraphicsWin& g) { g.EnableTooltips(true); };
        delegate.SetLayout([this](IGraphics* g) {
            g->AddControl(new RecordingControl(IBox(0, 0, 460, 640), IArgb(255, 0, 0, 0)));
            knob = new RecordingControl(IBox(100, 100, 160, 160), IArgb(255, 255, 0, 0), 0);
            knob->SetTooltip("Wzmocnienie \xc5\xbc");
            g->AddControl(knob);
            g->AddControl(new RecordingControl(IBox(200, 100, 260, 160), IArgb(255, 0, 255, 0), 1));
        });
        ASSERT_NE(delegate.OpenEditor(SharedHost(), nullptr), nullptr);
        g = delegate.Win();
        window = static_cast<HWND>(g->GetNativeWindow());
    }
    void TearDown() override { delegate.CloseEditor(); }

    std::wstring TipText() const
    {
        wchar_t text[80] = {};
        TOOLINFOW tool = {};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.hwnd = window;
        tool.uId = reinterpret_cast<UINT_PTR>(window);
        tool.lpszText = text;
        SendMessageW(g->GetTooltipWindow(), TTM_GETTEXTW, 80, reinterpret_cast<LPARAM>(&tool));
        return text;
    }
    void MoveTo(int x, int y) { SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(x, y)); }
    void Hover(int x, int y) { SendMessageW(window, WM_MOUSEHOVER, 0, MAKELPARAM(x, y)); }

    TestDelegate delegate;
    IGraphicsWin* g = nullptr;
    HWND window = nullptr;
    RecordingControl* knob = nullptr;
};

TEST_F(TooltipTest, HoverShowsTheControlsTipAndMovingOffHidesIt)
{
    HWND tooltip = g->GetTooltipWindow();
    ASSERT_NE(tooltip, nullptr);
    EXPECT_TRUE(g->TooltipsEnabled());
    EXPECT_EQ(GetWindow(tooltip, GW_OWNER), GetAncestor(window, GA_ROOT));
    EXPECT_EQ(SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0), 1);
    EXPECT_EQ(SendMessageW(tooltip, TTM_GETMAXTIPWIDTH, 0, 0), 250);

    MoveTo(130, 130);
    Hover(130, 130);
    EXPECT_TRUE(g->IsTooltipShown());
    EXPECT_EQ(TipText(), L"Wzmocnienie \u017c");

    // Within the same control the tip stays; onto another control it goes.
    MoveTo(140, 135);
    EXPECT_TRUE(g->IsTooltipShown());
    MoveTo(230, 130);
    EXPECT_FALSE(g->IsTooltipShown());
    EXPECT_EQ(TipText(), L"");
    Hover(230, 130);
    EXPECT_EQ(TipText(), L"") << "a control without a tip shows none";

    // Off every control (the bare panel) the tip goes too.
    MoveTo(130, 130);
    Hover(130, 130);
    EXPECT_EQ(TipText(), L"Wzmocnienie \u017c");
    MoveTo(20, 20);
    EXPECT_FALSE(g->IsTooltipShown());
    EXPECT_EQ(TipText(), L"");
    Hover(20, 20);
    EXPECT_FALSE(g->IsTooltipShown());

    MoveTo(130, 130);
    Hover(130, 130);
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(130, 130));
    SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(130, 130));
    EXPECT_FALSE(g->IsTooltipShown()) << "a press hides the tip";
    EXPECT_EQ(TipText(), L"");

    Hover(130, 130);
    EXPECT_TRUE(g->IsTooltipShown());
    SendMessageW(window, WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(g->IsTooltipShown());
    EXPECT_EQ(TipText(), L"");

    g->ClosePlatformWindow();
    EXPECT_FALSE(IsWindow(tooltip));
    EXPECT_EQ(g->GetTooltipWindow(), nullptr);
}

// Stand-ins of the modal dialogs: they record what they were asked and answer like a user.
struct DialogScript
{
    static inline HWND owner = nullptr;
    static inline std::wstring text, caption, title, dialogTitle;
    static inline UINT type = 0;
    static inline DWORD flags = 0, structSize = 0;
    static inline COLORREF start = 0;
    static inline int answer = 0, calls = 0, gesturesDuringDialog = -1;
    static inline bool chosen = false;
    static inline COLORREF chosenColour = 0;
    static inline std::wstring chosenPath;
    static inline COLORREF customSeen = 0;
    static inline TestDelegate* delegate = nullptr;

    static void Reset()
    {
        owner = nullptr;
        text = caption = title = dialogTitle = L"";
        type = flags = structSize = 0;
        answer = calls = 0;
        gesturesDuringDialog = -1;
        chosen = false;
    }
    static void Called(HWND o)
    {
        ++calls;
        owner = o;
        gesturesDuringDialog = delegate ? delegate->openGestures : -1;
    }
    static int WINAPI MessageBox(HWND o, LPCWSTR t, LPCWSTR c, UINT ty)
    {
        Called(o);
        text = t;
        caption = c;
        type = ty;
        return answer;
    }
    static BOOL WINAPI ChooseColour(CHOOSECOLORW* choose)
    {
        Called(choose->hwndOwner);
        structSize = choose->lStructSize;
        flags = choose->Flags;
        start = choose->rgbResult;
        customSeen = choose->lpCustColors[3];
        choose->lpCustColors[3] = RGB(1, 2, 3);
        // The dialog's own start-up: the hook titles it with the prompt.
        HWND dialog =
            CreateWindowExW(0, L"STATIC", L"Colour", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        choose->lpfnHook(dialog, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(choose));
        wchar_t shown[64] = {};
        GetWindowTextW(dialog, shown, 64);
        dialogTitle = shown;
        DestroyWindow(dialog);
        if (chosen)
            choose->rgbResult = chosenColour;
        return chosen;
    }
    static PIDLIST_ABSOLUTE WINAPI BrowseForFolder(BROWSEINFOW* info)
    {
        Called(info->hwndOwner);
        title = info->lpszTitle ? info->lpszTitle : L"";
        flags = info->ulFlags;
        return chosen ? static_cast<PIDLIST_ABSOLUTE>(CoTaskMemAlloc(2)) : nullptr;
    }
    static BOOL WINAPI PathFromIdList(PCIDLIST_ABSOLUTE, LPWSTR path)
    {
        if (chosenPath.empty())
            return FALSE;
        wcscpy(path, chosenPath.c_str());
        return TRUE;
    }
    static BOOL WINAPI OpenFile(OPENFILENAMEW* ofn)
    {
        Called(ofn->hwndOwner);
        if (!chosen)
            return FALSE;
        wcscpy(ofn->lpstrFile, chosenPath.c_str());
        return TRUE;
    }
    static WinShellApi Api()
    {
        WinShellApi api;
        api.messageBox = MessageBox;
        api.chooseColour = ChooseColour;
        api.browseForFolder = BrowseForFolder;
        api.pathFromIdList = PathFromIdList;
        api.getOpenFileName = OpenFile;
        api.getSaveFileName = OpenFile;
        return api;
    }
};

// An editor inside a host's frame (a child of the host's top-level window), with its
// dialogs answered by DialogScript.
class DialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DialogScript::Reset();
        DialogScript::delegate = &delegate;
        frame = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 500, 700, SharedHost(), nullptr,
                                nullptr, nullptr);
        delegate.prepare = [](IGraphicsWin& g) { g.SetShellApiForTesting(DialogScript::Api()); };
        delegate.SetLayout([this](IGraphics* g) {
            g->AddControl(new RecordingControl(IBox(0, 0, 460, 640), IArgb(255, 0, 0, 0)));
            g->AddControl(new RecordingControl(IBox(100, 100, 160, 160), IArgb(255, 255, 0, 0), 0));
        });
        ASSERT_NE(delegate.OpenEditor(frame, nullptr), nullptr);
        g = delegate.Win();
        window = static_cast<HWND>(g->GetNativeWindow());
    }
    void TearDown() override
    {
        delegate.CloseEditor();
        DialogScript::delegate = nullptr;
        if (IsWindow(frame))
            DestroyWindow(frame);
    }
    // A knob drag in progress when the dialog opens.
    void StartDrag()
    {
        SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(130, 130));
        ASSERT_EQ(delegate.openGestures, 1);
    }

    HWND frame = nullptr;
    TestDelegate delegate;
    IGraphicsWin* g = nullptr;
    HWND window = nullptr;
};

TEST_F(DialogTest, AlertsAnswerWhatTheUserChoseOwnedByTheHostsTopWindow)
{
    for (int answer : {IDYES, IDNO, IDCANCEL}) {
        StartDrag();
        DialogScript::answer = answer;
        int completed = 0;
        const int shown = g->ShowAlert("Zapisa\xc4\x87 zmiany?", "Marlquin", MB_YESNOCANCEL | MB_ICONQUESTION,
                                       [&](int a) { completed = a; });
        EXPECT_EQ(shown, answer);
        EXPECT_EQ(completed, answer);
        EXPECT_EQ(DialogScript::owner, SharedHost());
        EXPECT_EQ(DialogScript::text, L"Zapisa\u0107 zmiany?");
        EXPECT_EQ(DialogScript::caption, L"Marlquin");
        EXPECT_EQ(DialogScript::type, UINT(MB_YESNOCANCEL | MB_ICONQUESTION));
        EXPECT_EQ(DialogScript::gesturesDuringDialog, 0) << "the drag ended before the alert";
    }
    EXPECT_EQ(g->ShowAlert("x", "y", MB_OK, nullptr), IDCANCEL) << "no completion is fine";
}

// The host's top window is looked up once; when it is destroyed (the host docked the
// editor's frame elsewhere first), the next alert finds the new one.
TEST_F(DialogTest, TheHostWindowIsKeptWhileItLivesAndFoundAgainOnceItIsGone)
{
    // A hidden top-level window goes at once under Wine.
    HWND first = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 500, 700, nullptr, nullptr, nullptr, nullptr);
    SetParent(frame, first);
    g->ShowAlert("one", "", MB_OK, nullptr);
    EXPECT_EQ(DialogScript::owner, first);
    SetParent(frame, SharedHost());
    g->ShowAlert("two", "", MB_OK, nullptr);
    EXPECT_EQ(DialogScript::owner, first) << "found once and kept";
    DestroyWindow(first);
    g->ShowAlert("three", "", MB_OK, nullptr);
    EXPECT_EQ(DialogScript::owner, SharedHost());
    EXPECT_EQ(DialogScript::calls, 3);
}

// A window layer that outlives its window and the host's frame (closed, not yet
// deleted): its next alert looks for a window of the host's class among this process's
// windows.
TEST_F(DialogTest, WithItsFrameGoneAnAlertFindsAHostWindowOfTheSameClass)
{
    WNDCLASSW hostClass = {};
    hostClass.lpfnWndProc = DefWindowProcW;
    hostClass.hInstance = GetModuleHandleW(nullptr);
    hostClass.lpszClassName = L"MarlquinTestHostFrame";
    RegisterClassW(&hostClass);
    auto hostWindow = [] {
        return CreateWindowExW(0, L"MarlquinTestHostFrame", L"", WS_POPUP, 0, 0, 500, 700, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    };
    HWND first = hostWindow();
    HWND firstFrame = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, first, nullptr, nullptr, nullptr);
    IGraphicsWin editor(delegate, 100, 100, 60, 1.0f);
    editor.SetShellApiForTesting(DialogScript::Api());
    editor.SetModuleInstance(GetModuleHandleW(nullptr));
    ASSERT_NE(editor.OpenPlatformWindow(firstFrame), nullptr);
    editor.ShowAlert("one", "", MB_OK, nullptr);
    EXPECT_EQ(DialogScript::owner, first);
    editor.ClosePlatformWindow();
    DestroyWindow(first);

    HWND second = hostWindow();
    editor.ShowAlert("two", "", MB_OK, nullptr);
    EXPECT_EQ(DialogScript::owner, second) << "found by the remembered class";
    DestroyWindow(second);
}

// The clipboard is held by the editor's own window while written, not by the host.
TEST_F(DialogTest, ClipboardWritesAreOwnedByTheEditorsWindow)
{
    ASSERT_TRUE(g->WriteClipboardText("Zaj\xc4\x99te"));
    EXPECT_EQ(GetClipboardOwner(), window);
    TextBuffer text;
    ASSERT_TRUE(g->ReadClipboardText(text));
    EXPECT_STREQ(text.Get(), "Zaj\xc4\x99te");
    ASSERT_TRUE(g->WriteClipboardPath("C:\\Zaj\xc4\x99te.marlquin"));
    EXPECT_EQ(GetClipboardOwner(), window);
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_HDROP));
}

TEST_F(DialogTest, AnEditorThatNeverOpenedAlertsWithoutAnOwner)
{
    IGraphicsWin unopened(delegate, 100, 100, 60, 1.0f);
    unopened.SetShellApiForTesting(DialogScript::Api());
    DialogScript::answer = IDOK;
    EXPECT_EQ(unopened.ShowAlert("text", "caption", MB_OK, nullptr), IDOK);
    EXPECT_EQ(DialogScript::owner, nullptr);
}

TEST_F(DialogTest, ChosenColourReplacesRedGreenAndBlueOnly)
{
    StartDrag();
    DialogScript::chosen = true;
    DialogScript::chosenColour = RGB(200, 150, 100);
    IArgb colour(128, 10, 20, 30);
    int completions = 0;
    IArgb completed;
    EXPECT_TRUE(g->AskForColour(colour,
                                "Kolor t\xc5\x82"
                                "a",
                                [&](const IArgb& c) {
                                    ++completions;
                                    completed = c;
                                }));
    EXPECT_EQ(DialogScript::gesturesDuringDialog, 0);
    EXPECT_EQ(DialogScript::owner, window);
    EXPECT_EQ(DialogScript::structSize, DWORD(sizeof(CHOOSECOLORW)));
    EXPECT_EQ(DialogScript::flags, DWORD(CC_RGBINIT | CC_FULLOPEN | CC_ENABLEHOOK | CC_SOLIDCOLOR | CC_ANYCOLOR));
    EXPECT_EQ(DialogScript::start, RGB(10, 20, 30));
    EXPECT_EQ(DialogScript::dialogTitle, L"Kolor t\u0142a") << "the hook titles the dialog with the prompt";
    EXPECT_EQ(colour, IArgb(128, 200, 150, 100)) << "alpha stays";
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(completed, colour);

    // Cancelled: nothing changes and nothing is called; the custom colours are remembered.
    DialogScript::chosen = false;
    EXPECT_FALSE(g->AskForColour(colour, "", [&](const IArgb&) { ++completions; }));
    EXPECT_EQ(colour, IArgb(128, 200, 150, 100));
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(DialogScript::customSeen, RGB(1, 2, 3));
    EXPECT_EQ(DialogScript::dialogTitle, L"Colour") << "no prompt keeps the dialog's own title";

    g->ClosePlatformWindow();
    DialogScript::calls = 0;
    EXPECT_FALSE(g->AskForColour(colour, "", [&](const IArgb&) { ++completions; }));
    EXPECT_EQ(DialogScript::calls, 0) << "no dialog without a window";
    EXPECT_EQ(completions, 1);
}

TEST_F(DialogTest, ChosenFolderIsUtf8WithATrailingBackslashAndCancelEmptiesIt)
{
    StartDrag();
    DialogScript::chosen = true;
    DialogScript::chosenPath = L"C:\\Users\\Zo\u00eb\\Presety \u0142\u00f3d\u017a";
    TextBuffer path("C:\\old");
    std::vector<std::string> completed;
    auto completion = [&](const TextBuffer& file, const TextBuffer& folder) {
        completed.push_back(std::string(file.Get()) + "|" + folder.Get());
    };
    g->AskForFolder(path, completion);
    const std::string expected = "C:\\Users\\Zo\xc3\xab\\Presety \xc5\x82\xc3\xb3"
                                 "d\xc5\xba\\";
    EXPECT_EQ(std::string(path.Get()), expected);
    EXPECT_EQ(DialogScript::owner, window);
    EXPECT_EQ(DialogScript::title, L"Choose a Directory");
    EXPECT_EQ(DialogScript::flags, DWORD(BIF_USENEWUI));
    EXPECT_EQ(delegate.openGestures, 0);

    DialogScript::chosen = false;
    g->AskForFolder(path, completion);
    EXPECT_STREQ(path.Get(), "");
    DialogScript::chosen = true;
    DialogScript::chosenPath = L"";
    path.Set("C:\\old");
    g->AskForFolder(path, completion);
    EXPECT_STREQ(path.Get(), "") << "a choice that is not a file-system folder";
    EXPECT_EQ(completed, (std::vector<std::string>{"|" + expected, "|", "|"}));

    // Without a window there is no dialog to own: no dialog, no completion.
    g->ClosePlatformWindow();
    DialogScript::calls = 0;
    path.Set("C:\\old");
    g->AskForFolder(path, completion);
    EXPECT_EQ(DialogScript::calls, 0);
    EXPECT_STREQ(path.Get(), "");
    EXPECT_EQ(completed.size(), 3u);
}

TEST_F(DialogTest, ChosenFileGivesItsPathAndFolderInUtf8)
{
    DialogScript::chosen = true;
    DialogScript::chosenPath = L"C:\\U\u017cytkownik\\Zaj\u0119te.marlquin";
    TextBuffer file, folder("C:\\start\\");
    int completions = 0;
    g->AskForFile(file, folder, 0, "marlquin", [&](const TextBuffer&, const TextBuffer&) { ++completions; });
    EXPECT_STREQ(file.Get(), "C:\\U\xc5\xbcytkownik\\Zaj\xc4\x99te.marlquin");
    EXPECT_STREQ(folder.Get(), "C:\\U\xc5\xbcytkownik\\");
    EXPECT_EQ(DialogScript::owner, window);

    DialogScript::chosen = false;
    g->AskForFile(file, folder, 0, "marlquin", [&](const TextBuffer&, const TextBuffer&) { ++completions; });
    EXPECT_STREQ(file.Get(), "");
    EXPECT_STREQ(folder.Get(), "C:\\U\xc5\xbcytkownik\\") << "the folder stays";
    EXPECT_EQ(completions, 2) << "a cancelled file dialog still completes";
}

// A drop target as a file manager would be: it reads the dropped file list, and
// accepts a copy.
class FileDropTarget : public IDropTarget
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (iid != IID_IUnknown && iid != IID_IDropTarget) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) override
    {
        ++enters;
        IEnumFORMATETC* formats = nullptr;
        if (SUCCEEDED(data->EnumFormatEtc(DATADIR_GET, &formats))) {
            FORMATETC first = {};
            if (formats->Next(1, &first, nullptr) == S_OK)
                offered = first.cfFormat;
            formats->Release();
        }
        *effect &= DROPEFFECT_COPY;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override
    {
        *effect &= DROPEFFECT_COPY;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override
    {
        ++drops;
        FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium = {};
        if (SUCCEEDED(data->GetData(&format, &medium))) {
            wchar_t name[MAX_PATH] = {};
            if (DragQueryFileW(static_cast<HDROP>(medium.hGlobal), 0xFFFFFFFF, nullptr, 0) == 1
                && DragQueryFileW(static_cast<HDROP>(medium.hGlobal), 0, name, MAX_PATH))
                dropped = name;
            ReleaseStgMedium(&medium);
        }
        *effect &= DROPEFFECT_COPY;
        return S_OK;
    }

    ULONG references = 1;
    int enters = 0, drops = 0;
    CLIPFORMAT offered = 0;
    std::wstring dropped;
};

// A real OLE drag out of the editor onto a registered drop target beside it. The mouse
// button is up, so the drop source ends the drag at its first question.
class DragOutTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        delegate.SetLayout([](IGraphics* g) { g->AddControl(new RecordingControl(IBox(0, 0, 460, 640), IArgb())); });
        ASSERT_NE(delegate.OpenEditor(SharedHost(), nullptr), nullptr);
        targetWindow = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_NOTIFY, 500, 20, 200, 200,
                                       SharedHost(), nullptr, nullptr, nullptr);
        ASSERT_EQ(RegisterDragDrop(targetWindow, &target), S_OK);
        PumpMessages(20);
    }
    void TearDown() override
    {
        RevokeDragDrop(targetWindow);
        DestroyWindow(targetWindow);
        delegate.CloseEditor();
        OleUninitialize();
    }
    void PointAt(HWND hwnd, POINT p = {100, 100})
    {
        ClientToScreen(hwnd, &p);
        SetCursorPos(p.x, p.y);
        PumpMessages(20);
    }

    TestDelegate delegate;
    HWND targetWindow = nullptr;
    FileDropTarget target;
};

const char* kDraggedPath = "C:\\U\xc5\xbcytkownik\\Zaj\xc4\x99te.marlquin";

// The user holds the left button over the target, and lets go while the drag's own
// loop runs (a timer of this thread fires inside it).
void PressNowReleaseDuringTheDrag()
{
    INPUT press = {};
    press.type = INPUT_MOUSE;
    press.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    SendInput(1, &press, sizeof(INPUT));
    SetTimer(nullptr, 0, 150, [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        INPUT release = {};
        release.type = INPUT_MOUSE;
        release.mi.dwFlags = MOUSEEVENTF_LEFTUP;
        SendInput(1, &release, sizeof(INPUT));
    });
}

TEST_F(DragOutTest, ADropOnATargetHandsItThePath)
{
    PointAt(targetWindow);
    PressNowReleaseDuringTheDrag();
    EXPECT_TRUE(delegate.Win()->DragFileOut(kDraggedPath));
    EXPECT_EQ(target.enters, 1);
    EXPECT_EQ(target.drops, 1);
    EXPECT_EQ(target.offered, CF_HDROP);
    EXPECT_EQ(target.dropped, L"C:\\U\u017cytkownik\\Zaj\u0119te.marlquin");
    EXPECT_EQ(target.references, 2u) << "OLE gave back every reference but the registration's";
}

TEST_F(DragOutTest, ACancelledDragIsNotASuccess)
{
    PointAt(targetWindow);
    INPUT escape[1] = {};
    escape[0].type = INPUT_KEYBOARD;
    escape[0].ki.wVk = VK_ESCAPE;
    SendInput(1, escape, sizeof(INPUT));
    const bool dropped = delegate.Win()->DragFileOut(kDraggedPath);
    escape[0].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(1, escape, sizeof(INPUT));
    PumpMessages(20);
    EXPECT_FALSE(dropped);
    EXPECT_EQ(target.drops, 0);
}

TEST_F(DragOutTest, ADropWhereNothingTakesItIsNotASuccess)
{
    PointAt(SharedHost(), {600, 600});
    PressNowReleaseDuringTheDrag();
    EXPECT_FALSE(delegate.Win()->DragFileOut(kDraggedPath));
    EXPECT_EQ(target.drops, 0);
}

// A host thread in the multi-threaded apartment: the drag's OLE start fails there, and
// the host's COM must stay as it was.
TEST_F(DragOutTest, AHostsOtherComModeIsLeftAlone)
{
    HRESULT again = E_FAIL;
    std::thread host([&] {
        if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
            return;
        IGraphicsWin g(delegate, 100, 100, 60, 1.0f);
        g.DragFileOut(kDraggedPath);
        again = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (SUCCEEDED(again))
            CoUninitialize();
        CoUninitialize();
    });
    host.join();
    EXPECT_EQ(again, S_FALSE) << "COM is still set up on the host's thread";
}

// OLE is undone only after a start that succeeded, for the drag and the folder dialog.
struct OleScript
{
    static inline HRESULT startAnswer = S_OK;
    static inline int starts = 0, ends = 0;
    static HRESULT WINAPI Start(LPVOID)
    {
        ++starts;
        return startAnswer;
    }
    static void WINAPI End() { ++ends; }
};

TEST_F(DragOutTest, OleIsUndoneOnlyAfterAStartThatSucceeded)
{
    WinShellApi api = DialogScript::Api();
    api.oleInitialize = OleScript::Start;
    api.oleUninitialize = OleScript::End;
    delegate.Win()->SetShellApiForTesting(api);
    PointAt(SharedHost(), {600, 600});
    for (HRESULT start : {S_OK, S_FALSE, RPC_E_CHANGED_MODE}) {
        OleScript::startAnswer = start;
        OleScript::starts = OleScript::ends = 0;
        delegate.Win()->DragFileOut(kDraggedPath);
        TextBuffer folder;
        delegate.Win()->AskForFolder(folder, nullptr);
        EXPECT_EQ(OleScript::starts, 2) << std::hex << start;
        EXPECT_EQ(OleScript::ends, start == RPC_E_CHANGED_MODE ? 0 : 2) << std::hex << start;
    }
}

// What a test sees of a clock thread that it cannot join: its waits and posts, and
// whether its system is gone (the thread let go of its share of the clock).
struct VBlankWatch
{
    std::atomic<int> waits{0};
    std::atomic<int> posts{0};
    // In the wait for a blank: whatever the last blank's tick posted is in the queue.
    std::atomic<bool> waiting{false};
    std::atomic<bool> gone{false};
};

// Vertical blanks that happen only when the test lets one through, so a frame can be made
// to overrun one, or the wait be stuck.
class SteppedVBlanks : public VBlankClock::System
{
public:
    SteppedVBlanks(HANDLE blank, HANDLE freeRun, VBlankWatch* watch = nullptr)
        : blank(blank), freeRun(freeRun), watch(watch)
    {}
    ~SteppedVBlanks() override
    {
        if (watch)
            watch->gone = true;
    }
    bool LoadFunctions() override { return true; }
    void FreeFunctions() override {}
    bool OpenAdapter(HWND, uint32_t& adapter, uint32_t& sourceId) override
    {
        adapter = 1;
        sourceId = 0;
        return true;
    }
    bool WaitForVBlank(uint32_t, uint32_t) override
    {
        if (watch) {
            ++watch->waits;
            watch->waiting = true;
        }
        const HANDLE either[2] = {blank, freeRun};
        WaitForMultipleObjects(2, either, FALSE, INFINITE);
        if (watch)
            watch->waiting = false;
        return true;
    }
    void CloseAdapter(uint32_t) override {}
    void Sleep(DWORD ms) override { ::Sleep(ms); }
    DWORD TickCount() override { return GetTickCount(); }
    double NowMs() override { return double(GetTickCount()); }
    bool Post(HWND window, UINT message, WPARAM count) override
    {
        if (watch)
            ++watch->posts;
        return PostMessageW(window, message, count, 0) != FALSE;
    }

private:
    HANDLE blank;
    HANDLE freeRun;
    VBlankWatch* watch;
};

class FramePacingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        delegate.useVBlankClock = true;
        delegate.prepare = [this](IGraphicsWin& g) {
            g.SetVBlankSystemForTesting([this] { return std::make_unique<SteppedVBlanks>(blank, freeRun, &watch); });
        };
        delegate.SetLayout([this](IGraphics* g) {
            g->AddControl(new RecordingControl(IBox(0, 0, 460, 640), IArgb(255, 0, 0, 0)));
            slow = new PacedControl(IBox(10, 10, 50, 50));
            knob = new RecordingControl(IBox(100, 100, 160, 160), IArgb(255, 255, 0, 0));
            g->AddControl(slow);
            g->AddControl(knob);
        });
        ASSERT_NE(delegate.OpenEditor(SharedHost(), nullptr), nullptr);
        g = delegate.Win();
        ASSERT_TRUE(g->GetVBlankClock().IsRunning());
    }
    void TearDown() override
    {
        SetEvent(freeRun);
        delegate.CloseEditor();
        test_wait::WaitUntil([this] { return watch.gone.load(); });
        CloseHandle(blank);
        CloseHandle(freeRun);
    }

    // One vertical blank; waits for the clock to count it and to finish its tick (its redraw,
    // if it posted one, is then in this thread's queue).
    bool LetABlankPass() const
    {
        const uint32_t before = g->GetVBlankClock().Count();
        ReleaseSemaphore(blank, 1, nullptr);
        return test_wait::WaitUntil([&] { return g->GetVBlankClock().Count() != before && watch.waiting; });
    }
    void Blank()
    {
        ASSERT_TRUE(LetABlankPass());
        PumpMessages();
    }

    // Paints late on request: a vertical blank passes while it draws.
    struct PacedControl : IControl
    {
        using IControl::IControl;
        void Paint(IGraphics& g) override
        {
            g.SolidBox(IArgb(255, 0, 0, 255), GetBox());
            if (overrun)
                overrun();
            overrun = nullptr;
        }
        std::function<void()> overrun;
    };

    HANDLE blank = CreateSemaphoreW(nullptr, 0, 100, nullptr);
    HANDLE freeRun = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    VBlankWatch watch;
    TestDelegate delegate;
    IGraphicsWin* g = nullptr;
    PacedControl* slow = nullptr;
    RecordingControl* knob = nullptr;
};

TEST_F(FramePacingTest, AFrameThatOverranABlankLeavesTheNextBlankOut)
{
    Blank();
    ASSERT_EQ(g->PresentedFrames(), 1) << "the first blank draws the opened panel";
    knob->MarkDirty(false);
    Blank();
    EXPECT_EQ(g->PresentedFrames(), 2) << "a frame drawn in time: the next blank draws";

    const int knobPaints = knob->paints;
    slow->overrun = [this] {
        LetABlankPass();
        knob->MarkDirty(false);
    };
    slow->MarkDirty(false);
    Blank();
    EXPECT_EQ(g->PresentedFrames(), 3);
    PumpMessages(100);
    EXPECT_EQ(g->PresentedFrames(), 3) << "the blank that passed while drawing is left out";
    EXPECT_EQ(knob->paints, knobPaints);

    Blank();
    EXPECT_EQ(g->PresentedFrames(), 4) << "the blank after it draws again";
    EXPECT_EQ(knob->paints, knobPaints + 1);
}

// A host removes and deletes the editor while one of its modal loops runs (its own timer or
// window fires inside the loop). The editor's memory faults once freed, so anything that runs
// on it after the deletion ends the test process.
TEST(ModalLoopTest, AnEditorDeletedInsideItsModalLoopGoesOnlyWhenTheLoopAndItsCallerHaveReturned)
{
    POINT outside = {600, 700};
    ClientToScreen(SharedHost(), &outside);
    SetCursorPos(outside.x, outside.y);
    for (const ModalKind& kind : ModalKinds()) {
        SCOPED_TRACE(kind.name);
        TestDelegate delegate;
        delegate.SetMakeGraphics([&delegate] {
            auto* g = new Poisoned<IGraphicsWin>(delegate, 460, 640, 60, 1.0f);
            g->SetUseVBlankClock(false);
            g->SetModuleInstance(GetModuleHandleW(nullptr));
            return g;
        });
        std::string outcome;
        delegate.SetLayout([&](IGraphics* g) {
            g->AddControl(new Poisoned<ModalControl>(IBox(0, 0, 460, 640), [&](IControl& c) {
                kind.start(c, outcome);
                outcome += c.GetGraphics()->IsWindowOpen() ? ", editor still open" : ", editor closed";
            }));
        });
        const int aliveBefore = PoisonedObjectsAlive();
        auto window = static_cast<HWND>(delegate.OpenEditor(SharedHost(), nullptr));
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(PoisonedObjectsAlive(), aliveBefore + 2);

        HWND loopWindow = nullptr;
        bool windowDuringLoop = false;
        TimerScript host({[&] {
                              loopWindow = kind.loopWindowClass ? FindThreadWindow(kind.loopWindowClass) : nullptr;
                              return !kind.loopWindowClass || loopWindow;
                          },
                          [&] {
                              delegate.CloseEditor();
                              windowDuringLoop = IsWindow(window) != FALSE;
                              return true;
                          },
                          [&] {
                              kind.end(loopWindow);
                              return true;
                          }});
        SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 100));
        EXPECT_TRUE(host.Done());
        EXPECT_EQ(delegate.GetGraphics(), nullptr);
        EXPECT_TRUE(windowDuringLoop) << "the window outlives the loop";
        EXPECT_EQ(outcome, std::string(kind.cancelled) + ", editor still open")
            << "nothing completes and nothing is chosen once the editor is going";
        EXPECT_FALSE(IsWindow(window));
        EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 0);
        EXPECT_EQ(PoisonedObjectsAlive(), aliveBefore) << "the editor and its controls are deleted";
        PumpMessages(20);
    }
}

// A display that stopped answering leaves the vertical-blank wait stuck: closing the
// editor must not hold the host's UI thread for it (the close returns while the thread is
// still stuck, which a close that waited for it never would), and the thread, once it
// wakes, ends on its own without posting to the window that is gone.
TEST(VBlankCloseTest, ClosingWhileTheWaitIsStuckReturnsAndTheThreadEndsLater)
{
    const HANDLE blank = CreateSemaphoreW(nullptr, 0, 100, nullptr);
    const HANDLE freeRun = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    VBlankWatch watch;
    TestDelegate delegate;
    delegate.useVBlankClock = true;
    delegate.prepare = [&](IGraphicsWin& g) {
        g.SetVBlankSystemForTesting([&] { return std::make_unique<SteppedVBlanks>(blank, freeRun, &watch); });
    };
    delegate.SetLayout([](IGraphics* g) { g->AddControl(new RecordingControl(IBox(0, 0, 460, 640), IArgb())); });
    ASSERT_NE(delegate.OpenEditor(SharedHost(), nullptr), nullptr);
    test_wait::WaitUntil([&] { return watch.waits > 0; });
    ASSERT_GT(watch.waits, 0);

    delegate.CloseEditor();
    EXPECT_FALSE(watch.gone) << "the thread still waits";

    const int posts = watch.posts;
    SetEvent(freeRun);
    test_wait::WaitUntil([&] { return watch.gone.load(); });
    EXPECT_TRUE(watch.gone);
    EXPECT_EQ(watch.posts, posts);
    CloseHandle(blank);
    CloseHandle(freeRun);
}

} // namespace
} // namespace iplug::igraphics
