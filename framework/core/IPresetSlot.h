#pragma once

#include "framework/core/IStateBuffer.h"

namespace iplug {

constexpr int kPresetNameMaxLength = 255;

// One preset of the plug-in: whether it holds a preset, its name and its state bytes in the
// format of IPluginBase::SaveState.
class IPresetSlot
{
public:
    IPresetSlot();

    bool IsInitialised() const { return initialised; }
    const char* GetName() const { return name; }
    IStateBuffer& GetData() { return data; }
    const IStateBuffer& GetData() const { return data; }

    // Takes at most 255 characters of the name.
    void SetName(const char* newName);
    // Marks the slot as holding a preset with this name and these state bytes (appended to
    // whatever it holds). False when the bytes could not be stored.
    bool Fill(const char* newName, const IStateBuffer& state);
    void MarkInitialised() { initialised = true; }

private:
    bool initialised = false;
    char name[kPresetNameMaxLength + 1];
    IStateBuffer data;
};

} // namespace iplug
