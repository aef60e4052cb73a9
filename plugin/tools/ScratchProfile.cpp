#include "plugin/tools/ScratchProfile.h"

#include "plugin/presets/UiScaleFile.h"
#include "plugin/presets/UserDataFolder.h"

#include <windows.h>

#include <cstdlib>

ScratchProfile::ScratchProfile(float scale)
{
    if (const wchar_t* old = _wgetenv(L"APPDATA")) {
        saved = old;
        hadValue = true;
    }
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    folder = std::filesystem::path(temp) / ("marlquin-capture-" + std::to_string(GetCurrentProcessId()));
    _wputenv_s(L"APPDATA", folder.c_str());
    UiScaleFile::Write(UserDataFolder::UiScalePath(), scale);
}

ScratchProfile::~ScratchProfile()
{
    // An empty value removes the variable.
    _wputenv_s(L"APPDATA", hadValue ? saved.c_str() : L"");
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}
