#include "plugin/tools/PanelCapture.h"

#include "framework/core/ModuleResources.h"
#include "framework/graphics/windows/GLLoader.h"
#include "framework/graphics/windows/IGraphicsWin.h"
#include "plugin/Quorrel.h"
#include "plugin/panel/PanelLayout.h"
#include "plugin/tools/ScratchProfile.h"
#include "plugin/tools/ToolWindow.h"

#include <windows.h>

#include <nanovg.h>
#define NANOVG_GL2
#include <nanovg_gl.h>
#include <nanovg_gl_utils.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include "stb_image_write.h"
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#include "stb_image.h"

using namespace Steinberg;

namespace {

bool WaitForFrames(iplug::igraphics::IGraphicsWin& ui, int frames)
{
    const DWORD end = GetTickCount() + 5000;
    while (ui.PresentedFrames() < frames && static_cast<int>(end - GetTickCount()) > 0)
        ToolWindow::Pump(5);
    // Let the frames that follow settle (images decoded, fonts in).
    ToolWindow::Pump(300);
    return ui.PresentedFrames() >= frames;
}

// The editor's last frame, top row first, from its main framebuffer.
bool ReadFrame(iplug::igraphics::IGraphicsWin& ui, PanelCapture::Image& out)
{
    ui.BindGLContext();
    NVGLUframebuffer* fb = ui.GetMainFramebuffer();
    int width = 0, height = 0;
    if (fb)
        nvgImageSize(static_cast<NVGcontext*>(ui.GetBackendContext()), fb->image, &width, &height);
    bool ok = fb && width > 0 && height > 0;
    if (ok) {
        std::vector<uint8_t> rows(size_t(width) * height * 4);
        glBindFramebuffer(GL_FRAMEBUFFER, fb->fbo);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        out.width = width;
        out.height = height;
        out.rgba.resize(rows.size());
        const size_t stride = size_t(width) * 4;
        for (int y = 0; y < height; ++y)
            std::copy_n(&rows[size_t(height - 1 - y) * stride], stride, &out.rgba[size_t(y) * stride]);
        for (size_t i = 3; i < out.rgba.size(); i += 4)
            out.rgba[i] = 255;
    }
    ui.UnbindGLContext();
    return ok;
}

} // namespace

bool PanelCapture::Capture(bool back, float scale, Image& out, std::string& error)
{
    ScratchProfile profile(scale);
    // The images and fonts are embedded in this program as in the module.
    iplug::SetModuleInstance(GetModuleHandleW(nullptr));
    const int width = static_cast<int>(std::lround(kFaceLayout.width * scale));
    const int height = static_cast<int>(std::lround(kFaceLayout.height * scale));
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"MarlquinCaptureFrame";
    RegisterClassW(&wc);
    HWND frame = CreateWindowExW(0, wc.lpszClassName, L"Marlquin", WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr,
                                 nullptr, wc.hInstance, nullptr);
    auto* plugin = new Quorrel();
    bool ok = false;
    if (frame && plugin->OpenEditor(frame, nullptr)) {
        auto* ui = static_cast<iplug::igraphics::IGraphicsWin*>(plugin->GetGraphics());
        HWND editor = GetWindow(frame, GW_CHILD);
        WaitForFrames(*ui, 3);
        if (back && editor) {
            const PanelRect& flip = kFaceLayout.flipBox;
            ToolWindow::Click(editor, int(flip.CentreX() * scale), int(flip.CentreY() * scale));
            WaitForFrames(*ui, ui->PresentedFrames() + 3);
        }
        ok = ReadFrame(*ui, out);
        if (!ok)
            error = "the editor presented no frame";
        plugin->CloseEditor();
    } else
        error = "the editor did not open";
    plugin->release();
    if (frame)
        DestroyWindow(frame);
    return ok;
}

bool PanelCapture::SavePng(const Image& image, const std::string& path)
{
    return stbi_write_png(path.c_str(), image.width, image.height, 4, image.rgba.data(), image.width * 4) != 0;
}

bool PanelCapture::LoadPng(const std::string& path, Image& out)
{
    int channels = 0;
    unsigned char* pixels = stbi_load(path.c_str(), &out.width, &out.height, &channels, 4);
    if (!pixels)
        return false;
    out.rgba.assign(pixels, pixels + size_t(out.width) * out.height * 4);
    stbi_image_free(pixels);
    return true;
}

double PanelCapture::DifferingShare(const Image& a, const Image& b, int tolerance)
{
    if (a.width != b.width || a.height != b.height || a.rgba.size() != b.rgba.size() || a.rgba.empty())
        return 1.0;
    size_t differing = 0;
    for (size_t i = 0; i < a.rgba.size(); ++i)
        if (std::abs(int(a.rgba[i]) - int(b.rgba[i])) > tolerance)
            ++differing;
    return double(differing) / double(a.rgba.size());
}
