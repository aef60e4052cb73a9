#include "tests/framework/core/TestPlugin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace testplugin;

namespace {

TEST(PluginState, FortyOneParametersSerialiseToThreeHundredTwentyEightBytes)
{
    TestPlugin plugin(MakeDescriptor(41, 0));
    for (int i = 0; i < 41; ++i)
        plugin.GetParam(i)->SetValue(i / 100.0);
    IStateBuffer state;
    ASSERT_TRUE(plugin.SerializeParams(state));
    ASSERT_EQ(state.Size(), 328);
    double sixth = 0.0;
    EXPECT_EQ(state.Get(&sixth, 5 * 8), 6 * 8);
    EXPECT_DOUBLE_EQ(sixth, 0.05);
}

TEST(PluginState, SaveAndLoadRestoreEveryValue)
{
    TestPlugin source;
    source.GetParam(kGain)->SetValue(0.123);
    source.GetParam(kMode)->SetValue(3);
    source.GetParam(kSync)->SetValue(1);
    source.GetParam(kShape)->SetValue(2);
    IStateBuffer state;
    ASSERT_TRUE(source.SaveState(state));
    state.Put(int32_t(7)); // whatever follows is not read

    TestPlugin target;
    EXPECT_EQ(target.LoadState(state, 0), kNumTestParams * 8);
    for (int i = 0; i < kNumTestParams; ++i)
        EXPECT_DOUBLE_EQ(target.GetParam(i)->Value(), source.GetParam(i)->Value()) << i;
}

TEST(PluginState, ShortBufferFailsButKeepsWhatItRead)
{
    TestPlugin plugin(MakeDescriptor(41, 0));
    IStateBuffer state;
    for (int i = 0; i < 20; ++i)
        state.Put(1.0);
    plugin.log.clear();

    EXPECT_EQ(plugin.UnserializeParams(state, 0), -1);
    for (int i = 0; i < 41; ++i) {
        const IParam* param = plugin.GetParam(i);
        EXPECT_DOUBLE_EQ(param->Value(), i < 20 ? 1.0 : param->GetDefaultValue()) << i;
    }
    // Every parameter is still reported, the unread ones too.
    EXPECT_EQ(std::count(plugin.log.begin(), plugin.log.end(), "editor 40 Preset"), 1);
    EXPECT_EQ(std::count_if(plugin.log.begin(), plugin.log.end(),
                            [](const std::string& l) { return l.rfind("change ", 0) == 0; }),
              41);
}

TEST(PluginState, ReadValuesAreSteppedAndClamped)
{
    TestPlugin plugin;
    IStateBuffer state;
    for (double v : {7.0, 2.4, 0.7, -3.0})
        state.Put(v);
    EXPECT_EQ(plugin.LoadState(state, 0), 32);
    EXPECT_DOUBLE_EQ(plugin.GetParam(kGain)->Value(), 1.0);
    EXPECT_DOUBLE_EQ(plugin.GetParam(kMode)->Value(), 2.0);
    EXPECT_DOUBLE_EQ(plugin.GetParam(kSync)->Value(), 1.0);
    EXPECT_DOUBLE_EQ(plugin.GetParam(kShape)->Value(), 0.0);
}

IStateBuffer StateOf(std::initializer_list<double> values)
{
    IStateBuffer state;
    for (double v : values)
        state.Put(v);
    return state;
}

TEST(PluginPresets, SlotsStartEmptyAndNamesOutsideTheListAreEmpty)
{
    TestPlugin plugin;
    ASSERT_EQ(plugin.NPresets(), 4);
    EXPECT_STREQ(plugin.PresetNameAt(0), "empty");
    EXPECT_STREQ(plugin.PresetNameAt(-1), "");
    EXPECT_STREQ(plugin.PresetNameAt(4), "");
    EXPECT_EQ(plugin.GetPresetSlot(-1), nullptr);
    EXPECT_FALSE(plugin.ApplyPreset(-1));
    EXPECT_FALSE(plugin.ApplyPreset(4));
}

TEST(PluginPresets, FactoryPresetsFillSlotsInOrderUntilFull)
{
    TestPlugin plugin;
    const char* names[] = {"TREM - Slow", "TREM - Fast", "REPEAT - Dub", "LOOPS - Wide"};
    for (int i = 0; i < 4; ++i)
        plugin.AddFactoryPreset(names[i], StateOf({0.1 * i, 1, 0, 2}));
    plugin.AddFactoryPreset("one too many", StateOf({0.9, 0, 0, 0}));

    for (int i = 0; i < 4; ++i) {
        EXPECT_STREQ(plugin.PresetNameAt(i), names[i]);
        EXPECT_EQ(plugin.GetPresetSlot(i)->GetData().Size(), 32);
    }
    double first = -1.0;
    plugin.GetPresetSlot(3)->GetData().Get(&first, 0);
    EXPECT_DOUBLE_EQ(first, 0.3);
}

TEST(PluginPresets, LongNamesAreCutAt255Characters)
{
    TestPlugin plugin;
    const std::string longName(300, 'x');
    plugin.AddFactoryPreset(longName.c_str(), StateOf({0.5, 1, 0, 0}));
    EXPECT_EQ(std::strlen(plugin.PresetNameAt(0)), 255u);
}

TEST(PluginPresets, ApplyingAPresetRestoresItsValuesAndTellsHostAndEditor)
{
    TestPlugin plugin;
    plugin.AddFactoryPreset("A", StateOf({0.1, 0, 0, 0}));
    plugin.AddFactoryPreset("B", StateOf({0.9, 3, 1, 2}));
    plugin.log.clear();

    ASSERT_TRUE(plugin.ApplyPreset(1));
    EXPECT_EQ(plugin.GetCurrentPresetIdx(), 1);
    EXPECT_DOUBLE_EQ(plugin.GetParam(kGain)->Value(), 0.9);
    EXPECT_DOUBLE_EQ(plugin.GetParam(kShape)->Value(), 2.0);
    // Loaded with origin "Preset", then the host is told, then the editor gets every value.
    EXPECT_EQ(plugin.log.front(), "change 0 Preset");
    auto reported = std::find(plugin.log.begin(), plugin.log.end(), "preset reported");
    ASSERT_NE(reported, plugin.log.end());
    EXPECT_EQ(*(reported + 1), "editor 0 Editor Delegate");
    EXPECT_EQ(plugin.log.back(), "editor 3 Editor Delegate");
}

TEST(PluginPresets, PresetWithBrokenStateFailsAndKeepsTheCurrentIndex)
{
    TestPlugin plugin;
    plugin.AddFactoryPreset("good", StateOf({0.2, 0, 0, 0}));
    plugin.AddFactoryPreset("short", StateOf({0.7}));
    ASSERT_TRUE(plugin.ApplyPreset(0));
    plugin.log.clear();
    EXPECT_FALSE(plugin.ApplyPreset(1));
    EXPECT_EQ(plugin.GetCurrentPresetIdx(), 0);
    EXPECT_EQ(std::count(plugin.log.begin(), plugin.log.end(), "preset reported"), 0);
}

TEST(PluginPresets, ApplyingAnEmptySlotCapturesTheCurrentStateAsANumberedUserPreset)
{
    TestPlugin plugin;
    plugin.AddFactoryPreset("user preset 1", StateOf({0.1, 0, 0, 0}));
    plugin.AddFactoryPreset("user preset 2", StateOf({0.2, 0, 0, 0}));
    plugin.GetParam(kGain)->SetValue(0.625);
    plugin.GetParam(kMode)->SetValue(2);

    ASSERT_TRUE(plugin.ApplyPreset(3));
    EXPECT_STREQ(plugin.PresetNameAt(3), "user preset 3");
    EXPECT_STREQ(plugin.PresetNameAt(2), "empty");
    EXPECT_EQ(plugin.GetCurrentPresetIdx(), 3);

    plugin.GetParam(kGain)->SetValue(0.0);
    ASSERT_TRUE(plugin.ApplyPreset(3));
    EXPECT_DOUBLE_EQ(plugin.GetParam(kGain)->Value(), 0.625);
    EXPECT_DOUBLE_EQ(plugin.GetParam(kMode)->Value(), 2.0);
}

class FailingSavePlugin : public TestPlugin
{
public:
    bool SaveState(IStateBuffer&) override { return false; }
};

TEST(PluginPresets, FailedCaptureLeavesTheSlotEmpty)
{
    FailingSavePlugin plugin;
    EXPECT_FALSE(plugin.ApplyPreset(0));
    EXPECT_FALSE(plugin.GetPresetSlot(0)->IsInitialised());
    EXPECT_STREQ(plugin.PresetNameAt(0), "empty");
}

TEST(PluginIdentity, VersionPackedAndDecimal)
{
    TestPlugin plugin;
    EXPECT_EQ(plugin.GetPluginVersion(false), 0x00010004);
    EXPECT_EQ(plugin.GetPluginVersion(true), 10004);
}

TEST(PluginIdentity, ParamGroupsAreLookedUpByExactText)
{
    TestPlugin plugin;
    EXPECT_EQ(plugin.FindParamGroup("Drive"), -1);
    EXPECT_EQ(plugin.AddParamGroup("Drive"), 1);
    EXPECT_EQ(plugin.AddParamGroup("Wear"), 2);
    EXPECT_EQ(plugin.FindParamGroup("Wear"), 1);
    EXPECT_EQ(plugin.FindParamGroup("wear"), -1);
    EXPECT_STREQ(plugin.ParamGroupAt(0), "Drive");
    EXPECT_EQ(plugin.ParamGroupAt(-1), nullptr);
}

} // namespace
