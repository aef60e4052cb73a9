#include "framework/vst3/MidiOutList.h"

#include <cstdint>
#include <cstring>
#include <new>

namespace iplug {

namespace {

constexpr int kChunk = 512;

int64_t RoundUpToChunk(int64_t n)
{
    return (n + kChunk - 1) / kChunk * kChunk;
}

} // namespace

MidiOutList::MidiOutList(int initialCapacity)
{
    if (initialCapacity > 0)
        Reallocate(initialCapacity);
}

MidiOutList::~MidiOutList()
{
    delete[] events;
}

bool MidiOutList::Reallocate(int newCapacity)
{
    auto* fresh = new (std::nothrow) IMidiEvent[static_cast<size_t>(newCapacity)];
    if (!fresh)
        return false;
    if (count > 0)
        std::memcpy(fresh, events, sizeof(IMidiEvent) * static_cast<size_t>(count));
    delete[] events;
    events = fresh;
    capacity = newCapacity;
    return true;
}

void MidiOutList::Compact()
{
    if (readPosition <= 0)
        return;
    const int unread = count - readPosition;
    if (unread > 0)
        std::memmove(events, events + readPosition, sizeof(IMidiEvent) * static_cast<size_t>(unread));
    count = unread;
    readPosition = 0;
}

bool MidiOutList::Insert(const IMidiEvent& event)
{
    if (count >= capacity) {
        if (readPosition >= 1)
            Compact();
        else {
            const int64_t grown = (static_cast<int64_t>(capacity) / granularity + 1) * granularity;
            if (grown > INT32_MAX / static_cast<int64_t>(sizeof(IMidiEvent)) || !Reallocate(static_cast<int>(grown)))
                return false;
        }
    }
    if (count == readPosition || event.sampleOffset >= events[count - 1].sampleOffset) {
        events[count++] = event;
        return true;
    }
    // Search back for the last unread entry not later than the event and insert after it.
    int at = count - 1;
    while (at > readPosition && events[at - 1].sampleOffset > event.sampleOffset)
        --at;
    std::memmove(events + at + 1, events + at, sizeof(IMidiEvent) * static_cast<size_t>(count - at));
    events[at] = event;
    ++count;
    return true;
}

void MidiOutList::PrepareFor(int maxBlock)
{
    Compact();
    int64_t size = RoundUpToChunk(maxBlock > 0 ? maxBlock : 0);
    if (size < kChunk)
        size = kChunk;
    if (count > size)
        size = RoundUpToChunk(count);
    if (size > INT32_MAX / static_cast<int64_t>(sizeof(IMidiEvent)))
        return;
    granularity = static_cast<int>(size);
    if (size != capacity)
        Reallocate(static_cast<int>(size));
}

bool MidiOutList::Next(IMidiEvent& out)
{
    if (readPosition >= count)
        return false;
    out = events[readPosition++];
    return true;
}

void MidiOutList::FinishBlock(int blockLength)
{
    Compact();
    for (int i = 0; i < count; ++i)
        events[i].sampleOffset -= blockLength;
}

const IMidiEvent* MidiOutList::At(int index) const
{
    if (index < readPosition || index >= count)
        return nullptr;
    return &events[index];
}

} // namespace iplug
