#include "framework/core/ModuleResources.h"
#include "framework/core/ScopedSection.h"
#include "framework/core/WideTextBuffer.h"
#include "framework/graphics/IGraphics.h"
#include "framework/graphics/ProcessCache.h"
#include "framework/graphics/svg/SvgDocument.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace iplug {
namespace igraphics {

ProcessCache& SvgCache()
{
    static ProcessCache cache([](void* item) { nsvgDelete(static_cast<NSVGimage*>(item)); });
    return cache;
}

namespace {

// The text after the last '.', or "" when there is none.
const char* ExtensionOf(const char* name)
{
    const char* dot = std::strrchr(name, '.');
    return dot ? dot + 1 : "";
}

// name with "@<scale>x" inserted before the extension of its last path component.
void ScaledName(const char* name, int scale, TextBuffer& out)
{
    const char* slash = std::strrchr(name, '/');
    const char* backslash = std::strrchr(name, '\\');
    const char* lastSep = slash > backslash ? slash : backslash;
    const char* dot = std::strrchr(name, '.');
    const int length = int(std::strlen(name));
    const int stem = dot && (!lastSep || dot > lastSep) ? int(dot - name) : length;
    TextBuffer stemText;
    stemText.Set(name, stem > 0 ? stem : 0);
    if (stem == 0)
        stemText.Set("");
    out.SetFormatted(length + 3 + 16, "%s@%dx%s", stemText.Get(), scale, name + stem);
}

} // namespace

std::vector<int> IGraphics::ScaleSearchOrder(int targetScale)
{
    std::vector<int> order;
    if (targetScale < 1)
        return order;
    for (int c = targetScale; c >= 1;) {
        order.push_back(c);
        if (c == targetScale && targetScale != 3)
            c = 3;
        else if (c == targetScale + 1)
            c = targetScale - 1;
        else
            c = c - 1;
    }
    return order;
}

int IGraphics::FindScaledResource(const char* name, const char* extension, TextBuffer& path, int targetScale,
                                  int& foundScale)
{
    if (!name || targetScale < 1)
        return kNotFound;
    TextBuffer candidate;
    for (int scale : ScaleSearchOrder(targetScale)) {
        if (scale == 1)
            candidate.Set(name);
        else
            ScaledName(name, scale, candidate);
        const int location = FindResourceOrFile(candidate.Get(), extension, path, GetModuleInstance());
        if (location > kNotFound) {
            foundScale = scale;
            return location;
        }
    }
    return kNotFound;
}

APIBitmap* IGraphics::SearchBitmapCache(const char* name, int targetScale, int& foundScale)
{
    ScopedSection lock(BitmapCache().Lock());
    for (int scale : ScaleSearchOrder(targetScale)) {
        if (void* item = BitmapCache().Find(name, double(scale))) {
            foundScale = scale;
            return static_cast<APIBitmap*>(item);
        }
    }
    return nullptr;
}

IBitmapRef IGraphics::MakeBitmapRef(APIBitmap* bitmap, const char* name, int frameCount, bool framesHorizontal) const
{
    IBitmapRef ref;
    if (!bitmap)
        return ref;
    ref.bitmap = bitmap;
    const float scale = bitmap->GetScale();
    if (scale > 0.0f) {
        ref.width = int(float(bitmap->GetWidth()) / scale);
        ref.height = int(float(bitmap->GetHeight()) / scale);
    }
    ref.frameCount = frameCount;
    ref.framesHorizontal = framesHorizontal;
    ref.name.Set(name ? name : "");
    return ref;
}

IBitmapRef IGraphics::FinishBitmapLoad(APIBitmap* bitmap, bool isNew, const char* name, int frameCount,
                                       bool framesHorizontal, int targetScale)
{
    IBitmapRef ref = MakeBitmapRef(bitmap, name, frameCount, framesHorizontal);
    if (bitmap->GetScale() == float(targetScale)) {
        if (isNew)
            KeepBitmapCached(ref, name);
        return ref;
    }
    IBitmapRef rescaled = RescaleBitmap(ref, name, targetScale);
    if (isNew)
        delete bitmap;
    return rescaled;
}

bool IGraphics::FindCachedOrRefuse(const char* name, int frameCount, bool framesHorizontal, int& targetScale,
                                   IBitmapRef& result)
{
    result = IBitmapRef();
    if (!name)
        return true;
    if (targetScale == 0)
        targetScale = int(std::ceil(screenScale));
    if (void* cached = BitmapCache().Find(name, double(targetScale))) {
        result = MakeBitmapRef(static_cast<APIBitmap*>(cached), name, frameCount, framesHorizontal);
        return true;
    }
    return !SupportsImageExtension(ExtensionOf(name));
}

IBitmapRef IGraphics::LoadBitmapByName(const char* name, int frameCount, bool framesHorizontal, int targetScale)
{
    ScopedSection lock(BitmapCache().Lock());
    IBitmapRef cached;
    if (FindCachedOrRefuse(name, frameCount, framesHorizontal, targetScale, cached))
        return cached;
    const char* extension = ExtensionOf(name);
    TextBuffer path;
    int foundScale = 0;
    const int location = FindScaledResource(name, extension, path, targetScale, foundScale);
    APIBitmap* bitmap = nullptr;
    bool isNew = false;
    if (location > kNotFound) {
        if (foundScale != targetScale)
            bitmap = static_cast<APIBitmap*>(BitmapCache().Find(name, double(foundScale)));
        if (!bitmap) {
            bitmap = CreateBackendBitmapFromLocation(path.Get(), foundScale, location, extension);
            isNew = true;
        }
    } else {
        bitmap = SearchBitmapCache(name, targetScale, foundScale);
    }
    if (!bitmap)
        return IBitmapRef();
    return FinishBitmapLoad(bitmap, isNew, name, frameCount, framesHorizontal, targetScale);
}

IBitmapRef IGraphics::LoadBitmapFromMemory(const char* name, const void* data, int size, int frameCount,
                                           bool framesHorizontal, int targetScale)
{
    ScopedSection lock(BitmapCache().Lock());
    IBitmapRef cached;
    if (FindCachedOrRefuse(name, frameCount, framesHorizontal, targetScale, cached))
        return cached;
    int foundScale = 0;
    if (APIBitmap* found = SearchBitmapCache(name, targetScale, foundScale))
        return FinishBitmapLoad(found, false, name, frameCount, framesHorizontal, targetScale);
    if (!data || size <= 0)
        return IBitmapRef();
    // The backend keeps the bitmaps it makes from memory in a cache of its own: this one
    // neither caches nor deletes them, only the copies it rescales.
    APIBitmap* bitmap = CreateBackendBitmapFromMemory(name, data, size, 1);
    if (!bitmap)
        return IBitmapRef();
    return FinishBitmapLoad(bitmap, false, name, frameCount, framesHorizontal, targetScale);
}

IBitmapRef IGraphics::ReloadBitmapAtScale(const IBitmapRef& bitmap)
{
    return LoadBitmapByName(bitmap.name.Get(), bitmap.frameCount, bitmap.framesHorizontal, int(std::ceil(screenScale)));
}

void IGraphics::KeepBitmapCached(const IBitmapRef& bitmap, const char* name)
{
    if (!bitmap.bitmap)
        return;
    ScopedSection lock(BitmapCache().Lock());
    BitmapCache().Add(bitmap.bitmap, name, double(bitmap.bitmap->GetScale()));
}

void IGraphics::DropBitmapFromCache(const IBitmapRef& bitmap)
{
    if (!bitmap.bitmap)
        return;
    ScopedSection lock(BitmapCache().Lock());
    BitmapCache().Remove(bitmap.bitmap);
}

ISvgRef IGraphics::LoadSvgByName(const char* name, const char* units, float dpi)
{
    if (!name)
        return nullptr;
    ScopedSection lock(SvgCache().Lock());
    if (void* cached = SvgCache().Find(name, 1.0))
        return static_cast<ISvgRef>(cached);
    GrowBuffer bytes;
    ReadSvgResource(bytes, name, "svg");
    if (bytes.Size() <= 0)
        return nullptr;
    return LoadSvgFromMemory(name, reinterpret_cast<const char*>(bytes.Data()), bytes.Size(), units, dpi);
}

ISvgRef IGraphics::LoadSvgFromMemory(const char* name, const char* data, int length, const char* units, float dpi)
{
    if (!name)
        return nullptr;
    ScopedSection lock(SvgCache().Lock());
    if (void* cached = SvgCache().Find(name, 1.0))
        return static_cast<ISvgRef>(cached);
    if (!data || length <= 0)
        return nullptr;
    std::vector<char> text(data, data + length);
    text.push_back('\0');
    NSVGimage* document = nsvgParse(text.data(), units, dpi);
    if (!document)
        return nullptr;
    SvgCache().Add(document, name, 1.0);
    return document;
}

void IGraphics::ReadSvgResource(GrowBuffer& bytes, const char* name, const char* type)
{
    bytes.Resize(0, false);
    TextBuffer location;
    const int kind = FindResourceOrFile(name, type, location, GetModuleInstance());
    if (kind == kFoundFile) {
        FILE* file = OpenFileUtf8(location.Get(), "rb");
        if (!file)
            return;
        long size = -1;
        if (std::fseek(file, 0, SEEK_END) == 0)
            size = std::ftell(file);
        if (size > 0 && size < 0x7fffffff && std::fseek(file, 0, SEEK_SET) == 0 && bytes.Resize(int(size), false)) {
            if (std::fread(bytes.Data(), 1, size_t(size), file) != size_t(size))
                bytes.Resize(0, false);
        }
        std::fclose(file);
    } else if (kind == kFoundResource) {
        int size = 0;
        const void* data = LoadModuleResource(location.Get(), type, size, GetModuleInstance());
        if (data && size > 0 && bytes.Resize(size, false))
            std::memcpy(bytes.Data(), data, size_t(size));
    }
}

bool IGraphics::LoadFontFromFile(const char* fontId, const char* fileOrResource)
{
    std::unique_ptr<PlatformFont> font(LoadPlatformFontFromFile(fontId, fileOrResource));
    if (!font || !RegisterBackendFont(fontId, *font))
        return false;
    RetainPlatformFont(fontId, *font);
    return true;
}

bool IGraphics::LoadFontFromMemory(const char* fontId, const void* data, int size)
{
    std::unique_ptr<PlatformFont> font(LoadPlatformFontFromMemory(fontId, data, size));
    if (!font || !RegisterBackendFont(fontId, *font))
        return false;
    RetainPlatformFont(fontId, *font);
    return true;
}

FILE* IGraphics::OpenFileUtf8(const char* path, const char* mode)
{
    if (!path || !mode)
        return nullptr;
#ifdef _WIN32
    const WideTextBuffer widePath(path);
    const WideTextBuffer wideMode(mode);
    return _wfopen(widePath.GetW(), wideMode.GetW());
#else
    return std::fopen(path, mode);
#endif
}

} // namespace igraphics
} // namespace iplug
