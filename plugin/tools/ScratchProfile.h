#pragma once

#include <filesystem>
#include <string>

// A scratch user profile for pictures of the panel: APPDATA points at a fresh folder whose scale
// file holds the wanted scale, so the editor opens at that scale and the user's own files are
// neither read nor changed. The folder goes and the old APPDATA comes back at the end.
class ScratchProfile
{
public:
    explicit ScratchProfile(float scale);
    ~ScratchProfile();
    ScratchProfile(const ScratchProfile&) = delete;
    ScratchProfile& operator=(const ScratchProfile&) = delete;

private:
    std::filesystem::path folder;
    std::wstring saved;
    bool hadValue = false;
};
