#include "framework/core/ModuleResources.h"

#include <atomic>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace iplug {

namespace {

std::atomic<void*> gModuleInstance{nullptr};

void UpperCaseUnits(WideTextBuffer& text)
{
    char16_t* p = text.Get();
    for (int i = 0; p && i < text.GetLength(); ++i)
        if (p[i] >= u'a' && p[i] <= u'z')
            p[i] = char16_t(p[i] - u'a' + u'A');
}

#ifdef _WIN32
// Lower-cases A-Z only, through UTF-16 as resource names are stored.
void LowerCasedViaUtf16(const char* text, TextBuffer& out)
{
    WideTextBuffer wide(text);
    char16_t* p = wide.Get();
    for (int i = 0; p && i < wide.GetLength(); ++i)
        if (p[i] >= u'A' && p[i] <= u'Z')
            p[i] = char16_t(p[i] - u'A' + u'a');
    out.FromUtf16(p);
}

struct ResourceSearch
{
    TextBuffer text;
    bool found = false;
};

// Resource names are stored with literal quotes around the upper-case file name;
// the match drops them and ignores letter case.
BOOL CALLBACK ResourceNameMatches(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param)
{
    auto* search = reinterpret_cast<ResourceSearch*>(param);
    if (IS_INTRESOURCE(name) || !search)
        return TRUE;
    TextBuffer stored;
    stored.FromUtf16(name);
    const int length = stored.GetLength();
    TextBuffer inner;
    if (length > 2)
        inner.Set(stored.Get() + 1, length - 2);
    TextBuffer lowered;
    LowerCasedViaUtf16(inner.Get(), lowered);
    if (std::strcmp(lowered.Get(), search->text.Get()) != 0)
        return TRUE;
    search->text.Set(stored.Get());
    search->found = true;
    return FALSE;
}

bool FileExists(const char* path)
{
    WideTextBuffer wide(path);
    const DWORD attributes = GetFileAttributesW(wide.GetW());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
#else
bool FileExists(const char* path)
{
    struct stat info;
    return stat(path, &info) == 0 && S_ISREG(info.st_mode);
}
#endif

} // namespace

void* ModuleInstance()
{
    return gModuleInstance.load(std::memory_order_acquire);
}

void SetModuleInstance(void* module)
{
    gModuleInstance.store(module, std::memory_order_release);
}

bool ModuleInitHook()
{
#ifdef _WIN32
    HMODULE module = nullptr;
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(&ModuleInitHook), &module))
        SetModuleInstance(module);
#endif
    return true;
}

WideTextBuffer UpperCaseWideText(const char* text)
{
    WideTextBuffer wide(text);
    UpperCaseUnits(wide);
    return wide;
}

ResourceLocation FindResourceOrFile(const char* name, const char* type, TextBuffer& location, void* module)
{
    if (!name || !*name)
        return kNotFound;
#ifdef _WIN32
    ResourceSearch search;
    LowerCasedViaUtf16(name, search.text);
    if (search.text.GetLength() > 0) {
        const WideTextBuffer wideType = UpperCaseWideText(type ? type : "");
        EnumResourceNamesW(static_cast<HMODULE>(module), wideType.GetW(), ResourceNameMatches,
                           reinterpret_cast<LONG_PTR>(&search));
    }
    if (search.found) {
        location.Set(search.text.Get());
        return kFoundResource;
    }
#else
    (void)type;
    (void)module;
#endif
    if (FileExists(name)) {
        location.Set(name);
        return kFoundFile;
    }
    return kNotFound;
}

const void* LoadModuleResource(const char* name, const char* type, int& size, void* module)
{
#ifdef _WIN32
    if (!name || !*name)
        return nullptr;
    const WideTextBuffer wideType = UpperCaseWideText(type ? type : "");
    const WideTextBuffer wideName(name);
    HMODULE handle = static_cast<HMODULE>(module);
    HRSRC resource = FindResourceW(handle, wideName.GetW(), wideType.GetW());
    if (!resource)
        return nullptr;
    const DWORD bytes = SizeofResource(handle, resource);
    if (bytes < 8)
        return nullptr;
    HGLOBAL loaded = LoadResource(handle, resource);
    const void* locked = loaded ? LockResource(loaded) : nullptr;
    if (!locked || bytes > 0x7fffffff) {
        size = 0;
        return nullptr;
    }
    size = int(bytes);
    return locked;
#else
    (void)name;
    (void)type;
    (void)size;
    (void)module;
    return nullptr;
#endif
}

} // namespace iplug
