#include "plugin/Quorrel.h"

#include "framework/graphics/IGraphics.h"
#include "framework/graphics/windows/IGraphicsWin.h"
#include "plugin/panel/widgets/WPresetStepper.h"
#include "plugin/panel/widgets/WStripKnob.h"
#include "plugin/presets/UiScaleFile.h"
#include "tests/engine/AllocationProbe.h"
#include "tests/plugin/ScratchAppData.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <windows.h>

using iplug::igraphics::IGraphics;

namespace {

// Two plug-in instances with editors in windows of their own, sharing a scratch APPDATA.
class QuorrelEditorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QuorrelEditorFrame";
        RegisterClassW(&wc);
        for (HWND& f : frames)
            f = CreateWindowExW(0, wc.lpszClassName, L"host", WS_POPUP | WS_VISIBLE, 0, 0, 920, 1280, nullptr, nullptr,
                                wc.hInstance, nullptr);
        for (Quorrel*& p : plugins)
            p = new Quorrel();
    }
    void TearDown() override
    {
        for (Quorrel* p : plugins) {
            p->CloseEditor();
            p->release();
        }
        for (HWND f : frames)
            DestroyWindow(f);
    }
    IGraphics* Open(int i)
    {
        EXPECT_NE(plugins[i]->OpenEditor(frames[i], nullptr), nullptr);
        return plugins[i]->GetGraphics();
    }

    ScratchAppData appData;
    HWND frames[2] = {};
    Quorrel* plugins[2] = {};
};

} // namespace

TEST_F(QuorrelEditorTest, AScaleChosenInOneInstanceOpensTheNextEditorOfAnother)
{
    IGraphics* first = Open(0);
    IGraphics* second = Open(1);
    ASSERT_TRUE(first && second);
    EXPECT_FLOAT_EQ(second->GetDrawScale(), 1.0f);

    // The user drags the first panel to 1.5; its idle tick remembers that on a fresh machine.
    first->ResizeEditor(460, 640, 1.5f, true);
    plugins[0]->OnIdleTick();
    EXPECT_FLOAT_EQ(UiScaleFile::Read(Quorrel::UiScalePath()), 1.5f);

    // The second editor, closed and opened again, takes the newer choice and keeps it.
    plugins[1]->CloseEditor();
    second = Open(1);
    ASSERT_NE(second, nullptr);
    EXPECT_FLOAT_EQ(second->GetDrawScale(), 1.5f);
    plugins[1]->OnIdleTick();
    EXPECT_FLOAT_EQ(UiScaleFile::Read(Quorrel::UiScalePath()), 1.5f);

    // A host resize keeps the panel's shape and scales it.
    plugins[1]->FitEditorToHostSize(920, 1280);
    EXPECT_FLOAT_EQ(second->GetDrawScale(), 2.0f);
    EXPECT_EQ(second->Width(), 460);
    plugins[1]->FitEditorToHostSize(460, 1280);
    EXPECT_FLOAT_EQ(second->GetDrawScale(), 1.0f);
}

// The panel redraws on the host's UI thread many times a second, while the audio plays and
// automation moves its knobs: once its images and glyphs are loaded, its frames, the
// clock's per-frame checks of the panel's state included, allocate nothing.
TEST_F(QuorrelEditorTest, ThePanelsFramesAllocateNothingOnceSettled)
{
    auto* ui = static_cast<iplug::igraphics::IGraphicsWin*>(Open(0));
    ASSERT_NE(ui, nullptr);
    std::vector<WStripKnob*> knobs;
    WPresetStepper* stepper = nullptr;
    for (int i = 0; i < ui->NControls(); ++i) {
        if (auto* knob = dynamic_cast<WStripKnob*>(ui->GetControl(i)))
            knobs.push_back(knob);
        if (!stepper)
            stepper = dynamic_cast<WPresetStepper*>(ui->GetControl(i));
    }
    ASSERT_GE(knobs.size(), 2u);
    ASSERT_NE(stepper, nullptr);
    // The preset bar checks its text every frame; a factory preset's name is longer than
    // any string keeps without the heap.
    ASSERT_TRUE(stepper->LoadFactoryPreset(1));
    double value = 0.2;
    const auto drawSomeFrames = [&] {
        value = value > 0.5 ? 0.2 : 0.8;
        knobs[0]->SetValueFromHost(value);
        ui->OnRedrawTick(0);
        knobs[1]->SetValueFromHost(1.0 - value);
        ui->OnRedrawTick(0);
        plugins[0]->OnIdleTick();
        ui->MarkAllControlsDirty();
        ui->OnRedrawTick(0);
    };
    for (int i = 0; i < 3; ++i)
        drawSomeFrames();

    AllocationProbe::Scope probe;
    for (int i = 0; i < 10; ++i)
        drawSomeFrames();
    EXPECT_EQ(probe.Allocations(), 0);
}
