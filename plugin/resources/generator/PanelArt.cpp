#include "plugin/resources/generator/PanelArt.h"

#include "plugin/panel/PanelPalette.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr float S = PanelArt::kScale;
constexpr double kPi = 3.14159265358979323846;

Rgba Colour(const PanelColour& c)
{
    return Rgba::FromBytes(c.r, c.g, c.b, c.a);
}

const Rgba kCreamTop = Rgba::FromBytes(243, 233, 209);
const Rgba kCreamBottom = Rgba::FromBytes(234, 220, 190);
const Rgba kHeader = Rgba::FromBytes(229, 213, 178);
const Rgba kInk = Colour(palette::kPanelInk);
const Rgba kSlotDark = Rgba::FromBytes(86, 64, 40);
const Rgba kWellDark = Rgba::FromBytes(52, 39, 25);

float Clamp01(float v)
{
    return v < 0.0f ? 0.0f : v > 1.0f ? 1.0f : v;
}

// A fixed grain, the same on every build.
float Grain(int x, int y)
{
    uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return (h & 0xFFFF) / 65535.0f - 0.5f;
}

} // namespace

bool PanelArt::LoadFonts(const std::string& fontFolder)
{
    return medium.Load(fontFolder + "/Jost-Medium.ttf") && semiBold.Load(fontFolder + "/Jost-SemiBold.ttf");
}

double PanelArt::FrameAngle(int frame)
{
    return -135.0 + 270.0 * frame / (kKnobFrames - 1);
}

void PanelArt::PanelBase(Canvas& c, float widthUnits, float heightUnits) const
{
    const float w = widthUnits * S;
    const float h = heightUnits * S;
    c.Paint(
        0, 0, w, h, [](float, float) { return -100.0f; },
        [=](float x, float y) {
            const Rgba base = kCreamTop.Mix(kCreamBottom, y / h);
            // A faint light from the top left and a grain like printed card.
            const float light = 0.05f * (1.0f - Clamp01(std::hypot(x / w, y / h * 0.7f)));
            const float grain = Grain(static_cast<int>(x), static_cast<int>(y)) * 0.012f;
            return Rgba{base.r + light + grain, base.g + light + grain, base.b + light * 0.6f + grain, 1.0f};
        });
    // The preset bar's band and its edge.
    c.FillRoundRect(0, 0, w, panel::kPresetBarBox.bottom * S, 0, kHeader);
    c.FillRoundRect(0, panel::kPresetBarBox.bottom * S, w, (panel::kPresetBarBox.bottom + 3) * S, 0,
                    [&](float, float y) {
                        const float t = (y - panel::kPresetBarBox.bottom * S) / (3 * S);
                        return Rgba{0, 0, 0, 0.10f * (1.0f - t)};
                    });
    c.StrokeLine(0, panel::kPresetBarBox.bottom * S, w, panel::kPresetBarBox.bottom * S, 1.0f * S,
                 kInk.WithAlpha(0.35f));
    // An inset frame line and a darker edge, as on a printed faceplate.
    c.StrokeRoundRect(8 * S, 52 * S, w - 8 * S, h - 8 * S, 12 * S, 0.75f * S, kInk.WithAlpha(0.28f));
    c.Paint(
        0, 0, w, h, [](float, float) { return -100.0f; },
        [=](float x, float y) {
            const float edge = std::min(std::min(x, w - x), std::min(y, h - y)) / (6 * S);
            return Rgba{0.2f, 0.13f, 0.05f, 0.18f * (1.0f - Clamp01(edge))};
        });
}

void PanelArt::Caption(Canvas& c, const std::string& text, float x, float y, float size, float spacing,
                       FontFace::Align align, bool semi) const
{
    const FontFace& font = semi ? semiBold : medium;
    font.DrawText(c, text, x * S, y * S, size * S, spacing * size * S, align, kInk);
}

void PanelArt::Wordmark(Canvas& c, float cx, float cy, float size) const
{
    semiBold.DrawText(c, "MARLQUIN", cx * S, cy * S, size * S, 0.32f * size * S, FontFace::Align::kCentre, kInk);
}

void PanelArt::KnobSeat(Canvas& c, const KnobPlacement& knob, bool fineTicks) const
{
    const float cx = knob.centreX * S;
    const float cy = knob.centreY * S;
    const float face = knob.size * kKnobFace * S;
    // Small knobs keep their seat and ticks inside the knob's box: captions sit right above it.
    const float dish = face + (fineTicks ? 2.0f : 5.0f) * S;
    // A shallow dish: darker where the light from above cannot reach.
    c.FillCircle(cx, cy, dish + 1.0f * S, Rgba{1, 1, 1, 0.35f}, 1.0f * S);
    c.Paint(
        cx - dish, cy - dish, cx + dish, cy + dish, [=](float x, float y) { return std::hypot(x - cx, y - cy) - dish; },
        [=](float, float y) {
            const float t = Clamp01((y - (cy - dish)) / (2 * dish));
            return kCreamTop.Darker(0.16f * (1.0f - t)).Mix(kCreamBottom.Lighter(0.25f), t * 0.6f);
        });
    c.StrokeCircle(cx, cy, dish, 0.6f * S, kInk.WithAlpha(0.25f));

    const float inner = dish + (fineTicks ? 1.0f : 3.5f) * S;
    const float outer = inner + (fineTicks ? 2.0f : 4.5f) * S;
    const int ticks = 11;
    for (int i = 0; i < ticks; ++i) {
        const double angle = (-135.0 + 270.0 * i / (ticks - 1)) * kPi / 180.0;
        const bool end = i == 0 || i == ticks - 1;
        const float reach = end ? outer + (fineTicks ? 0.3f : 1.5f) * S : outer;
        const float dx = static_cast<float>(std::sin(angle));
        const float dy = static_cast<float>(-std::cos(angle));
        c.StrokeLine(cx + dx * inner, cy + dy * inner, cx + dx * reach, cy + dy * reach,
                     (fineTicks ? 0.8f : 1.3f) * S * (end ? 1.25f : 1.0f), kInk.WithAlpha(end ? 0.85f : 0.55f));
    }
}

void PanelArt::Slot(Canvas& c, const PanelRect& r, float radius) const
{
    const float x0 = r.left * S, y0 = r.top * S, x1 = r.right * S, y1 = r.bottom * S;
    const float rad = radius * S;
    c.FillRoundRect(x0 - 1 * S, y0 - 1 * S, x1 + 1 * S, y1 + 1.5f * S, rad + 1 * S, Rgba{1, 1, 1, 0.45f}, 0.8f * S);
    c.FillRoundRect(x0, y0, x1, y1, rad, [=](float, float y) {
        const float t = Clamp01((y - y0) / (y1 - y0));
        return kSlotDark.Darker(0.25f * (1.0f - t));
    });
    // Shadow thrown by the slot's upper lip.
    c.Paint(
        x0, y0, x1, y1, [=](float x, float y) { return Canvas::RoundRectDistance(x, y, x0, y0, x1, y1, rad); },
        [=](float, float y) {
            return Rgba{0, 0, 0, 0.35f * (1.0f - Clamp01((y - y0) / (3 * S)))};
        });
    c.StrokeRoundRect(x0, y0, x1, y1, rad, 0.6f * S, kInk.Darker(0.4f).WithAlpha(0.8f));
}

void PanelArt::Well(Canvas& c, const PanelRect& r, float radius) const
{
    const float x0 = r.left * S, y0 = r.top * S, x1 = r.right * S, y1 = r.bottom * S;
    const float rad = radius * S;
    c.FillRoundRect(x0 - 1.2f * S, y0 - 1.2f * S, x1 + 1.2f * S, y1 + 1.8f * S, rad + 1.2f * S, Rgba{1, 1, 1, 0.5f},
                    0.8f * S);
    c.FillRoundRect(x0, y0, x1, y1, rad, [=](float, float y) {
        const float t = Clamp01((y - y0) / (y1 - y0));
        return kWellDark.Mix(kWellDark.Lighter(0.08f), t);
    });
    c.Paint(
        x0, y0, x1, y1, [=](float x, float y) { return Canvas::RoundRectDistance(x, y, x0, y0, x1, y1, rad); },
        [=](float x, float y) {
            const float d = -Canvas::RoundRectDistance(x, y, x0, y0, x1, y1, rad);
            return Rgba{0, 0, 0, 0.45f * (1.0f - Clamp01(d / (3 * S)))};
        });
    c.StrokeRoundRect(x0, y0, x1, y1, rad, 0.7f * S, Rgba::FromBytes(40, 28, 16, 230));
}

void PanelArt::RaisedButton(Canvas& c, const PanelRect& r, float radius) const
{
    const float x0 = r.left * S, y0 = r.top * S, x1 = r.right * S, y1 = r.bottom * S;
    const float rad = radius * S;
    c.FillRoundRect(x0, y0 + 1.5f * S, x1, y1 + 1.5f * S, rad, Rgba{0.2f, 0.12f, 0.04f, 0.28f}, 1.5f * S);
    const Rgba top = Colour(palette::kChipSelected);
    const Rgba bottom = Colour(palette::kButtonOff).Darker(0.04f);
    c.FillRoundRect(x0, y0, x1, y1, rad,
                    [=](float, float y) { return top.Mix(bottom, Clamp01((y - y0) / (y1 - y0))); });
    c.StrokeRoundRect(x0, y0, x1, y1, rad, 0.8f * S, kInk.WithAlpha(0.75f));
}

void PanelArt::FlipButton(Canvas& c, const PanelRect& r, const std::string& text, bool arrowRight) const
{
    RaisedButton(c, r, 8);
    const float size = 11;
    const float spacing = 0.18f;
    const float textWidth = semiBold.TextWidth(text, size * S, spacing * size * S) / S;
    const float arrowGap = 7;
    const float total = textWidth + arrowGap + 4;
    const float left = r.CentreX() - total / 2.0f;
    const float cy = r.CentreY();
    if (arrowRight) {
        Caption(c, text, left, cy, size, spacing, FontFace::Align::kLeft);
        const float ax = left + textWidth + arrowGap;
        c.StrokeLine(ax * S, (cy - 3.5f) * S, (ax + 3.5f) * S, cy * S, 1.5f * S, kInk);
        c.StrokeLine((ax + 3.5f) * S, cy * S, ax * S, (cy + 3.5f) * S, 1.5f * S, kInk);
    } else {
        const float ax = left + 3.5f;
        c.StrokeLine(ax * S, (cy - 3.5f) * S, (ax - 3.5f) * S, cy * S, 1.5f * S, kInk);
        c.StrokeLine((ax - 3.5f) * S, cy * S, ax * S, (cy + 3.5f) * S, 1.5f * S, kInk);
        Caption(c, text, left + 4 + arrowGap, cy, size, spacing, FontFace::Align::kLeft);
    }
}

void PanelArt::Rule(Canvas& c, float x0, float x1, float y) const
{
    c.StrokeLine(x0 * S, y * S, x1 * S, y * S, 0.7f * S, kInk.WithAlpha(0.35f));
}

void PanelArt::SectionTitle(Canvas& c, const std::string& text, float x0, float x1, float y) const
{
    const float size = 11;
    const float spacing = 0.3f;
    const float half = semiBold.TextWidth(text, size * S, spacing * size * S) / S / 2.0f;
    const float cx = (x0 + x1) / 2.0f;
    Caption(c, text, cx, y, size, spacing);
    Rule(c, x0, cx - half - 8, y);
    Rule(c, cx + half + 8, x1, y);
}

Canvas PanelArt::FaceBackground() const
{
    const FaceLayout& L = kFaceLayout;
    Canvas c(static_cast<int>(L.width * S), static_cast<int>(L.height * S));
    PanelBase(c, static_cast<float>(L.width), static_cast<float>(L.height));

    Wordmark(c, L.width / 2.0f, 84, 30);
    medium.DrawText(c, "OSTREVANE", L.width / 2.0f * S, 110 * S, 9 * S, 0.45f * 9 * S, FontFace::Align::kCentre,
                    kInk.WithAlpha(0.7f));
    Rule(c, 60, 150, 110);
    Rule(c, 310, 400, 110);

    // Knob captions sit where the MACRO caption is drawn live, above each knob.
    const float captionOffset = L.macroLabelCentreY - 4.55f - L.knobs[1].centreY;
    const char* captions[6] = {"DRIVE", nullptr, "SHAPE", "CHAOS", "WEAR", "MIX"};
    for (int i = 0; i < 6; ++i) {
        KnobSeat(c, L.knobs[i], false);
        if (captions[i])
            Caption(c, captions[i], L.knobs[i].centreX, L.knobs[i].centreY + captionOffset, 13, 0.18f);
    }

    // Drive voice: OD on the left, FUZZ on the right of its slot.
    Slot(c, L.voiceToggleBox, 5);
    Caption(c, "OD", L.voiceToggleBox.left - 5, L.voiceToggleBox.CentreY(), 9, 0.15f, FontFace::Align::kRight);
    Caption(c, "FUZZ", L.voiceToggleBox.right + 5, L.voiceToggleBox.CentreY(), 9, 0.15f, FontFace::Align::kLeft);

    // Mode switch; the middle caption (REPEAT or ECHO) is drawn live.
    Slot(c, L.modeSwitchBox, 9);
    for (const PanelRect& zone : L.modeZones)
        c.FillRoundRect(zone.left * S, zone.top * S, zone.right * S, zone.bottom * S, 6 * S, Rgba{1, 1, 1, 0.06f});
    // Outer captions leave room for the live one, which is about 60 units wide.
    const float liveHalf = 30;
    Caption(c, "TREM", L.repeatLabelCentreX - liveHalf - 7, L.repeatLabelCentreY, 11, 0.18f, FontFace::Align::kRight);
    Caption(c, "LOOPS", L.repeatLabelCentreX + liveHalf + 7, L.repeatLabelCentreY, 11, 0.18f, FontFace::Align::kLeft);

    // The performance buttons' bay: FREEZE in LOOPS, HOLD and LATCH in REPEAT.
    const PanelRect bay = {L.freezeBox.left - 6, L.freezeBox.top - 6, L.latchBox.right + 6, L.latchBox.bottom + 6};
    c.FillRoundRect(bay.left * S, bay.top * S, bay.right * S, bay.bottom * S, 14 * S, Rgba{0.35f, 0.25f, 0.1f, 0.07f});
    c.StrokeRoundRect(bay.left * S, bay.top * S, bay.right * S, bay.bottom * S, 14 * S, 0.6f * S,
                      kInk.WithAlpha(0.22f));

    // Bottom strip: time readout, CHAOS lamp, sync switch, the way to the back panel.
    Well(c, L.readoutBox, 6);
    c.FillCircle(L.lampCentreX * S, L.lampCentreY * S, (L.lampRadius + 3.2f) * S, Rgba{1, 1, 1, 0.5f}, 0.6f * S);
    c.FillCircle(L.lampCentreX * S, L.lampCentreY * S, (L.lampRadius + 2.5f) * S, kWellDark);
    c.FillCircle(L.lampCentreX * S, L.lampCentreY * S, L.lampRadius * S, Rgba::FromBytes(92, 58, 30));
    Slot(c, L.syncToggleBox, 6);
    Caption(c, "FREE", L.syncToggleBox.left - 6, L.syncToggleBox.CentreY(), 9, 0.15f, FontFace::Align::kRight);
    Caption(c, "SYNC", L.syncToggleBox.right + 6, L.syncToggleBox.CentreY(), 9, 0.15f, FontFace::Align::kLeft);
    FlipButton(c, L.flipBox, "BACK", true);
    return c;
}

Canvas PanelArt::BackBackground() const
{
    const BackLayout& L = kBackLayout;
    Canvas c(static_cast<int>(L.width * S), static_cast<int>(L.height * S));
    PanelBase(c, static_cast<float>(L.width), static_cast<float>(L.height));

    // Tremolo and repeat details: the DECAY and FEEDBACK captions and the count are drawn live.
    const float titleY = 96;
    SectionTitle(c, "TREM", 24, 184, titleY);
    SectionTitle(c, "REPEAT", 200, 436, titleY);
    c.StrokeLine(192 * S, 110 * S, 192 * S, 226 * S, 0.7f * S, kInk.WithAlpha(0.3f));
    const float captionY = L.decayLabelBoxes[0].CentreY();
    const char* captions[5] = {"DEPTH", "PHASE", nullptr, "COUNT", nullptr};
    for (int i = 0; i < 5; ++i) {
        KnobSeat(c, L.knobs[i], true);
        if (captions[i])
            Caption(c, captions[i], L.knobs[i].centreX, captionY, 14, 0.0f);
    }

    // Loops: knob captions under the knobs, level with the live RATE caption of the last one.
    SectionTitle(c, "LOOPS", 24, 436, 246);
    const char* loopCaptions[5] = {"OCTAVES", "REVERSE", "REACH", "WIDTH", nullptr};
    for (int i = 0; i < 5; ++i) {
        KnobSeat(c, L.loopKnobs[i], true);
        if (loopCaptions[i])
            Caption(c, loopCaptions[i], L.loopKnobs[i].centreX, L.rateLabelBox.CentreY(), 11, 0.12f);
    }
    Caption(c, "VOICES", L.voicesBox.left + 4, L.voicesBox.top + 14, 11, 0.12f, FontFace::Align::kRight);

    // Wear trims, output level, chaos seed.
    SectionTitle(c, "WEAR TRIM", 24, 272, 441);
    SectionTitle(c, "OUTPUT", 300, 436, 441);
    const char* trims[4] = {"WOW", "BAND", "NOISE", "CRUSH"};
    for (int i = 0; i < 4; ++i) {
        const PaddlePlacement& p = L.paddles[i];
        const float cx = p.trackX + p.paddleWidth / 2.0f;
        const float top = p.travelTop + p.paddleHeight / 2.0f - 5;
        const float bottom = p.travelBottom + p.paddleHeight / 2.0f + 5;
        Slot(c, {cx - 3, top, cx + 3, bottom}, 3);
        for (int t = 0; t <= 4; ++t) {
            const float y = p.travelTop + p.paddleHeight / 2.0f + (p.travelBottom - p.travelTop) * t / 4.0f;
            const float reach = t == 0 || t == 4 ? 5.0f : 3.5f;
            c.StrokeLine((p.box.left - 1) * S, y * S, (p.box.left - 1 + reach) * S, y * S, 0.9f * S,
                         kInk.WithAlpha(0.6f));
            c.StrokeLine((p.box.right + 1 - reach) * S, y * S, (p.box.right + 1) * S, y * S, 0.9f * S,
                         kInk.WithAlpha(0.6f));
        }
        Caption(c, trims[i], p.box.CentreX(), p.box.bottom + 9, 10, 0.12f);
    }
    KnobSeat(c, L.levelKnob, true);
    Caption(c, "LEVEL", L.levelKnob.centreX, L.levelKnob.centreY + L.levelKnob.size / 2.0f + 6, 11, 0.12f);

    Well(c, L.seedWellBox, 5);
    Caption(c, "SEED", L.seedWellBox.left - 8, L.seedWellBox.CentreY(), 11, 0.12f, FontFace::Align::kRight);
    RaisedButton(c, L.seedStepBox, 5);
    const float px = L.seedStepBox.CentreX() * S, py = L.seedStepBox.CentreY() * S;
    c.StrokeLine(px - 4 * S, py, px + 4 * S, py, 1.5f * S, kInk);
    c.StrokeLine(px, py - 4 * S, px, py + 4 * S, 1.5f * S, kInk);

    Wordmark(c, 120, L.flipBox.CentreY(), 14);
    FlipButton(c, L.flipBox, "FRONT", false);
    return c;
}

Canvas PanelArt::WideBackground(bool back) const
{
    const float w = 940, h = 440;
    Canvas c(static_cast<int>(w * S), static_cast<int>(h * S));
    PanelBase(c, w, h);
    Wordmark(c, w / 2.0f, 96, 34);
    medium.DrawText(c, back ? "OSTREVANE  -  SETTINGS" : "OSTREVANE", w / 2.0f * S, 126 * S, 10 * S, 0.45f * 10 * S,
                    FontFace::Align::kCentre, kInk.WithAlpha(0.7f));
    Rule(c, 40, 900, 150);
    return c;
}

Canvas PanelArt::KnobFrame(const Rgba& colour, double value) const
{
    const float n = static_cast<float>(kKnobFramePixels);
    const float c0 = n / 2.0f;
    const float skirt = kKnobFace * n;
    const float cap = skirt * 0.8f;
    const double angle = (-135.0 + 270.0 * value) * kPi / 180.0;
    const float dx = static_cast<float>(std::sin(angle));
    const float dy = static_cast<float>(-std::cos(angle));
    Canvas f(kKnobFramePixels, kKnobFramePixels);

    f.FillCircle(c0, c0 + 4, skirt + 1, Rgba{0.15f, 0.08f, 0.02f, 0.45f}, 5.0f);
    // Knurled skirt; its ridges turn with the pointer.
    const Rgba skirtColour = colour.Darker(0.14f);
    f.Paint(
        c0 - skirt, c0 - skirt, c0 + skirt, c0 + skirt,
        [=](float x, float y) { return std::hypot(x - c0, y - c0) - skirt; },
        [=](float x, float y) {
            const float a = std::atan2(x - c0, -(y - c0)) - static_cast<float>(angle);
            const float ridge = 0.07f * std::cos(a * 40.0f);
            const float light = -0.12f * (y - c0) / skirt;
            return ridge + light >= 0 ? skirtColour.Lighter(ridge + light) : skirtColour.Darker(-(ridge + light));
        });
    f.StrokeCircle(c0, c0, skirt - 0.5f, 1.2f, Rgba{0.1f, 0.05f, 0.0f, 0.45f});
    // Cap: lit from the top left.
    f.FillCircle(c0, c0 + 2, cap + 1, Rgba{0.1f, 0.05f, 0.0f, 0.35f}, 2.0f);
    const float hx = c0 - cap * 0.35f, hy = c0 - cap * 0.45f;
    f.Paint(
        c0 - cap, c0 - cap, c0 + cap, c0 + cap, [=](float x, float y) { return std::hypot(x - c0, y - c0) - cap; },
        [=](float x, float y) {
            const float t = Clamp01(std::hypot(x - hx, y - hy) / (cap * 1.7f));
            return colour.Lighter(0.28f * (1.0f - t)).Mix(colour.Darker(0.08f), t * t);
        });
    f.StrokeCircle(c0, c0, cap - 0.6f, 1.2f, colour.Lighter(0.4f).WithAlpha(0.55f));
    // Pointer line on the cap and a light dot on the skirt.
    const Rgba pointer = Colour(palette::kPanelDark);
    f.StrokeLine(c0 + dx * cap * 0.22f, c0 + dy * cap * 0.22f, c0 + dx * cap * 0.88f, c0 + dy * cap * 0.88f, 7.0f,
                 pointer);
    const float dot = (cap + skirt) / 2.0f;
    f.FillCircle(c0 + dx * dot, c0 + dy * dot, 3.6f, Colour(palette::kChipSelected));
    return f;
}

Canvas PanelArt::KnobStrip(const Rgba& colour) const
{
    Canvas strip(kKnobFramePixels, kKnobFramePixels * kKnobFrames);
    for (int k = 0; k < kKnobFrames; ++k)
        strip.Draw(KnobFrame(colour, static_cast<double>(k) / (kKnobFrames - 1)), 0, k * kKnobFramePixels);
    return strip;
}

void PanelArt::Thumb(Canvas& c, float w, float h, float radius, int grips) const
{
    const Rgba top = Rgba::FromBytes(253, 248, 234);
    const Rgba bottom = Rgba::FromBytes(222, 205, 170);
    c.FillRoundRect(2, 3, w - 2, h - 1, radius, Rgba{0.15f, 0.08f, 0.02f, 0.5f}, 1.5f);
    c.FillRoundRect(2, 2, w - 2, h - 3, radius,
                    [=](float, float y) { return top.Mix(bottom, Clamp01((y - 2) / (h - 5))); });
    c.StrokeRoundRect(2, 2, w - 2, h - 3, radius, 1.4f, kInk.WithAlpha(0.8f));
    c.StrokeLine(radius, 4.2f, w - radius, 4.2f, 1.2f, Rgba{1, 1, 1, 0.8f});
    const float mid = w / 2.0f;
    for (int i = 0; i < grips; ++i) {
        const float x = mid + (i - (grips - 1) / 2.0f) * 6.0f;
        c.StrokeLine(x, h * 0.32f, x, h * 0.64f, 2.0f, kInk.WithAlpha(0.5f));
        c.StrokeLine(x + 1.5f, h * 0.32f, x + 1.5f, h * 0.64f, 1.0f, Rgba{1, 1, 1, 0.6f});
    }
}

Canvas PanelArt::SwitchThumb() const
{
    Canvas c(68, 56);
    Thumb(c, 68, 56, 9, 3);
    return c;
}

Canvas PanelArt::SyncThumb() const
{
    Canvas c(40, 36);
    Thumb(c, 40, 36, 7, 2);
    return c;
}

Canvas PanelArt::Paddle() const
{
    Canvas c(44, 40);
    Thumb(c, 44, 40, 7, 0);
    c.StrokeLine(9, 19, 35, 19, 3.0f, Colour(palette::kPanelDark));
    return c;
}

Canvas PanelArt::FreezeButton(bool on) const
{
    Canvas c(168, 56);
    const float w = 168, h = 56, r = 20;
    const Rgba top = on ? Rgba::FromBytes(255, 236, 190) : Colour(palette::kChipSelected);
    const Rgba bottom = on ? Rgba::FromBytes(238, 176, 92) : Colour(palette::kButtonOff).Darker(0.05f);
    c.FillRoundRect(2, 4, w - 2, h - 1, r, Rgba{0.15f, 0.08f, 0.02f, 0.45f}, 1.5f);
    c.FillRoundRect(2, 2, w - 2, h - 4, r, [=](float, float y) { return top.Mix(bottom, Clamp01((y - 2) / (h - 6))); });
    if (on) {
        // A warm glow from inside, strongest in the middle.
        c.Paint(
            2, 2, w - 2, h - 4,
            [=](float x, float y) { return Canvas::RoundRectDistance(x, y, 2, 2, w - 2, h - 4, r); },
            [=](float x, float y) {
                const float d = std::hypot((x - w / 2) / (w / 2), (y - h / 2) / (h / 2));
                return Rgba{1.0f, 0.97f, 0.85f, 0.55f * (1.0f - Clamp01(d))};
            });
    }
    c.StrokeRoundRect(2, 2, w - 2, h - 4, r, 2.0f, kInk);
    c.StrokeLine(r, 5, w - r, 5, 1.5f, Rgba{1, 1, 1, on ? 0.7f : 0.85f});
    return c;
}
