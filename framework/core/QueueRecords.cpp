#include "framework/core/QueueRecords.h"

#include <cstring>

namespace iplug {

bool MakeSysexQueueEntry(const ISysexEvent& event, SysexQueueEntry& entry)
{
    if (event.size < 0 || event.size > kSysexEntryMaxBytes)
        return false;
    entry.sampleOffset = event.sampleOffset;
    entry.size = event.size;
    std::memset(entry.data, 0, sizeof(entry.data));
    if (event.data && event.size > 0)
        std::memcpy(entry.data, event.data, size_t(event.size));
    return true;
}

ISysexEvent SysexEventFor(const SysexQueueEntry& entry)
{
    ISysexEvent event;
    event.sampleOffset = entry.sampleOffset;
    event.size = entry.size;
    event.data = entry.data;
    return event;
}

} // namespace iplug
