#pragma once

#include "framework/core/CriticalSection.h"

namespace iplug {

// Holds a critical section for its lifetime, so it is left on every way out.
class ScopedSection
{
public:
    explicit ScopedSection(CriticalSection& section) : section(section) { section.Enter(); }
    ~ScopedSection() { section.Leave(); }
    ScopedSection(const ScopedSection&) = delete;
    ScopedSection& operator=(const ScopedSection&) = delete;

private:
    CriticalSection& section;
};

} // namespace iplug
