#include "framework/graphics/windows/GLLoader.h"

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
    const char* missing = nullptr;
#define MARLQUIN_GL_LOAD(type, name)                                                                                   \
    name = reinterpret_cast<type>(lookup(#name));                                                                      \
    if (!name && !missing)                                                                                             \
        missing = #name;
    MARLQUIN_GL_FUNCTIONS(MARLQUIN_GL_LOAD)
#undef MARLQUIN_GL_LOAD
    if (firstMissing)
        *firstMissing = missing;
    if (missing) {
        Clear();
        return false;
    }
    return true;
}

void GLLoader::Clear()
{
#define MARLQUIN_GL_CLEAR(type, name) name = nullptr;
    MARLQUIN_GL_FUNCTIONS(MARLQUIN_GL_CLEAR)
#undef MARLQUIN_GL_CLEAR
}

} // namespace iplug::igraphics
