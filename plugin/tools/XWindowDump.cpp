// Dumps the X window that holds an editor's pixels, in the format xwd writes:
//   x-window-dump <width> <height> <output.xwd>
// Under Wine an OpenGL child window draws into an X window of its own, kept off the screen (its
// holder sits at -1,-1), while the top-level window shows black there; xwd clips a window to
// the screen and would lose that window's first row and column. This dumps the whole window
// instead: the one viewable window of the given size that is not a top-level window.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr char kName[] = "x-window-dump";

void FindWindows(Display* display, Window window, Window root, int width, int height, std::vector<Window>& found)
{
    Window rootReturn = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &rootReturn, &parent, &children, &count))
        return;
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes a;
        if (window != root && XGetWindowAttributes(display, children[i], &a) && a.width == width && a.height == height
            && a.map_state == IsViewable && a.c_class == InputOutput)
            found.push_back(children[i]);
        FindWindows(display, children[i], root, width, height, found);
    }
    if (children)
        XFree(children);
}

void Put32(std::FILE* f, uint32_t v)
{
    const unsigned char bytes[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
    std::fwrite(bytes, 1, 4, f);
}

bool WriteDump(const char* path, const XImage& image, const Visual& visual, int width, int height)
{
    std::FILE* f = std::fopen(path, "wb");
    if (!f)
        return false;
    const uint32_t fields[] = {uint32_t(100 + sizeof kName),
                               7, // file version
                               ZPixmap,
                               uint32_t(image.depth),
                               uint32_t(width),
                               uint32_t(height),
                               uint32_t(image.xoffset),
                               uint32_t(image.byte_order),
                               uint32_t(image.bitmap_unit),
                               uint32_t(image.bitmap_bit_order),
                               uint32_t(image.bitmap_pad),
                               uint32_t(image.bits_per_pixel),
                               uint32_t(image.bytes_per_line),
                               uint32_t(visual.c_class),
                               uint32_t(visual.red_mask),
                               uint32_t(visual.green_mask),
                               uint32_t(visual.blue_mask),
                               uint32_t(visual.bits_per_rgb),
                               uint32_t(visual.map_entries),
                               0, // colour table entries
                               uint32_t(width),
                               uint32_t(height),
                               0,
                               0,
                               0};
    for (uint32_t v : fields)
        Put32(f, v);
    std::fwrite(kName, 1, sizeof kName, f);
    std::fwrite(image.data, 1, size_t(image.bytes_per_line) * size_t(height), f);
    return std::fclose(f) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    const int width = argc == 4 ? std::atoi(argv[1]) : 0;
    const int height = argc == 4 ? std::atoi(argv[2]) : 0;
    if (width <= 0 || height <= 0) {
        std::fprintf(stderr, "usage: x-window-dump <width> <height> <output.xwd>\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "%s: cannot open the display\n", kName);
        return 1;
    }
    const Window root = DefaultRootWindow(display);
    std::vector<Window> found;
    FindWindows(display, root, root, width, height, found);
    int result = 1;
    if (found.size() != 1)
        std::fprintf(stderr, "%s: %zu windows of %dx%d below a top-level window, one wanted\n", kName, found.size(),
                     width, height);
    else {
        XWindowAttributes a;
        XGetWindowAttributes(display, found[0], &a);
        XImage* image = XGetImage(display, found[0], 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
        if (!image)
            std::fprintf(stderr, "%s: the window gave no picture\n", kName);
        else if (!WriteDump(argv[3], *image, *a.visual, width, height))
            std::fprintf(stderr, "%s: cannot write %s\n", kName, argv[3]);
        else
            result = 0;
        if (image)
            XDestroyImage(image);
    }
    XCloseDisplay(display);
    return result;
}
