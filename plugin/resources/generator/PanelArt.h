#pragma once

#include "plugin/panel/PanelLayout.h"
#include "plugin/resources/generator/Canvas.h"
#include "plugin/resources/generator/FontFace.h"

#include <string>

// Draws every image the panel loads, at twice the panel's resolution, from the panel's layout
// records and palette: the two backgrounds with their captions, seats, wells and slots, the knob
// strips, the switch and sync thumbs, the paddle and the FREEZE button.
class PanelArt
{
public:
    static constexpr float kScale = 2.0f;
    static constexpr int kKnobFrames = 61;
    static constexpr int kKnobFramePixels = 196;
    // Radius of the visible knob in a strip frame, as a share of the frame's side.
    static constexpr float kKnobFace = 80.0f / 196.0f;

    // fontFolder holds Jost-Medium.ttf and Jost-SemiBold.ttf.
    bool LoadFonts(const std::string& fontFolder);

    Canvas FaceBackground() const;
    Canvas BackBackground() const;
    // The unused landscape backgrounds (1880 x 880).
    Canvas WideBackground(bool back) const;
    Canvas KnobStrip(const Rgba& colour) const;
    Canvas KnobFrame(const Rgba& colour, double value) const;
    Canvas SwitchThumb() const;
    Canvas SyncThumb() const;
    Canvas Paddle() const;
    Canvas FreezeButton(bool on) const;

    // Pointer angle of a strip frame in degrees clockwise from 12 o'clock.
    static double FrameAngle(int frame);

private:
    void PanelBase(Canvas& c, float widthUnits, float heightUnits) const;
    void Caption(Canvas& c, const std::string& text, float x, float y, float size, float spacing,
                 FontFace::Align align = FontFace::Align::kCentre, bool semiBold = true) const;
    void Wordmark(Canvas& c, float cx, float cy, float size) const;
    void KnobSeat(Canvas& c, const KnobPlacement& knob, bool fineTicks) const;
    void Slot(Canvas& c, const PanelRect& r, float radius) const;
    void Well(Canvas& c, const PanelRect& r, float radius) const;
    void RaisedButton(Canvas& c, const PanelRect& r, float radius) const;
    void FlipButton(Canvas& c, const PanelRect& r, const std::string& text, bool arrowRight) const;
    void Rule(Canvas& c, float x0, float x1, float y) const;
    void SectionTitle(Canvas& c, const std::string& text, float x0, float x1, float y) const;
    void Thumb(Canvas& c, float w, float h, float radius, int grips) const;

    FontFace medium;
    FontFace semiBold;
};
