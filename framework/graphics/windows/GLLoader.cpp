#include "framework/graphics/windows/GLLoader.h"

#include <mutex>

#define MARLQUIN_GL_DEFINE(type, name) type name = nullptr;
MARLQUIN_GL_FUNCTIONS(MARLQUIN_GL_DEFINE)
#undef MARLQUIN_GL_DEFINE

namespace iplug::igraphics {

namespace {

// wglGetProcAddress answers some drivers' failures with small integers or -1
// instead of null.
bool IsValidProcAddress(void* address)
{
    const auto value = reinterpret_cast<intptr_t>(address);
    return value != 0 && value != 1 && value != 2 && value != 3 && value != -1;
}

// Editors on different threads may open at the same time.
std::mutex gLoadLock;
bool gLoaded = false;

} // namespace

void* GLLoader::SystemLookup(const char* name)
{
    void* address = reinterpret_cast<void*>(wglGetProcAddress(name));
    if (IsValidProcAddress(address))
        return address;
    HMODULE opengl = GetModuleHandleW(L"opengl32.dll");
    if (!opengl)
        return nullptr;
    address = reinterpret_cast<void*>(GetProcAddress(opengl, name));
    return IsValidProcAddress(address) ? address : nullptr;
}

bool GLLoader::Load(const char** firstMissing)
{
    return Load(SystemLookup, firstMissing);
}

bool GLLoader::Load(const Lookup& lookup, const char** firstMissing)
{
    const std::lock_guard<std::mutex> lock(gLoadLock);
    const char* missing = nullptr;
    // Resolved into locals first: the shared entry points are in use by editors already open.
#define MARLQUIN_GL_RESOLVE(type, name)                                                                                \
    const auto found_##name = reinterpret_cast<type>(lookup(#name));                                                   \
    if (!found_##name && !missing)                                                                                     \
        missing = #name;
    MARLQUIN_GL_FUNCTIONS(MARLQUIN_GL_RESOLVE)
#undef MARLQUIN_GL_RESOLVE
    if (firstMissing)
        *firstMissing = missing;
    if (missing)
        return false;
    if (!gLoaded) {
#define MARLQUIN_GL_FILL(type, name) name = found_##name;
        MARLQUIN_GL_FUNCTIONS(MARLQUIN_GL_FILL)
#undef MARLQUIN_GL_FILL
        gLoaded = true;
    }
    return true;
}

} // namespace iplug::igraphics
