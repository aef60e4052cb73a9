#pragma once

#include "framework/core/GrowBuffer.h"

#include <cstring>
#include <type_traits>

namespace iplug {
namespace igraphics {

// Growable array of plain records on a GrowBuffer: appending copies the record in, the count
// is the used size over the record size.
template <class T>
class RecordList : public GrowBuffer
{
    static_assert(std::is_trivially_copyable<T>::value, "records are copied bytewise");

public:
    RecordList() : GrowBuffer(int(sizeof(T)) * 16) {}

    int Count() const { return Size() / int(sizeof(T)); }
    // False when the list could not grow.
    bool Append(const T& item)
    {
        const int old = Size();
        Resize(old + int(sizeof(T)), false);
        if (Size() != old + int(sizeof(T)))
            return false;
        std::memcpy(data + old, &item, sizeof(T));
        return true;
    }
    T& operator[](int index) { return reinterpret_cast<T*>(data)[index]; }
    const T& operator[](int index) const { return reinterpret_cast<const T*>(data)[index]; }
    T* Get(int index) { return index >= 0 && index < Count() ? &(*this)[index] : nullptr; }
    void RemoveAt(int index)
    {
        if (index < 0 || index >= Count())
            return;
        T* items = reinterpret_cast<T*>(data);
        std::memmove(items + index, items + index + 1, sizeof(T) * size_t(Count() - index - 1));
        Resize(Size() - int(sizeof(T)), false);
    }
    void Clear() { Resize(0, false); }
};

} // namespace igraphics
} // namespace iplug
