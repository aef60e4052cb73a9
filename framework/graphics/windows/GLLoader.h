#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include "framework/graphics/windows/GLFunctionList.h"

#include <functional>

// The loaded entry points carry the OpenGL names themselves, so the NanoVG backend
// compiles against them unchanged. They are filled by the first GLLoader::Load that finds
// them all and stay null until then.
#define MARLQUIN_GL_DECLARE(type, name) extern type name;
MARLQUIN_GL_FUNCTIONS(MARLQUIN_GL_DECLARE)
#undef MARLQUIN_GL_DECLARE

namespace iplug::igraphics {

// Loads the OpenGL functions the drawing backend needs, by name, for the current
// context. A machine with only OpenGL 1.1 (remote desktop, basic display driver) lacks
// them; Load then reports failure and the caller gives up opening instead of calling
// through a null pointer later.
class GLLoader
{
public:
    // Resolves one name to an address, or null. The default asks wglGetProcAddress,
    // then opengl32.dll's exports.
    using Lookup = std::function<void*(const char* name)>;

    // True only when the current context offers every entry point; firstMissing (when
    // given) then names one it lacks. The entry points are shared by every editor of the
    // process, which may be drawing at the time: the first complete set fills them once,
    // and a later load, whether it fails or succeeds, only checks its own context and
    // leaves them as they are.
    static bool Load(const Lookup& lookup, const char** firstMissing = nullptr);
    static bool Load(const char** firstMissing = nullptr);
    static void* SystemLookup(const char* name);
};

} // namespace iplug::igraphics
