// Pictures the built module's editor, front and back, as the X server holds it:
//   panel-screenshot <scale> <face.png> <back.png>
// The module comes from the build's bundle and is opened as a host opens it. The caller takes the
// X picture (scripts/screenshots.sh with x-window-dump): for each side the tool writes the line
//   capture <side> <width> <height>
// with the size of the editor's window, then reads one line, the path of an X window dump of
// that window, and saves it as PNG.
#include "plugin/panel/PanelLayout.h"
#include "plugin/presets/UiScaleFile.h"
#include "plugin/tools/ModuleEditor.h"
#include "plugin/tools/ScratchProfile.h"
#include "plugin/tools/XwdImage.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// The first frames under a software renderer take a while (images decoded, fonts in).
constexpr int kOpeningMs = 3000;
constexpr int kTurningMs = 1500;

bool ReadLine(std::string& line)
{
    char buffer[4096];
    if (!std::fgets(buffer, sizeof buffer, stdin))
        return false;
    line = buffer;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return !line.empty();
}

bool ReadFile(const std::string& path, std::vector<uint8_t>& bytes)
{
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.good() || in.eof();
}

// Asks the caller for the X picture of the editor's window and saves it.
bool CaptureSide(const ModuleEditor& editor, const char* side, const std::string& output, std::string& error)
{
    const SIZE size = editor.ClientSize();
    const XwdImage::Area window{0, 0, int(size.cx), int(size.cy)};
    std::printf("capture %s %d %d\n", side, window.width, window.height);
    std::fflush(stdout);
    std::string dump;
    std::vector<uint8_t> bytes;
    if (!ReadLine(dump) || !ReadFile(dump, bytes)) {
        error = "no window dump came back for the " + std::string(side);
        return false;
    }
    PanelCapture::Image image;
    if (!XwdImage::Crop(bytes, window, image, error))
        return false;
    if (!PanelCapture::SavePng(image, output)) {
        error = "cannot write " + output;
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const float scale = argc == 4 ? std::strtof(argv[1], nullptr) : 0.0f;
    if (!(scale >= UiScaleFile::kMinScale && scale <= UiScaleFile::kMaxScale)) {
        std::fprintf(stderr, "usage: panel-screenshot <scale 0.75..2> <face.png> <back.png>\n");
        return 2;
    }
    ScratchProfile profile(scale);
    ModuleEditor editor(MARLQUIN_MODULE_PATH);
    std::string error;
    bool ok = editor.Open(error);
    if (ok) {
        editor.Run(kOpeningMs);
        ok = CaptureSide(editor, "face", argv[2], error);
    }
    if (ok) {
        const PanelRect& flip = kFaceLayout.flipBox;
        editor.ClickAt(int(std::lround(flip.CentreX() * scale)), int(std::lround(flip.CentreY() * scale)));
        editor.Run(kTurningMs);
        ok = CaptureSide(editor, "back", argv[3], error);
    }
    if (!ok) {
        std::fprintf(stderr, "panel-screenshot: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
