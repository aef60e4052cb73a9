#include "framework/graphics/ProcessCache.h"

#include "framework/graphics/APIBitmap.h"

#include <cstdio>
#include <cstring>

namespace iplug {
namespace igraphics {

uint64_t CacheKeyHash(const char* keyText)
{
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(keyText); p && *p; ++p) {
        hash ^= *p;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

uint64_t CacheKeyHash(const char* name, double scale)
{
    TextBuffer key;
    const char* text = name ? name : "";
    key.SetFormatted(int(std::strlen(text)) + 64, "%s-%.1fx", text, scale);
    return CacheKeyHash(key.Get());
}

ProcessCache::ProcessCache(Deleter itemDeleter) : deleter(std::move(itemDeleter)) {}

ProcessCache::~ProcessCache()
{
    Clear();
}

void* ProcessCache::Find(const char* name, double scale) const
{
    const uint64_t hash = CacheKeyHash(name, scale);
    for (int i = 0; i < entries.Count(); ++i) {
        const CacheEntry* e = entries.Get(i);
        if (e->keyHash == hash && e->scale == scale && std::strcmp(e->name.Get(), name ? name : "") == 0)
            return e->item;
    }
    return nullptr;
}

void ProcessCache::Add(void* item, const char* name, double scale)
{
    auto* entry = new CacheEntry;
    entry->keyHash = CacheKeyHash(name, scale);
    entry->name.Set(name ? name : "");
    entry->scale = scale;
    entry->item = item;
    const int before = entries.Count();
    entries.Append(entry);
    if (entries.Count() == before) {
        // The list could not grow: the cache cannot keep the item, so it does not take it.
        delete entry;
    }
}

bool ProcessCache::Holds(const void* item) const
{
    for (int i = 0; i < entries.Count(); ++i)
        if (entries.Get(i)->item == item)
            return true;
    return false;
}

bool ProcessCache::Remove(const void* item)
{
    for (int i = 0; i < entries.Count(); ++i) {
        if (entries.Get(i)->item == item) {
            CacheEntry* e = entries.RemoveAt(i);
            deleter(e->item);
            delete e;
            return true;
        }
    }
    return false;
}

void ProcessCache::Clear()
{
    for (int i = entries.Count() - 1; i >= 0; --i) {
        CacheEntry* e = entries.RemoveAt(i);
        deleter(e->item);
        delete e;
    }
}

void ProcessCache::Forget()
{
    for (int i = entries.Count() - 1; i >= 0; --i)
        delete entries.RemoveAt(i);
}

void ProcessCache::ReleaseUse()
{
    if (useCount > 0 && --useCount == 0)
        Clear();
}

ProcessCache& BitmapCache()
{
    static ProcessCache cache([](void* item) { delete static_cast<APIBitmap*>(item); });
    return cache;
}

} // namespace igraphics
} // namespace iplug
