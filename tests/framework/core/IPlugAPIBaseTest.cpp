#include "tests/framework/core/TestPlugin.h"

#include <gtest/gtest.h>

#include <string>

using namespace testplugin;

namespace {

struct HostCase
{
    const char* name;
    int code;
};

TEST(HostIdentification, NamesGiveTheirCodes)
{
    const HostCase cases[] = {
        {"REAPER", 1},
        {"Cubase Pro 13", 3},
        {"Ableton Live 12", 9},
        {"Deliverance", 9}, // any name that contains "live"
        {"WaveLab Elements 12", 32},
        {"WaveLab Pro", 31},
        {"standalone", 24},
        {"www.example.host", 35},
        {"Ardour", 28},
        {"Harrison Mixbus 10", 45},
        {"Blue Cat's VST Host", 44},
        {"VST3PluginTestHost", 27},
        {"Unknown Thing", 0},
        {"", 0},
        {nullptr, 0},
    };
    for (const HostCase& c : cases)
        EXPECT_EQ(IPlugAPIBase::HostCodeForName(c.name), c.code) << (c.name ? c.name : "(null)");
}

TEST(HostIdentification, OnlyTheFirst255CharactersAreMatched)
{
    const std::string hidden = std::string(255, 'x') + "reaper";
    EXPECT_EQ(IPlugAPIBase::HostCodeForName(hidden.c_str()), 0);
    const std::string visible = std::string(249, 'x') + "reaper";
    EXPECT_EQ(IPlugAPIBase::HostCodeForName(visible.c_str()), 1);
}

TEST(HostIdentification, SetHostStoresNameCodeAndVersionThenTellsThePlugin)
{
    TestPlugin plugin;
    EXPECT_EQ(plugin.GetHostCode(), -1);
    plugin.SetHost("Bitwig Studio", PackVersion(3, 2, 5));
    EXPECT_EQ(plugin.GetHostCode(), 34);
    EXPECT_STREQ(plugin.GetHostName(), "Bitwig Studio");
    EXPECT_EQ(plugin.GetHostVersion(), 0x030205);
    EXPECT_EQ(plugin.log, (std::vector<std::string>{"prepare host", "host known"}));

    TextBuffer text;
    IPlugAPIBase::VersionText(plugin.GetHostVersion(), text);
    EXPECT_STREQ(text.Get(), "v3.2.5");
}

TEST(PluginDescription, DescriptorIsCopiedAndLimitsAreSorted)
{
    TestPlugin plugin;
    EXPECT_STREQ(plugin.GetPluginName(), "Test Plug");
    EXPECT_STREQ(plugin.GetMakerName(), "Test Maker");
    EXPECT_EQ(plugin.GetApiKind(), kApiVST3);
    EXPECT_TRUE(plugin.HasEditor());
    EXPECT_EQ(plugin.GetEditorWidth(), 460);
    EXPECT_EQ(plugin.GetMinWidth(), 153);
    EXPECT_EQ(plugin.GetMaxWidth(), 1380);
    EXPECT_EQ(plugin.GetMinHeight(), 213);
    EXPECT_EQ(plugin.GetMaxHeight(), 1920);
}

TEST(PluginDescription, LongNamesAreCutAt128Characters)
{
    const std::string longName(200, 'n');
    IPlugDescriptor d = MakeDescriptor();
    d.pluginName = longName.c_str();
    TestPlugin plugin(d);
    EXPECT_EQ(std::string(plugin.GetPluginName()).size(), 128u);
}

TEST(EditorToHost, EditorCommitStoresTellsTheHostAndReportsUI)
{
    TestPlugin plugin;
    plugin.BeginParamEditFromEditor(kMode);
    plugin.SetParamFromEditor(kMode, 1.0);
    plugin.EndParamEditFromEditor(kMode);
    EXPECT_DOUBLE_EQ(plugin.GetParam(kMode)->Value(), 3.0);
    EXPECT_EQ(plugin.log,
              (std::vector<std::string>{"begin 1", "host 1", "change 1 UI", "value 1", "editor 1 UI", "end 1"}));
}

TEST(EditorToHost, CommitForAParameterThatDoesNotExistDoesNothing)
{
    TestPlugin plugin;
    plugin.SetParamFromEditor(-1, 0.5);
    plugin.SetParamFromEditor(kNumTestParams, 0.5);
    EXPECT_TRUE(plugin.log.empty());
}

TEST(EditorToHost, ReportAllSendsEveryParameterInsideItsGesture)
{
    TestPlugin plugin;
    plugin.ReportAllParamsToHost();
    EXPECT_EQ(plugin.log, (std::vector<std::string>{"begin 0", "host 0", "end 0", "begin 1", "host 1", "end 1",
                                                    "begin 2", "host 2", "end 2", "begin 3", "host 3", "end 3"}));

    plugin.log.clear();
    plugin.BeginParamEditFromEditor(kMode);
    plugin.ReportAllParamsToHost();
    plugin.EndParamEditFromEditor(kMode);
    EXPECT_EQ(plugin.log, (std::vector<std::string>{"begin 1", "begin 0", "host 0", "end 0", "host 1", "begin 2",
                                                    "host 2", "end 2", "begin 3", "host 3", "end 3", "end 1"}))
        << "a value whose gesture is open goes inside that gesture";
}

TEST(EditorToHost, SizeChangeAsksTheHostOnlyWhenToldTo)
{
    TestPlugin plugin;
    EXPECT_TRUE(plugin.OnEditorSizeChanged(500, 700, false));
    EXPECT_FALSE(plugin.OnEditorSizeChanged(500, 700, true)); // the default host window does not resize
}

TEST(EditorQueues, MidiAndSysexFromTheEditorAreQueuedForTheProcessor)
{
    TestPlugin plugin;
    IMidiEvent note;
    note.status = 0x90;
    note.data1 = 60;
    for (int i = 0; i < 40; ++i)
        plugin.SendMidiFromEditor(note);
    EXPECT_EQ(plugin.MidiFromEditor().Count(), 32);

    uint8_t bytes[600] = {0xF0, 0x7E};
    plugin.SendSysexFromEditor(ISysexEvent{3, 2, bytes});
    plugin.SendSysexFromEditor(ISysexEvent{0, 600, bytes}); // too long for an entry
    plugin.SendSysexFromEditor(ISysexEvent{0, 5, nullptr});
    ASSERT_EQ(plugin.SysexFromEditor().Count(), 2);
    SysexQueueEntry entry;
    ASSERT_TRUE(plugin.SysexFromEditor().Pop(entry));
    EXPECT_EQ(entry.sampleOffset, 3);
    EXPECT_EQ(entry.size, 2);
    EXPECT_EQ(entry.data[1], 0x7E);
    ASSERT_TRUE(plugin.SysexFromEditor().Pop(entry));
    EXPECT_EQ(entry.size, 5);
    EXPECT_EQ(entry.data[0], 0);
}

TEST(EditorQueues, IdleTimerDrainsMidiAndSysexToTheEditorThenTicks)
{
    TestPlugin plugin;
    IMidiEvent cc;
    cc.status = 0xB0;
    plugin.MidiForEditor().Push(cc);
    cc.status = 0xB1;
    plugin.MidiForEditor().Push(cc);
    SysexQueueEntry entry;
    entry.size = 7;
    plugin.SysexForEditor().Push(entry);

    std::unique_ptr<Timer> unused = Timer::Create(nullptr, 1000);
    plugin.OnIdleTimer(*unused);
    EXPECT_EQ(plugin.log, (std::vector<std::string>{"midi 176", "midi 177", "sysex 7", "tick"}));
    EXPECT_EQ(plugin.MidiForEditor().Count(), 0);
    EXPECT_EQ(plugin.SysexForEditor().Count(), 0);
}

TEST(EditorQueues, ParamValuesForTheEditorAreDenormalisedWhenAsked)
{
    TestPlugin plugin;
    plugin.QueueParamValueForEditor(kMode, 2.0 / 3.0, true);
    plugin.QueueParamValueForEditor(kGain, 0.3, false);
    plugin.QueueParamValueForEditor(99, 0.3, false); // no such parameter
    QueuedParamValue v;
    ASSERT_TRUE(plugin.ParamValuesForEditor().Pop(v));
    EXPECT_EQ(v.paramIdx, kMode);
    EXPECT_DOUBLE_EQ(v.value, 2.0);
    ASSERT_TRUE(plugin.ParamValuesForEditor().Pop(v));
    EXPECT_DOUBLE_EQ(v.value, 0.3);
    EXPECT_FALSE(plugin.ParamValuesForEditor().Pop(v));
}

TEST(ApiDefaults, StoredValuesMatchWithinSinglePrecision)
{
    TestPlugin plugin;
    double stored[] = {9.0, 0.5, 1.0, 0.0, 0.0};
    EXPECT_TRUE(plugin.MatchesStoredValues(stored, 1));
    stored[1] = 0.5001;
    EXPECT_FALSE(plugin.MatchesStoredValues(stored, 1));
}

TEST(ApiDefaults, NoMidiNoteNamesAndEmptyChannelInfo)
{
    TestPlugin plugin;
    char name[8] = "stale";
    EXPECT_FALSE(plugin.GetMidiNoteName(60, name));
    EXPECT_STREQ(name, "");
    int r = 1, g = 2, b = 3;
    plugin.GetChannelColour(r, g, b);
    EXPECT_EQ(r + g + b, 0);
    GrowBuffer indices;
    EXPECT_EQ(plugin.ListParamIndices(2, indices), 2);
    EXPECT_EQ(indices.Size(), 8);
    EXPECT_EQ(plugin.ListParamIndices(10, indices), kNumTestParams);
}

} // namespace
