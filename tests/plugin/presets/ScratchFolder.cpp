#include "tests/plugin/presets/ScratchFolder.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder()
{
    static std::atomic<int> serial{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const fs::path folder =
        fs::temp_directory_path() / ("marlquin-files-" + std::to_string(stamp) + "-" + std::to_string(serial++));
    fs::create_directories(folder);
    path = folder.u8string();
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ec;
    fs::remove_all(fs::u8path(path), ec);
}

void ScratchFolder::WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(fs::u8path(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

void ScratchFolder::WriteText(const std::string& path, const std::string& text)
{
    WriteFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<uint8_t> ScratchFolder::ReadFile(const std::string& path)
{
    std::ifstream in(fs::u8path(path), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool ScratchFolder::Exists(const std::string& path)
{
    std::error_code ec;
    return fs::exists(fs::u8path(path), ec);
}
