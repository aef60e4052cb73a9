#pragma once

#include "framework/core/GrowBuffer.h"

#include <type_traits>

namespace iplug {

// Serialised plug-in state: values appended at the end in the machine's little-endian
// form without padding or tags, read back at a caller-given position. A read returns
// the position after the value, or -1; a chain of reads that starts at -1 stays at -1.
class IStateBuffer : public GrowBuffer
{
public:
    IStateBuffer() : GrowBuffer(4096) {}

    // False (and nothing written) when n is negative or the buffer cannot grow.
    bool PutBytes(const void* bytes, int n);
    // Appends other's bytes; returns the new size, or -1 when they could not be added.
    int PutBuffer(const IStateBuffer& other);

    template <class T>
    bool Put(const T& value)
    {
        static_assert(std::is_arithmetic_v<T>, "state values are plain numbers");
        return PutBytes(&value, int(sizeof(T)));
    }

    // startPos + n, or -1 (nothing copied) when startPos or n is negative or the
    // bytes are not all there.
    int GetBytes(void* destination, int n, int startPos) const;

    template <class T>
    int Get(T* value, int startPos) const
    {
        static_assert(std::is_arithmetic_v<T>, "state values are plain numbers");
        return GetBytes(value, int(sizeof(T)), startPos);
    }
};

} // namespace iplug
