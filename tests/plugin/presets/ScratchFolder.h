#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
// Paths are UTF-8, as the code under test takes them.
class ScratchFolder
{
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path; }
    std::string Join(const std::string& name) const { return path + "/" + name; }

    static void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
    static void WriteText(const std::string& path, const std::string& text);
    static std::vector<uint8_t> ReadFile(const std::string& path);
    static bool Exists(const std::string& path);

private:
    std::string path;
};
