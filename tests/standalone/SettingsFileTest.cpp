#include "standalone/SettingsFile.h"

#include "standalone/StandaloneHost.h"
#include "tests/standalone/FakeAudioBackend.h"
#include "tests/standalone/TempFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> FileBytes(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    std::ofstream out(path.c_str(), std::ios::binary);
    out << bytes;
}

std::vector<std::wstring> KeysOf(const std::wstring& path, const wchar_t* section)
{
    wchar_t buffer[4096] = {};
    const DWORD n = GetPrivateProfileStringW(section, nullptr, L"", buffer, 4096, path.c_str());
    std::vector<std::wstring> keys;
    for (const wchar_t* p = buffer; p < buffer + n && *p; p += wcslen(p) + 1)
        keys.push_back(p);
    return keys;
}

TEST(SettingsFile, EveryFieldSurvivesARoundTripIncludingLongNamesOutsideAscii)
{
    TempFolder folder;
    ASSERT_TRUE(SettingsFile::EnsureFolder(folder.Path()));
    const SettingsFile file(folder.File(L"settings.ini"));
    DeviceSettings written;
    written.audioInput =
        "Mikrofon (Ger\xC3\xA4t f\xC3\xBCr Aufnahmen) \xE6\xBC\xA2\xE5\xAD\x97 " + std::string(150, 'x');
    written.audioOutput = "Lautsprecher \xC3\xBC";
    written.midiInput = "Port \xE2\x99\xAA 1";
    written.midiOutput = "Synth 2";
    written.driverType = 1;
    written.sampleRate = 96000;
    written.bufferSize = 96;
    written.midiInChannel = 3;
    written.midiOutChannel = 16;
    written.inputChannel1 = 3;
    written.inputChannel2 = 4;
    written.outputChannel1 = 5;
    written.outputChannel2 = 6;
    ASSERT_TRUE(file.Save(written));

    DeviceSettings read;
    ASSERT_TRUE(file.Load(read));
    EXPECT_EQ(read, written);

    const std::vector<unsigned char> bytes = FileBytes(file.Path());
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFE);
    EXPECT_EQ(KeysOf(file.Path(), L"audio"), (std::vector<std::wstring>{L"driver", L"indev", L"outdev", L"in1", L"in2",
                                                                        L"out1", L"out2", L"buffer", L"sr"}));
    EXPECT_EQ(KeysOf(file.Path(), L"midi"), (std::vector<std::wstring>{L"indev", L"outdev", L"inchan", L"outchan"}));
    EXPECT_EQ(GetFileAttributesW((file.Path() + L".writing").c_str()), INVALID_FILE_ATTRIBUTES);
}

std::string Utf16Bytes(const std::wstring& text, bool bigEndian)
{
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (wchar_t unit : text) {
        const char high = char(unit >> 8), low = char(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

std::string CodePageBytes(const std::wstring& text, UINT codePage)
{
    const int n = WideCharToMultiByte(codePage, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size_t(n), '\0');
    WideCharToMultiByte(codePage, 0, text.c_str(), int(text.size()), bytes.data(), n, nullptr, nullptr);
    return bytes;
}

// Device names outside ASCII survive whatever encoding the file was saved in; names, blanks and
// quotes are read as the profile functions read them.
TEST(SettingsFile, EveryEncodingKeepsNamesOutsideAscii)
{
    const std::wstring wide =
        L"[audio]\r\nindev=Mikrofon (Ger\u00e4t) \u6f22\u5b57\r\n OutDev = \"Lautsprecher \u00fc\" "
        L"\r\nsr=48000\r\n[MIDI]\r\nindev=Port \u266a 1\nbuffer=7\r\n";
    const std::string wideIn = "Mikrofon (Ger\xC3\xA4t) \xE6\xBC\xA2\xE5\xAD\x97";
    const std::string wideMidi = "Port \xE2\x99\xAA 1";
    // The ANSI code page holds Latin letters only.
    const std::wstring latin = L"[audio]\r\nindev=Mikrofon (Ger\u00e4t)\r\n OutDev = \"Lautsprecher \u00fc\" "
                               L"\r\nsr=48000\r\n[MIDI]\r\nindev=Port 1\r\n";
    const struct
    {
        const char* encoding;
        std::string bytes;
        std::string input;
        std::string midiInput;
    } cases[] = {
        {"UTF-16LE with BOM", Utf16Bytes(wide, false), wideIn, wideMidi},
        {"UTF-16BE with BOM", Utf16Bytes(wide, true), wideIn, wideMidi},
        {"UTF-8 with BOM", "\xEF\xBB\xBF" + CodePageBytes(wide, CP_UTF8), wideIn, wideMidi},
        {"UTF-8 without BOM", CodePageBytes(wide, CP_UTF8), wideIn, wideMidi},
        {"ANSI", CodePageBytes(latin, CP_ACP), "Mikrofon (Ger\xC3\xA4t)", "Port 1"},
    };
    TempFolder folder;
    ASSERT_TRUE(SettingsFile::EnsureFolder(folder.Path()));
    const SettingsFile file(folder.File(L"settings.ini"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encoding);
        WriteBytes(file.Path(), c.bytes);
        DeviceSettings read;
        ASSERT_TRUE(file.Load(read));
        EXPECT_EQ(read.audioInput, c.input);
        EXPECT_EQ(read.audioOutput, "Lautsprecher \xC3\xBC");
        EXPECT_EQ(read.sampleRate, 48000u);
        EXPECT_EQ(read.midiInput, c.midiInput);
        EXPECT_EQ(read.bufferSize, 512u) << "buffer is a key of the audio section";
        EXPECT_EQ(read.midiOutput, "no output");
    }
    // The profile functions read the UTF-16 file the same way.
    WriteBytes(file.Path(), cases[0].bytes);
    wchar_t text[128] = {};
    GetPrivateProfileStringW(L"Audio", L"outdev", L"", text, 128, file.Path().c_str());
    EXPECT_STREQ(text, L"Lautsprecher \u00fc");
    GetPrivateProfileStringW(L"midi", L"INDEV", L"", text, 128, file.Path().c_str());
    EXPECT_STREQ(text, L"Port \u266a 1");
}

// A device chosen in a file saved as UTF-8 is found again instead of being replaced.
TEST(SettingsFile, ADeviceNamedInAUtf8FileIsFoundAtStart)
{
    TempFolder folder;
    ASSERT_TRUE(SettingsFile::EnsureFolder(folder.Path()));
    WriteBytes(folder.File(L"settings.ini"), "[audio]\r\nindev=USB Ger\xC3\xA4t\r\noutdev=Primary Sound Driver\r\n");
    auto script = std::make_shared<FakeAudioBackend::Script>();
    script->devices = {FakeAudioBackend::Device("Primary Sound Driver", 0, 2, true),
                       FakeAudioBackend::Device("In: default", 2, 0),
                       FakeAudioBackend::Device("In: USB Ger\xC3\xA4t", 2, 0)};
    StandaloneHost* host = FakeAudioBackend::MakeHost(script, folder.Path());
    ASSERT_TRUE(host->Init());
    ASSERT_TRUE(host->ApplyAudioSettings());
    EXPECT_EQ(script->opens.back().inputId, 2u);
    EXPECT_EQ(host->settings.audioInput, "USB Ger\xC3\xA4t");
    delete StandaloneHost::ReleaseGlobal();
    // Written back as UTF-16 with its mark.
    const std::vector<unsigned char> bytes = FileBytes(folder.File(L"settings.ini"));
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFE);
}

TEST(SettingsFile, MissingKeysTakeTheirDefaults)
{
    TempFolder folder;
    ASSERT_TRUE(SettingsFile::EnsureFolder(folder.Path()));
    const SettingsFile file(folder.File(L"settings.ini"));
    WriteBytes(file.Path(), "[audio]\r\ndriver=1\r\n");
    DeviceSettings read;
    ASSERT_TRUE(file.Load(read));
    EXPECT_EQ(read.driverType, 1u);
    EXPECT_EQ(read.audioInput, "Built-in Input");
    EXPECT_EQ(read.audioOutput, "Built-in Output");
    EXPECT_EQ(read.midiInput, "no input");
    EXPECT_EQ(read.midiOutput, "no output");
    EXPECT_EQ(read.bufferSize, 512u);
    EXPECT_EQ(read.sampleRate, 44100u);
    EXPECT_EQ(read.inputChannel2, 2u);
}

TEST(SettingsFile, BufferSizesNoStreamCanUseAreCorrectedOthersKept)
{
    const std::pair<const char*, uint32_t> cases[] = {{"0", 512}, {"99999", 512}, {"300", 300}, {"8192", 8192}};
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        TempFolder folder;
        ASSERT_TRUE(SettingsFile::EnsureFolder(folder.Path()));
        const SettingsFile file(folder.File(L"settings.ini"));
        WriteBytes(file.Path(), std::string("[audio]\r\nbuffer=") + text + "\r\n");
        DeviceSettings read;
        ASSERT_TRUE(file.Load(read));
        EXPECT_EQ(read.bufferSize, expected);
    }
}

TEST(SettingsFile, ADamagedFileGivesUsableSettings)
{
    TempFolder folder;
    ASSERT_TRUE(SettingsFile::EnsureFolder(folder.Path()));
    const SettingsFile file(folder.File(L"settings.ini"));
    std::string garbage;
    for (int i = 0; i < 4000; ++i)
        garbage.push_back(char((i * 37 + 11) % 256));
    WriteBytes(file.Path(), "\xFF\xFE[\0a\0u" + garbage);
    DeviceSettings read;
    file.Load(read);
    EXPECT_GE(read.bufferSize, 1u);
    EXPECT_LE(read.bufferSize, SettingsFile::kMaxBufferSize);
    EXPECT_TRUE(file.Save(read));
    DeviceSettings again;
    ASSERT_TRUE(file.Load(again));
    EXPECT_EQ(again, read);
}

TEST(SettingsFile, FirstStartCreatesTheFolderAndWritesTheConstructionValues)
{
    TempFolder folder;
    ASSERT_FALSE(folder.Exists());
    auto script = std::make_shared<FakeAudioBackend::Script>();
    StandaloneHost* host = FakeAudioBackend::MakeHost(script, folder.Path());
    ASSERT_TRUE(host->LoadSettings());
    DeviceSettings read;
    ASSERT_TRUE(SettingsFile(folder.File(L"settings.ini")).Load(read));
    EXPECT_EQ(read, DeviceSettings());
    EXPECT_EQ(read.audioInput, "Default Device");
    EXPECT_EQ(read.midiOutput, "off");
    delete StandaloneHost::ReleaseGlobal();
}

TEST(SettingsFile, AnExistingFileIsReadAtStartAndWrittenBackWhole)
{
    TempFolder folder;
    ASSERT_TRUE(SettingsFile::EnsureFolder(folder.Path()));
    WriteBytes(folder.File(L"settings.ini"), "[audio]\r\ndriver=1\r\n");
    auto script = std::make_shared<FakeAudioBackend::Script>();
    StandaloneHost* host = FakeAudioBackend::MakeHost(script, folder.Path());
    ASSERT_TRUE(host->LoadSettings());
    EXPECT_EQ(host->settings.driverType, 1u);
    EXPECT_EQ(host->settings.audioInput, "Built-in Input");
    EXPECT_EQ(KeysOf(folder.File(L"settings.ini"), L"midi").size(), 4u);
    delete StandaloneHost::ReleaseGlobal();
}

} // namespace
