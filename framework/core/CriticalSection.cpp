#include "framework/core/CriticalSection.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace iplug {

#ifdef _WIN32

static_assert(sizeof(CRITICAL_SECTION) <= 40 && alignof(CRITICAL_SECTION) <= 8, "critical section storage too small");

namespace {
CRITICAL_SECTION* Native(unsigned char* storage)
{
    return reinterpret_cast<CRITICAL_SECTION*>(storage);
}
} // namespace

CriticalSection::CriticalSection()
{
    InitializeCriticalSection(Native(section));
}
CriticalSection::~CriticalSection()
{
    DeleteCriticalSection(Native(section));
}
void CriticalSection::Enter()
{
    EnterCriticalSection(Native(section));
}
bool CriticalSection::TryEnter()
{
    return TryEnterCriticalSection(Native(section)) != 0;
}
void CriticalSection::Leave()
{
    LeaveCriticalSection(Native(section));
}

#else

CriticalSection::CriticalSection() = default;
CriticalSection::~CriticalSection() = default;
void CriticalSection::Enter()
{
    mutex.lock();
}
bool CriticalSection::TryEnter()
{
    return mutex.try_lock();
}
void CriticalSection::Leave()
{
    mutex.unlock();
}

#endif

} // namespace iplug
