#include "framework/graphics/windows/VBlankClock.h"

namespace iplug::igraphics {

namespace {

using NTSTATUS_ = LONG;

struct OpenAdapterFromHdcArgs
{
    HDC dc;
    UINT adapter;
    LUID luid;
    UINT sourceId;
};

struct WaitForVBlankArgs
{
    UINT adapter;
    UINT device;
    UINT sourceId;
};

struct CloseAdapterArgs
{
    UINT adapter;
};

using OpenAdapterFn = NTSTATUS_(APIENTRY*)(OpenAdapterFromHdcArgs*);
using WaitFn = NTSTATUS_(APIENTRY*)(const WaitForVBlankArgs*);
using CloseFn = NTSTATUS_(APIENTRY*)(const CloseAdapterArgs*);

template <class Fn>
Fn LoadProc(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

class WindowsSystem : public VBlankClock::System
{
public:
    WindowsSystem() { QueryPerformanceFrequency(&frequency); }

    bool LoadFunctions() override
    {
        gdi = LoadLibraryW(L"gdi32.dll");
        if (!gdi)
            return false;
        open = LoadProc<OpenAdapterFn>(gdi, "D3DKMTOpenAdapterFromHdc");
        close = LoadProc<CloseFn>(gdi, "D3DKMTCloseAdapter");
        wait = LoadProc<WaitFn>(gdi, "D3DKMTWaitForVerticalBlankEvent");
        return open && close && wait;
    }

    void FreeFunctions() override
    {
        if (gdi)
            FreeLibrary(gdi);
        gdi = nullptr;
    }

    bool OpenAdapter(HWND window, uint32_t& adapter, uint32_t& sourceId) override
    {
        HDC dc = GetDC(window);
        OpenAdapterFromHdcArgs args = {};
        args.dc = dc;
        const bool opened = dc && open(&args) == 0;
        if (dc)
            ReleaseDC(window, dc);
        adapter = args.adapter;
        sourceId = args.sourceId;
        return opened;
    }

    bool WaitForVBlank(uint32_t adapter, uint32_t sourceId) override
    {
        const WaitForVBlankArgs args = {adapter, 0, sourceId};
        return wait(&args) == 0;
    }

    void CloseAdapter(uint32_t adapter) override
    {
        const CloseAdapterArgs args = {adapter};
        close(&args);
    }

    void Sleep(DWORD ms) override { ::Sleep(ms); }
    DWORD TickCount() override { return GetTickCount(); }

    double NowMs() override
    {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
    }

    bool Post(HWND window, UINT message, WPARAM count) override { return PostMessageW(window, message, count, 0) != 0; }

private:
    HMODULE gdi = nullptr;
    OpenAdapterFn open = nullptr;
    CloseFn close = nullptr;
    WaitFn wait = nullptr;
    LARGE_INTEGER frequency;
};

} // namespace

std::unique_ptr<VBlankClock::System> VBlankClock::MakeSystem()
{
    return std::make_unique<WindowsSystem>();
}

VBlankClock::~VBlankClock()
{
    Stop();
}

bool VBlankClock::Start(HWND window, std::unique_ptr<System> system)
{
    Stop();
    // A thread that outlives its stop may still be running when the host unloads the
    // plug-in: it keeps the module loaded until it has ended.
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(&VBlankClock::ThreadProc)), &module))
        return false;
    state = std::make_shared<State>(window, std::move(system));
    auto* start = new ThreadStart{state, module};
    thread = CreateThread(nullptr, 0, ThreadProc, start, 0, nullptr);
    if (!thread) {
        delete start;
        FreeLibrary(module);
        state.reset();
        return false;
    }
    return true;
}

void VBlankClock::Stop(DWORD timeoutMs)
{
    if (!thread)
        return;
    state->stop.store(true);
    WaitForSingleObject(thread, timeoutMs);
    CloseHandle(thread);
    thread = nullptr;
    state.reset();
}

DWORD WINAPI VBlankClock::ThreadProc(void* param)
{
    HMODULE module = static_cast<ThreadStart*>(param)->module;
    {
        std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(param));
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
        Run(*start->state);
    }
    FreeLibraryAndExitThread(module, 0);
}

void VBlankClock::Tick(State& state, double& lastPost)
{
    const double now = state.system->NowMs();
    if (now - lastPost < kMinIntervalMs)
        state.system->Sleep(static_cast<DWORD>(kMinIntervalMs - (now - lastPost)) + 1);
    lastPost = state.system->NowMs();
    const uint32_t count = state.count.load() + 1;
    state.count.store(count);
    // After a stop that gave up waiting, the window may be gone and its handle reused.
    if (state.stop.load() || state.pending.exchange(true))
        return;
    if (!state.system->Post(state.window, kRedrawMessage, count))
        state.pending.store(false);
}

void VBlankClock::Run(State& state)
{
    System& system = *state.system;
    double lastPost = -kMinIntervalMs;
    if (!system.LoadFunctions()) {
        while (!state.stop.load()) {
            system.Sleep(kFallbackIntervalMs);
            Tick(state, lastPost);
        }
        system.FreeFunctions();
        return;
    }

    bool adapterOpen = false;
    uint32_t adapter = 0, sourceId = 0;
    DWORD lastFailure = 0;
    while (!state.stop.load()) {
        if (!adapterOpen) {
            // Unsigned arithmetic: also right across the 49-day wrap of the tick count.
            if (lastFailure != 0 && system.TickCount() - lastFailure < kAdapterRetryMs) {
                system.Sleep(kFallbackIntervalMs);
                Tick(state, lastPost);
                continue;
            }
            if (!system.OpenAdapter(state.window, adapter, sourceId)) {
                lastFailure = system.TickCount();
                if (lastFailure == 0)
                    lastFailure = 1;
                system.Sleep(kFallbackIntervalMs);
                Tick(state, lastPost);
                continue;
            }
            lastFailure = 0;
            adapterOpen = true;
        }
        if (!system.WaitForVBlank(adapter, sourceId)) {
            system.CloseAdapter(adapter);
            adapterOpen = false;
            system.Sleep(kFallbackIntervalMs);
        }
        Tick(state, lastPost);
    }
    if (adapterOpen)
        system.CloseAdapter(adapter);
    system.FreeFunctions();
}

} // namespace iplug::igraphics
