#include "framework/core/IStateBuffer.h"
#include "tests/framework/core/TestPlugin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

using namespace testplugin;

namespace {

struct ClampCase
{
    int width, height;
    bool inside;
    int wantWidth, wantHeight;
};

TEST(EditorSizeClamp, ClampsEachSideIntoItsLimits)
{
    TestPlugin plugin; // limits 153..1380 x 213..1920, given in reverse order for the width
    const ClampCase cases[] = {
        {460, 640, true, 460, 640},     {100, 2000, false, 153, 1920}, {153, 213, true, 153, 213},
        {1380, 1920, true, 1380, 1920}, {5000, 100, false, 1380, 213}, {-1, 640, false, 153, 640},
    };
    for (const ClampCase& c : cases) {
        int w = c.width, h = c.height;
        EXPECT_EQ(plugin.ClampEditorSize(w, h), c.inside) << c.width << "x" << c.height;
        EXPECT_EQ(w, c.wantWidth);
        EXPECT_EQ(h, c.wantHeight);
    }
}

TEST(EditorDelegateParams, IndexLookupsOutsideTheListAreNull)
{
    TestPlugin plugin;
    EXPECT_EQ(plugin.NParams(), kNumTestParams);
    EXPECT_NE(plugin.GetParam(0), nullptr);
    EXPECT_EQ(plugin.GetParam(-1), nullptr);
    EXPECT_EQ(plugin.GetParam(kNumTestParams), nullptr);
}

TEST(EditorDelegateParams, AllParamsChangedReportsEachParameterToBothHooksInOrder)
{
    TestPlugin plugin;
    plugin.OnAllParamsChanged(kOriginReset);
    std::vector<std::string> expected;
    for (int i = 0; i < kNumTestParams; ++i) {
        const std::string idx = std::to_string(i);
        expected.insert(expected.end(), {"change " + idx + " Reset", "value " + idx, "editor " + idx + " Reset"});
    }
    EXPECT_EQ(plugin.log, expected);
}

class EditorLifecycle : public ::testing::Test
{
protected:
    void SetUp() override
    {
        plugin.SetMakeGraphics([this] {
            last = new FakeGraphics(plugin, record);
            last->Add(new FakeControl({kGain}));
            last->Add(new FakeControl({kMode, -1, kMode}, true));
            last->Add(new FakeControl({kSync}, true));
            return last;
        });
    }

    TestPlugin plugin;
    GraphicsRecord record;
    FakeGraphics* last = nullptr;
};

TEST_F(EditorLifecycle, OpeningTwiceReusesTheDrawingContext)
{
    EXPECT_NE(plugin.OpenEditor(nullptr, nullptr), nullptr);
    EXPECT_NE(plugin.OpenEditor(nullptr, nullptr), nullptr);
    EXPECT_EQ(record.created, 1);
    EXPECT_EQ(record.opened, 2);
    plugin.CloseEditor();
    EXPECT_EQ(record.closed, 1);
    EXPECT_EQ(record.destroyed, 1);
    EXPECT_EQ(plugin.GetGraphics(), nullptr);
}

TEST_F(EditorLifecycle, WithoutMakeGraphicsFunctionNothingOpens)
{
    TestPlugin bare;
    EXPECT_EQ(bare.OpenEditor(nullptr, nullptr), nullptr);
    EXPECT_EQ(bare.GetGraphics(), nullptr);
    bare.CloseEditor();
}

TEST_F(EditorLifecycle, CloseReenteredFromTheClosingHookRunsOnce)
{
    plugin.OpenEditor(nullptr, nullptr);
    plugin.closeAgainWhileClosing = true;
    plugin.CloseEditor();
    EXPECT_EQ(std::count(plugin.log.begin(), plugin.log.end(), "closing"), 1);
    EXPECT_EQ(record.closed, 1);
    EXPECT_EQ(record.destroyed, 1);
}

TEST_F(EditorLifecycle, SizeAndScaleSurviveCloseAndReopen)
{
    plugin.OpenEditor(nullptr, nullptr);
    last->ResizeEditor(920, 1280, 2.0f, true);
    record.resizes.clear();
    plugin.CloseEditor();
    EXPECT_EQ(plugin.GetSavedWidth(), 920);
    EXPECT_EQ(plugin.GetSavedHeight(), 1280);
    EXPECT_FLOAT_EQ(plugin.GetSavedScale(), 2.0f);

    plugin.OpenEditor(nullptr, nullptr);
    ASSERT_EQ(record.resizes.size(), 1u);
    EXPECT_EQ(record.resizes[0], "920x1280@2.000000");
}

TEST_F(EditorLifecycle, PushedValueReachesEverySlotBoundToTheParameter)
{
    plugin.OpenEditor(nullptr, nullptr);
    plugin.log.clear();
    // Mode runs 0..3, so the real value 2 is normalised 2/3 before it reaches the controls.
    plugin.PushParamValueToEditor(kMode, 2.0, false);
    const FakeControl* modeControl = last->fakes[1];
    EXPECT_DOUBLE_EQ(modeControl->values[0], 2.0 / 3.0);
    EXPECT_DOUBLE_EQ(modeControl->values[1], -1.0);
    EXPECT_DOUBLE_EQ(modeControl->values[2], 2.0 / 3.0);
    EXPECT_DOUBLE_EQ(last->fakes[0]->values[0], -1.0);
    EXPECT_EQ(plugin.log, std::vector<std::string>{"editor 1 Editor Delegate"});
}

TEST_F(EditorLifecycle, PushedValueWithoutEditorStillReportsTheChange)
{
    plugin.PushParamValueToEditor(kGain, 0.25, true);
    EXPECT_EQ(plugin.log, std::vector<std::string>{"editor 0 Editor Delegate"});
}

TEST_F(EditorLifecycle, MidiReachesOnlyControlsThatTakeIt)
{
    plugin.OpenEditor(nullptr, nullptr);
    IMidiEvent msg;
    msg.status = 0x90;
    plugin.PushMidiToEditor(msg);
    EXPECT_EQ(last->fakes[0]->midiCount, 0);
    EXPECT_EQ(last->fakes[1]->midiCount, 1);
    EXPECT_EQ(last->fakes[2]->midiCount, 1);
    EXPECT_EQ(plugin.log.back(), "midi 144");
}

TEST_F(EditorLifecycle, ControlValueAndMessageGoToTheTaggedControl)
{
    plugin.OpenEditor(nullptr, nullptr);
    plugin.PushControlValue(2, 0.75);
    plugin.PushControlMessage(0, 42, 0, nullptr);
    plugin.PushControlValue(99, 0.5); // no such control: nothing happens
    EXPECT_DOUBLE_EQ(last->fakes[2]->values[0], 0.75);
    EXPECT_EQ(last->fakes[0]->lastMessage, 42);
}

TEST_F(EditorLifecycle, OpeningPushesEveryParameterThroughTheDelegate)
{
    plugin.OnEditorOpened();
    EXPECT_EQ(plugin.log, (std::vector<std::string>{"editor 0 Editor Delegate", "editor 1 Editor Delegate",
                                                    "editor 2 Editor Delegate", "editor 3 Editor Delegate"}));
}

// Editor state record: i32 width, i32 height, f32 scale.
IStateBuffer EditorRecord(int32_t w, int32_t h, float s, int bytes = 12)
{
    IStateBuffer full;
    full.Put(w);
    full.Put(h);
    full.Put(s);
    IStateBuffer cut;
    cut.PutBytes(full.Data(), bytes);
    return cut;
}

TEST_F(EditorLifecycle, EditorStateRoundTripsWhileClosed)
{
    const IStateBuffer record12 = EditorRecord(690, 960, 1.5f);
    EXPECT_EQ(plugin.LoadEditorState(record12, 0), 12);
    IStateBuffer saved;
    ASSERT_TRUE(plugin.SaveEditorState(saved));
    ASSERT_EQ(saved.Size(), 12);
    EXPECT_EQ(std::memcmp(saved.Data(), record12.Data(), 12), 0);
}

TEST_F(EditorLifecycle, ShortEditorStateFailsAndKeepsTheEditorFromResizing)
{
    EXPECT_EQ(plugin.LoadEditorState(EditorRecord(690, 960, 1.5f, 8), 0), -1);
    EXPECT_EQ(plugin.GetSavedWidth(), 690);
    EXPECT_EQ(plugin.GetSavedHeight(), 960);
    EXPECT_EQ(plugin.GetSavedScale(), 0.0f);
    plugin.OpenEditor(nullptr, nullptr);
    EXPECT_TRUE(record.resizes.empty());
}

TEST_F(EditorLifecycle, EditorStateWithUnusableScaleIsNotApplied)
{
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), -2.0f}) {
        EXPECT_EQ(plugin.LoadEditorState(EditorRecord(690, 960, bad), 0), 12);
        EXPECT_EQ(plugin.GetSavedScale(), 0.0f);
    }
    plugin.OpenEditor(nullptr, nullptr);
    EXPECT_TRUE(record.resizes.empty());
}

TEST_F(EditorLifecycle, EditorStateLoadedWhileOpenResizesAtOnce)
{
    plugin.OpenEditor(nullptr, nullptr);
    EXPECT_EQ(plugin.LoadEditorState(EditorRecord(345, 480, 0.75f), 0), 12);
    ASSERT_EQ(record.resizes.size(), 1u);
    EXPECT_EQ(record.resizes[0], "345x480@0.750000");
}

TEST_F(EditorLifecycle, HostSizeIsDividedByTheWindowScale)
{
    plugin.OpenEditor(nullptr, nullptr);
    last->windowScale = 1.5f;
    plugin.FitEditorToHostSize(900, 1200);
    ASSERT_EQ(record.resizes.size(), 1u);
    EXPECT_EQ(record.resizes[0], "600x800@1.000000");
}

} // namespace
