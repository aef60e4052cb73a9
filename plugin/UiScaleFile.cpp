#include "plugin/UiScaleFile.h"

#include "plugin/PresetFiles.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>

#ifdef _WIN32
#include <cwchar>
#endif

namespace {

constexpr size_t kLongestText = 64;

std::FILE* OpenFile(const std::string& path, bool write)
{
#ifdef _WIN32
    return _wfopen(std::filesystem::u8path(path).c_str(), write ? L"wb" : L"rb");
#else
    return std::fopen(path.c_str(), write ? "wb" : "rb");
#endif
}

} // namespace

float UiScaleFile::Clamp(float scale)
{
    if (!std::isfinite(scale))
        return kDefaultScale;
    return scale < kMinScale ? kMinScale : scale > kMaxScale ? kMaxScale : scale;
}

std::string UiScaleFile::Format(float scale)
{
    const long thousandths = std::lround(static_cast<double>(Clamp(scale)) * 1000.0);
    char text[32];
    std::snprintf(text, sizeof text, "%ld.%03ld\n", thousandths / 1000, thousandths % 1000);
    return text;
}

bool UiScaleFile::Parse(const std::string& text, float& value)
{
    size_t at = text.find_first_not_of(" \t\r\n\f\v");
    if (at == std::string::npos)
        return false;
    if (text[at] == '+')
        ++at;
    const char* first = text.data() + at;
    const char* last = text.data() + text.size();
    double parsed = 0.0;
    const auto result = std::from_chars(first, last, parsed, std::chars_format::general);
    if (result.ec != std::errc() || !std::isfinite(parsed))
        return false;
    value = static_cast<float>(parsed);
    return true;
}

float UiScaleFile::Read(const std::string& path)
{
    if (path.empty())
        return kDefaultScale;
    std::FILE* file = OpenFile(path, false);
    if (!file)
        return kDefaultScale;
    char buffer[kLongestText];
    const size_t got = std::fread(buffer, 1, sizeof buffer, file);
    std::fclose(file);
    float value = kDefaultScale;
    if (!Parse(std::string(buffer, got), value))
        return kDefaultScale;
    return Clamp(value);
}

bool UiScaleFile::Write(const std::string& path, float scale)
{
    if (path.empty())
        return false;
    PresetFiles::CreateFolders(std::filesystem::u8path(path).parent_path().u8string());
    std::FILE* file = OpenFile(path, true);
    if (!file)
        return false;
    const std::string text = Format(scale);
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}
