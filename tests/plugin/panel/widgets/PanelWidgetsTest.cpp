#include "plugin/panel/BuildPanel.h"

#include "engine/tables/ParamSpec.h"
#include "framework/core/IParam.h"
#include "framework/graphics/IBoxList.h"
#include "plugin/Quorrel.h"
#include "plugin/panel/MacroDisplay.h"
#include "plugin/panel/PanelDrawing.h"
#include "plugin/panel/PluginStatus.h"
#include "plugin/panel/widgets/WFreezeButton.h"
#include "plugin/panel/widgets/WLoopMotionRateLabel.h"
#include "plugin/panel/widgets/WPresetStepper.h"
#include "tests/framework/graphics/RecordingGraphics.h"
#include "tests/plugin/HostRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <memory>
#include <vector>

using namespace iplug::igraphics;
using graphicstest::RecordingGraphics;

namespace {

// The plug-in with the recording context as its open editor, so host changes reach the controls.
class EditedQuorrel : public Quorrel
{
public:
    void UseGraphics(IGraphics* ui) { graphics = ui; }
};

// The plug-in's readings as a test sets them, without running audio to get there.
class FakeStatus : public PluginStatus
{
public:
    double Tempo() const override { return tempo; }
    double MacroReadout() const override { return macroSeconds; }
    bool LoopFrozen() const override { return frozen; }
    bool ShowBackPanel() const override { return back; }
    void SetShowBackPanel(bool side) override { back = side; }

    double tempo = 120.0;
    double macroSeconds = 0.5;
    bool frozen = false;
    bool back = false;
};

IPointerEventList At(float x, float y, float dx = 0, float dy = 0, bool left = true)
{
    IPointerEvent e;
    e.x = x;
    e.y = y;
    e.dx = dx;
    e.dy = dy;
    e.mods.left = left;
    e.mods.right = !left;
    return IPointerEventList(e);
}

class PanelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        plugin = new EditedQuorrel();
        rig = std::make_unique<HostRig>(static_cast<Steinberg::Vst::IAudioProcessor*>(plugin));
        ASSERT_TRUE(rig->Initialize());
        g = std::make_unique<RecordingGraphics>(*plugin);
        plugin->UseGraphics(g.get());
        BuildPanel(g.get(), plugin, plugin);
        Frame();
    }
    void TearDown() override
    {
        g->RemoveAllControls();
        plugin->UseGraphics(nullptr);
    }

    // The checks the drawing context runs before a frame.
    void Frame()
    {
        IBoxList dirty;
        g->CollectDirtyRegions(dirty);
    }
    void Click(float x, float y, bool left = true)
    {
        g->OnPointerDown(At(x, y, 0, 0, left));
        g->OnPointerUp(At(x, y, 0, 0, left));
    }
    void Drag(float x, float y, float dy)
    {
        g->OnPointerDown(At(x, y));
        g->OnPointerDrag(At(x, y + dy, 0, dy));
        g->OnPointerUp(At(x, y + dy));
    }
    // A change made by the host, as the controller passes it to the editor.
    void HostSets(int idx, double plain)
    {
        ASSERT_EQ(rig->SetParam(Steinberg::Vst::ParamID(idx), rig->ToNormalized(Steinberg::Vst::ParamID(idx), plain)),
                  Steinberg::kResultOk);
    }
    double Value(int idx) const { return plugin->GetParam(idx)->Value(); }
    IControl* ControlAt(float x, float y) { return g->FindControlAt(x, y, false, false); }

    EditedQuorrel* plugin = nullptr;
    std::unique_ptr<HostRig> rig;
    std::unique_ptr<RecordingGraphics> g;
};

} // namespace

TEST(PanelDrawingRules, StripFrameRoundsToTheNearestFrame)
{
    for (int k = 1; k <= 61; ++k) {
        // The smallest value that shows frame k is halfway from frame k - 1.
        const double first = k == 1 ? 0.0 : (k - 1.5) / 60.0;
        EXPECT_EQ(panel::StripFrameFor(61, first + 1e-9), k);
        if (k > 1) {
            EXPECT_EQ(panel::StripFrameFor(61, first - 1e-9), k - 1);
        }
    }
    EXPECT_EQ(panel::StripFrameFor(61, 0.99), 60);
    EXPECT_EQ(panel::StripFrameFor(61, 0.99167), 61);
    EXPECT_EQ(panel::StripFrameFor(61, 1.5), 61);
    EXPECT_EQ(panel::StripFrameFor(61, -1.0), 1);
    EXPECT_EQ(panel::StripFrameFor(61, std::nan("")), 1);
    EXPECT_EQ(panel::StripFrameFor(1, 0.7), 1);
}

TEST(PanelDrawingRules, NumbersIgnoreTheLocale)
{
    const bool comma = std::setlocale(LC_NUMERIC, "German") || std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    char text[32];
    WLoopMotionRateLabel::FormatRate(0.75, text, sizeof text);
    EXPECT_STREQ(text, "RATE \xC2\xB7 2.8x");
    WLoopMotionRateLabel::FormatRate(0.0, text, sizeof text);
    EXPECT_STREQ(text, "RATE \xC2\xB7 0.25x");
    WLoopMotionRateLabel::FormatRate(1.0, text, sizeof text);
    EXPECT_STREQ(text, "RATE \xC2\xB7 8x");
    std::setlocale(LC_NUMERIC, "C");
    if (!comma)
        GTEST_SKIP() << "no decimal-comma locale to try";
}

TEST_F(PanelTest, SidesShowOneAtATimeAndFlip)
{
    EXPECT_EQ(g->NControls(), 48);
    EXPECT_FALSE(g->FindControlByTag(100)->IsHidden());
    EXPECT_TRUE(g->FindControlByTag(101)->IsHidden());
    Click(380, 580); // the face's flip area
    EXPECT_TRUE(plugin->ShowBackPanel());
    EXPECT_TRUE(g->FindControlByTag(100)->IsHidden());
    EXPECT_FALSE(g->FindControlByTag(101)->IsHidden());
    // A hidden face knob takes no press: the DRIVE knob's place is empty on the back.
    const double drive = Value(kDrive);
    Drag(96, 222, -60);
    EXPECT_EQ(Value(kDrive), drive);
    Click(380, 590); // the back's flip area
    EXPECT_FALSE(plugin->ShowBackPanel());

    // Reopening builds the panel on the side it was left on.
    Click(380, 580);
    g->RemoveAllControls();
    BuildPanel(g.get(), plugin, plugin);
    EXPECT_TRUE(g->FindControlByTag(100)->IsHidden());
    EXPECT_FALSE(g->FindControlByTag(101)->IsHidden());
}

TEST_F(PanelTest, KnobsDragWheelAndResetTheirParameters)
{
    HostSets(kDrive, 0.0);
    Drag(96, 222, -90); // half of the 180-unit sweep
    EXPECT_NEAR(Value(kDrive), 0.5, 1e-3);
    EXPECT_EQ(rig->GetParam(kDrive), plugin->GetParam(kDrive)->GetNormalized()) << "the host follows";
    g->OnPointerDoubleClick(96, 222, IPointerMods{});
    EXPECT_DOUBLE_EQ(Value(kDrive), GetParamSpec(kDrive).defaultValue);

    // The host moves the knob.
    HostSets(kMix, 0.25);
    EXPECT_NEAR(ControlAt(364, 452)->ValueAt(0), plugin->GetParam(kMix)->GetNormalized(), 1e-12);
}

TEST_F(PanelTest, MacroKnobFollowsSyncAndStepsWholeDivisions)
{
    HostSets(kMode, 2);
    HostSets(kSync, 1);
    HostSets(kSyncDivision, 4);
    Frame();
    IControl* knob = ControlAt(230, 222);
    ASSERT_EQ(knob->BoundParamIndex(0), kSyncDivision) << "rebound within one frame";

    macro::DivisionList list;
    macro::AllowedDivisions(*knob, plugin->Tempo(), list);
    const auto at = std::find(list.begin(), list.end(), 4) - list.begin();
    for (float notches : {0.0f, 0.4f, -0.9f})
        g->OnWheel(230, 222, IPointerMods{}, notches);
    EXPECT_EQ(Value(kSyncDivision), 4) << "less than a notch changes nothing";
    g->OnWheel(230, 222, IPointerMods{}, 1.0f);
    EXPECT_EQ(Value(kSyncDivision), list[size_t(at + 1)]);
    g->OnWheel(230, 222, IPointerMods{}, -2.5f);
    EXPECT_EQ(Value(kSyncDivision), 4);

    // MACRO automation does not move the synced knob; Sync Division does.
    HostSets(kSyncDivision, 2);
    Frame();
    char text[32];
    macro::FormatReadoutText(plugin, plugin, text, sizeof text);
    EXPECT_STREQ(text, "1/8");
    HostSets(kSync, 0);
    Frame();
    EXPECT_EQ(knob->BoundParamIndex(0), kMacro);
}

TEST_F(PanelTest, MacroWheelMovesOnlyByWholeNotches)
{
    constexpr int kTrem = 0, kRepeat = 1, kLoops = 2;
    const struct
    {
        const char* name;
        int mode;
        bool sync;
        std::vector<float> turns;
        bool fine;
        int steps;
    } cases[] = {
        {"repeat time, part of a notch", kRepeat, false, {0.4f}, false, 0},
        {"repeat time, parts that make a notch", kRepeat, false, {0.4f, 0.6f}, false, 1},
        {"repeat time, one notch", kRepeat, false, {1.0f}, false, 1},
        {"repeat time, back before a notch", kRepeat, false, {0.5f, -0.5f}, false, 0},
        {"repeat time, reversal drops the rest", kRepeat, false, {0.9f, -0.5f, 0.5f}, false, 0},
        {"repeat time, fine", kRepeat, false, {0.4f, 0.6f}, true, 1},
        {"loop length, tenths", kLoops, false, std::vector<float>(10, 0.1f), false, 1},
        {"loop length, two notches", kLoops, false, {2.0f}, false, 2},
        {"loop length, down", kLoops, false, {-0.7f, -0.7f}, false, -1},
        {"free rate, part of a notch", kTrem, false, {0.4f}, false, 0},
        {"free rate, one notch", kTrem, false, {1.0f}, false, 1},
        {"synced, part of a notch", kTrem, true, {0.4f}, false, 0},
        {"synced, no notch", kTrem, true, {0.0f}, false, 0},
        {"synced, parts that make a notch", kTrem, true, {0.4f, 0.6f}, false, 1},
        {"synced, one notch", kTrem, true, {1.0f}, false, 1},
        {"synced, back before a notch", kRepeat, true, {0.5f, -0.5f}, false, 0},
        {"synced, down", kLoops, true, {-1.0f}, false, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HostSets(kMode, c.mode);
        HostSets(kSync, c.sync ? 1 : 0);
        HostSets(kMacro, 0.5);
        HostSets(kSyncDivision, 4);
        // A fresh panel: nothing left over from the last case's turns.
        g->RemoveAllControls();
        BuildPanel(g.get(), plugin, plugin);
        Frame();
        IControl* knob = ControlAt(230, 222);
        const double macroBefore = Value(kMacro);
        const double positionBefore = macro::MacroKnobPosition(*knob);
        macro::DivisionList list;
        macro::AllowedDivisions(*knob, plugin->Tempo(), list);
        const auto at = std::find(list.begin(), list.end(), 4) - list.begin();

        IPointerMods mods;
        mods.ctrl = c.fine;
        for (float notches : c.turns)
            g->OnWheel(230, 222, mods, notches);

        if (c.sync)
            EXPECT_EQ(Value(kSyncDivision), list[size_t(at + c.steps)]);
        else if (c.steps == 0)
            EXPECT_EQ(Value(kMacro), macroBefore);
        else if (c.mode == kTrem)
            EXPECT_NEAR(plugin->GetParam(kMacro)->GetNormalized(), 0.5 + c.steps * 0.01, 1e-9);
        else
            EXPECT_NEAR(macro::MacroKnobPosition(*knob), positionBefore + c.steps * (c.fine ? 0.001 : 0.01), 1e-9);
    }
}

TEST_F(PanelTest, ReadoutTexts)
{
    const struct
    {
        int mode;
        double macro;
        bool sync;
        int division;
        const char* text;
    } cases[] = {
        {1, 0.0, false, 0, "0.01 s"}, {2, 1.0, false, 0, "16.00 s"}, {0, 0.0, true, 0, "1/1"},
        {0, 0.0, true, 11, "1/64"},   {1, 0.0, true, 8, "1/2"},
    };
    for (const auto& c : cases) {
        HostSets(kMode, c.mode);
        HostSets(kMacro, c.macro);
        HostSets(kSync, c.sync ? 1 : 0);
        HostSets(kSyncDivision, c.division);
        char text[32];
        macro::FormatReadoutText(plugin, plugin, text, sizeof text);
        EXPECT_STREQ(text, c.text) << c.mode << " " << c.macro << " " << c.division;
    }
    HostSets(kMode, 0);
    HostSets(kSync, 0);
    char text[32];
    macro::FormatReadoutText(plugin, plugin, text, sizeof text);
    EXPECT_NE(std::string(text).find(" Hz"), std::string::npos) << text;
}

// The engine may hold a synced time at its limits; the readout then shows the time it really runs.
TEST_F(PanelTest, ReadoutShowsASyncedTimeHeldAtItsLimit)
{
    HostSets(kMode, 2);
    HostSets(kSync, 1);
    HostSets(kSyncDivision, 4);
    const struct
    {
        double tempo;
        double seconds;
        const char* text;
    } cases[] = {
        {120, 0.5, "1/4"}, {120, 0.25, "0.25s MAX"}, {120, 1.0, "1.00s MIN"}, {60, 1.0, "1/4"}, {60, 0.5, "0.50s MAX"},
    };
    FakeStatus status;
    for (const auto& c : cases) {
        status.tempo = c.tempo;
        status.macroSeconds = c.seconds;
        char text[32];
        macro::FormatReadoutText(plugin, &status, text, sizeof text);
        EXPECT_STREQ(text, c.text) << c.tempo << " bpm, " << c.seconds << " s";
    }
}

TEST_F(PanelTest, FreezeButtonRedrawsWhenTheLoopTakesHold)
{
    HostSets(kMode, 2);
    FakeStatus status;
    WFreezeButton button(IBox(340, 300, 424, 328), kLoopFreeze, IBitmapRef(), IBitmapRef(), &status);
    button.Attach(plugin, g.get());
    EXPECT_TRUE(button.NeedsRedraw()) << "the first check sees LOOPS";
    EXPECT_FALSE(button.IgnoresPointer());
    button.MarkClean();
    EXPECT_FALSE(button.NeedsRedraw());
    status.frozen = true;
    EXPECT_TRUE(button.NeedsRedraw()) << "the lit image turns from half to full strength";
    button.MarkClean();
    EXPECT_FALSE(button.NeedsRedraw());

    HostSets(kMode, 0);
    EXPECT_TRUE(button.NeedsRedraw());
    EXPECT_TRUE(button.IgnoresPointer()) << "no FREEZE outside LOOPS";
}

TEST_F(PanelTest, ModeSwitchPicksTheNearestPosition)
{
    const struct
    {
        float x;
        int mode;
    } cases[] = {{168, 0}, {208.5f, 0}, {209, 1}, {230, 1}, {252, 2}, {292, 2}};
    for (const auto& c : cases) {
        Click(c.x, 314);
        EXPECT_EQ(Value(kMode), c.mode) << c.x;
    }
}

TEST_F(PanelTest, HoldLetsGoOnReleaseLeaveAndModeChange)
{
    HostSets(kMode, 1);
    HostSets(kRepeatEngine, 1);
    Frame();
    g->OnPointerDown(At(400, 314));
    EXPECT_EQ(Value(kRepeatHold), 1.0);
    g->OnPointerUp(At(400, 314));
    EXPECT_EQ(Value(kRepeatHold), 0.0);

    Click(400, 352);
    EXPECT_EQ(Value(kRepeatLatch), 1.0);
    Click(400, 352);
    EXPECT_EQ(Value(kRepeatLatch), 0.0);

    g->OnPointerDown(At(400, 314));
    ASSERT_EQ(Value(kRepeatHold), 1.0);
    HostSets(kMode, 2);
    Frame();
    EXPECT_EQ(Value(kRepeatHold), 0.0) << "a held HOLD lets go when REPEAT goes";
    g->OnPointerUp(At(400, 314));

    // In LOOPS the same place is the FREEZE button.
    Click(400, 314);
    EXPECT_EQ(Value(kLoopFreeze), 1.0);
    EXPECT_EQ(Value(kRepeatHold), 0.0);
}

TEST_F(PanelTest, HiddenControlsStillRunTheirChecks)
{
    Click(380, 580);
    ASSERT_TRUE(plugin->ShowBackPanel());
    HostSets(kSync, 1);
    Frame();
    IControl* macroKnob = nullptr;
    g->ForEachInGroup("face", [&](IControl* c) {
        if (c->BoundParamIndex(0) == kSyncDivision)
            macroKnob = c;
    });
    EXPECT_NE(macroKnob, nullptr) << "the hidden MACRO knob rebinds to Sync Division";
}

// Every dirty box costs a redraw of all it covers, so a settled panel must have none; the
// controls that follow a parameter by checking it must still see it change.
TEST_F(PanelTest, OnlyChangesLeaveSomethingToRedraw)
{
    IControl* rateLabel = nullptr;
    for (int i = 0; i < g->NControls(); ++i)
        if (dynamic_cast<WLoopMotionRateLabel*>(g->GetControl(i)))
            rateLabel = g->GetControl(i);
    ASSERT_NE(rateLabel, nullptr);
    Frame(); // the MACRO knob binds its parameter in the first frame's check
    IBoxList dirty;
    EXPECT_FALSE(g->CollectDirtyRegions(dirty));
    EXPECT_EQ(dirty.Count(), 0);
    struct Change
    {
        int param;
        double plain;
    };
    const Change changes[] = {{kMode, 2}, {kLoopMotionRate, 0.75}, {kRepeatEngine, 0}, {kRepeatEngine, 1}, {kMode, 0}};
    for (const Change& c : changes) {
        SCOPED_TRACE(c.param);
        HostSets(c.param, c.plain);
        IBoxList changed;
        EXPECT_TRUE(g->CollectDirtyRegions(changed));
        if (c.param != kRepeatEngine) {
            bool labelRedrawn = false;
            for (int i = 0; i < changed.Count(); ++i)
                labelRedrawn |= changed[i] == rateLabel->GetBox().Grown(0.75f);
            EXPECT_TRUE(labelRedrawn);
        }
        IBoxList settled;
        EXPECT_FALSE(g->CollectDirtyRegions(settled));
        EXPECT_EQ(settled.Count(), 0);
    }
}

TEST_F(PanelTest, BackWidgetsDriveTheirParameters)
{
    Click(380, 580);
    Frame();
    // Seed step wraps at the top.
    HostSets(kChaosSeed, 98);
    Click(152, 550);
    EXPECT_EQ(Value(kChaosSeed), 99);
    Click(152, 550);
    EXPECT_EQ(Value(kChaosSeed), 0);

    Click(219, 371); // the middle of STEREO/MONO picks the right side
    EXPECT_EQ(Value(kLoopMonoVoices), 1.0);
    Click(145.9f, 371); // the right end of the octave chooser is DOWN
    EXPECT_EQ(Value(kLoopOctaveDir), 2);
    Click(50, 371);
    EXPECT_EQ(Value(kLoopOctaveDir), 0);
    Click(132 + 13 + 22, 404); // a tenth of the track rounds up to two voices
    EXPECT_EQ(Value(kLoopVoices), 2);
    Click(412, 404);
    EXPECT_EQ(Value(kLoopVoices), 6);

    HostSets(kDirtTrimWow, 0.0);
    Drag(64, 500, -7.5f);
    EXPECT_NEAR(Value(kDirtTrimWow), 0.25, 1e-6);

    // The legacy echo turns two REPEAT knobs to its own parameters and greys the third.
    HostSets(kRepeatEngine, 0);
    Frame();
    EXPECT_EQ(ControlAt(242, 172)->BoundParamIndex(0), kLegacyEchoFeedback);
    EXPECT_EQ(ControlAt(314, 172)->BoundParamIndex(0), kLegacyEchoRepeats);
    EXPECT_EQ(ControlAt(386, 172)->BoundParamIndex(0), -1) << "Repeat Feedback greys out; presses reach the background";
    const double feedback = Value(kRepeatFeedback);
    Drag(386, 172, -30);
    EXPECT_EQ(Value(kRepeatFeedback), feedback);
    HostSets(kRepeatEngine, 1);
    Frame();
    EXPECT_EQ(ControlAt(242, 172)->BoundParamIndex(0), kRepeatDecay);
}
