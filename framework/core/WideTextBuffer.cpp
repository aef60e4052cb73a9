#include "framework/core/WideTextBuffer.h"

#include "framework/core/TextConversion.h"

namespace iplug {

WideTextBuffer::WideTextBuffer() : GrowBuffer(4096) {}

WideTextBuffer::WideTextBuffer(const char* utf8) : GrowBuffer(4096)
{
    const int units = utf8 ? Utf16UnitsForUtf8(utf8) : 0;
    if (units <= 0) {
        SetEmpty();
        return;
    }
    const int64_t bytes = int64_t(units) * 2;
    if (bytes > 0x7fffffff) {
        SetEmpty();
        return;
    }
    Resize(int(bytes), true);
    if (Size() != int(bytes) || ConvertUtf8ToUtf16(utf8, Get(), units) <= 0)
        SetEmpty();
}

void WideTextBuffer::SetEmpty()
{
    Resize(2, true);
    if (Size() == 2)
        Get()[0] = 0;
}

int WideTextBuffer::GetLength() const
{
    const char16_t* text = Get();
    if (!text)
        return 0;
    const int maxUnits = Size() / 2;
    int n = 0;
    while (n < maxUnits && text[n])
        ++n;
    return n;
}

} // namespace iplug
