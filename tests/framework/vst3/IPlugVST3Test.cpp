// The binding's controller side, driven through the VST 3 interfaces as a host would.
#include "tests/framework/vst3/Vst3TestHost.h"

#include "base/source/fstring.h"
#include "framework/core/Timer.h"
#include "public.sdk/source/common/pluginview.h"

#include <cmath>
#include <string>

using namespace vst3test;

namespace {

std::string Utf8(const TChar* text)
{
    return String(text).text8();
}

} // namespace

TEST_F(Vst3Host, RegistersParametersUnitsAndTheProgramList)
{
    Start();
    EXPECT_EQ(plugin->GetHostCode(), 1) << "the host is identified from its application name";
    ASSERT_EQ(plugin->getParameterCount(), 6);

    struct Expected
    {
        ParamID id;
        const char* title;
        int32 steps;
        int32 flags;
        UnitID unit;
    };
    const Expected table[] = {
        {0x10001, "Preset", 1, ParameterInfo::kIsProgramChange, kRootUnitId},
        {0x10000, "Bypass", 1, ParameterInfo::kCanAutomate | ParameterInfo::kIsList | ParameterInfo::kIsBypass,
         kRootUnitId},
        {kGain, "Gain", 0, ParameterInfo::kCanAutomate, kRootUnitId},
        {kVoice, "Voice", 1, ParameterInfo::kCanAutomate | ParameterInfo::kIsList, 1},
        {kSteps, "Steps", 7, ParameterInfo::kCanAutomate, 1},
        {kTone, "Tone", 0, ParameterInfo::kCanAutomate, 2},
    };
    for (int32 i = 0; i < 6; ++i) {
        ParameterInfo info{};
        ASSERT_EQ(plugin->getParameterInfo(i, info), kResultTrue);
        const Expected& e = table[i];
        EXPECT_EQ(info.id, e.id) << i;
        EXPECT_EQ(Utf8(info.title), e.title) << i;
        EXPECT_EQ(info.stepCount, e.steps) << e.title;
        EXPECT_EQ(info.flags, e.flags) << e.title;
        EXPECT_EQ(info.unitId, e.unit) << e.title;
    }

    struct Unit
    {
        UnitID id;
        UnitID parent;
        ProgramListID list;
        const char* name;
    };
    const Unit units[] = {
        {0, kNoParentUnitId, 0x10001, "Root"}, {1, 0, kNoProgramListId, "Drive"}, {2, 0, kNoProgramListId, "Filter"}};
    ASSERT_EQ(plugin->getUnitCount(), 3);
    for (int32 i = 0; i < 3; ++i) {
        UnitInfo info{};
        ASSERT_EQ(plugin->getUnitInfo(i, info), kResultTrue);
        EXPECT_EQ(info.id, units[i].id);
        EXPECT_EQ(info.parentUnitId, units[i].parent);
        EXPECT_EQ(info.programListId, units[i].list);
        EXPECT_EQ(Utf8(info.name), units[i].name);
    }

    EXPECT_EQ(plugin->getProgramListCount(), 1);
    ProgramListInfo list{};
    ASSERT_EQ(plugin->getProgramListInfo(0, list), kResultTrue);
    EXPECT_EQ(list.id, 0x10001);
    EXPECT_EQ(list.programCount, 2);
    EXPECT_EQ(Utf8(list.name), "Factory Presets");
    EXPECT_EQ(plugin->getProgramListInfo(1, list), kResultFalse);
    String128 name{};
    ASSERT_EQ(plugin->getProgramName(0x10001, 1, name), kResultTrue);
    EXPECT_EQ(Utf8(name), "Loud");
    for (auto [listId, index] : {std::pair{0x10001, 2}, {0x10001, -1}, {0, 0}})
        EXPECT_EQ(plugin->getProgramName(listId, index, name), kResultFalse) << listId << " " << index;

    ParamID mapped = 99;
    EXPECT_EQ(plugin->getMidiControllerAssignment(0, 0, 7, mapped), kResultFalse)
        << "no MIDI input, so no controller parameters to map to";
    EXPECT_EQ(mapped, 99u);
}

TEST_F(Vst3Host, AnswersTheSingleComponentInterfacesAndClassChain)
{
    IMidiMapping* mapping = nullptr;
    ASSERT_EQ(plugin->queryInterface(IMidiMapping::iid, reinterpret_cast<void**>(&mapping)), kResultOk);
    mapping->release();
    ChannelContext::IInfoListener* listener = nullptr;
    ASSERT_EQ(plugin->queryInterface(ChannelContext::IInfoListener::iid, reinterpret_cast<void**>(&listener)),
              kResultOk);
    listener->release();
    for (const char* name :
         {"IPlugVST3", "SingleComponentEffect", "EditControllerEx1", "EditController", "ComponentBase", "FObject"})
        EXPECT_TRUE(plugin->isTypeOf(name)) << name;
    TUID id;
    EXPECT_EQ(plugin->getControllerClassId(id), kNotImplemented);
    EXPECT_EQ(plugin->setIoMode(0), kNotImplemented);
}

TEST_F(Vst3Host, InitializeTerminateCyclesKeepExactlyOneSetOfEverything)
{
    for (int cycle = 0; cycle < 3; ++cycle) {
        ASSERT_EQ(plugin->initialize(&app), kResultTrue) << cycle;
        EXPECT_EQ(plugin->getParameterCount(), 6);
        EXPECT_EQ(plugin->getUnitCount(), 3);
        EXPECT_EQ(plugin->NParamGroups(), 2);
        EXPECT_EQ(plugin->getBusCount(kAudio, kInput), 1);
        EXPECT_EQ(plugin->getBusCount(kAudio, kOutput), 1);
        EXPECT_EQ(plugin->getBusCount(kEvent, kInput), 0);
        ParameterInfo info{};
        ASSERT_EQ(plugin->getParameterInfo(5, info), kResultTrue);
        EXPECT_EQ(info.unitId, 2) << "units keep their ids from cycle to cycle";
        ASSERT_EQ(plugin->terminate(), kResultOk);
        EXPECT_EQ(plugin->getParameterCount(), 0);
    }
}

TEST_F(Vst3Host, HostEditsReachTheParamsAndProgramChangesReachTheHost)
{
    Start();
    ASSERT_EQ(plugin->setParamNormalized(kGain, 0.75), kResultTrue);
    EXPECT_DOUBLE_EQ(plugin->GetParam(kGain)->Value(), 1.5);
    EXPECT_DOUBLE_EQ(plugin->getParamNormalized(kGain), 0.75);

    EXPECT_EQ(plugin->setParamNormalized(0x20000, 0.5), kResultFalse);
    EXPECT_DOUBLE_EQ(plugin->getParamNormalized(0x20000), 0.0);
    EXPECT_NE(plugin->setParamNormalized(kGain, std::nan("")), kResultTrue);
    EXPECT_DOUBLE_EQ(plugin->GetParam(kGain)->Value(), 1.5);

    ASSERT_EQ(plugin->setParamNormalized(0x10001, 1.0), kResultTrue);
    EXPECT_EQ(plugin->GetCurrentPresetIdx(), 1);
    EXPECT_DOUBLE_EQ(plugin->GetParam(kGain)->Value(), 2.0);
    EXPECT_DOUBLE_EQ(plugin->getParamNormalized(kGain), 1.0) << "the SDK's copy follows the preset";
    EXPECT_DOUBLE_EQ(plugin->getParamNormalized(kSteps), 1.0);
    ASSERT_FALSE(handler.restarts.empty());
    EXPECT_EQ(handler.restarts.back(), kParamValuesChanged);

    ASSERT_EQ(plugin->setParamNormalized(0x10001, 0.49), kResultTrue);
    EXPECT_EQ(plugin->GetCurrentPresetIdx(), 0);
    EXPECT_DOUBLE_EQ(plugin->getParamNormalized(kGain), 0.25);
}

TEST_F(Vst3Host, EditorCommitsAndReportsGoToTheHostInOrder)
{
    Start();
    plugin->BeginParamEditFromEditor(kTone);
    plugin->SetParamFromEditor(kTone, 0.8);
    plugin->EndParamEditFromEditor(kTone);
    ASSERT_EQ(handler.edits.size(), 3u);
    EXPECT_EQ(handler.edits[0].kind, 'b');
    EXPECT_EQ(handler.edits[1].kind, 'p');
    EXPECT_EQ(handler.edits[1].id, static_cast<ParamID>(kTone));
    EXPECT_DOUBLE_EQ(handler.edits[1].value, 0.8);
    EXPECT_EQ(handler.edits[2].kind, 'e');
    EXPECT_DOUBLE_EQ(plugin->getParamNormalized(kTone), 0.8);
    EXPECT_DOUBLE_EQ(plugin->GetParam(kTone)->Value(), 0.8);

    handler.edits.clear();
    plugin->GetParam(kGain)->SetValue(0.5);
    plugin->ReportAllParamsToHost();
    ASSERT_EQ(handler.edits.size(), 12u) << "each value inside a gesture of its own";
    EXPECT_EQ(handler.Kinds(), "bpebpebpebpe");
    EXPECT_EQ(handler.edits[1].id, static_cast<ParamID>(kGain));
    EXPECT_DOUBLE_EQ(handler.edits[1].value, 0.25);
    EXPECT_DOUBLE_EQ(plugin->getParamNormalized(kGain), 0.25);

    plugin->NotifyHostParamInfoChanged();
    plugin->ChangeLatency(32);
    EXPECT_EQ(plugin->getLatencySamples(), 32u);
    EXPECT_TRUE(plugin->LatencyChangePending());
    auto timer = iplug::Timer::Create([](iplug::Timer&) {}, 1000);
    plugin->OnIdleTimer(*timer);
    EXPECT_FALSE(plugin->LatencyChangePending());
    const std::vector<int32> restarts{kParamTitlesChanged, kLatencyChanged};
    EXPECT_EQ(handler.restarts, restarts);
}

// Hosts record automation and undo from gestures: an editor commit made outside a gesture gets
// one of its own, and gestures that overlap reach the host as one.
TEST_F(Vst3Host, EveryEditorCommitReachesTheHostInsideAGesture)
{
    Start();
    struct Case
    {
        const char* what;
        void (*run)(iplug::IPlugVST3&);
        const char* kinds;
    };
    const Case cases[] = {
        {"a commit without a gesture", [](iplug::IPlugVST3& p) { p.SetParamFromEditor(kTone, 0.3); }, "bpe"},
        {"two overlapping gestures",
         [](iplug::IPlugVST3& p) {
             p.BeginParamEditFromEditor(kTone);
             p.BeginParamEditFromEditor(kTone);
             p.SetParamFromEditor(kTone, 0.4);
             p.EndParamEditFromEditor(kTone);
             p.SetParamFromEditor(kTone, 0.5);
             p.EndParamEditFromEditor(kTone);
         },
         "bppe"},
        {"an end without its begin", [](iplug::IPlugVST3& p) { p.EndParamEditFromEditor(kTone); }, ""},
        {"a parameter that does not exist",
         [](iplug::IPlugVST3& p) {
             p.BeginParamEditFromEditor(99);
             p.SetParamFromEditor(99, 0.5);
             p.EndParamEditFromEditor(99);
         },
         ""},
    };
    for (const Case& c : cases) {
        handler.edits.clear();
        c.run(*plugin);
        EXPECT_EQ(handler.Kinds(), c.kinds) << c.what;
        for (const auto& e : handler.edits)
            EXPECT_EQ(e.id, static_cast<ParamID>(kTone)) << c.what;
    }
}

TEST_F(Vst3Host, StateRoundTripsWithTheBypassFlag)
{
    Start();
    plugin->setParamNormalized(kGain, 0.25);
    plugin->setParamNormalized(kTone, 0.9);
    Changes bypassOn;
    bypassOn.Add(0x10000, {{0, 1.0}});
    Buffers<double> buffers(8);
    Process(buffers, &bypassOn);
    ASSERT_TRUE(plugin->GetBypassed());

    MemoryStream saved;
    ASSERT_EQ(plugin->getState(&saved), kResultTrue);
    ASSERT_EQ(saved.getSize(), 4 * 8 + 4);
    EXPECT_EQ(saved.getData()[32], 1) << "bypass flag after the parameters";

    plugin->setParamNormalized(kGain, 1.0);
    plugin->setParamNormalized(kTone, 0.0);
    saved.seek(0, IBStream::kIBSeekSet, nullptr);
    ASSERT_EQ(plugin->setState(&saved), kResultTrue);
    EXPECT_DOUBLE_EQ(plugin->GetParam(kGain)->Value(), 0.5);
    EXPECT_DOUBLE_EQ(plugin->getParamNormalized(kTone), 0.9) << "the SDK's copy follows the state";
    EXPECT_DOUBLE_EQ(plugin->getParamNormalized(0x10000), 1.0);
}

namespace {

// A stream that takes at most `room` bytes and then reports failure.
class TightStream : public MemoryStream
{
public:
    explicit TightStream(int64 room) : room(room) {}
    tresult PLUGIN_API write(void* buffer, int32 numBytes, int32* written) override
    {
        if (numBytes > room) {
            if (written)
                *written = 0;
            return kResultFalse;
        }
        room -= numBytes;
        return MemoryStream::write(buffer, numBytes, written);
    }

private:
    int64 room;
};

} // namespace

TEST_F(Vst3Host, DamagedOrUnwritableStateIsAFailure)
{
    Start();
    MemoryStream good;
    ASSERT_EQ(plugin->getState(&good), kResultTrue);

    struct Case
    {
        const char* what;
        int64 keep;
    };
    for (Case c : {Case{"empty", 0}, Case{"cut inside the parameters", 20}}) {
        MemoryStream damaged(good.getData(), c.keep);
        plugin->GetParam(kTone)->SetValue(0.125);
        EXPECT_EQ(plugin->setState(&damaged), kResultFalse) << c.what;
    }
    // A whole state without its flag still loads, as not bypassed.
    for (Case c : {Case{"no bypass flag", 32}, Case{"half a bypass flag", 34}}) {
        MemoryStream shortened(good.getData(), c.keep);
        plugin->setParamNormalized(0x10000, 1.0);
        EXPECT_EQ(plugin->setState(&shortened), kResultTrue) << c.what;
        EXPECT_EQ(plugin->getParamNormalized(0x10000), 0.0) << c.what;
    }
    EXPECT_EQ(plugin->setState(nullptr), kInvalidArgument);

    for (int64 room : {int64(0), int64(16), int64(32)}) {
        TightStream tight(room);
        EXPECT_EQ(plugin->getState(&tight), kResultFalse) << room;
    }
}

TEST_F(Vst3Host, ChannelContextKeepsWhatTheHostSent)
{
    class Attributes : public IAttributeList
    {
    public:
        tresult PLUGIN_API setInt(AttrID, int64) override { return kResultFalse; }
        tresult PLUGIN_API getInt(AttrID id, int64& value) override
        {
            if (std::strcmp(id, ChannelContext::kChannelIndexKey) == 0)
                return value = 5, kResultTrue;
            if (std::strcmp(id, ChannelContext::kChannelColorKey) == 0)
                return value = 0xFF102030, kResultTrue;
            if (std::strcmp(id, ChannelContext::kChannelNameLengthKey) == 0)
                return value = withName ? 4 : -3, kResultTrue;
            return kResultFalse;
        }
        tresult PLUGIN_API setFloat(AttrID, double) override { return kResultFalse; }
        tresult PLUGIN_API getFloat(AttrID, double&) override { return kResultFalse; }
        tresult PLUGIN_API setString(AttrID, const TChar*) override { return kResultFalse; }
        tresult PLUGIN_API getString(AttrID id, TChar* text, uint32 bytes) override
        {
            if (std::strcmp(id, ChannelContext::kChannelNameKey) != 0 || bytes < 10)
                return kResultFalse;
            const TChar name[] = {'B', 'a', 's', 's', 0};
            std::memcpy(text, name, sizeof(name));
            return kResultTrue;
        }
        tresult PLUGIN_API setBinary(AttrID, const void*, uint32) override { return kResultFalse; }
        tresult PLUGIN_API getBinary(AttrID, const void*&, uint32&) override { return kResultFalse; }
        tresult PLUGIN_API queryInterface(const TUID, void** obj) override { return *obj = nullptr, kNoInterface; }
        uint32 PLUGIN_API addRef() override { return 1; }
        uint32 PLUGIN_API release() override { return 1; }
        bool withName = false;
    } attributes;

    EXPECT_EQ(plugin->setChannelContextInfos(nullptr), kResultFalse);
    ASSERT_EQ(plugin->setChannelContextInfos(&attributes), kResultTrue);
    iplug::TextBuffer name("unchanged");
    plugin->GetChannelName(name);
    EXPECT_STREQ(name.Get(), "") << "a negative length is refused, the name stays as it was";
    attributes.withName = true;
    plugin->setChannelContextInfos(&attributes);
    plugin->GetChannelName(name);
    EXPECT_STREQ(name.Get(), "Bass");
    EXPECT_EQ(plugin->GetChannelIndex(), 5);
    int r = 0, g = 0, b = 0;
    plugin->GetChannelColour(r, g, b);
    EXPECT_EQ(r, 0x10);
    EXPECT_EQ(g, 0x20);
    EXPECT_EQ(b, 0x30);
}

TEST_F(Vst3Host, EditorResizesReachTheHostFrameOnlyWhenTheSizeChanges)
{
    struct Frame : IPlugFrame
    {
        tresult PLUGIN_API resizeView(IPlugView* view, ViewRect* rect) override
        {
            requests.push_back({view, *rect});
            return kResultTrue;
        }
        tresult PLUGIN_API queryInterface(const TUID, void** obj) override { return *obj = nullptr, kNoInterface; }
        uint32 PLUGIN_API addRef() override { return 1; }
        uint32 PLUGIN_API release() override { return 1; }
        std::vector<std::pair<IPlugView*, ViewRect>> requests;
    } frame;
    IPtr<CPluginView> view = owned(new CPluginView);

    plugin->SetViewFrame(view, &frame);
    EXPECT_TRUE(plugin->ResizeHostWindow(460, 640));
    EXPECT_TRUE(frame.requests.empty()) << "same size: the host is not asked";
    EXPECT_TRUE(plugin->ResizeHostWindow(920, 1280));
    ASSERT_EQ(frame.requests.size(), 1u);
    EXPECT_EQ(frame.requests[0].first, view.get());
    EXPECT_EQ(frame.requests[0].second.getWidth(), 920);
    EXPECT_EQ(frame.requests[0].second.getHeight(), 1280);
    EXPECT_EQ(plugin->GetEditorWidth(), 920);

    plugin->SetViewFrame(nullptr, nullptr);
    EXPECT_TRUE(plugin->ResizeHostWindow(300, 400));
    EXPECT_EQ(frame.requests.size(), 1u);
    EXPECT_EQ(plugin->GetEditorHeight(), 400);
}
