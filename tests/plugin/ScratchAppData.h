#pragma once

#include "tests/plugin/presets/ScratchFolder.h"

#include <string>

// Points APPDATA at a fresh scratch folder for its lifetime, so tests that open editors or save
// presets neither read nor leave anything in the user's own profile; the old value comes back.
class ScratchAppData
{
public:
    ScratchAppData();
    ~ScratchAppData();
    ScratchAppData(const ScratchAppData&) = delete;
    ScratchAppData& operator=(const ScratchAppData&) = delete;

    const ScratchFolder& Folder() const { return folder; }

private:
    ScratchFolder folder;
    std::wstring saved;
    bool hadValue = false;
};
