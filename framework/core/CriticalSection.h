#pragma once

#ifndef _WIN32
#include <mutex>
#endif

namespace iplug {

// Re-entrant lock: a Windows critical section in the Windows build, a recursive
// mutex natively (critical sections may be entered again by the owning thread, and
// callers rely on that).
class CriticalSection
{
public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter();
    bool TryEnter();
    void Leave();

private:
#ifdef _WIN32
    // Room for a CRITICAL_SECTION without pulling windows.h into every includer;
    // the source checks the size.
    alignas(8) unsigned char section[40];
#else
    std::recursive_mutex mutex;
#endif
};

} // namespace iplug
