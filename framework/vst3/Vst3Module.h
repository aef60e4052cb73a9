#pragma once

// Module-level glue of a VST 3 plug-in DLL: the instance handle recorded when Windows loads the
// module, the user count behind InitDll/ExitDll, and the export marker for the entry points.

// Entry points are plain C symbols so hosts find them by their undecorated names.
#define VST3_MODULE_EXPORT extern "C" __declspec(dllexport)

namespace iplug {

class Vst3Module
{
public:
    // The module's own instance handle (an HINSTANCE); the handle of the executable when the
    // code is not running inside a DLL that recorded one.
    static void* Handle();

    // Called by the DLL entry on process attach.
    static void RecordHandle(void* instance);

    // InitDll: counts one more user; true only for the first.
    static bool Enter();

    // ExitDll: counts one user less; true when the last one left. Never goes below zero.
    static bool Leave();

    static int Users();
};

} // namespace iplug
