#include "plugin/Quorrel.h"

#include "framework/graphics/IGraphics.h"
#include "plugin/UiScaleFile.h"
#include "tests/plugin/files/ScratchFolder.h"

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
        if (const wchar_t* old = _wgetenv(L"APPDATA"))
            savedAppData = old;
        _wputenv_s(L"APPDATA", std::filesystem::u8path(folder.Path()).wstring().c_str());
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
        _wputenv_s(L"APPDATA", savedAppData.c_str());
    }
    IGraphics* Open(int i)
    {
        EXPECT_NE(plugins[i]->OpenEditor(frames[i], nullptr), nullptr);
        return plugins[i]->GetGraphics();
    }

    ScratchFolder folder;
    std::wstring savedAppData;
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
