#include "framework/graphics/windows/WglContext.h"

namespace iplug::igraphics {

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

WglContext::~WglContext()
{
    Destroy();
}

WglContext::Failure WglContext::Create(HDC dc)
{
    Destroy();
    missingFunction = nullptr;
    const int format = api.choosePixelFormat(dc, &PixelFormat());
    if (format == 0)
        return Failure::ChoosePixelFormat;
    if (!api.setPixelFormat(dc, format, &PixelFormat()))
        return Failure::SetPixelFormat;
    context = api.createContext(dc);
    if (!context)
        return Failure::CreateContext;
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
}

} // namespace iplug::igraphics
