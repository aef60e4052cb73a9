// Writes the frame the panel's editor drew, read from its framebuffer, as the panel tests' golden
// pictures are made:
//   panel-golden <face|back> <scale> <output.png>
#include "plugin/tools/PanelCapture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 4 || (std::strcmp(argv[1], "face") != 0 && std::strcmp(argv[1], "back") != 0)) {
        std::fprintf(stderr, "usage: panel-golden <face|back> <scale> <output.png>\n");
        return 2;
    }
    PanelCapture::Image image;
    std::string error;
    if (!PanelCapture::Capture(std::strcmp(argv[1], "back") == 0, float(std::atof(argv[2])), image, error)) {
        std::fprintf(stderr, "panel-golden: %s\n", error.c_str());
        return 1;
    }
    if (!PanelCapture::SavePng(image, argv[3])) {
        std::fprintf(stderr, "panel-golden: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
