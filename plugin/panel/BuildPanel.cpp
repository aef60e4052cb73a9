#include "plugin/panel/BuildPanel.h"

#include "engine/tables/ParamSpec.h"
#include "framework/graphics/IBitmapControl.h"
#include "framework/graphics/IGraphics.h"
#include "plugin/panel/PanelDrawing.h"
#include "plugin/panel/PanelSides.h"
#include "plugin/panel/PluginPresets.h"
#include "plugin/panel/PluginStatus.h"
#include "plugin/panel/widgets/WBackChip.h"
#include "plugin/panel/widgets/WBackChoice.h"
#include "plugin/panel/widgets/WDecayLabel.h"
#include "plugin/panel/widgets/WFreezeButton.h"
#include "plugin/panel/widgets/WHitButton.h"
#include "plugin/panel/widgets/WLoopMotionRate.h"
#include "plugin/panel/widgets/WLoopMotionRateLabel.h"
#include "plugin/panel/widgets/WLoopVoices.h"
#include "plugin/panel/widgets/WMacroKnob.h"
#include "plugin/panel/widgets/WMacroLabel.h"
#include "plugin/panel/widgets/WModeSwitch.h"
#include "plugin/panel/widgets/WOctaveDir.h"
#include "plugin/panel/widgets/WPaddleSlider.h"
#include "plugin/panel/widgets/WPresetStepper.h"
#include "plugin/panel/widgets/WReadout.h"
#include "plugin/panel/widgets/WRepeatButton.h"
#include "plugin/panel/widgets/WRepeatKnob.h"
#include "plugin/panel/widgets/WRepeatLabel.h"
#include "plugin/panel/widgets/WStripKnob.h"
#include "plugin/panel/widgets/WSyncToggle.h"
#include "plugin/panel/widgets/WTouchTarget.h"
#include "plugin/panel/widgets/WVoiceToggle.h"
#include "plugin/panel/widgets/WWellText.h"
#include "plugin/panel/widgets/WWobbleLamp.h"

using namespace iplug::igraphics;
using panel::kBackGroup;
using panel::kFaceGroup;
using panel::ToBox;

namespace {

constexpr int kKnobFrames = 61;
constexpr int kFaceStepperTag = 100;
constexpr int kBackStepperTag = 101;
constexpr float kResizerHandle = 18.0f;

const char* const kMonoTip = "Sum each loop voice before panning; dry audio stays stereo.";
const char* const kMotionTip = "LFO uses full-history Reach and boundary pitch/direction choices with CHAOS slew.";
const char* const kLoopKnobTips[5] = {
    "Limits octave shifts; DIRECTION picks up, down or both. In LFO mode CHAOS moves between octave targets.",
    "Controls reversed voices. LFO mode selects direction at loop boundaries.",
    "Chooses how far back voices read. LFO mode explores the full safe recorded history.",
    "Voice stereo balance spread, scaled by SHAPE. MONO voices pan the summed fragment.",
    "LOOP only: speed of all voice modulation. 0.25x to 8x; noon is 1x. CHAOS controls the amount. Pitch, reverse "
    "and fragment choices update at loop boundaries.",
};

class PanelBuilder
{
public:
    PanelBuilder(IGraphics& g, PluginPresets& presets, PluginStatus& status) : g(g), presets(presets), status(status) {}

    void Build();

private:
    IBitmapRef Image(const char* name) { return g.LoadBitmapByName(name, 1, false, 0); }
    IBitmapRef Strip(const char* name) { return g.LoadBitmapByName(name, kKnobFrames, false, 0); }
    IControl* Add(IControl* control, const char* group) { return g.AddControl(control, -1, group); }
    IControl* AddPassive(IControl* control, const char* group)
    {
        control->SetIgnoresPointer(true);
        return Add(control, group);
    }
    IControl* Knob(const KnobPlacement& k, int paramIdx, const char* group)
    {
        return Add(new WTouchTarget<WStripKnob>(ToBox(k.Box()), Strip(k.bitmap), paramIdx), group);
    }
    void AddFace();
    void AddBack();

    IGraphics& g;
    PluginPresets& presets;
    PluginStatus& status;
    IBitmapRef switchThumb;
    IBitmapRef syncThumb;
    IBitmapRef paddle;
    IBitmapRef freezeOff;
    IBitmapRef freezeOn;
};

void PanelBuilder::Build()
{
    g.SetScaleLimits(0.75f, 2.0f);
    g.AddCornerResizer(kResizeScale, false, panel::ToArgb(palette::kTransparent), panel::ToArgb(palette::kResizerOver),
                       panel::ToArgb(palette::kResizerDrag), kResizerHandle);
    g.LoadFontFromFile("Roboto-Regular", "Roboto-Regular.ttf");
    g.LoadFontFromFile("Jost-SemiBold", "Jost-SemiBold.ttf");
    g.LoadFontFromFile("Jost-Medium", "Jost-Medium.ttf");

    const IBitmapRef faceImage = Image(kFaceLayout.background);
    const IBitmapRef backImage = Image(kBackLayout.background);
    switchThumb = Image("switch_thumb.png");
    paddle = Image("paddle.png");
    syncThumb = Image("sync_thumb.png");
    freezeOff = Image("freeze_off.png");
    freezeOn = Image("freeze_on.png");

    const IBox whole(0, 0, float(g.Width()), float(g.Height()));
    Add(new IBitmapControl(whole, faceImage, -1, kBlendSourceOver), kFaceGroup);
    Add(new IBitmapControl(whole, backImage, -1, kBlendSourceOver), kBackGroup);
    AddFace();
    AddBack();
    panel::ShowPanelSide(g, status.ShowBackPanel());
    g.AddControl(new WPresetStepper(&presets), kFaceStepperTag, kFaceGroup);
    g.AddControl(new WPresetStepper(&presets), kBackStepperTag, kBackGroup);
    panel::ShowPanelSide(g, status.ShowBackPanel());
}

void PanelBuilder::AddFace()
{
    const FaceLayout& f = kFaceLayout;
    Knob(f.knobs[0], kDrive, kFaceGroup);
    Add(new WTouchTarget<WMacroKnob>(ToBox(f.knobs[1].Box()), Strip(f.knobs[1].bitmap), &status), kFaceGroup);
    Knob(f.knobs[2], kShape, kFaceGroup);
    Knob(f.knobs[3], kChaos, kFaceGroup);
    Knob(f.knobs[4], kWear, kFaceGroup);
    Knob(f.knobs[5], kMix, kFaceGroup);
    AddPassive(new WMacroLabel(ToBox(panel::kMacroLabelBox), &f), kFaceGroup);
    Add(new WTouchTarget<WModeSwitch>(ToBox(f.modeSwitchBox), kMode, switchThumb, &f), kFaceGroup);
    AddPassive(new WTouchTarget<WReadout>(ToBox(f.readoutBox), &status), kFaceGroup);
    AddPassive(new WWobbleLamp(ToBox(panel::kLampBox), kChaos, &f), kFaceGroup);
    Add(new WTouchTarget<WVoiceToggle>(ToBox(f.voiceToggleBox), kDriveVoice, switchThumb, &f), kFaceGroup);
    Add(new WTouchTarget<WSyncToggle>(ToBox(f.syncToggleBox), kSync, syncThumb, &f), kFaceGroup);
    AddPassive(new WRepeatLabel(false, &f, &kBackLayout), kFaceGroup);
    // Takes the pointer only once its first redraw check has seen the mode.
    AddPassive(new WTouchTarget<WFreezeButton>(ToBox(f.freezeBox), kLoopFreeze, freezeOff, freezeOn, &status),
               kFaceGroup);
    Add(new WTouchTarget<WRepeatButton>(ToBox(f.freezeBox), kRepeatHold, "HOLD", true), kFaceGroup);
    Add(new WTouchTarget<WRepeatButton>(ToBox(f.latchBox), kRepeatLatch, "LATCH", false), kFaceGroup);
    Add(new WTouchTarget<WHitButton>(ToBox(f.flipBox), panel::FlipPanelAction(&g, &status, true)), kFaceGroup);
}

void PanelBuilder::AddBack()
{
    const BackLayout& b = kBackLayout;
    AddPassive(new WRepeatLabel(true, &kFaceLayout, &b), kBackGroup);
    AddPassive(new WDecayLabel(&b, 0), kBackGroup);
    AddPassive(new WDecayLabel(&b, 1), kBackGroup);
    Knob(b.knobs[0], kTremDepth, kBackGroup);
    Knob(b.knobs[1], kTremStereoPhase, kBackGroup);
    const int repeatParams[3][2] = {
        {kRepeatDecay, kLegacyEchoFeedback}, {kRepeatCount, kLegacyEchoRepeats}, {kRepeatFeedback, -1}};
    for (int i = 0; i < 3; ++i)
        Add(new WTouchTarget<WRepeatKnob>(ToBox(b.knobs[2 + i].Box()), Strip(b.knobs[2 + i].bitmap), repeatParams[i][0],
                                          repeatParams[i][1]),
            kBackGroup);
    Add(new WTouchTarget<WBackChip>(ToBox(panel::kGaplessChipBox), kRepeatGapless, "GAPLESS"), kBackGroup);
    Add(new WTouchTarget<WLoopVoices>(ToBox(b.voicesBox), kLoopVoices), kBackGroup);
    Add(new WTouchTarget<WBackChoice>(ToBox(b.stereoChoiceBox), kLoopMonoVoices, "STEREO", "MONO", kMonoTip),
        kBackGroup);
    Add(new WTouchTarget<WBackChoice>(ToBox(b.motionChoiceBox), kLoopLFOMotion, "CLASSIC", "LFO", kMotionTip),
        kBackGroup);
    const int loopParams[4] = {kLoopOctaves, kLoopReverse, kLoopReach, kLoopWidth};
    for (int i = 0; i < 4; ++i)
        Knob(b.loopKnobs[i], loopParams[i], kBackGroup)->SetTooltip(kLoopKnobTips[i]);
    Add(new WTouchTarget<WOctaveDir>(ToBox(b.octaveDirBox), kLoopOctaveDir), kBackGroup);
    Add(new WTouchTarget<WLoopMotionRate>(ToBox(b.loopKnobs[4].Box()), Strip(b.loopKnobs[4].bitmap), kLoopMotionRate),
        kBackGroup)
        ->SetTooltip(kLoopKnobTips[4]);
    AddPassive(new WLoopMotionRateLabel(ToBox(b.rateLabelBox)), kBackGroup);
    Knob(b.levelKnob, kLevel, kBackGroup);
    AddPassive(new WWellText(ToBox(b.seedWellBox), kChaosSeed, &WWellText::FormatSeedText, 12, 0.18f), kBackGroup);
    Add(new WTouchTarget<WHitButton>(ToBox(b.seedStepBox), panel::SeedStepAction(kChaosSeed, +1)), kBackGroup);
    const int trims[4] = {kDirtTrimWow, kDirtTrimBandwidth, kDirtTrimNoise, kDirtTrimCrush};
    for (int i = 0; i < 4; ++i)
        Add(new WTouchTarget<WPaddleSlider>(b.paddles[i], trims[i], paddle), kBackGroup);
    Add(new WTouchTarget<WHitButton>(ToBox(b.flipBox), panel::FlipPanelAction(&g, &status, false)), kBackGroup);
}

} // namespace

void BuildPanel(IGraphics* graphics, PluginPresets* presets, PluginStatus* status)
{
    if (graphics && presets && status)
        PanelBuilder(*graphics, *presets, *status).Build();
}
