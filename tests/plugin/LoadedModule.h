#pragma once

#include "pluginterfaces/base/ipluginbase.h"

// A VST 3 module loaded as a host loads it: LoadLibrary, InitDll, GetPluginFactory; and on
// destruction the factory released, ExitDll and FreeLibrary.
class LoadedModule
{
public:
    // relativePath: from the folder of the running program, with '/' separators.
    explicit LoadedModule(const char* relativePath);
    ~LoadedModule();
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    void* handle = nullptr;
    bool (*initDll)() = nullptr;
    bool (*exitDll)() = nullptr;
    Steinberg::IPluginFactory*(PLUGIN_API* getFactory)() = nullptr;
    Steinberg::IPluginFactory* factory = nullptr;
};
