#include "standalone/StandaloneHost.h"

#include "standalone/SettingsFile.h"
#include "tests/WaitUntil.h"
#include "tests/engine/AllocationProbe.h"
#include "tests/standalone/FakeAudioBackend.h"
#include "tests/standalone/TempFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

using Script = FakeAudioBackend::Script;

// The devices DirectSound lists under Wine with an ALSA device: the output-only default
// first, and names that repeat across directions.
std::shared_ptr<Script> WineDevices()
{
    auto script = std::make_shared<Script>();
    script->devices = {FakeAudioBackend::Device("Primary Sound Driver", 0, 2, true),
                       FakeAudioBackend::Device("Out: default", 0, 2), FakeAudioBackend::Device("In: default", 2, 0)};
    return script;
}

// An output and an input device with the given number of channels.
std::shared_ptr<Script> MicDevices(unsigned int micChannels)
{
    auto script = std::make_shared<Script>();
    script->devices = {FakeAudioBackend::Device("Primary Sound Driver", 0, 2, true),
                       FakeAudioBackend::Device("In: USB Mic", micChannels, 0)};
    return script;
}

std::vector<double> TestSignal(int n, int channels);

class StandaloneHostTest : public ::testing::Test
{
protected:
    StandaloneHost& Start(std::shared_ptr<Script> script)
    {
        this->script = script;
        host = FakeAudioBackend::MakeHost(script, folder.Path(), &errors);
        EXPECT_TRUE(host->Init());
        return *host;
    }
    void TearDown() override { delete StandaloneHost::ReleaseGlobal(); }

    FakeAudioBackend& Backend() { return static_cast<FakeAudioBackend&>(*host->Audio()); }

    // The output of two device buffers of 512 frames, each fed input (non-interleaved), from a
    // host of its own over these devices.
    std::vector<double> Play(std::shared_ptr<Script> devices, const std::vector<double>& input)
    {
        StandaloneHost& h = Start(devices);
        EXPECT_TRUE(h.ApplyAudioSettings());
        std::vector<double> played;
        for (int k = 0; k < 2; ++k) {
            std::vector<double> in = input;
            std::vector<double> out(512 * 2, 0.0);
            Backend().Deliver(out.data(), in.data(), 512);
            played.insert(played.end(), out.begin(), out.end());
        }
        delete StandaloneHost::ReleaseGlobal();
        return played;
    }

    TempFolder folder;
    std::shared_ptr<Script> script;
    StandaloneHost* host = nullptr;
    std::vector<std::string> errors;
};

TEST_F(StandaloneHostTest, FirstStartOpensTheDefaultOutputAndTheFirstInputAndKeepsTheirNames)
{
    StandaloneHost& h = Start(WineDevices());
    ASSERT_TRUE(h.ApplyAudioSettings());
    const FakeAudioBackend::OpenRecord& open = Backend().LastOpen();
    EXPECT_EQ(open.outputId, 0u);
    EXPECT_TRUE(open.withInput);
    EXPECT_EQ(open.inputId, 2u);
    EXPECT_EQ(open.frames, 512u);
    EXPECT_EQ(open.sampleRate, 48000u);
    EXPECT_TRUE(errors.empty());

    DeviceSettings stored;
    ASSERT_TRUE(SettingsFile(h.SettingsPath()).Load(stored));
    EXPECT_EQ(stored.audioOutput, "Primary Sound Driver");
    EXPECT_EQ(stored.audioInput, "default");
    EXPECT_EQ(stored.sampleRate, 48000u);
    EXPECT_EQ(h.activeSettings, h.settings);
}

TEST_F(StandaloneHostTest, ANameSharedByBothDirectionsResolvesWithinItsOwnDirection)
{
    StandaloneHost& h = Start(WineDevices());
    h.settings.audioInput = "default";
    h.settings.audioOutput = "default";
    ASSERT_TRUE(h.ApplyAudioSettings());
    EXPECT_EQ(Backend().LastOpen().outputId, 1u);
    EXPECT_EQ(Backend().LastOpen().inputId, 2u);
    EXPECT_EQ(h.FindAudioDevice("Primary Sound Driver", StandaloneHost::kInputDevice), std::nullopt);
}

TEST_F(StandaloneHostTest, WithoutAnOutputDeviceTheUserIsToldAndNothingOpens)
{
    auto script = std::make_shared<Script>();
    script->devices = {FakeAudioBackend::Device("In: mic", 2, 0)};
    StandaloneHost& h = Start(script);
    EXPECT_FALSE(h.ApplyAudioSettings());
    EXPECT_EQ(errors, std::vector<std::string>{"Please check the audio settings"});
    EXPECT_TRUE(script->opens.empty());
}

TEST_F(StandaloneHostTest, WithNoDevicesAtAllTheUserIsToldOnce)
{
    StandaloneHost& h = Start(std::make_shared<Script>());
    EXPECT_FALSE(h.ApplyAudioSettings());
    EXPECT_EQ(errors.size(), 1u);
}

TEST_F(StandaloneHostTest, WithoutAnInputDeviceTheStreamPlaysOutputOnly)
{
    auto script = std::make_shared<Script>();
    script->devices = {FakeAudioBackend::Device("Primary Sound Driver", 0, 2, true)};
    StandaloneHost& h = Start(script);
    ASSERT_TRUE(h.ApplyAudioSettings());
    EXPECT_TRUE(errors.empty());
    EXPECT_FALSE(Backend().LastOpen().withInput);
    EXPECT_EQ(h.StreamInputChannels(), 0);
}

TEST_F(StandaloneHostTest, AnInputThatFailsToOpenIsDroppedAndTheInputReadsSilence)
{
    auto script = WineDevices();
    script->failInputOpen = true;
    StandaloneHost& h = Start(script);
    ASSERT_TRUE(h.ApplyAudioSettings());
    ASSERT_EQ(script->opens.size(), 2u);
    EXPECT_TRUE(script->opens[0].withInput);
    EXPECT_FALSE(script->opens[1].withInput);
    EXPECT_EQ(h.StreamInputChannels(), 0);
    EXPECT_EQ(h.StreamOutputChannels(), 2);

    std::vector<double> out(512 * 2, 1.0);
    Backend().Deliver(out.data(), nullptr, 512);
    EXPECT_EQ(h.SamplesElapsed(), 512u);
    for (double sample : out)
        ASSERT_TRUE(std::isfinite(sample));
}

// A device is opened with as many input channels as it has, up to the effect's two; a mono
// microphone feeds both sides of the effect.
TEST_F(StandaloneHostTest, AMonoInputDeviceOpensWithOneChannelAndFeedsBothSides)
{
    for (const auto& [deviceChannels, opened] : {std::pair{1u, 1u}, {2u, 2u}, {8u, 2u}}) {
        SCOPED_TRACE(deviceChannels);
        StandaloneHost& h = Start(MicDevices(deviceChannels));
        ASSERT_TRUE(h.ApplyAudioSettings());
        ASSERT_EQ(script->opens.size(), 1u) << "no fallback to output only";
        EXPECT_TRUE(Backend().LastOpen().withInput);
        EXPECT_EQ(Backend().LastOpen().inputChannels, opened);
        EXPECT_EQ(h.StreamInputChannels(), int(opened));
        delete StandaloneHost::ReleaseGlobal();
    }

    const std::vector<double> sound = TestSignal(512, 1);
    std::vector<double> both = sound;
    both.insert(both.end(), sound.begin(), sound.end());
    std::vector<double> leftOnly = sound;
    leftOnly.resize(both.size(), 0.0);
    const std::vector<double> mono = Play(MicDevices(1), sound);
    EXPECT_EQ(mono, Play(MicDevices(2), both));
    EXPECT_NE(mono, Play(MicDevices(2), leftOnly)) << "the comparison needs the right input to matter";
}

// The library stops a stream whose device fails; the host notices, closes it and says so once.
TEST_F(StandaloneHostTest, ADeviceThatFailsWhileRunningIsReportedOnce)
{
    auto script = WineDevices();
    script->autoRun = true;
    StandaloneHost& h = Start(script);
    ASSERT_TRUE(h.ApplyAudioSettings());
    EXPECT_TRUE(h.CheckAudioStream());
    Backend().FailWhileRunning();
    EXPECT_FALSE(h.CheckAudioStream());
    EXPECT_EQ(errors, std::vector<std::string>{StandaloneHost::kCheckAudioSettings});
    EXPECT_FALSE(Backend().IsStreamOpen());
    EXPECT_TRUE(h.CheckAudioStream());
    EXPECT_EQ(errors.size(), 1u);

    // A stream the host stops itself is no failure.
    ASSERT_TRUE(h.ApplyAudioSettings());
    h.StopAudio();
    EXPECT_TRUE(h.CheckAudioStream());
    EXPECT_EQ(errors.size(), 1u);
}

TEST_F(StandaloneHostTest, AStreamThatCannotOpenAtAllReportsFailureWithoutAMessage)
{
    auto script = WineDevices();
    script->failAllOpens = true;
    StandaloneHost& h = Start(script);
    EXPECT_FALSE(h.ApplyAudioSettings());
    EXPECT_TRUE(errors.empty());
    EXPECT_FALSE(h.StreamRunning());
}

std::vector<double> TestSignal(int n, int channels)
{
    std::vector<double> signal(size_t(n) * channels);
    for (size_t i = 0; i < signal.size(); ++i)
        signal[i] = 0.5 * std::sin(0.01 * double(i));
    return signal;
}

// The first device buffer is faded in on the way in and on the way out: against a second
// plug-in fed the same faded input block by block, the host's output frame k is that
// plug-in's output times k / 512.
TEST_F(StandaloneHostTest, TheFirstBufferRunsEightBlocksFadedInBeforeAndAfterProcessing)
{
    StandaloneHost& h = Start(WineDevices());
    ASSERT_TRUE(h.ApplyAudioSettings());
    const int n = 512;
    std::vector<double> input = TestSignal(n, 2);
    std::vector<double> output(size_t(n) * 2, 0.0);
    Backend().Deliver(output.data(), input.data(), n);
    EXPECT_EQ(h.SamplesElapsed(), 512u);

    StandaloneHost reference{StandaloneHost::Environment()};
    iplug::IPlugAPP& plugin = *reference.Plugin();
    plugin.ResizeScratchBuffers(64);
    plugin.SetSampleRate(48000.0);
    plugin.OnProcessingReset();
    std::vector<double> fadedIn = TestSignal(n, 2);
    StandaloneHost::ApplyFade(fadedIn.data(), 2, n, false);
    std::vector<double> expected(size_t(n) * 2, 0.0);
    for (int start = 0; start < n; start += 64) {
        double* in[2] = {&fadedIn[size_t(start)], &fadedIn[size_t(n + start)]};
        double* out[2] = {&expected[size_t(start)], &expected[size_t(n + start)]};
        plugin.ProcessDeviceBlock(in, out, 64);
    }
    double energy = 0.0;
    for (int c = 0; c < 2; ++c)
        for (int k = 0; k < n; ++k) {
            const double want = expected[size_t(c * n + k)] * k / n;
            ASSERT_DOUBLE_EQ(output[size_t(c * n + k)], want) << c << "," << k;
            energy += want * want;
        }
    EXPECT_GT(energy, 0.0) << "the comparison needs sound to compare";
    EXPECT_EQ(output[0], 0.0);

    // The second buffer is not faded.
    std::vector<double> second(size_t(n) * 2, 0.0);
    input = TestSignal(n, 2);
    Backend().Deliver(second.data(), input.data(), n);
    EXPECT_NE(second[0], 0.0);
}

TEST_F(StandaloneHostTest, StoppingFadesTheLastBufferOutAndThenPlaysSilence)
{
    auto script = WineDevices();
    script->autoRun = true;
    StandaloneHost& h = Start(script);
    ASSERT_TRUE(h.ApplyAudioSettings());
    ASSERT_TRUE(test_wait::WaitUntil([&] { return h.SamplesElapsed() >= 512 * 4; }, [] { std::this_thread::yield(); }));
    h.StopAudio();
    EXPECT_TRUE(h.Done());
    EXPECT_FALSE(h.StreamRunning());

    const std::lock_guard<std::mutex> lock(script->deliveredLock);
    const std::vector<std::vector<double>>& buffers = script->delivered;
    ASSERT_GE(buffers.size(), 4u);
    // The stream ends with the fade-out buffer: its last frame is zero and something before it
    // is not; any buffer after it is silent.
    size_t fadeOut = buffers.size();
    for (size_t b = 1; b < buffers.size(); ++b) {
        const std::vector<double>& out = buffers[b];
        if (out[511] == 0.0 && out[1023] == 0.0 && out[510] != 0.0) {
            fadeOut = b;
            break;
        }
    }
    ASSERT_LT(fadeOut, buffers.size());
    for (size_t b = fadeOut + 1; b < buffers.size(); ++b)
        for (double sample : buffers[b])
            ASSERT_EQ(sample, 0.0);
}

TEST_F(StandaloneHostTest, ABufferSizeOutsideTheListIsKeptAndSlicedIntoBlocks)
{
    auto script = WineDevices();
    StandaloneHost& h = Start(script);
    h.settings.bufferSize = 300;
    ASSERT_TRUE(h.ApplyAudioSettings());
    EXPECT_EQ(Backend().LastOpen().frames, 300u);
    std::vector<double> in = TestSignal(300, 2);
    std::vector<double> out(600, 0.0);
    for (int k = 0; k < 3; ++k)
        Backend().Deliver(out.data(), in.data(), 300);
    EXPECT_EQ(h.SamplesElapsed(), 896u); // 900 frames make 14 whole blocks
}

// The device's callback runs on the audio thread: after the first buffer, buffers that slice
// into whole blocks and leftovers, with MIDI and SysEx arriving from the input thread, take
// nothing from the heap.
TEST_F(StandaloneHostTest, TheStreamCallbackAllocatesNothing)
{
    StandaloneHost& h = Start(WineDevices());
    h.settings.bufferSize = 300;
    ASSERT_TRUE(h.ApplyAudioSettings());
    std::vector<double> in = TestSignal(300, 2);
    std::vector<double> out(600, 0.0);
    Backend().Deliver(out.data(), in.data(), 300);
    const uint8_t note[3] = {0x90, 60, 100};
    const uint8_t sysex[4] = {0xF0, 0x01, 0x02, 0xF7};

    AllocationProbe::Scope probe;
    for (int k = 0; k < 8; ++k) {
        h.HandleMidiMessage(note, 3);
        h.HandleMidiMessage(sysex, 4);
        Backend().Deliver(out.data(), in.data(), 300);
    }
    EXPECT_EQ(probe.Allocations(), 0);
}

TEST_F(StandaloneHostTest, TheLibrarysBufferSizeReplacesTheOneAskedFor)
{
    auto script = WineDevices();
    script->grantedFrames = 96;
    StandaloneHost& h = Start(script);
    ASSERT_TRUE(h.ApplyAudioSettings());
    EXPECT_EQ(h.BufferFrames(), 96u);
}

TEST_F(StandaloneHostTest, MidiFromTheInputThreadIsQueuedWithinItsLimits)
{
    StandaloneHost& h = Start(WineDevices());
    ASSERT_TRUE(h.ApplyAudioSettings());
    const uint8_t note[3] = {0x90, 60, 100};
    for (int i = 0; i < 40; ++i)
        h.HandleMidiMessage(note, 3);
    const std::vector<uint8_t> four = {0xF0, 0x01, 0x02, 0xF7};
    const std::vector<uint8_t> tooLong(513, 0x01);
    h.HandleMidiMessage(four.data(), four.size());
    h.HandleMidiMessage(tooLong.data(), tooLong.size());
    h.HandleMidiMessage(note, 0);

    std::vector<double> in(128, 0.0), out(128, 0.0);
    Backend().Deliver(out.data(), in.data(), 64);
    iplug::IPlugAPP& plugin = *h.Plugin();
    EXPECT_EQ(plugin.MidiForEditor().Count(), 32);
    iplug::IMidiEvent event;
    ASSERT_TRUE(plugin.MidiForEditor().Pop(event));
    EXPECT_EQ(event.status, 0x90);
    EXPECT_EQ(event.data1, 60);
    EXPECT_EQ(event.data2, 100);
    EXPECT_EQ(plugin.SysexForEditor().Count(), 1);
    iplug::SysexQueueEntry sysex;
    ASSERT_TRUE(plugin.SysexForEditor().Pop(sysex));
    EXPECT_EQ(sysex.size, 4);
    EXPECT_EQ(sysex.data[3], 0xF7);

    const uint8_t shortMessage[1] = {0xF8};
    h.HandleMidiMessage(shortMessage, 1);
    h.MarkExiting();
    h.HandleMidiMessage(note, 3);
    Backend().Deliver(out.data(), in.data(), 64);
    ASSERT_EQ(plugin.MidiForEditor().Count(), 31 + 1);
}

struct RateCase
{
    const char* name;
    std::vector<unsigned int> outputRates;
    unsigned int outputPreferred;
    std::vector<unsigned int> inputRates;
    unsigned int inputPreferred;
    bool useInput;
    uint32_t stored;
    uint32_t expected;
};

TEST_F(StandaloneHostTest, TheSampleRateSuitsBothDevices)
{
    const RateCase cases[] = {
        {"input lists only the common rate", {44100, 48000}, 48000, {44100}, 44100, true, 44100, 44100},
        {"no input: the output's preference", {44100, 48000}, 48000, {44100}, 44100, false, 44100, 48000},
        {"stored rate when neither preference fits", {44100, 96000}, 88200, {96000}, 22050, true, 96000, 96000},
        {"first common rate when no candidate fits", {32000, 96000}, 0, {96000, 32000}, 0, true, 44100, 32000},
        {"output preference when nothing is common", {48000}, 48000, {44100}, 44100, true, 22050, 48000},
        {"stored rate when the output names none", {}, 0, {}, 0, true, 22050, 22050},
        {"44100 when nothing is known", {}, 0, {}, 0, true, 0, 44100},
    };
    for (const RateCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto script = std::make_shared<Script>();
        script->devices = {FakeAudioBackend::Device("Out: a", 0, 2, true, c.outputRates, c.outputPreferred),
                           FakeAudioBackend::Device("In: b", 2, 0, false, c.inputRates, c.inputPreferred)};
        StandaloneHost& h = Start(script);
        h.settings.sampleRate = c.stored;
        EXPECT_EQ(h.ChooseSampleRate(c.useInput ? std::optional<unsigned int>(1) : std::nullopt, 0u), c.expected);
        delete StandaloneHost::ReleaseGlobal();
    }
}

TEST(StandaloneHostNames, DisplayNamesDropTheLibrarysPrefix)
{
    EXPECT_EQ(StandaloneHost::DisplayNameOf("Primary Sound Driver"), "Primary Sound Driver");
    EXPECT_EQ(StandaloneHost::DisplayNameOf("Out: default"), "default");
    EXPECT_EQ(StandaloneHost::DisplayNameOf("ASIO:Card: Line"), "Card: Line");
    EXPECT_EQ(StandaloneHost::DisplayNameOf("Out:"), "");
}

TEST_F(StandaloneHostTest, MidiPortsAreFoundByNameAndAMissingPortTurnsOff)
{
    StandaloneHost& h = Start(WineDevices());
    EXPECT_EQ(h.FindMidiPort(false, "off"), 0);
    EXPECT_EQ(h.FindMidiPort(true, "Some Synth 1"), -1);
    h.settings.midiOutput = "Some Synth 1";
    EXPECT_FALSE(h.SelectMidiDevice(true, h.settings.midiOutput));
    EXPECT_EQ(h.settings.midiOutput, "off");
    DeviceSettings stored;
    ASSERT_TRUE(SettingsFile(h.SettingsPath()).Load(stored));
    EXPECT_EQ(stored.midiOutput, "off");
}

TEST_F(StandaloneHostTest, TheEditorsResizeRequestResizesTheHostWindow)
{
    StandaloneHost& h = Start(WineDevices());
    int width = 0, height = 0;
    h.SetWindowResizer([&](int w, int hgt) {
        width = w;
        height = hgt;
        return true;
    });
    EXPECT_TRUE(h.Plugin()->ResizeHostWindow(520, 700));
    EXPECT_EQ(width, 520);
    EXPECT_EQ(height, 700);
    EXPECT_EQ(h.Plugin()->GetEditorWidth(), 520);
}

// The audio library object stays for the destructor, on the thread that made it.
TEST_F(StandaloneHostTest, TeardownClosesTheStreamAndLeavesNothingForTheDestructorToCloseAgain)
{
    StandaloneHost& h = Start(WineDevices());
    ASSERT_TRUE(h.ApplyAudioSettings());
    h.Teardown();
    ASSERT_NE(h.Audio(), nullptr);
    EXPECT_FALSE(h.Audio()->IsStreamOpen());
    EXPECT_FALSE(h.StreamRunning());
    h.Teardown();
}

} // namespace
