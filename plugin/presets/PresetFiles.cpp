#include "plugin/presets/PresetFiles.h"

#include "plugin/state/StateChunk.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

// Paths cross into the file system as wide text on Windows. A text that is not UTF-8 gives an
// empty path, which every file call refuses, instead of the exception the library's own
// conversion throws.
fs::path NativePath(const std::string& utf8)
{
#ifdef _WIN32
    if (utf8.empty() || utf8.size() > static_cast<size_t>(INT_MAX))
        return {};
    const int units =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (units <= 0)
        return {};
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), wide.data(), units);
    return fs::path(std::move(wide));
#else
    return fs::path(utf8);
#endif
}

#ifdef _WIN32
// Readers let others delete the file while they hold it, so that a writer replacing it (another
// instance saving) never makes the open fail.
std::FILE* OpenForReading(const fs::path& path)
{
    const HANDLE handle =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (descriptor == -1) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = _fdopen(descriptor, "rb");
    if (!file)
        _close(descriptor);
    return file;
}
#endif

// Closes the file when the scope ends; the explicit Close reports whether buffered data reached
// the disk.
class FileHandle
{
public:
    FileHandle(const std::string& path, bool write)
    {
#ifdef _WIN32
        file = write ? _wfopen(NativePath(path).c_str(), L"wb") : OpenForReading(NativePath(path));
#else
        file = std::fopen(path.c_str(), write ? "wb" : "rb");
#endif
    }
    ~FileHandle()
    {
        Close();
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    std::FILE* Get() const
    {
        return file;
    }
    bool Close()
    {
        if (!file)
            return true;
        const bool ok = std::fclose(file) == 0;
        file = nullptr;
        return ok;
    }

    // Size of the file, or -1 when it cannot be told; the position goes back to the start.
    int64_t Size()
    {
#ifdef _WIN32
        if (_fseeki64(file, 0, SEEK_END) != 0)
            return -1;
        const int64_t size = _ftelli64(file);
        if (_fseeki64(file, 0, SEEK_SET) != 0)
            return -1;
#else
        if (fseeko(file, 0, SEEK_END) != 0)
            return -1;
        const int64_t size = ftello(file);
        if (fseeko(file, 0, SEEK_SET) != 0)
            return -1;
#endif
        return size;
    }

private:
    std::FILE* file = nullptr;
};

// The name's last extension is the preset one, as the file system's extension rule finds it: a
// name whose only dot comes first has no extension.
bool HasPresetExtension(const std::string& name)
{
    const size_t length = std::strlen(PresetFiles::kExtension);
    return name.size() > length && name.compare(name.size() - length, length, PresetFiles::kExtension) == 0;
}

uint32_t ReadWord(const std::vector<uint8_t>& bytes, size_t at)
{
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8
           | static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

bool MoveReplacing(const std::string& from, const std::string& to)
{
#ifdef _WIN32
    // A reader holding the target (an editor opening in another instance, a virus scanner) makes
    // the replace fail for a moment; short retries let the write land.
    constexpr int kAttempts = 50;
    constexpr DWORD kPauseMs = 2;
    const fs::path source = NativePath(from);
    const fs::path target = NativePath(to);
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD error = GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt == kAttempts)
            return false;
        Sleep(kPauseMs);
    }
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

void RemoveQuietly(const std::string& path)
{
    std::error_code ec;
    fs::remove(NativePath(path), ec);
}

} // namespace

uint64_t PresetFiles::SizeLimit()
{
    return std::max<uint64_t>(kLegacySizeLimit,
                              static_cast<uint64_t>(StateChunk::kEmptyBytes) + FrozenSection::kMaxBlobBytes);
}

bool PresetFiles::Utf8Name(const std::filesystem::path& name, std::string& utf8)
{
#ifdef _WIN32
    const std::wstring& wide = name.native();
    utf8.clear();
    if (wide.empty())
        return true;
    if (wide.size() > static_cast<size_t>(INT_MAX))
        return false;
    const int bytes = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), static_cast<int>(wide.size()),
                                          nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return false;
    utf8.resize(static_cast<size_t>(bytes));
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), static_cast<int>(wide.size()), utf8.data(), bytes,
                        nullptr, nullptr);
    return true;
#else
    utf8 = name.native();
    return true;
#endif
}

std::string PresetFiles::FileStem(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name == "." || name == "..")
        return name;
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return name;
    return name.substr(0, dot);
}

std::string PresetFiles::PresetGroupOf(const std::string& name)
{
    if (name.size() < 3)
        return {};
    const size_t at = name.find(" - ");
    return at == std::string::npos ? std::string() : name.substr(0, at);
}

bool PresetFiles::PresetFileExists(const std::string& folder, const std::string& name)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(NativePath(Join(folder, name + kExtension)), ec));
}

std::string PresetFiles::UniquePresetName(const std::string& base, const std::string& folder)
{
    if (!PresetFileExists(folder, base))
        return base;
    for (int n = 2; n <= 100; ++n) {
        const std::string candidate = base + " (" + std::to_string(n) + ")";
        if (!PresetFileExists(folder, candidate))
            return candidate;
    }
    return {};
}

std::vector<std::string> PresetFiles::ListUserPresets(const std::string& folder)
{
    std::vector<std::string> paths;
    if (folder.empty())
        return paths;
    std::error_code ec;
    fs::directory_iterator it(NativePath(folder), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code entryError;
        if (!it->is_regular_file(entryError) || entryError)
            continue;
        std::string name;
        if (!Utf8Name(it->path().filename(), name) || !HasPresetExtension(name))
            continue;
        paths.push_back(Join(folder, name));
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

bool PresetFiles::LooksLikePreset(const std::vector<uint8_t>& bytes)
{
    if (bytes.size() < 8 || ReadWord(bytes, 0) != ParamBlock::kMagic)
        return false;
    const uint64_t count = ReadWord(bytes, 4);
    return count >= ParamBlock::kMinCount && bytes.size() >= 8 + 8 * count;
}

PresetFiles::ReadResult PresetFiles::ReadPresetFile(const std::string& path, std::vector<uint8_t>& bytes)
{
    FileHandle file(path, false);
    if (!file.Get())
        return ReadResult::kCannotOpen;
    const int64_t size = file.Size();
    if (size < 0)
        return ReadResult::kCannotRead;
    if (size < 1 || static_cast<uint64_t>(size) > SizeLimit())
        return ReadResult::kNotPreset;
    std::vector<uint8_t> content;
    try {
        content.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        return ReadResult::kCannotRead;
    }
    if (std::fread(content.data(), 1, content.size(), file.Get()) != content.size())
        return ReadResult::kCannotRead;
    if (!LooksLikePreset(content))
        return ReadResult::kNotPreset;
    bytes.swap(content);
    return ReadResult::kOk;
}

bool PresetFiles::ReadFileStart(const std::string& path, size_t most, std::string& text)
{
    FileHandle file(path, false);
    if (!file.Get())
        return false;
    text.resize(most);
    const size_t got = std::fread(text.data(), 1, most, file.Get());
    text.resize(got);
    return !std::ferror(file.Get());
}

bool PresetFiles::WriteReplacing(const std::string& path, const std::vector<uint8_t>& bytes)
{
    const std::string temp = path + kTemporarySuffix;
    {
        FileHandle file(temp, true);
        if (!file.Get())
            return false;
        const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.Get()) == bytes.size();
        if (!file.Close() || !written) {
            RemoveQuietly(temp);
            return false;
        }
    }
    if (!MoveReplacing(temp, path)) {
        RemoveQuietly(temp);
        return false;
    }
    return true;
}

void PresetFiles::CreateFolders(const std::string& folder)
{
    if (folder.empty())
        return;
    std::error_code ec;
    fs::create_directories(NativePath(folder), ec);
}

std::string PresetFiles::Join(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    const char last = folder.back();
    return last == '/' || last == '\\' ? folder + name : folder + "/" + name;
}
