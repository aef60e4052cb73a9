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
        // A format like PixelFormat() whose swap copies the back buffer, or 0.
        int (*chooseCopyingFormat)(HDC) = WglContext::ChooseCopyingFormat;
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
    // buffered; one whose swap copies the back buffer when the driver offers it), creates the
    // context, makes it current on dc and loads the functions. The context stays current on
    // success.
    Failure Create(HDC dc);
    // Makes no context current and deletes this one.
    void Destroy();

    // For the next Create.
    void SetApi(Api replacement) { api = std::move(replacement); }
    HGLRC Handle() const { return context; }
    const char* MissingFunction() const { return missingFunction; }
    // The back buffer keeps its pixels across a swap: the driver promised it for the format.
    bool SwapCopies() const { return swapCopies; }

    static const PIXELFORMATDESCRIPTOR& PixelFormat();
    // Asks the driver (wglChoosePixelFormatARB) for a format of dc like PixelFormat() that
    // swaps by copying; 0 when it has none or the extension is missing. The context current
    // on this thread before the call is current again after it.
    static int ChooseCopyingFormat(HDC dc);
    // Contexts created through Create and not yet deleted, process-wide: leak checks count them.
    static int LiveCount();

private:
    Api api;
    HGLRC context = nullptr;
    const char* missingFunction = nullptr;
    bool swapCopies = false;
};

} // namespace iplug::igraphics
