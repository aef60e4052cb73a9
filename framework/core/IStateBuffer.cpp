#include "framework/core/IStateBuffer.h"

#include <cstddef>
#include <cstring>

namespace iplug {

bool IStateBuffer::PutBytes(const void* bytes, int n)
{
    if (n < 0 || (n > 0 && !bytes))
        return false;
    if (n == 0)
        return true;
    const int old = Size();
    if (int64_t(old) + n > 0x7fffffff)
        return false;
    // The bytes may come from this buffer (appending it to itself); growing can move them.
    const auto* src = static_cast<const uint8_t*>(bytes);
    const bool inside = data && src >= data && src < data + allocated;
    const ptrdiff_t offset = inside ? src - data : 0;
    Resize(old + n, true);
    if (Size() != old + n)
        return false;
    if (inside)
        src = data + offset;
    std::memmove(data + old, src, size_t(n));
    return true;
}

int IStateBuffer::PutBuffer(const IStateBuffer& other)
{
    return PutBytes(other.Data(), other.Size()) ? Size() : -1;
}

int IStateBuffer::GetBytes(void* destination, int n, int startPos) const
{
    if (startPos < 0 || n < 0 || int64_t(startPos) + n > Size())
        return -1;
    if (n > 0) {
        if (!destination)
            return -1;
        std::memcpy(destination, data + startPos, size_t(n));
    }
    return startPos + n;
}

} // namespace iplug
