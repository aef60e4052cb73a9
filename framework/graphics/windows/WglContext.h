#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "framework/graphics/windows/GLLoader.h"

namespace iplug::igraphics {

// The OpenGL rendering context of one editor window: pixel format, context, current
// binding and the function loader, each step able to fail. A failure undoes every
// earlier step, so nothing is left current or allocated, and a later Create works.
class WglContext
{
public:
    enum class Failure
    {
        None,
        ChoosePixelFormat,
        SetPixelFormat,
        CreateContext,
        MakeCurrent,
        LoadFunctions
    };

    // The system calls the steps make; tests replace single entries to fail a step.
    struct Api
    {
        int(WINAPI* choosePixelFormat)(HDC, const PIXELFORMATDESCRIPTOR*) = ::ChoosePixelFormat;
        BOOL(WINAPI* setPixelFormat)(HDC, int, const PIXELFORMATDESCRIPTOR*) = ::SetPixelFormat;
        HGLRC(WINAPI* createContext)(HDC) = ::wglCreateContext;
        BOOL(WINAPI* makeCurrent)(HDC, HGLRC) = ::wglMakeCurrent;
        BOOL(WINAPI* deleteContext)(HGLRC) = ::wglDeleteContext;
        GLLoader::Lookup lookup = GLLoader::SystemLookup;
    };

    WglContext() = default;
    explicit WglContext(Api api) : api(std::move(api)) {}
    ~WglContext();
    WglContext(const WglContext&) = delete;
    WglContext& operator=(const WglContext&) = delete;

    // Sets the pixel format of dc (RGBA, 32 colour, 24 depth and 8 stencil bits, double
    // buffered), creates the context, makes it current on dc and loads the functions.
    // The context stays current on success.
    Failure Create(HDC dc);
    // Makes no context current and deletes this one.
    void Destroy();

    HGLRC Handle() const { return context; }
    const char* MissingFunction() const { return missingFunction; }

    static const PIXELFORMATDESCRIPTOR& PixelFormat();

private:
    Api api;
    HGLRC context = nullptr;
    const char* missingFunction = nullptr;
};

} // namespace iplug::igraphics
