#pragma once

#include <cstdint>

namespace iplug {
namespace timer_backend {

// The system side of Timer. Windows: a thread timer (SetTimer without a window) whose
// WM_TIMER the creating thread's message loop dispatches. Elsewhere: a portable table of
// timers, fired by their creating thread when it runs RunMessageLoop.
// Answers false for an id that belongs to no running timer: one stopped on another thread,
// whose system timer only its own thread can end.
using FireFunction = bool (*)(uintptr_t timerId);

// Returns the system timer id, 0 when none could be created.
uintptr_t CreateSystemTimer(uint32_t periodMs, FireFunction fire);
void KillSystemTimer(uintptr_t timerId);
void RunMessageLoop(uint32_t durationMs);

} // namespace timer_backend
} // namespace iplug
