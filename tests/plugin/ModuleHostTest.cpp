// A small VST 3 host: loads the built module as a DAW does (LoadLibrary, InitDll,
// GetPluginFactory), scans it, creates the effect and drives it through the SDK interfaces.

#include "engine/tables/FactoryPreset.h"
#include "engine/tables/ParamSpec.h"
#include "framework/core/IStateBuffer.h"
#include "plugin/presets/UiScaleFile.h"
#include "plugin/presets/UserDataFolder.h"
#include "plugin/state/StateChunk.h"
#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "tests/framework/graphics/windows/TestWindows.h"
#include "tests/plugin/HostFrame.h"
#include "tests/plugin/HostRig.h"
#include "tests/plugin/LoadedModule.h"
#include "tests/plugin/ScratchAppData.h"
#include "tests/plugin/presets/ScratchFolder.h"

#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <numeric>
#include <pmmintrin.h>
#include <string>
#include <vector>
#include <xmmintrin.h>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr ParamID kBypassId = 0x10000;
constexpr ParamID kPresetId = 0x10001;
constexpr double kRate = 48000.0;
constexpr int kBlock = 512;
constexpr size_t kDefaultStateBytes = 352;

class ModuleHost : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { module = new LoadedModule(MARLQUIN_MODULE_PATH); }
    static void TearDownTestSuite()
    {
        delete module;
        module = nullptr;
    }

    void SetUp() override
    {
        _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
        _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
        ASSERT_NE(module->factory, nullptr) << "module " << MARLQUIN_MODULE_PATH << " did not load";
    }

    // Editors remember their scale in the user's profile: keep every test's own.
    ScratchAppData appData;

    // A fresh, initialised instance of the module's one class.
    static std::unique_ptr<HostRig> NewInstance()
    {
        PClassInfo info;
        EXPECT_EQ(module->factory->getClassInfo(0, &info), kResultOk);
        void* obj = nullptr;
        EXPECT_EQ(module->factory->createInstance(info.cid, IComponent::iid, &obj), kResultOk);
        if (!obj)
            return nullptr;
        auto rig = std::make_unique<HostRig>(static_cast<IComponent*>(obj));
        EXPECT_TRUE(rig->Initialize());
        return rig;
    }

    static void SetPlain(HostRig& rig, int idx, double plain)
    {
        ASSERT_EQ(rig.SetParam(static_cast<ParamID>(idx), rig.ToNormalized(static_cast<ParamID>(idx), plain)),
                  kResultOk);
    }

    static double Plain(HostRig& rig, int idx)
    {
        return rig.ToPlain(static_cast<ParamID>(idx), rig.GetParam(static_cast<ParamID>(idx)));
    }

    // LOOPS frozen on the rig's input, with its audio saved in the state.
    static void FreezeLoop(HostRig& rig)
    {
        SetPlain(rig, kMode, 2);
        SetPlain(rig, kLoopFreeze, 1);
        size_t size = 0;
        for (int i = 0; i < 4000 && size <= kDefaultStateBytes; ++i) {
            ASSERT_EQ(rig.Process(kBlock), kResultOk);
            if (i % 50 == 49)
                size = rig.GetState().size();
        }
        ASSERT_GT(size, kDefaultStateBytes) << "the loop never froze";
    }

    // Started and frozen with nothing that drifts: chaos and the wear stage's wow would bend two
    // playbacks of one loop apart over time.
    static void StartSteadyFrozen(HostRig& rig)
    {
        ASSERT_EQ(rig.Start(kRate, kBlock), kResultOk);
        SetPlain(rig, kChaos, 0.0);
        SetPlain(rig, kWear, 0.0);
        FreezeLoop(rig);
    }

    // A deep tremolo locked to the host's tempo, with the transport playing or standing still.
    static void StartSyncedTremolo(HostRig& rig, bool playing)
    {
        ASSERT_EQ(rig.Start(kRate, kBlock), kResultOk);
        SetPlain(rig, kMode, 0);
        SetPlain(rig, kSync, 1);
        SetPlain(rig, kTremDepth, 1.0);
        if (!playing) {
            rig.context.state &= ~ProcessContext::kPlaying;
            rig.transportMoves = false;
        }
    }

    // The state without its frozen loop: an empty frozen section, not bypassed.
    static std::vector<uint8_t> WithoutLoop(std::vector<uint8_t> state)
    {
        state.resize(kDefaultStateBytes);
        std::fill(state.begin() + 344, state.end(), 0);
        return state;
    }

    // Feeds silence for 40 blocks, the output of only those kept.
    static void ProcessSilence(HostRig& rig)
    {
        rig.inL.assign(rig.inputPos + 48000, 0.0);
        rig.inR = rig.inL;
        rig.outL.clear();
        for (int b = 0; b < 40; ++b)
            rig.Process(kBlock);
    }

    // The value the plug-in itself holds (and saves), as opposed to the controller's copy.
    static double SavedValue(HostRig& rig, int idx)
    {
        const std::vector<uint8_t> state = rig.GetState();
        iplug::IStateBuffer buffer;
        buffer.PutBytes(state.data(), static_cast<int>(state.size()));
        StateChunk chunk;
        EXPECT_GT(chunk.Read(buffer, 0), 0);
        return chunk.params.values[idx];
    }

    // A state chunk of these values without a frozen loop: a preset file's whole content.
    static std::vector<uint8_t> ChunkOfValues(const double* values)
    {
        StateChunk chunk;
        std::copy(values, values + kParamCount, chunk.params.values);
        iplug::IStateBuffer buffer;
        chunk.Write(buffer);
        return std::vector<uint8_t>(buffer.Data(), buffer.Data() + buffer.Size());
    }

    // The host's state: the chunk, then the bypass flag.
    static std::vector<uint8_t> StateOfValues(const double* values, int32_t bypass)
    {
        std::vector<uint8_t> state = ChunkOfValues(values);
        const auto* flag = reinterpret_cast<const uint8_t*>(&bypass);
        state.insert(state.end(), flag, flag + sizeof bypass);
        return state;
    }

    // Nearly every sample of the last block is sound, not a stray value or a tail.
    static bool LastBlockSounds(const HostRig& rig)
    {
        if (rig.outL.size() < kBlock)
            return false;
        const auto sounding = std::count_if(rig.outL.end() - kBlock, rig.outL.end(),
                                            [](double v) { return std::isfinite(v) && std::fabs(v) > 1e-6; });
        return sounding > kBlock * 9 / 10;
    }

    static double Energy(const std::vector<double>& samples)
    {
        return std::inner_product(samples.begin(), samples.end(), samples.begin(), 0.0);
    }

    static LoadedModule* module;
};

LoadedModule* ModuleHost::module = nullptr;

std::string Narrow(const char16* text)
{
    std::string out;
    for (; *text; ++text)
        out += static_cast<char>(*text);
    return out;
}

TEST_F(ModuleHost, ScanFindsOneModulationEffect)
{
    EXPECT_NE(module->initDll, nullptr);
    EXPECT_NE(module->exitDll, nullptr);
    IPluginFactory* again = module->getFactory();
    EXPECT_EQ(again, module->factory) << "one factory per module";
    again->release();

    PFactoryInfo factoryInfo;
    ASSERT_EQ(module->factory->getFactoryInfo(&factoryInfo), kResultOk);
    EXPECT_STREQ(factoryInfo.vendor, "Ostrevane");
    EXPECT_EQ(factoryInfo.flags, PFactoryInfo::kUnicode);
    ASSERT_EQ(module->factory->countClasses(), 1);

    void* obj = nullptr;
    ASSERT_EQ(module->factory->queryInterface(IPluginFactory2::iid, &obj), kResultOk);
    auto* factory2 = static_cast<IPluginFactory2*>(obj);
    PClassInfo2 info;
    ASSERT_EQ(factory2->getClassInfo2(0, &info), kResultOk);
    factory2->release();
    EXPECT_STREQ(info.category, "Audio Module Class");
    EXPECT_STREQ(info.name, "Marlquin");
    EXPECT_STREQ(info.subCategories, "Fx|Modulation");
    EXPECT_STREQ(info.version, "1.0.4");
    EXPECT_STREQ(info.sdkVersion, "VST 3.8.0");
    EXPECT_EQ(info.classFlags, 2u);
    EXPECT_EQ(info.cardinality, 0x7FFFFFFF);
    TUID expected;
    FUID(0xF2AEE70D, 0x00DE4F4E, 0x4F76726E, 0x5172726C).toTUID(expected);
    EXPECT_EQ(std::memcmp(info.cid, expected, sizeof(TUID)), 0);

    TUID unknown = {};
    obj = reinterpret_cast<void*>(1);
    EXPECT_NE(module->factory->createInstance(unknown, IComponent::iid, &obj), kResultOk);
    EXPECT_EQ(obj, nullptr);
}

TEST_F(ModuleHost, AnnouncesParametersUnitsBusesAndPrograms)
{
    std::unique_ptr<HostRig> rig = NewInstance();
    ASSERT_EQ(rig->controller->getParameterCount(), kParamCount + 2);
    std::vector<bool> seen(kParamCount, false);
    for (int32 index = 0; index < kParamCount + 2; ++index) {
        ParameterInfo info;
        ASSERT_EQ(rig->controller->getParameterInfo(index, info), kResultOk);
        if (info.id >= static_cast<ParamID>(kParamCount))
            continue;
        const int i = static_cast<int>(info.id);
        seen[i] = true;
        EXPECT_EQ(Narrow(info.title), GetParamSpec(i).name);
        EXPECT_NEAR(rig->ToPlain(info.id, info.defaultNormalizedValue),
                    i == kLoopVoices ? 6.0 : GetParamSpec(i).defaultValue, 1e-9)
            << i;
        EXPECT_NEAR(rig->ToPlain(info.id, 0.0), GetParamSpec(i).minValue, 1e-9) << i;
        EXPECT_NEAR(rig->ToPlain(info.id, 1.0), GetParamSpec(i).maxValue, 1e-9) << i;
    }
    EXPECT_EQ(seen, std::vector<bool>(kParamCount, true));
    auto infoOf = [&](ParamID id) {
        ParameterInfo info{};
        for (int32 index = 0; index < kParamCount + 2; ++index)
            if (rig->controller->getParameterInfo(index, info) == kResultOk && info.id == id)
                break;
        return info;
    };
    // A few set-ups that the table alone does not tell.
    EXPECT_EQ(infoOf(kDriveVoice).stepCount, 1);
    EXPECT_NE(infoOf(kDriveVoice).flags & ParameterInfo::kIsList, 0);
    EXPECT_EQ(infoOf(kMode).stepCount, 2);
    EXPECT_EQ(rig->ToPlain(kRepeatCount, 0.5), 17.0) << "squared curve, whole repeats";
    EXPECT_NE(infoOf(kBypassId).flags & ParameterInfo::kIsBypass, 0);
    EXPECT_NE(infoOf(kPresetId).flags & ParameterInfo::kIsProgramChange, 0);
    EXPECT_EQ(infoOf(kPresetId).stepCount, 47);

    ASSERT_EQ(rig->units->getProgramListCount(), 1);
    ProgramListInfo list;
    ASSERT_EQ(rig->units->getProgramListInfo(0, list), kResultOk);
    EXPECT_EQ(Narrow(list.name), "Factory Presets");
    ASSERT_EQ(list.programCount, FactoryPresetCount());
    for (int p = 0; p < list.programCount; ++p) {
        String128 name;
        ASSERT_EQ(rig->units->getProgramName(list.id, p, name), kResultOk);
        EXPECT_EQ(Narrow(name), FactoryPresetAt(p).name);
    }
    UnitInfo root;
    ASSERT_EQ(rig->units->getUnitInfo(0, root), kResultOk);
    EXPECT_EQ(root.programListId, static_cast<ProgramListID>(kPresetId));

    EXPECT_EQ(rig->component->getBusCount(kAudio, kInput), 1);
    EXPECT_EQ(rig->component->getBusCount(kAudio, kOutput), 1);
    EXPECT_EQ(rig->component->getBusCount(kEvent, kInput), 0);
    SpeakerArrangement arrangement = 0;
    rig->processor->getBusArrangement(kOutput, 0, arrangement);
    EXPECT_EQ(arrangement, SpeakerArr::kStereo);
    EXPECT_EQ(rig->processor->getTailSamples(), kInfiniteTail);
    EXPECT_EQ(rig->processor->getLatencySamples(), 0u);
    EXPECT_EQ(rig->processor->canProcessSampleSize(kSample32), kResultTrue);
    EXPECT_EQ(rig->processor->canProcessSampleSize(kSample64), kResultTrue);

    IPlugView* view = rig->controller->createView(ViewType::kEditor);
    ASSERT_NE(view, nullptr);
    ViewRect size;
    EXPECT_EQ(view->getSize(&size), kResultTrue);
    EXPECT_EQ(size.getWidth(), 460);
    EXPECT_EQ(size.getHeight(), 640);
    EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeHWND), kResultTrue);
    view->release();
}

// The host's editor round: attach to a window, resize, remove, ten times. Threads and
// windows must not grow.
TEST_F(ModuleHost, EditorViewOpensResizesAndClosesTenTimesWithoutLeaks)
{
    std::unique_ptr<HostRig> rig = NewInstance();
    using namespace iplug::igraphics::test;
    TestParentWindow host(800, 900);
    HWND frame = host.Handle();
    ASSERT_NE(frame, nullptr);
    ObjectCounts before;
    // Cycle 0 loads what stays loaded for the process (OpenGL driver, fonts, caches).
    for (int cycle = 0; cycle <= 10; ++cycle) {
        if (cycle == 1)
            before = CountObjects();
        IPlugView* view = rig->controller->createView(ViewType::kEditor);
        ASSERT_NE(view, nullptr);
        ASSERT_EQ(view->attached(frame, kPlatformTypeHWND), kResultTrue) << cycle;
        HWND editor = GetWindow(frame, GW_CHILD);
        ASSERT_NE(editor, nullptr);
        wchar_t cls[64] = {};
        GetClassNameW(editor, cls, 64);
        EXPECT_STREQ(cls, L"IPlugWndClass");
        ViewRect wanted(0, 0, 600 + cycle, 800);
        EXPECT_EQ(view->checkSizeConstraint(&wanted), kResultTrue);
        EXPECT_EQ(view->onSize(&wanted), kResultTrue);
        // The panel keeps its shape: the smaller ratio of the host's size scales it.
        RECT client;
        GetClientRect(editor, &client);
        EXPECT_EQ(client.right, 575) << cycle;
        EXPECT_EQ(client.bottom, 800) << cycle;
        PumpMessages(30);
        EXPECT_EQ(view->removed(), kResultOk);
        view->release();
        EXPECT_EQ(GetWindow(frame, GW_CHILD), nullptr) << cycle;
    }
    // The module's own counts of OpenGL contexts and fonts are out of a host's reach; its
    // vertical-blank threads and windows are not.
    const ObjectCounts after = CountObjectsOnceBackTo(before);
    EXPECT_LE(after.threads, before.threads);
    EXPECT_LE(after.windows, before.windows);
}

// The editor as a host shows it: created and attached to the host's window; closed as the host
// removes and releases it.
class AttachedEditor
{
public:
    AttachedEditor(HostRig& rig, HWND frame) : view(rig.controller->createView(ViewType::kEditor))
    {
        if (view && view->attached(frame, kPlatformTypeHWND) == kResultTrue)
            window = GetWindow(frame, GW_CHILD);
    }
    ~AttachedEditor()
    {
        if (!view)
            return;
        if (window)
            view->removed();
        view->release();
    }
    AttachedEditor(const AttachedEditor&) = delete;
    AttachedEditor& operator=(const AttachedEditor&) = delete;

    HWND Window() const { return window; }

    void Click(int x, int y) const
    {
        SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    }

    // Opens the menu at (x, y) and walks it with the keys, from a timer that runs inside the
    // menu's own modal loop.
    void ChooseFromMenu(int x, int y, std::vector<WPARAM> keys) const
    {
        static HWND target;
        static std::vector<WPARAM> pending;
        target = window;
        pending = std::move(keys);
        const UINT_PTR timer = SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR id, DWORD) {
            KillTimer(nullptr, id);
            for (WPARAM key : pending)
                PostMessageW(target, WM_KEYDOWN, key, 0);
        });
        Click(x, y);
        KillTimer(nullptr, timer);
    }

private:
    IPlugView* view = nullptr;
    HWND window = nullptr;
};

// Closing the editor releases a held repeat: as an edit inside its own gesture, and only when
// Hold is on, for an edit that changes nothing still marks the host's project changed.
TEST_F(ModuleHost, ClosingTheEditorReleasesHoldOnlyWhenOnAndInsideAGesture)
{
    std::unique_ptr<HostRig> rig = NewInstance();
    iplug::igraphics::test::TestParentWindow host(800, 900);
    for (bool hold : {false, true}) {
        SCOPED_TRACE(hold ? "Hold on" : "Hold off");
        ASSERT_EQ(rig->SetParam(kRepeatHold, hold ? 1.0 : 0.0), kResultOk);
        rig->handler.calls.clear();
        {
            AttachedEditor editor(*rig, host.Handle());
            ASSERT_NE(editor.Window(), nullptr);
            iplug::igraphics::test::PumpMessages(30);
        }
        EXPECT_EQ(rig->handler.Kinds(), hold ? "bpe" : "");
        for (const HandlerCall& c : rig->handler.calls)
            EXPECT_EQ(c.id, static_cast<ParamID>(kRepeatHold));
        if (hold) {
            EXPECT_EQ(rig->handler.calls[1].value, 0.0);
        }
        EXPECT_EQ(SavedValue(*rig, kRepeatHold), 0.0);
        EXPECT_EQ(rig->GetParam(kRepeatHold), 0.0) << "the host holds the released value";
    }
}

// A preset the panel loads reaches the host as edits of all its parameters, each inside its
// gesture: stepped with the preset bar's arrow, picked from its menu, or read from a user preset
// file through the menu.
TEST_F(ModuleHost, PresetsLoadedFromThePanelReachTheHostInsideGestures)
{
    FactoryPreset mine = FactoryPresetAt(30);
    mine.values[kDrive] = 0.123;
    mine.values[kMix] = 0.456;
    const std::string folder = appData.Folder().Join("Ostrevane/Marlquin/Presets");
    std::filesystem::create_directories(std::filesystem::u8path(folder));
    ScratchFolder::WriteFile(folder + "/Mine.marlquin", ChunkOfValues(mine.values));

    std::unique_ptr<HostRig> rig = NewInstance();
    iplug::igraphics::test::TestParentWindow host(800, 900);
    AttachedEditor editor(*rig, host.Handle());
    ASSERT_NE(editor.Window(), nullptr);
    iplug::igraphics::test::PumpMessages(30);

    struct Case
    {
        const char* what;
        std::function<void()> act;
        const double* values;
    };
    // The menu: the groups TREM, REPEAT, LOOPS, FUZZ TREM, then USER.
    const Case cases[] = {
        {"left arrow, from no current preset to the first", [&] { editor.Click(30, 14); }, FactoryPresetAt(0).values},
        {"menu, the second preset of REPEAT",
         [&] {
             editor.ChooseFromMenu(230, 14, {VK_DOWN, VK_DOWN, VK_RIGHT, VK_DOWN, VK_RETURN});
         },
         FactoryPresetAt(11).values},
        {"menu, the user preset file",
         [&] {
             editor.ChooseFromMenu(230, 14, {VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_RIGHT, VK_RETURN});
         },
         mine.values},
    };
    std::vector<ParamID> everyParam(kParamCount);
    std::iota(everyParam.begin(), everyParam.end(), ParamID(0));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        rig->handler.calls.clear();
        c.act();
        iplug::igraphics::test::PumpMessages(30);
        // Telling the host stores each value again from its normalised form, which may move it by
        // a rounding step.
        for (int i = 0; i < kParamCount; ++i)
            ASSERT_NEAR(SavedValue(*rig, i), c.values[i], 1e-9 * std::max(1.0, std::fabs(c.values[i])))
                << "the preset did not load, parameter " << i;
        EXPECT_EQ(rig->handler.PerformedIds(), everyParam) << "the host hears every value";
        EXPECT_EQ(rig->handler.GestureFaults(), std::vector<std::string>());
    }
}

// "690x960".
std::string Text(SIZE size)
{
    return std::to_string(size.cx) + "x" + std::to_string(size.cy);
}

std::string ClientSize(HWND window)
{
    RECT client = {};
    GetClientRect(window, &client);
    return Text({client.right, client.bottom});
}

// A host asks the size of an editor that is not open yet and makes its frame for the answer:
// the scale remembered by an earlier editor or the standalone program is in that answer, and a
// scale remembered after it reaches the frame when the editor opens.
TEST_F(ModuleHost, TheFirstEditorOpensAtTheRememberedScaleInAFrameOfItsSize)
{
    ASSERT_TRUE(UiScaleFile::Write(UserDataFolder::UiScalePath(), 1.5f));
    std::unique_ptr<HostRig> rig = NewInstance();
    for (const float rememberedMeanwhile : {1.5f, 1.203f}) {
        SCOPED_TRACE(rememberedMeanwhile);
        IPlugView* view = rig->controller->createView(ViewType::kEditor);
        ASSERT_NE(view, nullptr);
        ViewRect size;
        ASSERT_EQ(view->getSize(&size), kResultTrue);
        EXPECT_EQ(size.getWidth(), 690);
        EXPECT_EQ(size.getHeight(), 960);
        ViewRect wanted = size;
        EXPECT_EQ(view->checkSizeConstraint(&wanted), kResultTrue);
        EXPECT_EQ(wanted.getWidth(), 690);
        EXPECT_EQ(wanted.getHeight(), 960);
        {
            HostFrame frame(view, 40, 30);
            ASSERT_EQ(Text(frame.ClientSize()), "690x960");
            view->setFrame(&frame);
            ASSERT_TRUE(UiScaleFile::Write(UserDataFolder::UiScalePath(), rememberedMeanwhile));
            ASSERT_EQ(view->attached(frame.Handle(), kPlatformTypeHWND), kResultTrue);
            HWND editor = GetWindow(frame.Handle(), GW_CHILD);
            ASSERT_NE(editor, nullptr);
            const std::string opened = rememberedMeanwhile == 1.5f ? "690x960" : "553x769";
            EXPECT_EQ(ClientSize(editor), opened);
            EXPECT_EQ(Text(frame.ClientSize()), opened);
            EXPECT_EQ(Text(frame.ReportedSize()), opened);
            EXPECT_EQ(frame.resizeRequests, rememberedMeanwhile == 1.5f ? 0 : 1);
            EXPECT_EQ(view->removed(), kResultOk);
            view->setFrame(nullptr);
        }
        view->release();
        ASSERT_TRUE(UiScaleFile::Write(UserDataFolder::UiScalePath(), 1.5f));
    }
}

// The view reports the size of the window it shows, whatever a host does to its frame: fitting
// the panel to a frame and back again must not lose a pixel to rounding at scales that are not
// whole.
TEST_F(ModuleHost, TheEditorsWindowIsTheSizeTheViewReports)
{
    struct Case
    {
        const char* what;
        float remembered;
        float hostScale; // 0: the host sends none
        SIZE userResize; // {0, 0}: the user leaves the frame alone
        int widestFrame;
        const char* expected;
    };
    const Case cases[] = {
        {"host scale 1.25 at 1.203", 1.203f, 1.25f, {0, 0}, INT_MAX, "691x961"},
        {"user drags to 560x780 at 1.203", 1.203f, 0.0f, {560, 780}, INT_MAX, "560x779"},
        {"user drags to 463x700", 1.0f, 0.0f, {463, 700}, INT_MAX, "463x644"},
        {"host scale 1.5 in a frame at most 600 wide", 1.0f, 1.5f, {0, 0}, 600, "600x834"},
    };
    std::unique_ptr<HostRig> rig = NewInstance();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(UiScaleFile::Write(UserDataFolder::UiScalePath(), c.remembered));
        IPlugView* view = rig->controller->createView(ViewType::kEditor);
        ASSERT_NE(view, nullptr);
        {
            HostFrame frame(view, 120, 80);
            frame.widestClient = c.widestFrame;
            view->setFrame(&frame);
            ASSERT_EQ(view->attached(frame.Handle(), kPlatformTypeHWND), kResultTrue);
            HWND editor = GetWindow(frame.Handle(), GW_CHILD);
            ASSERT_NE(editor, nullptr);
            if (c.hostScale > 0.0f) {
                IPlugViewContentScaleSupport* scale = nullptr;
                view->queryInterface(IPlugViewContentScaleSupport::iid, reinterpret_cast<void**>(&scale));
                ASSERT_NE(scale, nullptr);
                EXPECT_EQ(scale->setContentScaleFactor(c.hostScale), kResultTrue);
                scale->release();
            }
            if (c.userResize.cx > 0)
                frame.UserResize(c.userResize.cx, c.userResize.cy);
            EXPECT_EQ(ClientSize(editor), c.expected);
            EXPECT_EQ(Text(frame.ReportedSize()), c.expected);
            if (c.widestFrame == INT_MAX) {
                EXPECT_EQ(Text(frame.ClientSize()), c.expected);
            }
            EXPECT_EQ(view->removed(), kResultOk);
            view->setFrame(nullptr);
        }
        view->release();
    }
}

TEST_F(ModuleHost, EachFactoryProgramLoadsLikeItsState)
{
    std::unique_ptr<HostRig> rig = NewInstance();
    std::unique_ptr<HostRig> reference = NewInstance();
    for (int p = 0; p < FactoryPresetCount(); ++p) {
        SCOPED_TRACE(FactoryPresetAt(p).name);
        rig->handler.restarts.clear();
        ASSERT_EQ(rig->SetParam(kPresetId, p / 47.0), kResultOk);
        ASSERT_EQ(reference->SetState(StateOfValues(FactoryPresetAt(p).values, 0)), kResultOk);
        for (int i = 0; i < kParamCount; ++i)
            ASSERT_EQ(rig->GetParam(i), reference->GetParam(i)) << "parameter " << i;
        EXPECT_EQ(Plain(*rig, kMode), FactoryPresetAt(p).values[kMode]);
        const std::vector<uint8_t> state = rig->GetState();
        iplug::IStateBuffer buffer;
        buffer.PutBytes(state.data(), static_cast<int>(state.size()));
        StateChunk saved;
        ASSERT_GT(saved.Read(buffer, 0), 0);
        for (int i = 0; i < kParamCount; ++i)
            ASSERT_EQ(saved.params.values[i], FactoryPresetAt(p).values[i]) << "saved bit for bit, parameter " << i;
        ASSERT_FALSE(rig->handler.restarts.empty());
        EXPECT_NE(rig->handler.restarts.back() & kParamValuesChanged, 0) << "the host hears the values changed";
    }
}

TEST_F(ModuleHost, ProcessesAtSeveralRatesAndBlockSizes)
{
    struct Case
    {
        double rate;
        int maxBlock;
        bool is64;
    };
    for (const Case& c : {Case{44100.0, 1, true}, Case{48000.0, 64, false}, Case{96000.0, 512, true},
                          Case{22050.0, 8192, false}, Case{192000.0, 512, false}}) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.maxBlock << " frames, " << (c.is64 ? 64 : 32));
        std::unique_ptr<HostRig> rig = NewInstance();
        ASSERT_EQ(rig->Start(c.rate, c.maxBlock, c.is64), kResultOk);
        const int blocks = std::max(4, 2048 / c.maxBlock);
        for (int b = 0; b < blocks; ++b) {
            std::vector<AutomationPoint> points;
            if (b == blocks / 2)
                points = {{kDrive, c.maxBlock / 2, 0.9}, {kMode, 0, 0.5}};
            ASSERT_EQ(rig->Process(c.maxBlock, points), kResultOk);
            EXPECT_EQ(rig->lastSilenceFlags, 0u);
            ASSERT_EQ(rig->Flush({{kMix, 0, 0.4}}), kResultOk);
        }
        double energy = 0.0;
        for (double v : rig->outL) {
            ASSERT_TRUE(std::isfinite(v));
            energy += v * v;
        }
        EXPECT_GT(energy, 0.0);
        EXPECT_EQ(SavedValue(*rig, kDrive), 0.9) << "automation reached the plug-in";
    }
}

TEST_F(ModuleHost, AutomationActsAtItsExactSample)
{
    struct Case
    {
        bool is64;
        int offset;
        ParamID id;
        double value;
    };
    const Case cases[] = {{true, 1, kDrive, 0.9},
                          {true, 100, kMix, 1.0},
                          {false, 64, kLevel, 0.2},
                          {false, 511, kDrive, 0.0},
                          {true, 300, kShape, 1.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.is64 ? 64 : 32) << "-bit, offset " << c.offset);
        std::unique_ptr<HostRig> sliced = NewInstance(), split = NewInstance(), early = NewInstance();
        for (HostRig* r : {sliced.get(), split.get(), early.get()}) {
            ASSERT_EQ(r->Start(kRate, kBlock, c.is64), kResultOk);
            for (int b = 0; b < 4; ++b)
                r->Process(kBlock);
        }
        sliced->Process(kBlock, {{c.id, c.offset, c.value}});
        split->Process(c.offset);
        split->Process(kBlock - c.offset, {{c.id, 0, c.value}});
        early->Process(kBlock, {{c.id, 0, c.value}});
        for (int b = 0; b < 2; ++b) {
            sliced->Process(kBlock);
            split->Process(kBlock);
            early->Process(kBlock);
        }
        EXPECT_EQ(sliced->outL, split->outL);
        EXPECT_EQ(sliced->outR, split->outR);
        EXPECT_NE(sliced->outL, early->outL) << "the offset matters";
    }
}

TEST_F(ModuleHost, BypassPassesTheInputThroughAndIsSaved)
{
    for (bool is64 : {true, false}) {
        std::unique_ptr<HostRig> rig = NewInstance();
        ASSERT_EQ(rig->Start(kRate, kBlock, is64), kResultOk);
        rig->Process(kBlock, {{kBypassId, 0, 1.0}});
        rig->outL.clear();
        rig->Process(kBlock);
        for (int f = 0; f < kBlock; ++f)
            ASSERT_EQ(rig->outL[f], is64 ? rig->inL[kBlock + f] : static_cast<float>(rig->inL[kBlock + f]));
        rig->controller->setParamNormalized(kBypassId, 1.0);
        const std::vector<uint8_t> state = rig->GetState();
        ASSERT_EQ(state.size(), kDefaultStateBytes);
        EXPECT_EQ(state[348], 1);

        std::unique_ptr<HostRig> other = NewInstance();
        ASSERT_EQ(other->SetState(state), kResultOk);
        EXPECT_EQ(other->GetParam(kBypassId), 1.0);
        rig->Process(kBlock, {{kBypassId, 0, 0.0}});
        rig->outL.clear();
        rig->Process(kBlock);
        EXPECT_NE(rig->outL[kBlock / 2], rig->inL[3 * kBlock + kBlock / 2]);
    }
}

TEST_F(ModuleHost, SurvivesSuspendResumeAndInitializeCycles)
{
    std::unique_ptr<HostRig> rig = NewInstance();
    ASSERT_EQ(rig->Start(kRate, kBlock), kResultOk);
    SetPlain(*rig, kDrive, 0.66);
    rig->Process(kBlock);
    for (int cycle = 0; cycle < 3; ++cycle) {
        rig->Stop();
        rig->Terminate();
        ASSERT_TRUE(rig->Initialize());
        EXPECT_EQ(rig->controller->getParameterCount(), kParamCount + 2);
        EXPECT_EQ(rig->units->getProgramListCount(), 1);
        EXPECT_EQ(rig->component->getBusCount(kAudio, kOutput), 1);
        ASSERT_EQ(rig->Start(cycle == 1 ? 44100.0 : kRate, kBlock), kResultOk);
        rig->outL.clear();
        for (int b = 0; b < 4; ++b)
            ASSERT_EQ(rig->Process(kBlock), kResultOk);
        EXPECT_TRUE(LastBlockSounds(*rig)) << "after initialize and set-up, cycle " << cycle;
        rig->processor->setProcessing(false);
        rig->processor->setProcessing(true);
        ASSERT_EQ(rig->Process(kBlock), kResultOk);
        EXPECT_TRUE(LastBlockSounds(*rig)) << "after stop and start, cycle " << cycle;
    }
    EXPECT_EQ(SavedValue(*rig, kDrive), 0.66);
    EXPECT_NEAR(Plain(*rig, kDrive), 0.66, 1e-9) << "and the host reads the value it plays";
}

TEST_F(ModuleHost, DefaultStateIs352BytesAndRoundTrips)
{
    std::unique_ptr<HostRig> rig = NewInstance();
    const std::vector<uint8_t> defaults = rig->GetState();
    ASSERT_EQ(defaults.size(), kDefaultStateBytes);
    // Laid out by hand: little-endian words and doubles, no padding.
    std::vector<uint8_t> expected;
    const auto put = [&expected](const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        expected.insert(expected.end(), b, b + n);
    };
    const uint32_t header[] = {0x4B545232u, 41u};
    put(header, sizeof header);
    for (int i = 0; i < kParamCount; ++i)
        put(&GetParamSpec(i).defaultValue, sizeof(double));
    const uint32_t section[] = {0x4B545331u, 1u, 0u, 0u}; // magic, version, no blob, then the bypass flag
    put(section, sizeof section);
    EXPECT_EQ(defaults, expected);
    EXPECT_EQ(std::memcmp(defaults.data(), "2RTK", 4), 0);
    EXPECT_EQ(std::memcmp(defaults.data() + 336, "1STK", 4), 0);

    SetPlain(*rig, kDrive, 0.42);
    SetPlain(*rig, kChaosSeed, 17);
    const std::vector<uint8_t> changed = rig->GetState();
    std::unique_ptr<HostRig> other = NewInstance();
    ASSERT_EQ(other->SetState(changed), kResultOk);
    EXPECT_EQ(other->GetState(), changed);
    EXPECT_NEAR(Plain(*other, kChaosSeed), 17.0, 1e-9);
}

TEST_F(ModuleHost, FrozenLoopRoundTripsBitExactlyAndPlaysTheSameLoop)
{
    std::unique_ptr<HostRig> original = NewInstance();
    ASSERT_NO_FATAL_FAILURE(StartSteadyFrozen(*original));
    const std::vector<uint8_t> saved = original->GetState();

    std::unique_ptr<HostRig> restored = NewInstance(), stripped = NewInstance();
    ASSERT_EQ(restored->Start(kRate, kBlock), kResultOk);
    ASSERT_EQ(stripped->Start(kRate, kBlock), kResultOk);
    ASSERT_EQ(restored->SetState(saved), kResultOk);
    EXPECT_EQ(restored->GetState(), saved);
    ASSERT_EQ(stripped->SetState(WithoutLoop(saved)), kResultOk);

    // All three now hear silence: only the loop sounds.
    for (HostRig* r : {original.get(), restored.get(), stripped.get()})
        ProcessSilence(*r);
    auto correlation = [](const std::vector<double>& a, const std::vector<double>& b) {
        const size_t from = a.size() / 2;
        double ab = 0, aa = 0, bb = 0;
        for (size_t i = from; i < a.size(); ++i) {
            ab += a[i] * b[i];
            aa += a[i] * a[i];
            bb += b[i] * b[i];
        }
        return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
    };
    // Once the dry tail of the original's input and the restored instance's fades have passed,
    // the two play the loop sample for sample.
    EXPECT_GT(correlation(original->outL, restored->outL), 0.9999);
    for (size_t i = original->outL.size() - 2048; i < original->outL.size(); ++i)
        ASSERT_NEAR(original->outL[i], restored->outL[i], 1e-6) << i;
    double strippedEnergy = 0.0;
    for (double v : stripped->outL)
        strippedEnergy += v * v;
    EXPECT_EQ(strippedEnergy, 0.0) << "without its loop the state plays nothing";
    EXPECT_EQ(restored->GetState().size(), saved.size()) << "still frozen after playing";
}

TEST_F(ModuleHost, DamagedStatesFailWholeOrLoseOnlyTheLoop)
{
    std::unique_ptr<HostRig> source = NewInstance();
    ASSERT_EQ(source->Start(kRate, kBlock), kResultOk);
    SetPlain(*source, kDrive, 0.3);
    FreezeLoop(*source);
    const std::vector<uint8_t> good = source->GetState();
    const size_t blob = good.size() - kDefaultStateBytes;

    enum Outcome
    {
        kRejected,
        kParamsOnly,
        kWhole
    };
    struct Mutation
    {
        const char* what;
        void (*apply)(std::vector<uint8_t>&);
        Outcome outcome;
    };
    const Mutation mutations[] = {
        {"empty", [](std::vector<uint8_t>& s) { s.clear(); }, kRejected},
        {"cut to 215 bytes", [](std::vector<uint8_t>& s) { s.resize(215); }, kRejected},
        {"count 34", [](std::vector<uint8_t>& s) { s[4] = 34; }, kRejected},
        {"count past the data", [](std::vector<uint8_t>& s) { std::memset(s.data() + 4, 0xFF, 4); }, kRejected},
        {"NaN value", [](std::vector<uint8_t>& s) { std::memset(s.data() + 8 + 8 * 5, 0xFF, 8); }, kRejected},
        {"cut inside the blob", [](std::vector<uint8_t>& s) { s.resize(s.size() - 100); }, kParamsOnly},
        {"no bypass flag", [](std::vector<uint8_t>& s) { s.resize(s.size() - 4); }, kWhole},
        {"section version 2", [](std::vector<uint8_t>& s) { s[340] = 2; }, kParamsOnly},
        {"section magic", [](std::vector<uint8_t>& s) { s[336] ^= 1; }, kParamsOnly},
        {"blob magic", [](std::vector<uint8_t>& s) { s[348] ^= 1; }, kParamsOnly},
        {"blob version", [](std::vector<uint8_t>& s) { s[348 + 4] ^= 1; }, kParamsOnly},
        {"Loop Freeze off", [](std::vector<uint8_t>& s) { std::memset(s.data() + 8 + 8 * kLoopFreeze, 0, 8); },
         kParamsOnly},
    };
    for (const Mutation& m : mutations) {
        SCOPED_TRACE(m.what);
        std::vector<uint8_t> bytes = good;
        m.apply(bytes);
        std::unique_ptr<HostRig> rig = NewInstance();
        ASSERT_EQ(rig->Start(kRate, kBlock), kResultOk);
        SetPlain(*rig, kDrive, 0.9);
        const tresult result = rig->SetState(bytes);
        if (m.outcome == kRejected) {
            EXPECT_EQ(result, kResultFalse);
            EXPECT_NEAR(Plain(*rig, kDrive), 0.9, 1e-9);
            EXPECT_EQ(rig->GetParam(kBypassId), 0.0);
            continue;
        }
        EXPECT_EQ(result, kResultOk);
        EXPECT_NEAR(Plain(*rig, kDrive), 0.3, 1e-9);
        SetPlain(*rig, kLoopFreeze, 1);
        const size_t loopBytes = rig->GetState().size() - kDefaultStateBytes;
        EXPECT_EQ(loopBytes, m.outcome == kWhole ? blob : 0u);
        for (int b = 0; b < 8; ++b)
            ASSERT_EQ(rig->Process(kBlock), kResultOk);
        for (double v : rig->outL)
            ASSERT_TRUE(std::isfinite(v));
    }
}

TEST_F(ModuleHost, BypassSetOutsideProcessIsSavedAndComesBackBypassed)
{
    std::unique_ptr<HostRig> rig = NewInstance();
    ASSERT_EQ(rig->Start(kRate, kBlock), kResultOk);
    rig->Process(kBlock);
    ASSERT_EQ(rig->SetParam(kBypassId, 1.0), kResultOk);
    const std::vector<uint8_t> bypassed = rig->GetState();
    ASSERT_EQ(bypassed.size(), kDefaultStateBytes);
    EXPECT_EQ(bypassed[348], 1) << "a host edit of Bypass is saved";
    rig->outL.clear();
    rig->Process(kBlock);
    for (int f = 0; f < kBlock; ++f)
        ASSERT_EQ(rig->outL[f], rig->inL[kBlock + f]) << "and heard";

    std::unique_ptr<HostRig> reopened = NewInstance();
    ASSERT_EQ(reopened->Start(kRate, kBlock), kResultOk);
    ASSERT_EQ(reopened->SetState(bypassed), kResultOk);
    EXPECT_EQ(reopened->GetParam(kBypassId), 1.0);
    reopened->Process(kBlock);
    for (int f = 0; f < kBlock; ++f)
        ASSERT_EQ(reopened->outL[f], reopened->inL[f]) << "a project saved bypassed reopens bypassed";
    EXPECT_EQ(reopened->GetState(), bypassed) << "and saves the flag it read";

    std::vector<uint8_t> active = bypassed;
    active[348] = 0;
    ASSERT_EQ(reopened->SetState(active), kResultOk);
    reopened->outL.clear();
    reopened->Process(kBlock);
    EXPECT_NE(reopened->outL, std::vector<double>(reopened->inL.begin() + kBlock, reopened->inL.begin() + 2 * kBlock));
    EXPECT_EQ(reopened->GetState(), active);
}

TEST_F(ModuleHost, BypassFeedsAMonoInputToBothSides)
{
    for (bool is64 : {true, false}) {
        SCOPED_TRACE(is64 ? "64-bit" : "32-bit");
        std::unique_ptr<HostRig> rig = NewInstance();
        SpeakerArrangement in = SpeakerArr::kMono, out = SpeakerArr::kStereo;
        ASSERT_EQ(rig->processor->setBusArrangements(&in, 1, &out, 1), kResultTrue);
        rig->inputChannels = 1;
        ASSERT_EQ(rig->Start(kRate, kBlock, is64), kResultOk);
        rig->Process(kBlock, {{kBypassId, 0, 1.0}});
        for (int f = 0; f < kBlock; ++f) {
            const double expected = is64 ? rig->inL[f] : static_cast<float>(rig->inL[f]);
            ASSERT_EQ(rig->outL[f], expected) << f;
            ASSERT_EQ(rig->outR[f], expected) << f;
        }
    }
}

TEST_F(ModuleHost, RefusedArrangementMovesToTheNearestSupportedOne)
{
    std::unique_ptr<HostRig> rig = NewInstance();
    SpeakerArrangement mono = SpeakerArr::kMono, stereo = SpeakerArr::kStereo;
    ASSERT_EQ(rig->processor->setBusArrangements(&mono, 1, &stereo, 1), kResultTrue);
    EXPECT_EQ(rig->processor->setBusArrangements(&stereo, 1, &mono, 1), kResultFalse) << "mono out is not offered";
    SpeakerArrangement in = 0, out = 0;
    ASSERT_EQ(rig->processor->getBusArrangement(kInput, 0, in), kResultTrue);
    ASSERT_EQ(rig->processor->getBusArrangement(kOutput, 0, out), kResultTrue);
    EXPECT_EQ(in, SpeakerArr::kStereo) << "the input the host asked for is kept";
    EXPECT_EQ(out, SpeakerArr::kStereo);
}

// A point that sets a parameter to the value it already has must not change a sample, whether
// the transport plays or stands still: a synced tremolo must not re-lock at the cut.
TEST_F(ModuleHost, ACutThatChangesNothingLeavesSyncedAudioAlone)
{
    for (bool playing : {false, true}) {
        SCOPED_TRACE(playing ? "playing" : "stopped");
        std::unique_ptr<HostRig> cut = NewInstance(), whole = NewInstance();
        for (HostRig* r : {cut.get(), whole.get()}) {
            ASSERT_NO_FATAL_FAILURE(StartSyncedTremolo(*r, playing));
            SetPlain(*r, kSyncDivision, 8);
            r->context.projectTimeMusic = 3.3;
            for (int b = 0; b < 4; ++b)
                r->Process(kBlock);
        }
        const double mix = cut->GetParam(kMix);
        for (int b = 0; b < 4; ++b) {
            cut->Process(kBlock, {{kMix, 100 + 37 * b, mix}});
            whole->Process(kBlock);
        }
        ASSERT_EQ(cut->outL.size(), whole->outL.size());
        double apart = 0.0;
        for (size_t i = 0; i < cut->outL.size(); ++i)
            apart = std::max(apart, std::fabs(cut->outL[i] - whole->outL[i]));
        EXPECT_EQ(apart, 0.0);
    }
}

// Without a tempo from the host, synced times run at 120 quarter notes a minute, and a block
// that brings none keeps the last one.
TEST_F(ModuleHost, MissingTempoMeans120OrTheLastOneGiven)
{
    struct Case
    {
        const char* what;
        double tempo;
        void (*drop)(HostRig&);
    };
    const Case cases[] = {
        {"no context at all", 120.0, [](HostRig& r) { r.passContext = false; }},
        {"context without a tempo", 90.0,
         [](HostRig& r) {
             r.context.tempo = 0.0;
             r.context.state &= ~ProcessContext::kTempoValid;
         }},
        {"no context after one with a tempo", 90.0, [](HostRig& r) { r.passContext = false; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<HostRig> told = NewInstance(), left = NewInstance();
        for (HostRig* r : {told.get(), left.get()}) {
            ASSERT_NO_FATAL_FAILURE(StartSyncedTremolo(*r, false));
            r->context.tempo = c.tempo;
        }
        if (c.tempo == 120.0)
            c.drop(*left);
        for (int b = 0; b < 12; ++b) {
            if (b == 1)
                c.drop(*left);
            told->Process(kBlock);
            left->Process(kBlock);
        }
        EXPECT_EQ(left->outL, told->outL);
        EXPECT_GT(Energy(left->outL), 0.0);
    }
}

TEST_F(ModuleHost, StateFrozenOnNoLoopSilencesThePlayingLoop)
{
    std::unique_ptr<HostRig> rig = NewInstance();
    ASSERT_NO_FATAL_FAILURE(StartSteadyFrozen(*rig));
    const std::vector<uint8_t> noLoop = WithoutLoop(rig->GetState());

    ASSERT_EQ(rig->SetState(noLoop), kResultOk);
    EXPECT_EQ(rig->GetState(), noLoop) << "the loaded state wins, also before any audio";
    ProcessSilence(*rig);
    // Past the hand-over's fade, only what the new state holds may sound: nothing but the faint
    // remains of other stages (the old loop would give some 0.5 a block).
    const std::vector<double> later(rig->outL.begin() + 20 * kBlock, rig->outL.end());
    EXPECT_LT(Energy(later), 1e-4) << "the loop of the replaced state goes on playing";
}

} // namespace
