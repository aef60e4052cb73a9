#pragma once

#include <cstdint>

namespace iplug {

// A timed MIDI channel message.
struct IMidiEvent
{
    int32_t sampleOffset = 0;
    uint8_t status = 0;
    uint8_t data1 = 0;
    uint8_t data2 = 0;
};

// A sysex message as passed to operations; it does not own its bytes.
struct ISysexEvent
{
    int32_t sampleOffset = 0;
    int32_t size = 0;
    const uint8_t* data = nullptr;
};

constexpr int kSysexEntryMaxBytes = 512;

// A sysex message as queued, bytes included.
struct SysexQueueEntry
{
    int32_t sampleOffset = 0;
    int32_t size = 0;
    uint8_t data[kSysexEntryMaxBytes] = {};
};

struct QueuedParamValue
{
    int32_t paramIdx = 0;
    double value = 0.0;
};

// Fills entry from event: the bytes copied, or all zero when the event has none.
// False (entry untouched) for a negative size or one that does not fit an entry.
bool MakeSysexQueueEntry(const ISysexEvent& event, SysexQueueEntry& entry);

// The queued entry seen as an event; the bytes stay owned by the entry.
ISysexEvent SysexEventFor(const SysexQueueEntry& entry);

} // namespace iplug
