#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>

namespace iplug::igraphics {

// The redraw clock of Windows 8 and later: a time-critical thread that waits for every
// vertical blank of the window's display and posts the redraw message to the window.
// Without the system's vertical-blank wait, or while the display adapter cannot be
// opened, it posts every 16 ms and retries the adapter at most once a second.
//
// A vertical-blank wait can hang (a display that stopped answering), and the stop runs on
// the host's UI thread: it waits only briefly. The thread then finishes on its own, with
// its own share of the reference-counted state and a reference to the module its code is
// in, and posts nothing once told to stop. At most one redraw message is queued at a
// time: a blocked UI thread never fills its message queue.
class VBlankClock
{
public:
    static constexpr UINT kRedrawMessage = WM_USER + 1;
    static constexpr DWORD kFallbackIntervalMs = 16;
    static constexpr DWORD kAdapterRetryMs = 1000;
    // A healthy thread ends within one pass (one blank or 16 ms).
    static constexpr DWORD kStopWaitMs = 200;
    // A vertical-blank wait that returns at once (a broken driver) must not spin.
    static constexpr double kMinIntervalMs = 4.0;

    // Everything the loop asks of the system; tests replace it.
    class System
    {
    public:
        virtual ~System() = default;
        // The three gdi32 vertical-blank functions; false when any is missing.
        virtual bool LoadFunctions() = 0;
        virtual void FreeFunctions() = 0;
        virtual bool OpenAdapter(HWND window, uint32_t& adapter, uint32_t& sourceId) = 0;
        virtual bool WaitForVBlank(uint32_t adapter, uint32_t sourceId) = 0;
        virtual void CloseAdapter(uint32_t adapter) = 0;
        virtual void Sleep(DWORD ms) = 0;
        virtual DWORD TickCount() = 0;
        // A fine clock in milliseconds for the minimum interval.
        virtual double NowMs() = 0;
        virtual bool Post(HWND window, UINT message, WPARAM count) = 0;
    };
    static std::unique_ptr<System> MakeSystem();

    struct State
    {
        explicit State(HWND window, std::unique_ptr<System> system) : window(window), system(std::move(system)) {}
        const HWND window;
        const std::unique_ptr<System> system;
        std::atomic<bool> stop{false};
        std::atomic<uint32_t> count{0};
        std::atomic<bool> pending{false};
    };

    VBlankClock() = default;
    ~VBlankClock();
    VBlankClock(const VBlankClock&) = delete;
    VBlankClock& operator=(const VBlankClock&) = delete;

    // Starts the thread for window; false when it could not be created.
    bool Start(HWND window, std::unique_ptr<System> system = MakeSystem());
    // Tells the thread to end and waits up to timeoutMs for it; the handle is closed
    // either way.
    void Stop(DWORD timeoutMs = kStopWaitMs);
    bool IsRunning() const { return thread != nullptr; }

    // Number of vertical blanks counted so far (wraps at 2^32).
    uint32_t Count() const { return state ? state->count.load() : 0; }
    // The UI thread took the redraw message: the next blank may post again.
    void MessageTaken()
    {
        if (state)
            state->pending.store(false);
    }

    // The thread's body, public so that tests can drive it on their own thread.
    static void Run(State& state);

private:
    // What the thread owns: its share of the state and its reference to the module.
    struct ThreadStart
    {
        std::shared_ptr<State> state;
        HMODULE module;
    };
    static DWORD WINAPI ThreadProc(void* param);
    static void Tick(State& state, double& lastPost);

    std::shared_ptr<State> state;
    HANDLE thread = nullptr;
};

} // namespace iplug::igraphics
