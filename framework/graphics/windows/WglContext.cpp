#include "framework/graphics/windows/WglContext.h"

#include <GL/wglext.h>

#include <atomic>

namespace iplug::igraphics {

namespace {

std::atomic<int> liveContexts{0};

} // namespace

const PIXELFORMATDESCRIPTOR& WglContext::PixelFormat()
{
    static const PIXELFORMATDESCRIPTOR format = {sizeof(PIXELFORMATDESCRIPTOR),
                                                 1,
                                                 PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER,
                                                 PFD_TYPE_RGBA,
                                                 32,
                                                 0,
                                                 0,
                                                 0,
                                                 0,
                                                 0,
                                                 0,
                                                 0,
                                                 0,
                                                 0,
                                                 0,
                                                 0,
                                                 0,
                                                 0,
                                                 24,
                                                 8,
                                                 0,
                                                 PFD_MAIN_PLANE,
                                                 0,
                                                 0,
                                                 0,
                                                 0};
    return format;
}

int WglContext::ChooseCopyingFormat(HDC dc)
{
    // The extension's functions are found only with a context current, and a window's pixel
    // format can be set only once: a hidden window of its own lends the context.
    HWND probe =
        CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!probe)
        return 0;
    HDC probeDC = GetDC(probe);
    const HGLRC previousContext = wglGetCurrentContext();
    const HDC previousDC = wglGetCurrentDC();
    int chosen = 0;
    const int basic = ChoosePixelFormat(probeDC, &PixelFormat());
    HGLRC context = basic && SetPixelFormat(probeDC, basic, &PixelFormat()) ? wglCreateContext(probeDC) : nullptr;
    if (context && wglMakeCurrent(probeDC, context)) {
        const auto choose =
            reinterpret_cast<PFNWGLCHOOSEPIXELFORMATARBPROC>(wglGetProcAddress("wglChoosePixelFormatARB"));
        const int attributes[] = {WGL_DRAW_TO_WINDOW_ARB,
                                  GL_TRUE,
                                  WGL_SUPPORT_OPENGL_ARB,
                                  GL_TRUE,
                                  WGL_DOUBLE_BUFFER_ARB,
                                  GL_TRUE,
                                  WGL_PIXEL_TYPE_ARB,
                                  WGL_TYPE_RGBA_ARB,
                                  WGL_ACCELERATION_ARB,
                                  WGL_FULL_ACCELERATION_ARB,
                                  WGL_COLOR_BITS_ARB,
                                  24,
                                  WGL_DEPTH_BITS_ARB,
                                  24,
                                  WGL_STENCIL_BITS_ARB,
                                  8,
                                  WGL_SWAP_METHOD_ARB,
                                  WGL_SWAP_COPY_ARB,
                                  0};
        int format = 0;
        UINT count = 0;
        if (choose && choose(dc, attributes, nullptr, 1, &format, &count) && count > 0)
            chosen = format;
    }
    wglMakeCurrent(previousDC, previousContext);
    if (context)
        wglDeleteContext(context);
    ReleaseDC(probe, probeDC);
    DestroyWindow(probe);
    return chosen;
}

WglContext::~WglContext()
{
    Destroy();
}

WglContext::Failure WglContext::Create(HDC dc)
{
    Destroy();
    missingFunction = nullptr;
    int format = api.chooseCopyingFormat ? api.chooseCopyingFormat(dc) : 0;
    swapCopies = format != 0;
    if (format == 0)
        format = api.choosePixelFormat(dc, &PixelFormat());
    if (format == 0)
        return Failure::ChoosePixelFormat;
    if (!api.setPixelFormat(dc, format, &PixelFormat()))
        return Failure::SetPixelFormat;
    context = api.createContext(dc);
    if (!context)
        return Failure::CreateContext;
    ++liveContexts;
    if (!api.makeCurrent(dc, context)) {
        Destroy();
        return Failure::MakeCurrent;
    }
    if (!GLLoader::Load(api.lookup, &missingFunction)) {
        Destroy();
        return Failure::LoadFunctions;
    }
    // Clears an error a driver may have left from the context creation.
    glGetError();
    return Failure::None;
}

void WglContext::Destroy()
{
    if (!context)
        return;
    if (wglGetCurrentContext() == context)
        api.makeCurrent(nullptr, nullptr);
    api.deleteContext(context);
    context = nullptr;
    --liveContexts;
}

int WglContext::LiveCount()
{
    return liveContexts;
}

} // namespace iplug::igraphics
