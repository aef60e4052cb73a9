#include "plugin/presets/UiScaleFile.h"

#include "plugin/presets/PresetFiles.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr size_t kLongestText = 64;

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
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
    std::string text;
    float value = kDefaultScale;
    if (path.empty() || !PresetFiles::ReadFileStart(path, kLongestText, text) || !Parse(text, value))
        return kDefaultScale;
    return Clamp(value);
}

bool UiScaleFile::Write(const std::string& path, float scale)
{
    if (path.empty())
        return false;
    PresetFiles::CreateFolders(FolderOf(path));
    const std::string text = Format(scale);
    return PresetFiles::WriteReplacing(path, std::vector<uint8_t>(text.begin(), text.end()));
}
