#include "framework/vst3/Vst3Module.h"

#include <atomic>

#include <windows.h>

namespace iplug {

namespace {

std::atomic<void*> moduleHandle{nullptr};
std::atomic<int> moduleUsers{0};

} // namespace

void* Vst3Module::Handle()
{
    void* handle = moduleHandle.load();
    return handle ? handle : static_cast<void*>(GetModuleHandleW(nullptr));
}

void Vst3Module::RecordHandle(void* instance)
{
    moduleHandle.store(instance);
}

bool Vst3Module::Enter()
{
    return ++moduleUsers == 1;
}

bool Vst3Module::Leave()
{
    int users = moduleUsers.load();
    while (users > 0) {
        if (moduleUsers.compare_exchange_weak(users, users - 1))
            return users == 1;
    }
    return false;
}

int Vst3Module::Users()
{
    return moduleUsers.load();
}

} // namespace iplug

// Windows calls this when the DLL is loaded; only the handle is of interest. In an executable
// nothing references it, so it stays out of the link.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        iplug::Vst3Module::RecordHandle(instance);
    return TRUE;
}
