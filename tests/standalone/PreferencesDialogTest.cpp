#include "standalone/PreferencesDialog.h"

#include "standalone/StandaloneHost.h"
#include "standalone/StandaloneResourceIds.h"
#include "standalone/WideText.h"
#include "tests/standalone/FakeAudioBackend.h"
#include "tests/standalone/TempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Script = FakeAudioBackend::Script;

std::shared_ptr<Script> StudioDevices()
{
    auto script = std::make_shared<Script>();
    script->devices = {FakeAudioBackend::Device("Primary Sound Driver", 0, 2, true),
                       FakeAudioBackend::Device("Out: Interface", 0, 8),
                       FakeAudioBackend::Device("In: Interface", 4, 0, false, {44100, 48000, 96000}),
                       FakeAudioBackend::Device("In: default", 2, 0)};
    return script;
}

// The dialog made modeless from its resource, driven with the messages its controls send.
class PreferencesDialogTest : public ::testing::Test
{
protected:
    void Open(std::shared_ptr<Script> devices, bool startAudio = true)
    {
        script = devices;
        host = FakeAudioBackend::MakeHost(script, folder.Path(), &errors);
        ASSERT_TRUE(host->Init());
        if (startAudio)
            host->ApplyAudioSettings();
        OpenDialog();
    }
    void OpenDialog()
    {
        if (dialog)
            DestroyWindow(dialog);
        dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PREFERENCES), nullptr,
                                    PreferencesProc, 0);
        ASSERT_NE(dialog, nullptr);
    }
    void TearDown() override
    {
        if (dialog)
            DestroyWindow(dialog);
        delete StandaloneHost::ReleaseGlobal();
    }

    HWND List(int id) const { return GetDlgItem(dialog, id); }
    std::vector<std::string> Entries(int id) const
    {
        std::vector<std::string> entries;
        const int count = int(SendMessageW(List(id), CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            wchar_t text[256] = {};
            SendMessageW(List(id), CB_GETLBTEXT, WPARAM(i), LPARAM(text));
            entries.push_back(ToUtf8(text));
        }
        return entries;
    }
    int Selected(int id) const { return int(SendMessageW(List(id), CB_GETCURSEL, 0, 0)); }
    void Choose(int id, int index) const
    {
        SendMessageW(List(id), CB_SETCURSEL, WPARAM(index), 0);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), LPARAM(List(id)));
    }
    void Press(int id) const { SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(List(id))); }

    TempFolder folder;
    std::shared_ptr<Script> script;
    StandaloneHost* host = nullptr;
    HWND dialog = nullptr;
    std::vector<std::string> errors;
};

using Texts = std::vector<std::string>;

TEST_F(PreferencesDialogTest, OpensWithTheDevicesAndChoicesOfTheHost)
{
    Open(StudioDevices());
    EXPECT_EQ(Entries(IDC_DRIVER), (Texts{"DirectSound", "ASIO"}));
    EXPECT_EQ(Selected(IDC_DRIVER), 0);
    EXPECT_EQ(Entries(IDC_AUDIO_INPUT), (Texts{"Interface", "default"}));
    EXPECT_EQ(Entries(IDC_AUDIO_OUTPUT), (Texts{"Primary Sound Driver", "Interface"}));
    EXPECT_EQ(Selected(IDC_AUDIO_INPUT), 0);
    EXPECT_EQ(Selected(IDC_AUDIO_OUTPUT), 0);
    EXPECT_EQ(Entries(IDC_BUFFER_SIZE),
              (Texts{"32", "64", "96", "128", "192", "256", "512", "1024", "2048", "4096", "8192"}));
    EXPECT_EQ(Selected(IDC_BUFFER_SIZE), 6);
    EXPECT_FALSE(IsWindowEnabled(List(IDC_SAMPLE_RATE)));
    EXPECT_EQ(Entries(IDC_SAMPLE_RATE), (Texts{"44100", "48000"}));
    EXPECT_EQ(Entries(IDC_INPUT_CHANNEL_1), (Texts{"1", "2", "3"}));
    EXPECT_EQ(Entries(IDC_INPUT_CHANNEL_2), (Texts{"1", "2", "3", "4"}));
    EXPECT_EQ(host->savedSettings, host->settings);
}

TEST_F(PreferencesDialogTest, ATwoChannelInputOffersOneFirstChannel)
{
    Open(StudioDevices());
    Choose(IDC_AUDIO_INPUT, 1);
    EXPECT_EQ(host->settings.audioInput, "default");
    EXPECT_EQ(Entries(IDC_INPUT_CHANNEL_1), (Texts{"1"}));
    EXPECT_EQ(Entries(IDC_INPUT_CHANNEL_2), (Texts{"1", "2"}));
}

TEST_F(PreferencesDialogTest, TheSecondChannelAlwaysFollowsTheFirst)
{
    Open(StudioDevices());
    Choose(IDC_INPUT_CHANNEL_1, 2);
    EXPECT_EQ(host->settings.inputChannel1, 3u);
    EXPECT_EQ(host->settings.inputChannel2, 4u);
    EXPECT_EQ(Selected(IDC_INPUT_CHANNEL_2), 3);
    Choose(IDC_INPUT_CHANNEL_2, 0);
    EXPECT_EQ(Selected(IDC_INPUT_CHANNEL_2), 3);
    EXPECT_EQ(host->settings.inputChannel2, 4u);

    Choose(IDC_AUDIO_OUTPUT, 1);
    Choose(IDC_OUTPUT_CHANNEL_1, 4);
    EXPECT_EQ(host->settings.outputChannel1, 5u);
    EXPECT_EQ(host->settings.outputChannel2, 6u);
    EXPECT_EQ(Selected(IDC_OUTPUT_CHANNEL_2), 5);
}

TEST_F(PreferencesDialogTest, ABufferSizeOutsideTheListSelectsNothing)
{
    Open(StudioDevices(), false);
    host->settings.bufferSize = 300;
    OpenDialog();
    EXPECT_EQ(Selected(IDC_BUFFER_SIZE), -1);
    Choose(IDC_BUFFER_SIZE, 2);
    EXPECT_EQ(host->settings.bufferSize, 96u);
}

TEST_F(PreferencesDialogTest, ADirectionWithoutDevicesLeavesItsListsEmpty)
{
    auto script = std::make_shared<Script>();
    script->devices = {FakeAudioBackend::Device("Primary Sound Driver", 0, 2, true)};
    Open(script);
    EXPECT_TRUE(Entries(IDC_AUDIO_INPUT).empty());
    EXPECT_TRUE(Entries(IDC_INPUT_CHANNEL_1).empty());
    EXPECT_TRUE(Entries(IDC_SAMPLE_RATE).empty());
    EXPECT_EQ(Entries(IDC_OUTPUT_CHANNEL_2), (Texts{"1", "2"}));
}

TEST_F(PreferencesDialogTest, CancelAfterNoChangeReopensNothing)
{
    Open(StudioDevices());
    const size_t opens = script->opens.size();
    const DeviceSettings before = host->settings;
    Press(IDCANCEL);
    EXPECT_EQ(script->opens.size(), opens);
    EXPECT_EQ(host->settings, before);
}

TEST_F(PreferencesDialogTest, CancelRestoresTheSettingsAndReopensTheAudio)
{
    Open(StudioDevices());
    const DeviceSettings before = host->settings;
    Choose(IDC_AUDIO_OUTPUT, 1);
    EXPECT_EQ(host->settings.audioOutput, "Interface");
    Press(IDCANCEL);
    EXPECT_EQ(host->settings, before);
    EXPECT_EQ(script->opens.back().outputId, 0u);
    EXPECT_TRUE(host->StreamRunning());
}

// Without an output device the message comes when the audio is applied; Cancel leaves the audio
// off whatever was touched in the dialog, and only OK and Apply try again.
TEST_F(PreferencesDialogTest, CancelWithoutAnOutputDeviceBringsNoMessageBack)
{
    auto script = std::make_shared<Script>();
    script->devices = {FakeAudioBackend::Device("In: mic", 2, 0)};
    Open(script);
    ASSERT_EQ(errors.size(), 1u);
    Press(IDCANCEL);
    EXPECT_EQ(errors.size(), 1u);

    OpenDialog();
    Choose(IDC_DRIVER, 1);
    Choose(IDC_DRIVER, 0);
    Press(IDCANCEL);
    EXPECT_EQ(errors.size(), 1u);

    OpenDialog();
    Choose(IDC_BUFFER_SIZE, 2);
    Press(IDCANCEL);
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(host->settings.bufferSize, 512u);
    EXPECT_TRUE(script->opens.empty());

    OpenDialog();
    Press(IDC_APPLY);
    EXPECT_EQ(errors.size(), 2u);
    Press(IDOK);
    EXPECT_EQ(errors.size(), 3u);
}

// Apply plays the new settings at once; Cancel afterwards goes back to those the dialog found.
TEST_F(PreferencesDialogTest, CancelAfterApplyPlaysTheSettingsFoundAgain)
{
    Open(StudioDevices());
    const DeviceSettings before = host->settings;
    Choose(IDC_AUDIO_OUTPUT, 1);
    Press(IDC_APPLY);
    EXPECT_EQ(script->opens.back().outputId, 1u);
    Press(IDCANCEL);
    EXPECT_EQ(host->settings, before);
    EXPECT_EQ(script->opens.back().outputId, 0u);
    EXPECT_EQ(host->activeSettings, before);
    EXPECT_TRUE(host->StreamRunning());
}

TEST_F(PreferencesDialogTest, OkOpensTheChosenDevices)
{
    Open(StudioDevices());
    Choose(IDC_AUDIO_OUTPUT, 1);
    Press(IDOK);
    EXPECT_EQ(script->opens.back().outputId, 1u);
    EXPECT_EQ(host->activeSettings, host->settings);
}

// Switching the driver makes a new audio object without a stream; switching back leaves the
// settings as they were, and the stream must still come back.
TEST_F(PreferencesDialogTest, SwitchingTheDriverAndBackStillEndsWithAudio)
{
    for (int closing : {IDOK, IDCANCEL}) {
        SCOPED_TRACE(closing);
        Open(StudioDevices());
        ASSERT_TRUE(host->StreamRunning());
        Choose(IDC_DRIVER, 1);
        EXPECT_EQ(host->settings.driverType, 1u);
        EXPECT_FALSE(IsWindowEnabled(List(IDC_AUDIO_INPUT)));
        Choose(IDC_DRIVER, 0);
        EXPECT_FALSE(host->StreamRunning());
        Press(closing);
        EXPECT_TRUE(host->StreamRunning());
        TearDown();
        dialog = nullptr;
    }
}

// What the dialog's handlers throw must not unwind into the dialog manager, and the dialog
// stays usable: Cancel still brings the audio back.
TEST_F(PreferencesDialogTest, AFailureWhileSwitchingTheDriverLeavesTheDialogWorking)
{
    Open(StudioDevices());
    ASSERT_TRUE(host->StreamRunning());
    script->throwWhenMade = true;
    EXPECT_NO_THROW(Choose(IDC_DRIVER, 1));
    script->throwWhenMade = false;
    Press(IDCANCEL);
    EXPECT_TRUE(host->StreamRunning());
}

} // namespace
