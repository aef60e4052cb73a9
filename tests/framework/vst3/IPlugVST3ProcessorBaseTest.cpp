// The binding's processor side: set-up, bus arrangements and process calls as a host makes them.
#include "tests/framework/vst3/Vst3TestHost.h"

#include "pluginterfaces/vst/ivstmidicontrollers.h"
#include "pluginterfaces/vst/vstspeaker.h"

#include <algorithm>
#include <limits>
#include <ostream>

using namespace vst3test;

TEST_F(Vst3Host, ProcessAppliesTheLastPointOfEachQueueIn64And32Bit)
{
    for (int32 size : {kSample64, kSample32}) {
        SCOPED_TRACE(size);
        Start(64, size);
        plugin->changes.clear();
        Changes changes;
        changes.Add(kGain, {{0, 0.1}, {10, 0.2}, {20, 0.25}});
        tresult result;
        bool guardsIntact;
        std::vector<double> out0, out1;
        if (size == kSample64) {
            Buffers<double> b(64);
            result = Process(b, &changes);
            guardsIntact = b.GuardsIntact();
            out0.assign(b.out[0].begin(), b.out[0].begin() + 64);
            out1.assign(b.out[1].begin(), b.out[1].begin() + 64);
        } else {
            Buffers<float> b(64);
            result = Process(b, &changes);
            guardsIntact = b.GuardsIntact();
            out0.assign(b.out[0].begin(), b.out[0].begin() + 64);
            out1.assign(b.out[1].begin(), b.out[1].begin() + 64);
        }
        EXPECT_EQ(result, kResultTrue);
        EXPECT_TRUE(guardsIntact);
        EXPECT_DOUBLE_EQ(plugin->GetParam(kGain)->Value(), 0.5);
        const std::vector<std::pair<int, int>> expected{{kGain, 20}};
        EXPECT_EQ(plugin->changes, expected) << "one change, at the last point's offset";
        EXPECT_DOUBLE_EQ(out0[63], 0.125);
        EXPECT_DOUBLE_EQ(out1[0], 0.25);
        EXPECT_EQ(lastSilenceFlags, 0u);
        plugin->terminate();
    }
}

TEST_F(Vst3Host, BlocksLongerThanPreparedAreSilentAndStayInsideTheBuffers)
{
    for (int32 size : {kSample64, kSample32}) {
        SCOPED_TRACE(size);
        Start(32, size);
        const int before = plugin->blocks;
        bool silent = true, guardsIntact;
        if (size == kSample64) {
            Buffers<double> b(33);
            EXPECT_EQ(Process(b), kResultTrue);
            guardsIntact = b.GuardsIntact();
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < 33; ++i)
                    silent = silent && b.out[c][static_cast<size_t>(i)] == 0.0;
        } else {
            Buffers<float> b(33);
            EXPECT_EQ(Process(b), kResultTrue);
            guardsIntact = b.GuardsIntact();
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < 33; ++i)
                    silent = silent && b.out[c][static_cast<size_t>(i)] == 0.0f;
        }
        EXPECT_TRUE(silent);
        EXPECT_TRUE(guardsIntact);
        EXPECT_EQ(plugin->blocks, before) << "the plug-in never sees a block it was not prepared for";
        EXPECT_EQ(lastSilenceFlags, 0u);

        Buffers<double> exact(32);
        if (size == kSample64) {
            Process(exact);
            EXPECT_EQ(plugin->lastFrames, 32);
        } else {
            // Buffers of the other sample size than set up: silence, never a misread.
            const int blocks = plugin->blocks;
            Process(exact);
            EXPECT_EQ(plugin->blocks, blocks);
            EXPECT_EQ(exact.out[0][0], 0.0);
            EXPECT_TRUE(exact.GuardsIntact());
        }
        plugin->terminate();
    }
}

TEST_F(Vst3Host, BypassFollowsTheBypassParameterAndCopiesInputs)
{
    Start();
    plugin->setParamNormalized(kGain, 0.0);
    struct Case
    {
        double value;
        bool bypassed;
        double out0;
    };
    for (Case c : {Case{1.0, true, 0.25}, Case{0.5, false, 0.0}, Case{0.51, true, 0.25}}) {
        Changes changes;
        changes.Add(0x10000, {{0, c.value}});
        Buffers<double> b(16);
        Process(b, &changes);
        EXPECT_EQ(plugin->GetBypassed(), c.bypassed) << c.value;
        EXPECT_DOUBLE_EQ(b.out[0][5], c.out0) << c.value;
        if (c.bypassed) {
            EXPECT_DOUBLE_EQ(b.out[1][5], 0.5);
        }
    }
    // Bypass persists between blocks without changes.
    Buffers<double> b(16);
    Process(b);
    EXPECT_TRUE(plugin->GetBypassed());
}

TEST_F(Vst3Host, IgnoresMidiIdsNonFiniteValuesAndUnreadableQueues)
{
    Start();
    plugin->changes.clear();
    Changes changes;
    changes.Add(0x10002 + 7, {{0, 1.0}});
    changes.Add(kTone, {{3, std::numeric_limits<double>::infinity()}});
    changes.Add(kSteps, {});
    Buffers<double> b(16);
    EXPECT_EQ(Process(b, &changes), kResultTrue);
    EXPECT_TRUE(plugin->changes.empty());
    EXPECT_EQ(plugin->MidiForEditor().Count(), 0) << "nothing queued for an editor when MIDI input is off";
    EXPECT_EQ(plugin->PendingMidiOut().Count(), 0);
    EXPECT_DOUBLE_EQ(plugin->GetParam(kTone)->Value(), 0.5);
}

TEST_F(Vst3Host, TransportComesFromTheContextAndIsKeptWithoutOne)
{
    Start();
    ProcessContext context{};
    context.state = ProcessContext::kPlaying | ProcessContext::kProjectTimeMusicValid | ProcessContext::kTempoValid;
    context.tempo = 90.0;
    context.projectTimeSamples = 4800;
    context.projectTimeMusic = 8.0;
    context.timeSigNumerator = 3;
    context.timeSigDenominator = 8;
    Buffers<double> b(16);
    Process(b, nullptr, -1, &context);
    Process(b);
    const iplug::ITransportInfo& t = plugin->Transport();
    EXPECT_DOUBLE_EQ(t.tempo, 90.0);
    EXPECT_DOUBLE_EQ(t.samplePos, 4800.0);
    EXPECT_DOUBLE_EQ(t.quarterNotePos, 8.0);
    EXPECT_EQ(t.numerator, 3);
    EXPECT_EQ(t.denominator, 8);
    EXPECT_TRUE(t.transportRunning);
    EXPECT_FALSE(t.cycleActive);

    context.state = 0;
    Process(b, nullptr, -1, &context);
    EXPECT_DOUBLE_EQ(plugin->Transport().samplePos, -1.0);
}

TEST_F(Vst3Host, ExceptionsInsideThePluginNeverReachTheHost)
{
    Start();
    plugin->throwInProcess = true;
    Buffers<double> b(16);
    EXPECT_EQ(Process(b), kInternalError);
}

TEST_F(Vst3Host, SetupAndSampleSizes)
{
    ASSERT_EQ(plugin->initialize(&app), kResultTrue);
    struct Case
    {
        int32 size;
        tresult expected;
    };
    for (Case c : {Case{kSample32, kResultTrue}, Case{kSample64, kResultTrue}, Case{2, kResultFalse}})
        EXPECT_EQ(plugin->canProcessSampleSize(c.size), c.expected) << c.size;

    ProcessSetup setup{kOffline, kSample64, 256, 44100.0};
    ASSERT_EQ(plugin->setupProcessing(setup), kResultTrue);
    EXPECT_EQ(plugin->GetBlockSize(), 256);
    EXPECT_DOUBLE_EQ(plugin->GetSampleRate(), 44100.0);
    EXPECT_EQ(plugin->resets, 1);
    ProcessSetup bad{kRealtime, 2, 512, 48000.0};
    EXPECT_EQ(plugin->setupProcessing(bad), kResultFalse);
    EXPECT_EQ(plugin->getProcessSetup().maxSamplesPerBlock, 256) << "a refused set-up changes nothing";
    EXPECT_EQ(plugin->GetBlockSize(), 256);

    plugin->activateBus(kAudio, kOutput, 0, true);
    Buffers<double> b(8);
    Process(b);
    EXPECT_TRUE(plugin->GetRenderingOffline());

    EXPECT_EQ(plugin->setProcessing(false), kResultTrue);
    EXPECT_EQ(plugin->setProcessing(true), kResultTrue);
    EXPECT_EQ(plugin->resets, 1) << "starting and stopping is light: no processing reset";
    EXPECT_EQ(plugin->getTailSamples(), 0u);
    plugin->SetTailSamples(0x7FFFFFFF);
    EXPECT_EQ(plugin->getTailSamples(), 0xFFFFFFFFu);
    plugin->SetTailSamples(1000);
    EXPECT_EQ(plugin->getTailSamples(), 1000u);
}

TEST_F(Vst3Host, BusArrangementsFollowTheChannelConfigurations)
{
    ASSERT_EQ(plugin->initialize(&app), kResultTrue);
    BusInfo info{};
    ASSERT_EQ(plugin->getBusInfo(kAudio, kInput, 0, info), kResultTrue);
    EXPECT_EQ(info.channelCount, 2) << "the configuration with the most input buses, last on a tie";
    EXPECT_EQ(info.busType, kMain);
    EXPECT_EQ(info.flags, static_cast<uint32>(BusInfo::kDefaultActive));

    // The host activates before it arranges: the activation must survive.
    ASSERT_EQ(plugin->activateBus(kAudio, kInput, 0, true), kResultTrue);

    SpeakerArrangement mono = SpeakerArr::kMono, stereo = SpeakerArr::kStereo, surround = SpeakerArr::k51;
    SpeakerArrangement twoStereo[] = {SpeakerArr::kStereo, SpeakerArr::kStereo};
    struct Case
    {
        const char* what;
        SpeakerArrangement* in;
        int32 nIn;
        SpeakerArrangement* out;
        int32 nOut;
        tresult expected;
        SpeakerArrangement input;
    };
    const Case cases[] = {
        {"mono in", &mono, 1, &stereo, 1, kResultTrue, SpeakerArr::kMono},
        {"stereo in", &stereo, 1, &stereo, 1, kResultTrue, SpeakerArr::kStereo},
        {"5.1 in", &surround, 1, &stereo, 1, kResultFalse, SpeakerArr::kStereo},
        {"two input buses", twoStereo, 2, &stereo, 1, kResultFalse, SpeakerArr::kStereo},
        {"mono out", &stereo, 1, &mono, 1, kResultFalse, SpeakerArr::kStereo},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(plugin->setBusArrangements(c.in, c.nIn, c.out, c.nOut), c.expected) << c.what;
        SpeakerArrangement arr = 0;
        ASSERT_EQ(plugin->getBusArrangement(kInput, 0, arr), kResultTrue) << c.what;
        EXPECT_EQ(arr, c.input) << c.what;
        EXPECT_EQ(plugin->getBusCount(kAudio, kInput), 1) << c.what;
        EXPECT_TRUE(plugin->getAudioInput(0)->isActive()) << c.what;
    }
    EXPECT_FALSE(plugin->getAudioOutput(0)->isActive()) << "an output the host never activated stays inactive";
}

TEST(IPlugVST3ProcessorBase, AnnouncesTheSpeakerArrangementForEachChannelCount)
{
    struct Case
    {
        int channels;
        SpeakerArrangement arrangement;
    };
    const Case cases[] = {
        {1, 0x80000}, {2, 0x3}, {4, 0xF00000}, {8, 0x63F}, {9, 0x7C000F00000ull}, {16, 0x3FFC000F00000ull},
        {11, 0},      {-64, 0}};
    for (Case c : cases)
        EXPECT_EQ(iplug::IPlugVST3ProcessorBase::ArrangementForChannels(c.channels), c.arrangement) << c.channels;
}

TEST_F(Vst3Host, BlocksWithoutHostBuffersNeverReachAnEarlierBlocksBuffers)
{
    Start();
    std::vector<double> out0;
    {
        Buffers<double> earlier(16);
        Process(earlier);
        out0 = earlier.out[0];
        // The earlier block's buffers go away here, as a host's may.
        std::fill(earlier.out[0].begin(), earlier.out[0].end(), -1.0);
    }
    Buffers<double> outputsOnly(16);
    AudioBusBuffers out;
    out.numChannels = 2;
    out.channelBuffers64 = outputsOnly.outPtr;
    ProcessData data;
    data.symbolicSampleSize = kSample64;
    data.numSamples = 16;
    data.numOutputs = 1;
    data.outputs = &out;
    ASSERT_EQ(plugin->process(data), kResultTrue);
    EXPECT_EQ(plugin->CountConnectedChannels(iplug::kInput), 0);
    EXPECT_DOUBLE_EQ(outputsOnly.out[0][3], 0.0) << "inputs read as silence, not as the old block";

    data.numOutputs = 0;
    data.outputs = nullptr;
    ASSERT_EQ(plugin->process(data), kResultTrue);
    EXPECT_EQ(plugin->CountConnectedChannels(iplug::kOutput), 0);
    EXPECT_DOUBLE_EQ(outputsOnly.out[0][3], 0.0);
}

namespace {

struct MidiHost : Vst3Host
{
    MidiHost()
    {
        plugin->release();
        plugin = new TestPlugin(true);
    }
};

struct Sent
{
    uint16 type;
    int32 offset;
    int control;
    int channel;
    int value;
    int value2;
};

bool operator==(const Sent& a, const Sent& b)
{
    return a.type == b.type && a.offset == b.offset && a.control == b.control && a.channel == b.channel
           && a.value == b.value && a.value2 == b.value2;
}

std::ostream& operator<<(std::ostream& os, const Sent& s)
{
    return os << "{" << s.type << " @" << s.offset << " " << s.control << " ch" << s.channel << " " << s.value << " "
              << s.value2 << "}";
}

} // namespace

TEST_F(MidiHost, MidiControllerParametersBecomeMidiEventsThatPassThrough)
{
    Start();
    EXPECT_EQ(plugin->getParameterCount(), 6 + 130);
    ASSERT_EQ(plugin->getUnitCount(), 5);
    UnitInfo channelUnit{};
    ASSERT_EQ(plugin->getUnitInfo(4, channelUnit), kResultTrue);
    EXPECT_EQ(channelUnit.id, 5);
    EXPECT_EQ(channelUnit.parentUnitId, 4) << "the channel unit sits under \"MIDI CCs\"";
    ParameterInfo bend{};
    ASSERT_EQ(plugin->getParameterInfoByTag(0x10002 + 129, bend), kResultTrue);
    EXPECT_EQ(bend.unitId, 5);
    EXPECT_DOUBLE_EQ(bend.defaultNormalizedValue, 0.5);
    EXPECT_EQ(plugin->getBusCount(kEvent, kInput), 1);
    EXPECT_EQ(plugin->getBusCount(kEvent, kOutput), 1);
    ParamID mapped = 0;
    ASSERT_EQ(plugin->getMidiControllerAssignment(0, 0, 7, mapped), kResultTrue);
    EXPECT_EQ(mapped, 0x10009u);
    EXPECT_EQ(plugin->getMidiControllerAssignment(0, 1, 7, mapped), kResultFalse);
    EXPECT_EQ(plugin->getMidiControllerAssignment(1, 0, 7, mapped), kResultFalse);

    Changes changes;
    changes.Add(0x10002 + 130 + 7, {{4, 1.0}});
    changes.Add(0x10002 + 129, {{5, 0.5}});
    changes.Add(0x10002 + 128, {{6, 1.0}});
    changes.Add(0x10002 + 16 * 130, {{7, 1.0}});
    EventList in, out;
    Event note{};
    note.type = Event::kNoteOnEvent;
    note.sampleOffset = 2;
    note.noteOn.channel = 3;
    note.noteOn.pitch = 60;
    note.noteOn.velocity = 1.0f;
    in.events.push_back(note);
    Buffers<double> b(16);
    Process(b, &changes, -1, nullptr, &in, &out);

    std::vector<Sent> sent;
    for (const Event& e : out.events) {
        if (e.type == Event::kNoteOnEvent)
            sent.push_back({e.type, e.sampleOffset, e.noteOn.pitch, e.noteOn.channel, int(e.noteOn.velocity * 127), 0});
        else
            sent.push_back({e.type, e.sampleOffset, e.midiCCOut.controlNumber, e.midiCCOut.channel, e.midiCCOut.value,
                            e.midiCCOut.value2});
    }
    const uint16 cc = Event::kLegacyMIDICCOutEvent;
    const std::vector<Sent> expected{
        {Event::kNoteOnEvent, 2, 60, 3, 127, 0},
        {cc, 4, 7, 1, 127, 0},
        {cc, 5, kPitchBend, 0, 0, 64},
        {cc, 6, kAfterTouch, 0, 127, 0},
    };
    EXPECT_EQ(sent, expected) << "in offset order; channel 17 does not exist";
    EXPECT_EQ(plugin->PendingMidiOut().Count(), 0);
    EXPECT_EQ(plugin->MidiForEditor().Count(), 4);
}

TEST(IPlugVST3ProcessorBase, PitchBendParameterCoversTheWholeRange)
{
    struct Case
    {
        double value;
        int data1;
        int data2;
    };
    for (Case c : {Case{0.0, 0, 0}, Case{0.5, 0, 64}, Case{1.0, 127, 127}}) {
        auto* plugin = new TestPlugin(true);
        plugin->initialize(nullptr);
        ProcessSetup setup{kRealtime, kSample64, 64, 48000.0};
        plugin->setupProcessing(setup);
        Changes changes;
        changes.Add(0x10002 + 129, {{0, c.value}});
        ProcessData data;
        data.symbolicSampleSize = kSample64;
        data.numSamples = 8;
        data.inputParameterChanges = &changes;
        ASSERT_EQ(plugin->process(data), kResultTrue);
        iplug::IMidiEvent event;
        ASSERT_TRUE(plugin->MidiForEditor().Pop(event));
        EXPECT_EQ(event.status, 0xE0);
        EXPECT_EQ(event.data1, c.data1) << c.value;
        EXPECT_EQ(event.data2, c.data2) << c.value;
        plugin->terminate();
        plugin->release();
    }
}
