#include "framework/app/IPlugAPP.h"

#include "framework/core/Timer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace iplug;

IPlugDescriptor MakeDescriptor(bool midiOut)
{
    IPlugDescriptor d;
    d.nParams = 2;
    d.channelIoText = "1-2 2-2";
    d.pluginName = "App Test";
    d.version = PackVersion(1, 0, 4);
    d.doesMidiOut = midiOut;
    d.editorWidth = 460;
    d.editorHeight = 640;
    return d;
}

class RecordingHost : public IPlugAPPHost
{
public:
    bool SendMidiBytes(const uint8_t* bytes, int size) override
    {
        sent.emplace_back(bytes, bytes + size);
        return true;
    }
    bool ResizeHostWindow(int width, int height) override
    {
        resized.push_back({width, height});
        return true;
    }
    std::vector<std::vector<uint8_t>> sent;
    std::vector<std::pair<int, int>> resized;
};

class AppPlugin : public IPlugAPP
{
public:
    AppPlugin(IPlugAPPHost* host, bool midiOut) : IPlugAPP(host, MakeDescriptor(midiOut))
    {
        for (int i = 0; i < NParams(); ++i)
            GetParam(i)->SetupDouble("p", 0.0, 0.0, 1.0, 0.01);
    }
    ~AppPlugin() override { StopIdleTimer(); }

    void ProcessAudioBlock(double**, double**, int nFrames) override { blocks.push_back(nFrames); }
    void HandleMidiEvent(const IMidiEvent& msg) override { midi.push_back(msg.status); }
    void HandleSysexEvent(const ISysexEvent& msg) override { sysexSizes.push_back(msg.size); }
    void PushParamValueToEditor(int idx, double value, bool normalised) override
    {
        log.push_back("param " + std::to_string(idx) + "=" + std::to_string(value) + (normalised ? " n" : ""));
    }
    void PushMidiToEditor(const IMidiEvent& msg) override { log.push_back("midi " + std::to_string(msg.status)); }

    std::vector<int> blocks;
    std::vector<int> midi;
    std::vector<int> sysexSizes;
    std::vector<std::string> log;
};

TEST(IPlugAPP, MidiOutputGoesStraightToTheHostsDeviceAsThreeBytes)
{
    RecordingHost host;
    AppPlugin plugin(&host, true);
    const IMidiEvent programChange{0, 0xC0, 5, 7};
    EXPECT_TRUE(plugin.SendMidiOut(programChange));
    const uint8_t sysex[5] = {0xF0, 1, 2, 3, 0xF7};
    EXPECT_TRUE(plugin.SendSysexOut(ISysexEvent{0, 5, sysex}));
    plugin.SendSysexFromEditor(ISysexEvent{0, 5, sysex});
    ASSERT_EQ(host.sent.size(), 3u);
    EXPECT_EQ(host.sent[0], (std::vector<uint8_t>{0xC0, 5, 7}));
    EXPECT_EQ(host.sent[1].size(), 5u);
    EXPECT_EQ(host.sent[2], host.sent[1]) << "sysex from the editor is not queued";

    AppPlugin noMidiOut(&host, false);
    EXPECT_FALSE(noMidiOut.SendMidiOut(programChange));
    EXPECT_FALSE(noMidiOut.SendSysexOut(ISysexEvent{0, 5, sysex}));
    AppPlugin noHost(nullptr, true);
    EXPECT_FALSE(noHost.SendMidiOut(programChange));
}

TEST(IPlugAPP, ADeviceBlockRunsTheBlockSizeAfterTheQueuedMidi)
{
    RecordingHost host;
    AppPlugin plugin(&host, false);
    plugin.ResizeScratchBuffers(64);
    int accepted = 0;
    for (int i = 0; i < 40; ++i)
        accepted += plugin.QueueMidiIn(IMidiEvent{0, uint8_t(0x90), uint8_t(i), 100}) ? 1 : 0;
    EXPECT_EQ(accepted, IPlugAPP::kMidiInCapacity);
    SysexQueueEntry entry;
    entry.size = 4;
    for (int i = 0; i < 6; ++i)
        plugin.QueueSysexIn(entry);
    plugin.QueueMidiForProcessor(IMidiEvent{0, 0xB0, 1, 2});

    std::vector<double> buffer(64 * 4, 0.0);
    double* in[2] = {&buffer[0], &buffer[64]};
    double* out[2] = {&buffer[128], &buffer[192]};
    plugin.ProcessDeviceBlock(in, out, 512);
    EXPECT_EQ(plugin.blocks, std::vector<int>{64});
    ASSERT_EQ(plugin.midi.size(), 33u);
    EXPECT_EQ(plugin.midi.back(), 0xB0) << "editor MIDI comes after the device's";
    EXPECT_EQ(plugin.sysexSizes, std::vector<int>(IPlugAPP::kSysexInCapacity, 4));
    EXPECT_EQ(plugin.MidiForEditor().Count(), 32);
    EXPECT_EQ(plugin.SysexForEditor().Count(), 4);
}

TEST(IPlugAPP, TheIdleTickHandsQueuedParameterValuesToTheEditorFirst)
{
    RecordingHost host;
    AppPlugin plugin(&host, false);
    plugin.ParamValuesForEditor().Push(QueuedParamValue{1, 0.25});
    plugin.MidiForEditor().Push(IMidiEvent{0, 0x90, 60, 1});
    std::unique_ptr<Timer> timer = Timer::Create([](Timer&) {}, 1000);
    ASSERT_NE(timer, nullptr);
    plugin.OnIdleTimer(*timer);
    EXPECT_EQ(plugin.log, (std::vector<std::string>{"param 1=0.250000", "midi 144"}));
}

TEST(IPlugAPP, AnEditorResizeIsStoredAndTheHostWindowFollows)
{
    RecordingHost host;
    AppPlugin plugin(&host, false);
    EXPECT_TRUE(plugin.ResizeHostWindow(600, 800));
    EXPECT_EQ(plugin.GetEditorWidth(), 600);
    EXPECT_EQ(plugin.GetEditorHeight(), 800);
    EXPECT_EQ(host.resized, (std::vector<std::pair<int, int>>{{600, 800}}));
    AppPlugin alone(nullptr, false);
    EXPECT_FALSE(alone.ResizeHostWindow(600, 800));
    EXPECT_EQ(alone.GetEditorWidth(), 600);
}

} // namespace
