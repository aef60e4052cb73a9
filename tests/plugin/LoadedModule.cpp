#include "tests/plugin/LoadedModule.h"

#include <string>
#include <windows.h>

namespace {

template <class Function>
Function Entry(void* module, const char* name)
{
    // Through a plain function pointer type: only the caller knows the entry's real type.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(static_cast<HMODULE>(module), name)));
}

} // namespace

LoadedModule::LoadedModule(const char* relativePath)
{
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path(exe);
    path.erase(path.find_last_of(L"\\/") + 1);
    for (const char* c = relativePath; *c; ++c)
        path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    handle = LoadLibraryW(path.c_str());
    if (!handle)
        return;
    initDll = Entry<bool (*)()>(handle, "InitDll");
    exitDll = Entry<bool (*)()>(handle, "ExitDll");
    getFactory = Entry<Steinberg::IPluginFactory*(PLUGIN_API*)()>(handle, "GetPluginFactory");
    if (initDll)
        initDll();
    if (getFactory)
        factory = getFactory();
}

LoadedModule::~LoadedModule()
{
    if (factory)
        factory->release();
    if (exitDll)
        exitDll();
    if (handle)
        FreeLibrary(static_cast<HMODULE>(handle));
}
