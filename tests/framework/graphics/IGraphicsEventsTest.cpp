#include "framework/graphics/ICornerResizerControl.h"
#include "framework/graphics/IGraphicsConstants.h"
#include "tests/framework/graphics/ControlFixtures.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace {

using namespace graphicstest;
using Lines = std::vector<std::string>;

using Events = GraphicsFixture;

TEST_F(Events, HitTestingFindsTheTopmostUsableControl)
{
    ProbeControl* background = Add(IBox(0, 0, 460, 640));
    ProbeControl* low = Add(IBox(10, 10, 50, 50));
    ProbeControl* high = Add(IBox(30, 30, 70, 70));
    EXPECT_EQ(g.FindControlAt(40, 40, false, false), high);
    high->SetHidden(true);
    EXPECT_EQ(g.FindControlAt(40, 40, false, false), low);
    low->SetIgnoresPointer(true);
    EXPECT_EQ(g.FindControlAt(40, 40, false, false), background);
    background->Disable(true);
    EXPECT_EQ(g.FindControlAt(40, 40, false, false), nullptr);
    EXPECT_EQ(g.FindControlAt(500, 40, false, false), nullptr);
}

TEST_F(Events, APressCapturesItsControlUntilRelease)
{
    ProbeControl* a = Add(IBox(0, 0, 10, 10), 0);
    ProbeControl* b = Add(IBox(20, 0, 30, 10), 1);
    g.OnPointerDown(At(5, 5));
    EXPECT_EQ(g.PressX(), 5.0f);
    // Drags go to the captured control wherever the pointer is, and not when they do not move.
    g.OnPointerDrag(At(25, 5, LeftButton(), 20, 0));
    g.OnPointerDrag(At(25, 5, LeftButton(), 0, 0));
    EXPECT_EQ(g.FindControlAt(25, 5, false, false), a);
    g.OnPointerUp(At(25, 5));
    EXPECT_EQ(a->seen, (Lines{"down", "drag 20,0", "up"}));
    EXPECT_TRUE(b->seen.empty());
    EXPECT_EQ(g.NCaptures(), 0);
    EXPECT_EQ(delegate.edits, (Lines{"begin 0", "end 0"}));
}

TEST_F(Events, EachTouchHoldsItsOwnControl)
{
    ProbeControl* a = Add(IBox(0, 0, 10, 10), 0);
    ProbeControl* b = Add(IBox(20, 0, 30, 10), 1);
    g.OnPointerDown(At(1, 1));
    IPointerEventList two;
    IPointerEvent e;
    e.x = 5;
    e.y = 5;
    e.mods = LeftButton(7);
    two.Append(e);
    e.x = 25;
    e.mods = LeftButton(8);
    two.Append(e);
    g.OnPointerUp(At(1, 1));
    g.OnPointerDown(two);
    EXPECT_EQ(g.PressX(), 1.0f); // two events leave the press position alone
    EXPECT_EQ(g.GetCapturedControl(7), a);
    EXPECT_EQ(g.GetCapturedControl(8), b);
    g.OnPointerUp(two);
    EXPECT_EQ(g.NCaptures(), 0);
}

TEST_F(Events, RightClickOnAParameterOpensTheMenuInsteadOfAPress)
{
    ProbeControl* plain = Add(IBox(0, 0, 10, 10));
    ProbeControl* bound = Add(IBox(20, 0, 30, 10), 1);
    bound->menuItems = {"Copy", "Paste"};
    g.menuAnswer = 1;
    g.OnPointerDown(At(5, 5, RightButton()));
    EXPECT_EQ(plain->seen, (Lines{"down"}));
    EXPECT_TRUE(delegate.edits.empty());
    g.OnPointerUp(At(5, 5, RightButton()));

    g.OnPointerDown(At(25, 5, RightButton()));
    EXPECT_EQ(g.Calls("menu"), (Lines{"menu 2"}));
    EXPECT_EQ(bound->seen, (Lines{"menu 1"}));
    EXPECT_EQ(g.NCaptures(), 0);
    // The prompt is off, so the choice changes no value: the gesture around it stays empty.
    EXPECT_EQ(delegate.edits, (Lines{"begin 1", "end 1"}));
}

TEST_F(Events, KeysSkipTheBackgroundAndFallBackToTheKeyHandler)
{
    ProbeControl* background = Add(IBox(0, 0, 100, 100));
    ProbeControl* button = Add(IBox(10, 10, 20, 20));
    button->handlesKeys = false;
    int handled = 0;
    g.SetKeyHandler([&](const IKeyStroke&, bool release) {
        handled += release ? 10 : 1;
        return true;
    });
    IKeyStroke key;
    EXPECT_TRUE(g.OnKeyDown(50, 50, key));
    EXPECT_TRUE(g.OnKeyDown(15, 15, key));
    EXPECT_TRUE(g.OnKeyUp(50, 50, key));
    EXPECT_TRUE(background->seen.empty());
    EXPECT_EQ(button->seen, (Lines{"key"}));
    EXPECT_EQ(handled, 12);
}

TEST_F(Events, PointerOverSkipsListedControlsUntilTooltipsAreOn)
{
    ProbeControl* background = Add(IBox(0, 0, 460, 640));
    ProbeControl* c = Add(IBox(10, 10, 20, 20));
    g.AddCornerResizer(kResizeScale, false, kGrey, kMidGrey, kDarkGrey, 20.0f);
    EXPECT_FALSE(g.OnPointerOver(15, 15, IPointerMods()));
    EXPECT_FALSE(c->IsPointerOver());

    EXPECT_TRUE(g.OnPointerOver(450, 630, IPointerMods()));
    EXPECT_TRUE(g.GetCornerResizer()->IsPointerOver());
    EXPECT_EQ(g.GetCursorKind(), kCursorSizeNWSE);
    g.OnPointerOver(15, 15, IPointerMods());
    EXPECT_EQ(g.GetCursorKind(), kCursorArrow);

    g.EnableTooltips(true);
    EXPECT_TRUE(g.OnPointerOver(15, 15, IPointerMods()));
    EXPECT_TRUE(c->IsPointerOver());
    EXPECT_EQ(g.GetOverIndex(), 1);
    EXPECT_FALSE(g.OnPointerOver(300, 300, IPointerMods())); // the background never takes pointer-over
    EXPECT_FALSE(background->IsPointerOver());
    EXPECT_FALSE(c->IsPointerOver());
}

TEST_F(Events, TagsAndGroups)
{
    ProbeControl* a = Add(IBox(0, 0, 1, 1), -1, 5, "face");
    Add(IBox(0, 0, 1, 1), -1, -1, "back");
    ProbeControl* c = Add(IBox(0, 0, 1, 1), -1, -1, "face");
    auto* duplicate = new ProbeControl(IBox(0, 0, 1, 1));
    EXPECT_EQ(g.AddControl(duplicate, 5), nullptr);
    delete duplicate;
    EXPECT_EQ(g.FindControlByTag(5), a);
    EXPECT_EQ(g.FindControlByTag(6), nullptr);
    std::vector<IControl*> face;
    g.ForEachInGroup("face", [&](IControl* x) { face.push_back(x); });
    EXPECT_EQ(face, (std::vector<IControl*>{a, c}));
    int any = 0;
    g.ForEachInGroup("", [&](IControl*) { ++any; });
    EXPECT_EQ(any, 0);
    EXPECT_EQ(g.NControls(), 3);
}

TEST_F(Events, DropsAndWheelsReachTheControlUnderThePointer)
{
    ProbeControl* c = Add(IBox(0, 0, 10, 10));
    g.OnDropPath("a.wav", 5, 5);
    g.OnDropPaths({"b.wav", "c.wav"}, 5, 5);
    g.OnDropPath("d.wav", 50, 50);
    EXPECT_TRUE(g.OnWheel(5, 5, IPointerMods(), 2.0f));
    EXPECT_FALSE(g.OnWheel(50, 5, IPointerMods(), 2.0f));
    EXPECT_EQ(c->seen, (Lines{"drop a.wav", "drop b.wav", "wheel 2"}));
}

TEST_F(Events, AMiddleButtonPressTakesNoCapture)
{
    ProbeControl* c = Add(IBox(0, 0, 10, 10), 1);
    g.OnPointerDown(At(5, 5, IPointerMods()));
    EXPECT_EQ(g.NCaptures(), 0);
    EXPECT_TRUE(c->seen.empty());
    EXPECT_TRUE(delegate.edits.empty());
}

TEST(ValuePrompt, UsesAMenuForListsAndATextEntryOtherwise)
{
    FakeDelegate delegate(2);
    delegate.GetParam(2)->SetupEnum("Shape", 1, {"SINE", "SQUARE", "SAW"});
    RecordingGraphics g(delegate);
    auto Add = [&](const IBox& box, int param) {
        auto* c = new ProbeControl(box, param);
        g.AddControl(c);
        return c;
    };
    ProbeControl* list = Add(IBox(0, 0, 10, 10), 2);
    ProbeControl* number = Add(IBox(20, 0, 60, 40), 1);
    list->AllowPrompt();
    number->AllowPrompt();

    g.menuAnswer = 2;
    g.AskForParamValue(list, list->GetBox(), 0);
    EXPECT_EQ(g.Calls("menu"), (Lines{"menu 3"}));
    EXPECT_EQ(list->ValueAt(0), 1.0);
    EXPECT_EQ(delegate.edits, (Lines{"begin 2", "perform 2 1", "end 2"}));

    delegate.edits.clear();
    g.AskForParamValue(number, number->GetBox(), 0);
    EXPECT_EQ(g.Calls("text entry"), (Lines{"text entry 1 '0.500'"}));
    g.OnPointerDrag(At(1, 1, LeftButton(), 3, 3)); // no drags while an entry is open
    g.ApplyTextEntryResult("0.75");
    EXPECT_EQ(number->ValueAt(0), 0.75);
    EXPECT_EQ(delegate.edits, (Lines{"begin 1", "perform 1 0.75", "end 1"}));

    ProbeControl* free = Add(IBox(0, 50, 10, 60), -1);
    g.OpenTextEntry(free, kDefaultTextStyle, free->GetBox(), "abc", -1);
    g.ApplyTextEntryResult("xyz");
    EXPECT_EQ(free->seen, (Lines{"text xyz"}));
}

TEST_F(Events, RightPressOnAPromptControlAsksForItsValue)
{
    ProbeControl* number = Add(IBox(0, 0, 100, 100), 1);
    number->AllowPrompt();
    number->OnPointerDown(50, 50, RightButton());
    EXPECT_EQ(g.Calls("text entry"), (Lines{"text entry 1 '0.500'"}));
}

class Gestures : public Events
{
protected:
    // Every perform lies inside a begun gesture of its parameter, and every begin is ended once.
    void ExpectBalanced()
    {
        std::map<int, int> open;
        for (const std::string& line : delegate.edits) {
            const int param = std::stoi(line.substr(line.find(' ') + 1));
            if (line.rfind("begin", 0) == 0)
                ++open[param];
            else if (line.rfind("end", 0) == 0)
                EXPECT_GT(open[param]--, 0) << "end without begin for " << param;
            else
                EXPECT_GT(open[param], 0) << "perform outside a gesture: " << line;
        }
        for (const auto& [param, count] : open)
            EXPECT_EQ(count, 0) << "gesture left open for " << param;
        for (int p = 0; p < delegate.NParams(); ++p)
            EXPECT_EQ(g.OpenGestures(p), 0);
    }
};

TEST_F(Gestures, WheelAndDoubleClickEditsAreWrapped)
{
    delegate.GetParam(1)->SetupDouble("Mix", 0.3, 0.0, 1.0, 0.001);
    auto* knob = new Knob(IBox(0, 0, 50, 120), 1);
    g.AddControl(knob);
    g.OnWheel(10, 10, IPointerMods(), 1.0f);
    EXPECT_EQ(delegate.edits, (Lines{"begin 1", "perform 1 0.01", "end 1"}));
    delegate.edits.clear();
    g.OnPointerDoubleClick(10, 10, LeftButton());
    EXPECT_EQ(delegate.edits, (Lines{"begin 1", "perform 1 0.3", "end 1"}));
    EXPECT_EQ(g.NCaptures(), 0);
}

TEST_F(Gestures, ReleasedCapturesEndTheirGestures)
{
    auto* knob = new Knob(IBox(0, 0, 50, 120), 1);
    g.AddControl(knob);
    g.OnPointerDown(At(10, 10));
    g.ResizeEditor(500, 700, 1.0f, true);
    EXPECT_EQ(delegate.edits, (Lines{"begin 1", "end 1"}));
    EXPECT_FALSE(g.IsPointerHidden());
    g.OnPointerUp(At(10, 10));
    EXPECT_EQ(delegate.edits.size(), 2u);
}

TEST_F(Gestures, RebindingMidDragEndsTheParameterThatBegan)
{
    auto* knob = new Knob(IBox(0, 0, 50, 120), 1);
    g.AddControl(knob);
    g.OnPointerDown(At(10, 10));
    knob->BindParam(3, 0);
    g.OnPointerDrag(At(10, 10, LeftButton(), 0, -18));
    g.OnPointerUp(At(10, 10));
    EXPECT_EQ(delegate.edits, (Lines{"begin 1", "begin 3", "perform 3 0.1", "end 1", "end 3"}));
}

TEST_F(Gestures, ClosingTheEditorEndsOpenGestures)
{
    auto* knob = new Knob(IBox(0, 0, 50, 120), 2);
    g.AddControl(knob);
    g.OnPointerDown(At(10, 10));
    g.RemoveAllControls();
    EXPECT_EQ(delegate.edits, (Lines{"begin 2", "end 2"}));
    EXPECT_EQ(g.NControls(), 0);
}

TEST_F(Gestures, RandomSessionsStayBalanced)
{
    std::mt19937 rng(1234);
    for (int session = 0; session < 40; ++session) {
        g.RemoveAllControls();
        delegate.edits.clear();
        // Controls share parameters; some have two slots.
        std::vector<Knob*> knobs;
        for (int i = 0; i < 6; ++i) {
            auto* k = new Knob(IBox(float(i) * 60, 0, float(i) * 60 + 50, 120), int(rng() % 4));
            if (i % 3 == 0) {
                k->SetValueSlotCount(2);
                k->BindParam(int(rng() % 4), 1);
            }
            g.AddControl(k);
            knobs.push_back(k);
        }
        g.menuAnswer = 0;
        for (int step = 0; step < 60; ++step) {
            const float x = float(rng() % 380);
            const float y = float(rng() % 130);
            switch (rng() % 9) {
            case 0:
                g.OnPointerDown(At(x, y, rng() % 2 ? LeftButton() : IPointerMods()));
                break;
            case 1:
                g.OnPointerDrag(At(x, y, LeftButton(), 0, float(int(rng() % 21) - 10)));
                break;
            case 2:
                g.OnPointerUp(At(x, y));
                break;
            case 3:
                g.OnWheel(x, y, IPointerMods(), float(int(rng() % 5) - 2));
                break;
            case 4:
                g.OnPointerDoubleClick(x, y, LeftButton());
                break;
            case 5:
                g.OnPointerDown(At(x, y, RightButton()));
                break;
            case 6:
                g.ShowMenuForControl(knobs[rng() % knobs.size()], &g.GetPromptMenu(), IBox(x, y, x, y), 0);
                break;
            case 7:
                g.ResizeEditor(400 + int(rng() % 100), 600, 1.0f, true);
                break;
            case 8:
                knobs[rng() % knobs.size()]->BindParam(int(rng() % 4), 0);
                break;
            }
        }
        if (rng() % 2)
            g.OnPointerUp(At(0, 0));
        g.RemoveAllControls();
        ExpectBalanced();
    }
}

TEST_F(Events, CornerResizerScalesByDragAndResetsOnDoubleClick)
{
    g.SetScaleLimits(2.0f, 0.75f);
    g.AddCornerResizer(kResizeScale, true, kGrey, kMidGrey, kDarkGrey, 20.0f);
    ICornerResizerControl* handle = g.GetCornerResizer();
    EXPECT_EQ(handle->GetBox(), IBox(440, 620, 460, 640));
    g.OnPointerDown(At(450, 630));
    EXPECT_TRUE(g.IsResizing());
    g.OnPointerDrag(At(225, 315, LeftButton(), -225, -315));
    EXPECT_FLOAT_EQ(g.GetDrawScale(), 0.75f); // half the press position, held at the limit
    g.OnPointerUp(At(225, 315));
    EXPECT_FALSE(g.IsResizing());
    EXPECT_EQ(delegate.layouts, 1);
    // The handle keeps its size on screen.
    EXPECT_NEAR(handle->GetBox().W(), 20.0f / 0.75f, 1e-4);

    g.calls.clear();
    handle->Paint(g);
    EXPECT_EQ(g.lastPaint.stops[0].colour, kGrey);
    g.OnPointerDoubleClick(455, 635, LeftButton());
    EXPECT_FLOAT_EQ(g.GetDrawScale(), 1.0f);
    EXPECT_EQ(g.Width(), 460);

    g.AddCornerResizer(kResizeSize, false, kRed, kRed, kRed, 40.0f);
    EXPECT_EQ(g.GetResizeMode(), kResizeScale); // a second handle is discarded
}

TEST_F(Events, CornerResizerInSizeModeFollowsThePointer)
{
    g.AddCornerResizer(kResizeSize, false, kGrey, kMidGrey, kDarkGrey, 20.0f);
    g.OnPointerDown(At(450, 630));
    g.OnPointerDrag(At(300.7f, 500.2f, LeftButton(), -150, -130));
    g.OnPointerUp(At(300, 500));
    EXPECT_EQ(g.Width(), 300);
    EXPECT_EQ(g.Height(), 500);
    EXPECT_FLOAT_EQ(g.GetDrawScale(), 1.0f);
}

} // namespace

namespace {

using namespace graphicstest;

TEST(EditorTeardown, DestroyingThePluginMidDragSendsNothingFromItsRemains)
{
    auto* delegate = new FakeDelegate;
    auto* g = new RecordingGraphics(*delegate);
    delegate->Adopt(g);
    g->AddControl(new Knob(IBox(0, 0, 50, 120), 1));
    g->OnPointerDown(At(10, 10));
    ASSERT_EQ(g->OpenGestures(1), 1);
    delete delegate; // its host links are gone before the drawing context it owns
}

} // namespace
