#pragma once

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <string>

// Points APPDATA of this process, and of the programs it starts, at a fresh folder while it
// lives: the remembered panel scale is then this test's own, whatever other tests of the
// same user write meanwhile.
class ScratchAppData
{
public:
    ScratchAppData()
    {
        wchar_t base[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, base);
        static int counter = 0;
        folder = std::filesystem::path(base)
                 / (L"marlquin-appdata-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter));
        if (const wchar_t* old = _wgetenv(L"APPDATA"))
            saved = old;
        _wputenv_s(L"APPDATA", folder.c_str());
    }
    ~ScratchAppData()
    {
        _wputenv_s(L"APPDATA", saved.c_str());
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    ScratchAppData(const ScratchAppData&) = delete;
    ScratchAppData& operator=(const ScratchAppData&) = delete;

private:
    std::filesystem::path folder;
    std::wstring saved;
};
