#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <shellapi.h>

#include "framework/core/IParam.h"
#include "framework/graphics/windows/IGraphicsNanoVG.h"
#include "framework/graphics/windows/VBlankClock.h"
#include "framework/graphics/windows/WglContext.h"
#include "framework/graphics/windows/WinShell.h"

#include <functional>
#include <unordered_map>

namespace iplug::igraphics {

// The Windows layer of the editor: one child window of the class "IPlugWndClass" with an
// OpenGL context in which the NanoVG backend draws, its window procedure (input, redraw
// clock, paint), native menus and text entry, dialogs, clipboard and platform fonts.
class IGraphicsWin : public IGraphicsNanoVG
{
public:
    static constexpr UINT_PTR kRedrawTimerId = 2;
    static constexpr UINT kRedrawMessage = VBlankClock::kRedrawMessage;
    static constexpr int kTextEntryId = 99;

    enum TextEntryState : int
    {
        kTextEntryIdle = 0,
        kTextEntryEditing = 1,
        kTextEntryDrawn = 2,
        kTextEntryCancel = 3,
        kTextEntryCommit = 4
    };

    // Steps of opening the window, for tests that make one of them fail.
    enum class OpenStep
    {
        None,
        CreateWindow,
        GLContext,
        NanoVGContext,
        MainFramebuffer
    };

    // The calls that read and finish the records of a WM_TOUCH message; tests replace them.
    struct TouchInputApi
    {
        BOOL(WINAPI* getInfo)(HTOUCHINPUT, UINT, TOUCHINPUT*, int) = ::GetTouchInputInfo;
        BOOL(WINAPI* closeHandle)(HTOUCHINPUT) = ::CloseTouchInputHandle;
    };
    using VBlankSystemFactory = std::function<std::unique_ptr<VBlankClock::System>()>;

    IGraphicsWin(IGEditorDelegate& delegate, int width, int height, int fps, float drawScale);
    ~IGraphicsWin() override;

    void GetPointerPosition(float& x, float& y) const override;
    void ShowPointer(bool hide, bool lock) override;
    void WarpPointer(float x, float y) override;
    int SetPointerShape(int cursorKind) override;
    void CancelTextEntry() override { textEntryState = kTextEntryCancel; }
    void* OpenPlatformWindow(void* parent) override;
    void ClosePlatformWindow() override;
    void* GetNativeWindow() const override { return window; }
    bool IsWindowOpen() const override { return window != nullptr; }
    bool ReadClipboardText(TextBuffer& text) override;
    bool WriteClipboardText(const char* text) override;
    bool WriteClipboardPath(const char* path) override;
    bool DragFileOut(const char* path) override;
    void OnPopupControlOpening() override {}
    int ShowAlert(const char* text, const char* caption, int type, IMsgBoxCompletion completion) override;
    void AskForFile(TextBuffer& fileName, TextBuffer& folder, int mode, const char* extensions,
                    IFileDialogCompletion completion) override;
    void AskForFolder(TextBuffer& path, IFileDialogCompletion completion) override;
    bool AskForColour(IArgb& colour, const char* prompt, IColourPickerCompletion completion) override;
    bool OpenUrlInBrowser(const char* url, const char* title, const char* confirmation, const char* failure) override;
    const char* GetPlatformName() const override { return "win32"; }
    bool ShowInFileBrowser(TextBuffer& path, bool select) override;
    void SetModuleInstance(void* module) override { moduleInstance = static_cast<HINSTANCE>(module); }
    void* GetModuleInstance() const override { return moduleInstance; }
    PlatformFont* LoadSystemFont(const char* fontId, const char* family, int style) override;
    PlatformFont* LoadPlatformFontFromMemory(const char* fontId, const void* data, int size) override;
    PlatformFont* LoadPlatformFontFromFile(const char* fontId, const char* fileOrResource) override;
    void RetainPlatformFont(const char* fontId, PlatformFont& font) override;
    void BindGLContext() override;
    void UnbindGLContext() override;
    void OpenPlatformTextEntry(int paramIdx, const ITextStyle& style, const IBox& box, int length,
                               const char* text) override;
    IPopupMenu* ShowPlatformMenu(IPopupMenu& menu, const IBox& anchor, bool& isAsync) override;
    bool HasMultiTouchDigitizer() const override;
    float GetWindowScale() const override { return screenScale; }
    void ResizePlatformWindow(bool hostResized) override;

    void ShowTooltip(const char* text);
    void OnRedrawTick(uint32_t count);
    // Dots per inch of the window's monitor / 96; 1 when unknown.
    static float GetDpiScaleForWindow(HWND window);
    static HFONT CreateFontForFamily(const char* family, int weight, bool italic, bool underline, DWORD quality,
                                     bool mustExist);
    // A character the text entry accepts for a parameter of this kind (backspace always).
    static bool TextEntryAccepts(ParamKind kind, wchar_t c);

    // Process-wide caches of installed memory fonts and copied font handles, by font id.
    static ProcessCache& MemoryFontCache();
    static ProcessCache& FontHandleCache();
    // Windows open with the class "IPlugWndClass", process-wide.
    static int OpenWindowCount();

    // Off once a host sets the content scale itself: the monitor's DPI no longer applies.
    void SetFollowsWindowDpi(bool follow) { followsWindowDpi = follow; }
    bool UsesVBlankClock() const { return useVBlankClock; }
    void SetUseVBlankClock(bool on) { useVBlankClock = on; }
    HWND GetTextEntryWindow() const { return textEntryWindow; }
    int GetTextEntryState() const { return textEntryState; }
    const VBlankClock& GetVBlankClock() const { return vblank; }
    // Frames presented since the window opened.
    int PresentedFrames() const { return presentedFrames; }
    // Makes one step of the next opens fail (OpenStep::None for none).
    void FailOpenStepForTesting(OpenStep step) { failStep = step; }
    // The system calls the OpenGL context of the next opens makes.
    void SetGLApiForTesting(const WglContext::Api& api) { glContext.SetApi(api); }
    void SetTouchInputApiForTesting(const TouchInputApi& api) { touchApi = api; }
    void SetShellApiForTesting(const WinShellApi& api) { shellApi = api; }
    // The system the vertical-blank thread of the next opens waits and posts through.
    void SetVBlankSystemForTesting(VBlankSystemFactory make) { makeVBlankSystem = std::move(make); }
    HWND GetTooltipWindow() const { return tooltipWindow; }
    bool IsTooltipShown() const { return tooltipShown; }

protected:
    static LRESULT CALLBACK HandleWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK TextEntryProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT TextEntryWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    bool RegisterWindowClass();
    void UnregisterWindowClass();
    void StartRedrawClock();
    void StopRedrawClock();
    // Closes now, or once no code of this object is on the stack any more; destroyWindow
    // false when the window is already going (WM_DESTROY).
    void CloseWindow(bool destroyWindow);
    void FinishClose(bool destroyWindow);
    void AbandonOpen(HDC dc);
    void CloseTextEntry();
    void Paint();
    // Appends the window's update region, in window-pixel aligned boxes, to list and
    // validates it; false when there was none.
    bool TakeUpdateRegion(IBoxList& list);
    // Draws the regions (window-pixel aligned boxes) and presents the frame.
    void Present(IBoxList& regions);
    void DeleteUpdateRegion();

    void PointerEventFromMessage(IPointerEvent& event, LPARAM lParam, WPARAM wParam);
    bool IsPenOrTouchMessage();
    void OnMouseMove(WPARAM wParam, LPARAM lParam);
    void OnButtonDown(WPARAM wParam, LPARAM lParam);
    void OnButtonUp(WPARAM wParam, LPARAM lParam);
    void OnCaptureLost();
    void OnWheelMessage(WPARAM wParam, LPARAM lParam);
    LRESULT OnKeyMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void OnDropFiles(HDROP drop);
    void OnTouch(WPARAM wParam, LPARAM lParam);
    HWND FindHostMainWindow();

    WglContext glContext;
    HGLRC previousGLContext = nullptr;
    HDC previousDC = nullptr;
    HDC boundDC = nullptr;
    // Binds not yet undone; binds nest (drawing code binds inside a frame that is bound).
    int bindDepth = 0;
    HINSTANCE moduleInstance = nullptr;
    HWND window = nullptr;
    bool touchRegistered = false;
    HWND textEntryWindow = nullptr;
    HWND tooltipWindow = nullptr;
    HWND parentWindow = nullptr;
    HWND hostMainWindow = nullptr;
    bool hostMainWindowSearched = false;
    WNDPROC textEntryOldProc = nullptr;
    HFONT textEntryFont = nullptr;
    DWORD processId = 0;
    VBlankClock vblank;
    uint32_t vblankSkipUntil = 0;
    bool useVBlankClock = false;
    IParam* textEntryParam = nullptr;
    ITextStyle textEntryStyle;
    IBox textEntryBox;
    int textEntryState = kTextEntryIdle;
    bool tooltipShown = false;
    float lockedPointerX = 0.0f;
    float lockedPointerY = 0.0f;
    int tooltipControl = -1;
    TextBuffer hostMainWindowClass;
    std::unordered_map<uint64_t, IPointerEvent> touches;
    // The window got WM_DESTROY while its close had to wait.
    bool windowGone = false;
    bool releasingCapture = false;
    bool followsWindowDpi = true;
    int presentedFrames = 0;
    // The update region of WM_PAINT, made once per window rather than once per frame.
    HRGN updateRegion = nullptr;
    OpenStep failStep = OpenStep::None;
    TouchInputApi touchApi;
    WinShellApi shellApi;
    VBlankSystemFactory makeVBlankSystem;
};

} // namespace iplug::igraphics
