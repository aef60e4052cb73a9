#include "standalone/SettingsFile.h"

#include "standalone/IniText.h"
#include "standalone/WideText.h"

#include <windows.h>

#include <shlobj.h>

#include <cwchar>
#include <vector>

namespace {

constexpr wchar_t kAudio[] = L"audio";
constexpr wchar_t kMidi[] = L"midi";

std::string ReadText(const IniText& ini, const wchar_t* section, const wchar_t* key, const char* fallback)
{
    const std::optional<std::wstring> value = ini.Value(section, key);
    return value ? ToUtf8(*value) : std::string(fallback);
}

// As the profile functions read numbers: a missing or empty value gives the fallback, otherwise
// the leading decimal number with its sign (0 when there is none), wrapped to 32 bits.
uint32_t ReadNumber(const IniText& ini, const wchar_t* section, const wchar_t* key, uint32_t fallback)
{
    const std::optional<std::wstring> value = ini.Value(section, key);
    if (!value || value->empty())
        return fallback;
    size_t at = 0;
    const bool negative = (*value)[0] == L'-';
    if (negative || (*value)[0] == L'+')
        ++at;
    uint32_t number = 0;
    for (; at < value->size() && (*value)[at] >= L'0' && (*value)[at] <= L'9'; ++at)
        number = number * 10 + uint32_t((*value)[at] - L'0');
    return negative ? 0u - number : number;
}

bool WriteText(const wchar_t* section, const wchar_t* key, const std::string& value, const std::wstring& path)
{
    return WritePrivateProfileStringW(section, key, ToWide(value).c_str(), path.c_str()) != FALSE;
}

bool WriteNumber(const wchar_t* section, const wchar_t* key, const wchar_t* format, uint32_t value,
                 const std::wstring& path)
{
    wchar_t text[32] = {};
    std::swprintf(text, 32, format, value);
    return WritePrivateProfileStringW(section, key, text, path.c_str()) != FALSE;
}

// An empty file holding only the UTF-16LE byte-order mark: the profile functions then keep
// writing it in UTF-16.
bool CreateUnicodeFile(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const unsigned char bom[2] = {0xFF, 0xFE};
    DWORD written = 0;
    const bool ok = WriteFile(file, bom, sizeof(bom), &written, nullptr) && written == sizeof(bom);
    CloseHandle(file);
    return ok;
}

} // namespace

std::wstring SettingsFile::DefaultFolder()
{
    wchar_t base[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base)))
        return std::wstring();
    return std::wstring(base) + L"\\Quorrel\\";
}

bool SettingsFile::EnsureFolder(const std::wstring& folder)
{
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return CreateDirectoryW(folder.c_str(), nullptr) != FALSE;
}

bool SettingsFile::Exists() const
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool SettingsFile::Load(DeviceSettings& s) const
{
    if (!Exists())
        return false;
    const std::optional<IniText> ini = IniText::Load(path);
    if (!ini)
        return false;
    s.driverType = ReadNumber(*ini, kAudio, L"driver", 0);
    s.audioInput = ReadText(*ini, kAudio, L"indev", "Built-in Input");
    s.audioOutput = ReadText(*ini, kAudio, L"outdev", "Built-in Output");
    s.inputChannel1 = ReadNumber(*ini, kAudio, L"in1", 1);
    s.inputChannel2 = ReadNumber(*ini, kAudio, L"in2", 2);
    s.outputChannel1 = ReadNumber(*ini, kAudio, L"out1", 1);
    s.outputChannel2 = ReadNumber(*ini, kAudio, L"out2", 2);
    s.bufferSize = ReadNumber(*ini, kAudio, L"buffer", 512);
    s.sampleRate = ReadNumber(*ini, kAudio, L"sr", 44100);
    s.midiInput = ReadText(*ini, kMidi, L"indev", "no input");
    s.midiOutput = ReadText(*ini, kMidi, L"outdev", "no output");
    s.midiInChannel = ReadNumber(*ini, kMidi, L"inchan", 0);
    s.midiOutChannel = ReadNumber(*ini, kMidi, L"outchan", 0);
    if (s.bufferSize == 0 || s.bufferSize > kMaxBufferSize)
        s.bufferSize = 512;
    return true;
}

bool SettingsFile::Save(const DeviceSettings& s) const
{
    const std::wstring temporary = path + L".writing";
    bool ok = CreateUnicodeFile(temporary);
    ok = ok && WriteNumber(kAudio, L"driver", L"%u", s.driverType, temporary);
    ok = ok && WriteText(kAudio, L"indev", s.audioInput, temporary);
    ok = ok && WriteText(kAudio, L"outdev", s.audioOutput, temporary);
    ok = ok && WriteNumber(kAudio, L"in1", L"%u", s.inputChannel1, temporary);
    ok = ok && WriteNumber(kAudio, L"in2", L"%u", s.inputChannel2, temporary);
    ok = ok && WriteNumber(kAudio, L"out1", L"%u", s.outputChannel1, temporary);
    ok = ok && WriteNumber(kAudio, L"out2", L"%u", s.outputChannel2, temporary);
    ok = ok && WriteNumber(kAudio, L"buffer", L"%i", s.bufferSize, temporary);
    ok = ok && WriteNumber(kAudio, L"sr", L"%i", s.sampleRate, temporary);
    ok = ok && WriteText(kMidi, L"indev", s.midiInput, temporary);
    ok = ok && WriteText(kMidi, L"outdev", s.midiOutput, temporary);
    ok = ok && WriteNumber(kMidi, L"inchan", L"%u", s.midiInChannel, temporary);
    ok = ok && WriteNumber(kMidi, L"outchan", L"%u", s.midiOutChannel, temporary);
    // The profile functions cache files; flush before the move.
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, temporary.c_str());
    ok = ok && MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok)
        DeleteFileW(temporary.c_str());
    return ok;
}
