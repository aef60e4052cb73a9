#pragma once

// Where the panel's widgets sit, in unscaled panel units (panel::kWidth x panel::kHeight). The widgets and the image
// generator read the same records, so the seats, wells and slots drawn into the backgrounds stay
// under the controls placed on them. Plain data: the generator links no drawing code.

struct PanelRect
{
    float left;
    float top;
    float right;
    float bottom;

    constexpr float CentreX() const { return (left + right) / 2.0f; }
    constexpr float CentreY() const { return (top + bottom) / 2.0f; }
};

struct KnobPlacement
{
    float centreX;
    float centreY;
    float radius;
    float size;
    const char* bitmap;

    constexpr PanelRect Box() const
    {
        return {centreX - size / 2.0f, centreY - size / 2.0f, centreX + size / 2.0f, centreY + size / 2.0f};
    }
};

struct PaddlePlacement
{
    PanelRect box;
    float trackX;
    float travelTop;
    float travelBottom;
    float paddleWidth;
    float paddleHeight;
};

struct FaceLayout
{
    int width;
    int height;
    float extraY;
    const char* background;
    KnobPlacement knobs[6];
    float macroLabelCentreX;
    float macroLabelCentreY;
    PanelRect modeSwitchBox;
    PanelRect modeZones[3];
    float repeatLabelCentreX;
    float repeatLabelCentreY;
    PanelRect freezeBox;
    PanelRect latchBox;
    PanelRect readoutBox;
    float lampCentreX;
    float lampCentreY;
    float lampRadius;
    PanelRect flipBox;
    PanelRect voiceToggleBox;
    PanelRect voiceZones[2];
    PanelRect syncToggleBox;
    PanelRect syncZones[2];
};

struct BackLayout
{
    int width;
    int height;
    float extraY;
    const char* background;
    KnobPlacement knobs[5];
    PanelRect decayLabelBoxes[2];
    PanelRect countLabelBox;
    KnobPlacement loopKnobs[5];
    PanelRect rateLabelBox;
    PanelRect stereoChoiceBox;
    PanelRect motionChoiceBox;
    PanelRect voicesBox;
    PanelRect octaveDirBox;
    KnobPlacement levelKnob;
    PaddlePlacement paddles[4];
    PanelRect seedWellBox;
    PanelRect seedStepBox;
    PanelRect flipBox;
};

namespace panel {
// The panel's unscaled size, at which the editor opens.
constexpr int kWidth = 460;
constexpr int kHeight = 640;
constexpr float kMainKnobSize = 119.4444f;
constexpr float kBackKnobSize = 58.3333f;
constexpr float kSmallKnobSize = 55.5556f;
constexpr PanelRect kPresetBarBox = {0, 0, kWidth, 44};
// Boxes of widgets the layout records do not carry.
constexpr PanelRect kMacroLabelBox = {170, 141, 290, 161};
constexpr PanelRect kLampBox = {138, 570.5f, 159, 591.5f};
constexpr PanelRect kGaplessChipBox = {352, 204, 420, 224};
} // namespace panel

constexpr FaceLayout kFaceLayout = {
    panel::kWidth,
    panel::kHeight,
    614.0f,
    "bg_face.png",
    {{96, 222, 43, panel::kMainKnobSize, "knob_peach.png"},
     {230, 222, 43, panel::kMainKnobSize, "knob_sky.png"},
     {364, 222, 43, panel::kMainKnobSize, "knob_butter.png"},
     {96, 452, 43, panel::kMainKnobSize, "knob_pink.png"},
     {230, 452, 43, panel::kMainKnobSize, "knob_tan.png"},
     {364, 452, 43, panel::kMainKnobSize, "knob_sage.png"}},
    230,
    157,
    {167, 297, 293, 331},
    {{170, 300, 204, 328}, {213, 300, 247, 328}, {256, 300, 290, 328}},
    230,
    352.15f,
    {361, 300, 445, 328},
    {361, 338, 445, 366},
    {36, 566, 132, 596},
    148.5f,
    581,
    4.5f,
    {340, 566, 426, 596},
    {78, 272, 114, 290},
    {{80, 274, 96, 288}, {96, 274, 112, 288}},
    {208, 572, 252, 594},
    {{210, 574, 230, 592}, {230, 574, 250, 592}},
};

constexpr BackLayout kBackLayout = {
    panel::kWidth,
    panel::kHeight,
    614.0f,
    "bg_back.png",
    {{68, 172, 21, panel::kBackKnobSize, "knob_butter.png"},
     {140, 172, 21, panel::kBackKnobSize, "knob_sky.png"},
     {242, 172, 21, panel::kBackKnobSize, "knob_peach.png"},
     {314, 172, 21, panel::kBackKnobSize, "knob_butter.png"},
     {386, 172, 21, panel::kBackKnobSize, "knob_pink.png"}},
    {{200, 123, 284, 142}, {344, 123, 428, 142}},
    {285, 205, 343, 223},
    {{78, 299, 20, panel::kSmallKnobSize, "knob_sky.png"},
     {154, 299, 20, panel::kSmallKnobSize, "knob_peach.png"},
     {230, 299, 20, panel::kSmallKnobSize, "knob_butter.png"},
     {306, 299, 20, panel::kSmallKnobSize, "knob_pink.png"},
     {382, 299, 20, panel::kSmallKnobSize, "knob_sage.png"}},
    {344, 330, 420, 347},
    {160, 359, 278, 384},
    {292, 359, 410, 384},
    {132, 390, 413, 419},
    {50, 359, 146, 384},
    {391, 485, 20, panel::kSmallKnobSize, "knob_tan.png"},
    {{{49, 459, 79, 517}, 53, 463, 493, 22, 20},
     {{105, 459, 135, 517}, 109, 463, 493, 22, 20},
     {{161, 459, 191, 517}, 165, 463, 493, 22, 20},
     {{217, 459, 247, 517}, 221, 463, 493, 22, 20}},
    {92, 540, 136, 560},
    {142, 540, 162, 560},
    {336, 574, 428, 604},
};
