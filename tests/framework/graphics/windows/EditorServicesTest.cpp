#include "framework/graphics/windows/IGraphicsWin.h"
#include "tests/framework/graphics/windows/EditorRig.h"

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

namespace iplug::igraphics {
namespace {

using namespace test;

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
        delegate.SetMakeGraphics([this]() -> IGraphics* {
            auto* g = new IGraphicsWin(delegate, 460, 640, 60, 1.5f);
            g->SetModuleInstance(GetModuleHandleW(nullptr));
            g->SetTouchInputApiForTesting({TouchScript::GetInfo, TouchScript::Close});
            return g;
        });
        delegate.SetLayout([this](IGraphics* g) {
            left = new TouchControl(IBox(0, 0, 200, 200), 0);
            right = new TouchControl(IBox(200, 0, 400, 200), 1);
            g->AddControl(left);
            g->AddControl(right);
        });
        ASSERT_NE(delegate.OpenEditor(parent.Handle(), nullptr), nullptr);
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

    TestParentWindow parent{800, 1000};
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
        delegate.SetMakeGraphics([this]() -> IGraphics* {
            auto* g = new IGraphicsWin(delegate, 460, 640, 60, 1.0f);
            g->SetModuleInstance(GetModuleHandleW(nullptr));
            g->EnableTooltips(true);
            return g;
        });
        delegate.SetLayout([this](IGraphics* g) {
            g->AddControl(new RecordingControl(IBox(0, 0, 460, 640), IArgb(255, 0, 0, 0)));
            knob = new RecordingControl(IBox(100, 100, 160, 160), IArgb(255, 255, 0, 0), 0);
            knob->SetTooltip("Wzmocnienie \xc5\xbc");
            g->AddControl(knob);
            g->AddControl(new RecordingControl(IBox(200, 100, 260, 160), IArgb(255, 0, 255, 0), 1));
        });
        ASSERT_NE(delegate.OpenEditor(parent.Handle(), nullptr), nullptr);
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

    TestParentWindow parent;
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

} // namespace
} // namespace iplug::igraphics
