// The NanoVG OpenGL 2 backend and its framebuffer helpers, compiled against the
// project's loaded entry points. Without NANOVG_FBO_VALID the helpers compile to stubs
// that return no framebuffer in an OpenGL 2 build, and every frame would go straight
// to the window.
#include "framework/graphics/windows/GLLoader.h"

#include <nanovg.h>

#define NANOVG_GL2_IMPLEMENTATION
#include <nanovg_gl.h>
#define NANOVG_FBO_VALID 1
#include <nanovg_gl_utils.h>
