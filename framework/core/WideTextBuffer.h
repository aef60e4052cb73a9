#pragma once

#include "framework/core/GrowBuffer.h"

namespace iplug {

// NUL-terminated UTF-16 text made from UTF-8 text for the Windows calls. Text that
// fails to convert becomes the empty wide text.
class WideTextBuffer : public GrowBuffer
{
public:
    WideTextBuffer();
    explicit WideTextBuffer(const char* utf8);

    // Null only while nothing was ever converted into the buffer.
    const char16_t* Get() const { return reinterpret_cast<const char16_t*>(Data()); }
#ifdef _WIN32
    const wchar_t* GetW() const
    {
        return reinterpret_cast<const wchar_t*>(Data());
    }
    wchar_t* GetW()
    {
        return reinterpret_cast<wchar_t*>(Data());
    }
#endif
    char16_t* Get()
    {
        return reinterpret_cast<char16_t*>(Data());
    }
    // Units before the terminator.
    int GetLength() const;

private:
    void SetEmpty();
};

} // namespace iplug
