#include "standalone/SettingsFile.h"

#include "standalone/WideText.h"

#include <windows.h>

#include <shlobj.h>

#include <cwchar>
#include <vector>

namespace {

constexpr wchar_t kAudio[] = L"audio";
constexpr wchar_t kMidi[] = L"midi";

// The whole value, however long: the buffer grows until the text fits.
std::string ReadText(const wchar_t* section, const wchar_t* key, const wchar_t* fallback, const std::wstring& path)
{
    std::vector<wchar_t> buffer(256);
    for (;;) {
        const DWORD n =
            GetPrivateProfileStringW(section, key, fallback, buffer.data(), DWORD(buffer.size()), path.c_str());
        if (n + 1 < buffer.size() || buffer.size() >= (1u << 20))
            return ToUtf8(std::wstring(buffer.data(), n));
        buffer.resize(buffer.size() * 4);
    }
}

uint32_t ReadNumber(const wchar_t* section, const wchar_t* key, uint32_t fallback, const std::wstring& path)
{
    return GetPrivateProfileIntW(section, key, INT(fallback), path.c_str());
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
    s.driverType = ReadNumber(kAudio, L"driver", 0, path);
    s.audioInput = ReadText(kAudio, L"indev", L"Built-in Input", path);
    s.audioOutput = ReadText(kAudio, L"outdev", L"Built-in Output", path);
    s.inputChannel1 = ReadNumber(kAudio, L"in1", 1, path);
    s.inputChannel2 = ReadNumber(kAudio, L"in2", 2, path);
    s.outputChannel1 = ReadNumber(kAudio, L"out1", 1, path);
    s.outputChannel2 = ReadNumber(kAudio, L"out2", 2, path);
    s.bufferSize = ReadNumber(kAudio, L"buffer", 512, path);
    s.sampleRate = ReadNumber(kAudio, L"sr", 44100, path);
    s.midiInput = ReadText(kMidi, L"indev", L"no input", path);
    s.midiOutput = ReadText(kMidi, L"outdev", L"no output", path);
    s.midiInChannel = ReadNumber(kMidi, L"inchan", 0, path);
    s.midiOutChannel = ReadNumber(kMidi, L"outchan", 0, path);
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
