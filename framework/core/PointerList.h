#pragma once

#include "framework/core/GrowBuffer.h"

#include <algorithm>
#include <cstring>

namespace iplug {

// List of pointers on a GrowBuffer. It owns nothing: owners delete the objects
// (DeleteAll does that for owners that hold them with plain new).
template <class T>
class PointerList : public GrowBuffer
{
public:
    PointerList() : GrowBuffer(4096) {}

    int Count() const { return Size() / int(sizeof(T*)); }

    // Null for an empty list and for any index outside 0..Count-1.
    T* Get(int index) const
    {
        if (index < 0 || index >= Count() || !Data())
            return nullptr;
        return Items()[index];
    }

    // Returns the pointer even when the list could not grow (then it is not added).
    T* Append(T* item)
    {
        const int old = Size();
        if (int64_t(old) + int64_t(sizeof(T*)) > int64_t(0x7fffffff))
            return item;
        Resize(old + int(sizeof(T*)), false);
        if (Size() == old + int(sizeof(T*)))
            Items()[Count() - 1] = item;
        return item;
    }

    // The index is clamped to 0..Count.
    T* InsertAt(int index, T* item)
    {
        const int count = Count();
        index = std::clamp(index, 0, count);
        const int old = Size();
        if (int64_t(old) + int64_t(sizeof(T*)) > int64_t(0x7fffffff))
            return item;
        Resize(old + int(sizeof(T*)), false);
        if (Size() != old + int(sizeof(T*)))
            return item;
        T** items = Items();
        std::memmove(items + index + 1, items + index, sizeof(T*) * size_t(count - index));
        items[index] = item;
        return item;
    }

    // Takes the entry out of the list without deleting it; null when out of range.
    T* RemoveAt(int index)
    {
        if (index < 0 || index >= Count())
            return nullptr;
        T** items = Items();
        T* item = items[index];
        std::memmove(items + index, items + index + 1, sizeof(T*) * size_t(Count() - index - 1));
        Resize(Size() - int(sizeof(T*)), false);
        return item;
    }

    int Find(const T* item) const
    {
        for (int i = 0; i < Count(); ++i)
            if (Items()[i] == item)
                return i;
        return -1;
    }

    // Deletes the objects from the last to the first, shortening the list after each
    // deletion; the allocation stays until the list is destroyed.
    void DeleteAll()
    {
        for (int i = Count() - 1; i >= 0; --i) {
            delete Items()[i];
            Resize(i * int(sizeof(T*)), false);
        }
    }

private:
    T** Items() { return reinterpret_cast<T**>(data); }
    T* const* Items() const { return reinterpret_cast<T* const*>(data); }
};

} // namespace iplug
