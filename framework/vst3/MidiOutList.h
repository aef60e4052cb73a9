#pragma once

// Pending MIDI output of the VST 3 processor: events kept in sample-offset order until the next
// process call hands them to the host. Sized at processing set-up; grows only when more events
// arrive than it was sized for.

#include "framework/core/QueueRecords.h"

namespace iplug {

class MidiOutList
{
public:
    explicit MidiOutList(int initialCapacity = 512);
    ~MidiOutList();

    MidiOutList(const MidiOutList&) = delete;
    MidiOutList& operator=(const MidiOutList&) = delete;

    // Inserts keeping the unread part ordered by offset; equal offsets keep their arrival order.
    // False when the list is full and cannot grow (the event is dropped).
    bool Insert(const IMidiEvent& event);

    // Resizes for a maximum block: room for maxBlock events rounded up to 512, or for what it
    // already holds; on allocation failure the old storage stays.
    void PrepareFor(int maxBlock);

    // Drops everything consumed so far; the unread entries move to the front.
    void Compact();

    // After a block of `blockLength` frames: consumed entries go, waiting ones move earlier.
    void FinishBlock(int blockLength);

    int Capacity() const { return capacity; }
    int Granularity() const { return granularity; }
    int ReadPosition() const { return readPosition; }
    int Count() const { return count; }
    int Unread() const { return count - readPosition; }

    // The next unread event, consumed; false when none is left.
    bool Next(IMidiEvent& out);

    const IMidiEvent* At(int index) const;

private:
    bool Reallocate(int newCapacity);

    IMidiEvent* events = nullptr;
    int capacity = 0;
    int granularity = 512;
    int readPosition = 0;
    int count = 0;
};

} // namespace iplug
