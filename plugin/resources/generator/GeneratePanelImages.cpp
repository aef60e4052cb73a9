// Writes every image the panel loads into one folder as "<name>_2x.png"; the resource script
// embeds each under the scaled name the framework looks for ("<name>@2x.png").
// Usage: generate-panel-images <font folder> <output folder>.
#include "plugin/resources/generator/PanelArt.h"

#include <cstdio>
#include <string>

namespace {

struct KnobColour
{
    const char* name;
    int r, g, b;
};

constexpr KnobColour kKnobColours[] = {
    {"knob_peach", 240, 166, 124}, {"knob_sky", 138, 186, 214}, {"knob_butter", 240, 206, 116},
    {"knob_pink", 230, 146, 158},  {"knob_tan", 200, 160, 114}, {"knob_sage", 148, 178, 128},
};

bool Save(const Canvas& canvas, const std::string& folder, const std::string& name)
{
    const std::string path = folder + "/" + name + "_2x.png";
    if (canvas.SavePng(path))
        return true;
    std::fprintf(stderr, "generate-panel-images: cannot write %s\n", path.c_str());
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: generate-panel-images <font folder> <output folder>\n");
        return 2;
    }
    PanelArt art;
    if (!art.LoadFonts(argv[1])) {
        std::fprintf(stderr, "generate-panel-images: the Jost fonts are missing in %s (scripts/fetch-fonts.sh)\n",
                     argv[1]);
        return 1;
    }
    const std::string out = argv[2];
    bool ok = Save(art.FaceBackground(), out, "bg_face") && Save(art.BackBackground(), out, "bg_back")
              && Save(art.WideBackground(false), out, "bg_wide_face")
              && Save(art.WideBackground(true), out, "bg_wide_back") && Save(art.SwitchThumb(), out, "switch_thumb")
              && Save(art.SyncThumb(), out, "sync_thumb") && Save(art.Paddle(), out, "paddle")
              && Save(art.FreezeButton(false), out, "freeze_off") && Save(art.FreezeButton(true), out, "freeze_on");
    for (const KnobColour& k : kKnobColours)
        ok = ok && Save(art.KnobStrip(Rgba::FromBytes(k.r, k.g, k.b)), out, k.name);
    return ok ? 0 : 1;
}
