#include "plugin/panel/widgets/WPresetStepper.h"

#include "engine/tables/ParamSpec.h"
#include "framework/core/IParam.h"
#include "plugin/Quorrel.h"
#include "plugin/presets/PresetFiles.h"
#include "tests/plugin/HostRig.h"
#include "tests/plugin/presets/ScratchFolder.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <memory>
#include <windows.h>

using namespace iplug::igraphics;
using namespace Steinberg;

namespace {

// Dialog answers queued by the test, a clock it moves by hand, and a scratch preset folder.
class FakeServices : public PresetServices
{
public:
    explicit FakeServices(std::string folder) : folder(std::move(folder)) {}

    std::string AskForSaveFile(const std::string& defaultName, const std::string& startFolder) override
    {
        lastDefaultName = defaultName;
        lastStartFolder = startFolder;
        return NextAnswer();
    }
    std::string AskForOpenFile() override { return NextAnswer(); }
    void ShowInFileBrowser(const std::string& shown) override { shownFolder = shown; }
    int64_t NowNanoseconds() override { return now; }
    std::string PresetFolder() override { return folder; }

    std::string NextAnswer()
    {
        if (answers.empty())
            return {};
        std::string a = answers.front();
        answers.pop_front();
        return a;
    }

    std::string folder;
    std::deque<std::string> answers;
    std::string lastDefaultName;
    std::string lastStartFolder;
    std::string shownFolder;
    int64_t now = 1000;
};

// Three presets and a state that a test can make unwritable, without a whole plug-in.
class FakePresets : public PluginPresets
{
public:
    int PresetCount() const override { return 3; }
    const char* PresetNameOf(int index) const override { return index >= 0 && index < 3 ? kNames[index] : ""; }
    bool ApplyFactoryPreset(int index) override { return index >= 0 && index < 3; }
    bool SaveStateChunk(std::vector<std::uint8_t>& chunk) override
    {
        chunk.assign(8, 1);
        return stateWritable;
    }
    bool LoadStateChunk(const std::vector<std::uint8_t>&) override { return true; }
    void RememberPresetName(const std::string& name) override { remembered = name; }
    bool PresetRecordCurrent() const override { return !remembered.empty(); }
    const std::string& PresetName() const override { return remembered; }
    bool PresetMatches() const override { return PresetRecordCurrent(); }
    std::string MatchingPresetName() const override { return remembered; }

    static constexpr const char* kNames[3] = {"A - 1 One", "A - 2 Two", "B - 1 Three"};
    bool stateWritable = true;
    std::string remembered;
};

const std::string kPolish = "Zażółć gęślą jaźń";
const std::string kCyrillic = "Тёплый звук";

class WPresetStepperTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        plugin = new Quorrel();
        rig = std::make_unique<HostRig>(static_cast<Vst::IAudioProcessor*>(plugin));
        ASSERT_TRUE(rig->Initialize());
        auto owned = std::make_unique<FakeServices>(folder.Join("Ostrevane/Marlquin/Presets"));
        services = owned.get();
        stepper = std::make_unique<WPresetStepper>(plugin, std::move(owned));
        stepper->Attach(plugin, nullptr);
    }

    void SetValue(int idx, double plain)
    {
        iplug::IParam* p = plugin->GetParam(idx);
        plugin->SetParamFromEditor(idx, p->NormalizeValue(plain));
    }

    // Runs the menu entry with this text (looked up at the top level and in the USER submenu).
    void Choose(const std::string& text)
    {
        IPopupMenu& menu = stepper->PresetMenu();
        menu.Clear(true);
        stepper->BuildPresetMenu();
        for (IPopupMenu* m : {&menu, menu.GetItem(4)->GetSubmenu()})
            for (int i = 0; m && i < m->NItems(); ++i)
                if (text == m->GetItem(i)->GetText()) {
                    m->SetChosenIndex(i);
                    stepper->OnMenuItemChosen(m, -1);
                    return;
                }
        FAIL() << "no menu entry " << text;
    }

    // The label at the next redraw check, after the message of a failure is gone.
    std::string LabelAfterMessage()
    {
        services->now += WPresetStepper::kMessageNanoseconds;
        stepper->NeedsRedraw();
        return stepper->StepperText();
    }

    ScratchFolder folder;
    Quorrel* plugin = nullptr;
    std::unique_ptr<HostRig> rig;
    FakeServices* services = nullptr;
    std::unique_ptr<WPresetStepper> stepper;
};

std::vector<uint8_t> Header(uint32_t count, size_t valueBytes)
{
    std::vector<uint8_t> bytes = {0x32, 0x52, 0x54, 0x4B};
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<uint8_t>(count >> (8 * i)));
    bytes.resize(bytes.size() + valueBytes, 0);
    return bytes;
}

} // namespace

TEST_F(WPresetStepperTest, MenuListsGroupsUserPresetsAndActions)
{
    stepper->BuildPresetMenu();
    IPopupMenu& menu = stepper->PresetMenu();
    const char* top[] = {"TREM", "REPEAT",         "LOOPS",         "FUZZ TREM", "USER", "", "Show presets folder",
                         "",     "Save preset...", "Load preset..."};
    ASSERT_EQ(menu.NItems(), 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_STREQ(menu.GetItem(i)->GetText(), top[i]) << i;
    EXPECT_TRUE(menu.GetItem(5)->IsSeparator());
    const int groupSizes[] = {10, 15, 15, 8};
    for (int g = 0; g < 4; ++g)
        EXPECT_EQ(menu.GetItem(g)->GetSubmenu()->NItems(), groupSizes[g]) << top[g];
    const IPopupMenu::Entry* first = menu.GetItem(0)->GetSubmenu()->GetItem(0);
    EXPECT_STREQ(first->GetText(), "Quarter Sine");
    EXPECT_EQ(first->GetTag(), 0);
    EXPECT_EQ(menu.GetItem(3)->GetSubmenu()->GetItem(7)->GetTag(), 47);

    const IPopupMenu* user = menu.GetItem(4)->GetSubmenu();
    ASSERT_EQ(user->NItems(), 1);
    EXPECT_STREQ(user->GetItem(0)->GetText(), "(none saved yet)");
    EXPECT_TRUE(user->GetItem(0)->IsGreyed());
    EXPECT_EQ(user->GetItem(0)->GetTag(), -1);

    // The loaded preset is checked.
    stepper->LoadFactoryPreset(12);
    menu.Clear(true);
    stepper->BuildPresetMenu();
    EXPECT_TRUE(menu.GetItem(1)->GetSubmenu()->GetItem(2)->IsChecked());
    EXPECT_FALSE(menu.GetItem(1)->GetSubmenu()->GetItem(1)->IsChecked());
}

TEST_F(WPresetStepperTest, StepsWrapAroundAndLabelFollowsEdits)
{
    EXPECT_EQ(stepper->StepperText(), "Current settings");
    stepper->StepPreset(+1);
    EXPECT_EQ(stepper->StepperText(), "TREM - 01 Quarter Sine");
    stepper->StepPreset(-1);
    EXPECT_EQ(stepper->StepperText(), "FUZZ TREM - 08 Free Throb");
    stepper->StepPreset(+1);
    EXPECT_EQ(stepper->StepperText(), "TREM - 01 Quarter Sine");

    SetValue(kRepeatHold, 1.0);
    EXPECT_EQ(stepper->PresetLabel(), "TREM - 01 Quarter Sine") << "hold is no edit";
    SetValue(kRepeatHold, 0.0);
    SetValue(kDrive, plugin->GetParam(kDrive)->Value() > 0.5 ? 0.1 : 0.9);
    EXPECT_EQ(stepper->PresetLabel(), "Edited: TREM - 01 Quarter Sine");
    EXPECT_EQ(stepper->SanitizePresetName(), "Edited- TREM - 01 Quarter Sine.marlquin");
    // An edited preset still steps from its own place.
    stepper->StepPreset(+1);
    EXPECT_EQ(stepper->PresetLabel(), plugin->PresetNameAt(1));

    // A state the host restores is no preset of the panel's.
    ASSERT_EQ(rig->SetState(rig->GetState()), kResultOk);
    EXPECT_EQ(stepper->PresetLabel(), "Current settings");
    stepper->StepPreset(-1);
    EXPECT_EQ(stepper->PresetLabel(), plugin->PresetNameAt(0));
}

TEST_F(WPresetStepperTest, SavedPresetsWithWideNamesListAndLoad)
{
    for (const std::string& name : {kPolish, kCyrillic}) {
        stepper->LoadFactoryPreset(20);
        SetValue(kDrive, 0.37);
        services->answers.push_back(PresetFiles::Join(services->folder, name + ".marlquin"));
        stepper->SavePresetAs();
        EXPECT_EQ(services->lastStartFolder, services->folder);
        EXPECT_EQ(stepper->StepperText(), name);
        SetValue(kDrive, 0.9);
        EXPECT_EQ(stepper->PresetLabel(), "Edited: " + name);

        Choose(name);
        EXPECT_NEAR(plugin->GetParam(kDrive)->Value(), 0.37, 1e-12) << name;
        EXPECT_EQ(stepper->StepperText(), name);
        EXPECT_EQ(rig->GetParam(kDrive), plugin->GetParam(kDrive)->GetNormalized()) << "the host is told";
    }
    EXPECT_EQ(stepper->UserPresetPaths().size(), 2u);
    EXPECT_FALSE(ScratchFolder::Exists(PresetFiles::Join(services->folder, kPolish + ".marlquin.writing")));

    Choose("Show presets folder");
    EXPECT_EQ(services->shownFolder, services->folder);
}

TEST_F(WPresetStepperTest, ImportNeverOverwritesAndRefusesForeignFiles)
{
    const std::string source = folder.Join("Warm.marlquin");
    stepper->LoadFactoryPreset(3);
    services->answers.push_back(source);
    stepper->SavePresetAs();
    ASSERT_TRUE(ScratchFolder::Exists(source));

    for (const char* expected : {"Warm", "Warm (2)", "Warm (3)"}) {
        services->answers.push_back(source);
        Choose("Load preset...");
        EXPECT_EQ(stepper->StepperText(), expected);
        EXPECT_TRUE(ScratchFolder::Exists(PresetFiles::Join(services->folder, std::string(expected) + ".marlquin")));
    }

    const struct
    {
        const char* what;
        std::vector<uint8_t> bytes;
    } foreign[] = {
        {"7 bytes", std::vector<uint8_t>(7, 0x32)},
        {"count 34", Header(34, 8 * 41)},
        {"count wrapping in 32 bits", Header(0x20000001, 8)},
        {"legacy run", std::vector<uint8_t>(232, 0)},
    };
    const double drive = plugin->GetParam(kDrive)->Value();
    for (const auto& f : foreign) {
        const std::string path = folder.Join("foreign.marlquin");
        ScratchFolder::WriteFile(path, f.bytes);
        services->answers.push_back(path);
        stepper->ImportPreset();
        EXPECT_EQ(stepper->StepperText(), "Not a Marlquin preset") << f.what;
        EXPECT_EQ(plugin->GetParam(kDrive)->Value(), drive) << f.what;
    }
    EXPECT_FALSE(ScratchFolder::Exists(PresetFiles::Join(services->folder, "foreign.marlquin")));

    const std::string big = folder.Join("big.marlquin");
    ScratchFolder::WriteFile(big, Header(41, 8 * 41));
    std::filesystem::resize_file(std::filesystem::u8path(big), PresetFiles::SizeLimit() + 1);
    stepper->LoadUserPreset(big);
    EXPECT_EQ(stepper->StepperText(), "Not a Marlquin preset");
    EXPECT_EQ(LabelAfterMessage(), "Warm (3)");
}

TEST_F(WPresetStepperTest, FailedSavesKeepTheOldFile)
{
    stepper->LoadFactoryPreset(5);
    services->answers.push_back(folder.Join("missing folder/x.marlquin"));
    stepper->SavePresetAs();
    EXPECT_EQ(stepper->StepperText(), "Could not save");
    EXPECT_EQ(LabelAfterMessage(), plugin->PresetNameAt(5));

    // A target another program holds open cannot be replaced.
    const std::string target = folder.Join("Held.marlquin");
    ScratchFolder::WriteText(target, "old");
    const std::wstring wide = std::filesystem::u8path(target).wstring();
    HANDLE held = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    services->answers.push_back(target);
    stepper->SavePresetAs();
    CloseHandle(held);
    EXPECT_EQ(stepper->StepperText(), "Could not save");
    const std::vector<uint8_t> kept = ScratchFolder::ReadFile(target);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "old");
    EXPECT_FALSE(ScratchFolder::Exists(target + ".writing"));

    // Without a user folder nothing is imported anywhere.
    services->folder.clear();
    services->answers.push_back(folder.Join("Held.marlquin"));
    stepper->ImportPreset();
    EXPECT_EQ(stepper->StepperText(), "Not a Marlquin preset");
}

TEST_F(WPresetStepperTest, AStateThatCannotBeWrittenSavesNothing)
{
    FakePresets presets;
    auto owned = std::make_unique<FakeServices>(services->folder);
    FakeServices& answers = *owned;
    WPresetStepper own(&presets, std::move(owned));
    ASSERT_TRUE(own.LoadFactoryPreset(2));
    ASSERT_EQ(own.PresetLabel(), "B - 1 Three");

    const std::string target = folder.Join("Unwritten.marlquin");
    presets.stateWritable = false;
    answers.answers.push_back(target);
    own.SavePresetAs();
    EXPECT_EQ(own.StepperText(), "Could not save");
    EXPECT_FALSE(ScratchFolder::Exists(target));
    EXPECT_FALSE(ScratchFolder::Exists(target + ".writing"));
    EXPECT_EQ(presets.remembered, "B - 1 Three");

    presets.stateWritable = true;
    answers.answers.push_back(target);
    own.SavePresetAs();
    EXPECT_EQ(ScratchFolder::ReadFile(target), std::vector<uint8_t>(8, 1));
    EXPECT_EQ(presets.remembered, "Unwritten");
}

TEST_F(WPresetStepperTest, MessagesLastThreeSeconds)
{
    stepper->LoadFactoryPreset(0);
    stepper->NeedsRedraw();
    stepper->ShowMessage("Could not save");
    EXPECT_TRUE(stepper->NeedsRedraw());
    stepper->MarkClean();
    services->now += WPresetStepper::kMessageNanoseconds - 1;
    EXPECT_FALSE(stepper->NeedsRedraw());
    EXPECT_EQ(stepper->StepperText(), "Could not save");
    services->now += 1;
    EXPECT_TRUE(stepper->NeedsRedraw());
    EXPECT_EQ(stepper->StepperText(), "TREM - 01 Quarter Sine");
}

TEST_F(WPresetStepperTest, PressZonesKeysAndHold)
{
    IPointerMods left;
    left.left = true;
    EXPECT_FALSE(stepper->ContainsPoint(7, 20));
    EXPECT_FALSE(stepper->ContainsPoint(452, 20));
    EXPECT_TRUE(stepper->ContainsPoint(8, 20));
    EXPECT_TRUE(stepper->ContainsPoint(451, 43.9f));
    EXPECT_FALSE(stepper->ContainsPoint(200, 44));

    stepper->LoadFactoryPreset(10);
    stepper->OnPointerDown(8, 20, left);
    EXPECT_EQ(stepper->PresetLabel(), plugin->PresetNameAt(9));
    stepper->OnPointerDown(451, 20, left);
    EXPECT_EQ(stepper->PresetLabel(), plugin->PresetNameAt(10));
    IPointerMods right;
    right.right = true;
    stepper->OnPointerDown(8, 20, right);
    EXPECT_EQ(stepper->PresetLabel(), plugin->PresetNameAt(10));

    SetValue(kRepeatHold, 1.0);
    stepper->OnPointerDown(451, 20, left);
    EXPECT_EQ(stepper->PresetLabel(), plugin->PresetNameAt(10)) << "presses wait for hold";
    IKeyStroke key;
    key.virtualKey = 39;
    EXPECT_TRUE(stepper->OnKeyDown(0, 0, key));
    EXPECT_EQ(stepper->PresetLabel(), plugin->PresetNameAt(11)) << "keys do not";
    key.virtualKey = 37;
    EXPECT_TRUE(stepper->OnKeyDown(0, 0, key));
    EXPECT_EQ(stepper->PresetLabel(), plugin->PresetNameAt(10));
    key.virtualKey = 40;
    EXPECT_FALSE(stepper->OnKeyDown(0, 0, key));
}

// A loop frozen at the highest supported rate makes a preset larger than files were once allowed
// to be; it still saves and loads with its loop.
TEST_F(WPresetStepperTest, PresetFrozenAtHighestRateLoadsWithItsLoop)
{
    ASSERT_EQ(rig->Start(384000.0, 4096), kResultOk);
    for (auto [idx, plain] : {std::pair<int, double>{kMode, 2}, {kSaveFrozenAudio, 1}, {kLoopFreeze, 1}})
        ASSERT_EQ(rig->SetParam(Vst::ParamID(idx), rig->ToNormalized(Vst::ParamID(idx), plain)), kResultOk);
    for (int i = 0; i < 4000 && !plugin->LoopFrozen(); ++i)
        ASSERT_EQ(rig->Process(4096), kResultOk);
    ASSERT_TRUE(plugin->LoopFrozen());
    rig->Process(4096);

    const std::string path = folder.Join("Frozen.marlquin");
    services->answers.push_back(path);
    stepper->SavePresetAs();
    ASSERT_EQ(stepper->StepperText(), "Frozen");
    const auto size = std::filesystem::file_size(std::filesystem::u8path(path));
    EXPECT_GT(size, PresetFiles::kLegacySizeLimit);

    Quorrel* other = new Quorrel();
    HostRig otherRig(static_cast<Vst::IAudioProcessor*>(other));
    ASSERT_TRUE(otherRig.Initialize());
    ASSERT_EQ(otherRig.Start(384000.0, 4096), kResultOk);
    auto owned = std::make_unique<FakeServices>(services->folder);
    WPresetStepper otherStepper(other, std::move(owned));
    otherStepper.Attach(other, nullptr);
    otherStepper.LoadUserPreset(path);
    EXPECT_EQ(otherStepper.StepperText(), "Frozen");
    // The loaded loop is saved again whole, as loaded.
    EXPECT_EQ(otherRig.GetState().size(), size + 4);
}
