#pragma once

#include "framework/core/CriticalSection.h"
#include "framework/core/PointerList.h"
#include "framework/core/TextBuffer.h"

#include <cstdint>
#include <functional>

namespace iplug {
namespace igraphics {

// FNV-1a 64-bit hash of a key text.
uint64_t CacheKeyHash(const char* keyText);
// Hash of a cache key: the name followed by the scale as "-%.1fx".
uint64_t CacheKeyHash(const char* name, double scale);

// A process-wide cache of decoded items by name and scale, with a lock and a count of the
// drawing contexts that use it. Find, Add, Remove and Clear expect the caller to hold the lock.
class ProcessCache
{
public:
    using Deleter = std::function<void(void*)>;

    struct CacheEntry
    {
        uint64_t keyHash = 0;
        TextBuffer name;
        double scale = 1.0;
        void* item = nullptr;
    };

    explicit ProcessCache(Deleter deleter);
    ~ProcessCache();
    ProcessCache(const ProcessCache&) = delete;
    ProcessCache& operator=(const ProcessCache&) = delete;

    CriticalSection& Lock() { return lock; }
    // The first entry whose hash, scale and name all match.
    void* Find(const char* name, double scale) const;
    // Appends without checking for an equal key; the cache owns the item from here.
    void Add(void* item, const char* name, double scale);
    // Removes the first entry that holds item and deletes the item; false when none does.
    bool Remove(const void* item);
    // Deletes every item and entry, the last first.
    void Clear();
    // Drops every entry and leaves its item undeleted: for items whose deletion can no longer
    // run safely.
    void Forget();
    int Count() const { return entries.Count(); }
    bool Holds(const void* item) const;

    uint32_t UseCount() const { return useCount; }
    void Acquire() { ++useCount; }
    // Clears the cache when the last user goes.
    void ReleaseUse();

private:
    uint32_t useCount = 0;
    CriticalSection lock;
    PointerList<CacheEntry> entries;
    Deleter deleter;
};

// The process-wide caches of decoded bitmaps and parsed SVG documents. Where both are locked,
// the bitmap cache lock is taken first.
ProcessCache& BitmapCache();
ProcessCache& SvgCache();

} // namespace igraphics
} // namespace iplug
