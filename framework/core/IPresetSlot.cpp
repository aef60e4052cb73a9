#include "framework/core/IPresetSlot.h"

#include <cstdio>

namespace iplug {

IPresetSlot::IPresetSlot()
{
    std::snprintf(name, sizeof(name), "%s", "empty");
}

void IPresetSlot::SetName(const char* newName)
{
    std::snprintf(name, sizeof(name), "%s", newName ? newName : "");
}

bool IPresetSlot::Fill(const char* newName, const IStateBuffer& state)
{
    initialised = true;
    SetName(newName);
    return data.PutBuffer(state) >= 0;
}

} // namespace iplug
