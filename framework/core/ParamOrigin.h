#pragma once

namespace iplug {

// Why a parameter changed; used in trace output and by the plug-in's hooks.
enum ParamOrigin : int
{
    kOriginReset = 0,
    kOriginHost = 1,
    kOriginPreset = 2,
    kOriginUI = 3,
    kOriginDelegate = 4,
    kOriginRecompile = 5,
    kOriginUnknown = 6,
};

// "Reset", "Host", "Preset", "UI", "Editor Delegate", "Recompile", "Unknown";
// a value outside the list reads as "Unknown".
inline const char* ParamOriginText(ParamOrigin origin)
{
    static const char* const kTexts[] = {"Reset", "Host", "Preset", "UI", "Editor Delegate", "Recompile", "Unknown"};
    const int i = int(origin);
    return (i >= 0 && i < 7) ? kTexts[i] : kTexts[6];
}

} // namespace iplug
