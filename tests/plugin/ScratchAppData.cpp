#include "tests/plugin/ScratchAppData.h"

#include <cstdlib>
#include <filesystem>

ScratchAppData::ScratchAppData()
{
    if (const wchar_t* old = _wgetenv(L"APPDATA")) {
        saved = old;
        hadValue = true;
    }
    _wputenv_s(L"APPDATA", std::filesystem::u8path(folder.Path()).wstring().c_str());
}

ScratchAppData::~ScratchAppData()
{
    // An empty value removes the variable.
    _wputenv_s(L"APPDATA", hadValue ? saved.c_str() : L"");
}
