#include "framework/graphics/windows/IGraphicsWin.h"

#include "framework/core/ExceptionBarrier.h"
#include "framework/core/ModuleResources.h"
#include "framework/core/ScopedSection.h"
#include "framework/core/WideTextBuffer.h"
#include "framework/graphics/IControl.h"
#include "framework/graphics/IGEditorDelegate.h"
#include "framework/graphics/windows/DragAndDropHelpers.h"
#include "framework/graphics/windows/ITrueTypeInfo.h"
#include "framework/graphics/windows/NativeMenu.h"
#include "framework/graphics/windows/WinFont.h"
#include "framework/graphics/windows/WinShell.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windowsx.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace iplug::igraphics {

namespace {

const wchar_t* const kWindowClass = L"IPlugWndClass";
constexpr DWORD kWindowStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
// Mouse messages that came from a pen or touch carry this signature in their extra info.
constexpr LPARAM kPenSignatureMask = ~static_cast<LPARAM>(0xFF);
constexpr LPARAM kPenSignature = 0xFF515700;

int gWindowClassCount = 0;

// Every custom colour of the colour dialog, remembered between calls.
COLORREF gCustomColours[16] = {0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
                               0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF};

void RemoveMemoryFont(void* handle)
{
    RemoveFontMemResourceEx(static_cast<HANDLE>(handle));
}

void DeleteFontHandle(void* handle)
{
    DeleteObject(static_cast<HFONT>(handle));
}

bool IsWindows8OrLater()
{
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    info.dwMajorVersion = 6;
    info.dwMinorVersion = 2;
    info.wServicePackMajor = 0;
    DWORDLONG mask = 0;
    mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&info, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, mask) != FALSE;
}

std::wstring Wide(const char* text)
{
    const WideTextBuffer wide(text ? text : "");
    return wide.GetW() ? std::wstring(wide.GetW()) : std::wstring();
}

bool KeyDown(int key)
{
    return (GetKeyState(key) & 0x8000) != 0;
}

RECT ToDeviceRect(const IBox& box, float s)
{
    return {static_cast<LONG>(std::floor(box.left * s)), static_cast<LONG>(std::floor(box.top * s)),
            static_cast<LONG>(std::ceil(box.right * s)), static_cast<LONG>(std::ceil(box.bottom * s))};
}

void AddUpdateRect(float s, IBoxList& list, const RECT& r)
{
    list.Append(IBox(std::floor(r.left / s), std::floor(r.top / s), std::ceil(r.right / s), std::ceil(r.bottom / s)));
}

template <class Fn>
Fn LoadUser32(const char* name)
{
    HMODULE user = GetModuleHandleW(L"user32.dll");
    return user ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user, name))) : nullptr;
}

} // namespace

ProcessCache& IGraphicsWin::MemoryFontCache()
{
    static ProcessCache cache(RemoveMemoryFont);
    return cache;
}

ProcessCache& IGraphicsWin::FontHandleCache()
{
    static ProcessCache cache(DeleteFontHandle);
    return cache;
}

int IGraphicsWin::OpenWindowCount()
{
    return gWindowClassCount;
}

IGraphicsWin::IGraphicsWin(IGEditorDelegate& delegate, int width, int height, int fps, float drawScale)
    : IGraphicsNanoVG(delegate, width, height, fps, drawScale)
{
    ScopedSection memoryLock(MemoryFontCache().Lock());
    ScopedSection handleLock(FontHandleCache().Lock());
    MemoryFontCache().Acquire();
    FontHandleCache().Acquire();
    useVBlankClock = IsWindows8OrLater();
    moduleInstance = static_cast<HINSTANCE>(ModuleInstance());
}

IGraphicsWin::~IGraphicsWin()
{
    // Deleted through IGraphics::Dispose, nothing of this object is on the stack any more.
    CloseTextEntry();
    FinishClose(!windowGone);
    ScopedSection memoryLock(MemoryFontCache().Lock());
    ScopedSection handleLock(FontHandleCache().Lock());
    MemoryFontCache().ReleaseUse();
    FontHandleCache().ReleaseUse();
}

float IGraphicsWin::GetDpiScaleForWindow(HWND window)
{
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = LoadUser32<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow && window) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi > 0)
            return static_cast<float>(dpi) / 96.0f;
    }
    HDC dc = GetDC(window);
    if (!dc)
        return 1.0f;
    const int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(window, dc);
    return dpi > 0 ? static_cast<float>(dpi) / 96.0f : 1.0f;
}

bool IGraphicsWin::RegisterWindowClass()
{
    if (gWindowClassCount++ > 0)
        return true;
    WNDCLASSW wc = {};
    wc.style = CS_DBLCLKS | CS_OWNDC;
    wc.lpfnWndProc = HandleWindowMessage;
    wc.hInstance = moduleInstance;
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        --gWindowClassCount;
        return false;
    }
    return true;
}

void IGraphicsWin::UnregisterWindowClass()
{
    if (gWindowClassCount > 0 && --gWindowClassCount == 0)
        UnregisterClassW(kWindowClass, moduleInstance);
}

void* IGraphicsWin::OpenPlatformWindow(void* parent)
{
    parentWindow = static_cast<HWND>(parent);
    const float wholeScale = std::trunc(GetDpiScaleForWindow(parentWindow));
    const float screen = wholeScale >= 1.0f ? wholeScale : 1.0f;
    // The editor fills its parent's client area from its origin, whichever parent it had before.
    const int x = 0, y = 0;
    int w = WindowPixels(width, drawScale, screen);
    int h = WindowPixels(height, drawScale, screen);
    if (window) {
        RECT windowRect;
        GetWindowRect(window, &windowRect);
        w = windowRect.right - windowRect.left;
        h = windowRect.bottom - windowRect.top;
        // The window in use by a handler or a modal loop of its own cannot be replaced.
        if (IsInUse())
            return nullptr;
        ClosePlatformWindow();
    }
    windowGone = false;
    if (!RegisterWindowClass())
        return nullptr;
    if (failStep != OpenStep::CreateWindow)
        window = CreateWindowExW(0, kWindowClass, L"Marlquin", kWindowStyle, x, y, w, h, parentWindow, nullptr,
                                 moduleInstance, this);
    if (!window) {
        UnregisterWindowClass();
        return nullptr;
    }
    platformContext = GetDC(window);
    ReleaseDC(window, static_cast<HDC>(platformContext));

    // A host that draws with OpenGL itself finds its context current again once the open is
    // done, whichever way it ends.
    const HDC hostDC = wglGetCurrentDC();
    const HGLRC hostContext = wglGetCurrentContext();
    HDC dc = GetDC(window);
    if (failStep == OpenStep::GLContext || glContext.Create(dc) != WglContext::Failure::None) {
        ReleaseDC(window, dc);
        // A failed creation may have left no context current.
        wglMakeCurrent(hostDC, hostContext);
        AbandonOpen();
        return nullptr;
    }
    // Create left the new context current: the rest of the open runs as one bind, whose unbind
    // gives the host's context back.
    previousDC = hostDC;
    previousGLContext = hostContext;
    boundDC = dc;
    boundToStandIn = false;
    bindDepth = 1;
    backBufferKept = glContext.SwapCopies();
    if (failStep != OpenStep::NanoVGContext)
        OnViewCreated();
    if (!vg) {
        AbandonOpen();
        return nullptr;
    }
    ApplyScreenScale(screen);
    if (!mainFramebuffer)
        OnDrawSizeChanged();
    if (failStep == OpenStep::MainFramebuffer)
        DeleteMainFramebuffer();
    if (!mainFramebuffer) {
        AbandonOpen();
        return nullptr;
    }
    delegate->RunLayoutFunction(this);

    if (multiTouchEnabled && HasMultiTouchDigitizer())
        touchRegistered = RegisterTouchWindow(window, 0) != FALSE;
    MarkAllControlsDirty();

    if (tooltipsEnabled) {
        INITCOMMONCONTROLSEX init = {sizeof(init), ICC_TAB_CLASSES};
        bool ok = InitCommonControlsEx(&init) != FALSE;
        if (ok)
            tooltipWindow = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr,
                                            WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr,
                                            moduleInstance, nullptr);
        ok = tooltipWindow != nullptr;
        if (ok) {
            SetWindowPos(tooltipWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            TOOLINFOW tool = {};
            tool.cbSize = TTTOOLINFOW_V2_SIZE;
            tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
            tool.hwnd = window;
            tool.uId = reinterpret_cast<UINT_PTR>(window);
            tool.lpszText = const_cast<wchar_t*>(L"");
            ok = SendMessageW(tooltipWindow, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)) != FALSE;
            SendMessageW(tooltipWindow, TTM_SETMAXTIPWIDTH, 0, 250);
        }
        if (!ok) {
            if (tooltipWindow)
                DestroyWindow(tooltipWindow);
            tooltipWindow = nullptr;
            EnableTooltips(false);
        }
    }
    UnbindGLContext();
    delegate->OnEditorOpened();
    return window;
}

void IGraphicsWin::AbandonOpen()
{
    StopRedrawClock();
    if (glContext.Handle()) {
        IGraphicsNanoVG::OnViewDestroying();
        // Ends the open's bind: the host's context is current again before this one goes.
        UnbindGLContext();
    }
    glContext.Destroy();
    platformContext = nullptr;
    DeleteUpdateRegion();
    HWND failed = window;
    window = nullptr;
    DestroyWindow(failed);
    UnregisterWindowClass();
}

void IGraphicsWin::ClosePlatformWindow()
{
    CloseWindow(true);
}

void IGraphicsWin::CloseWindow(bool destroyWindow)
{
    if (!window)
        return;
    if (DeferCloseWhileInUse()) {
        windowGone = windowGone || !destroyWindow;
        return;
    }
    FinishClose(destroyWindow && !windowGone);
}

void IGraphicsWin::FinishClose(bool destroyWindow)
{
    if (!window)
        return;
    CloseTextEntry();
    StopRedrawClock();
    ReleaseAllCaptures();
    BindGLContext();
    if (wglGetCurrentContext() == glContext.Handle())
        OnViewDestroying();
    else
        AbandonViewObjects();
    UnbindGLContext();
    glContext.Destroy();
    platformContext = nullptr;
    DeleteUpdateRegion();
    if (tooltipWindow) {
        DestroyWindow(tooltipWindow);
        tooltipWindow = nullptr;
        tooltipShown = false;
        tooltipControl = -1;
    }
    HWND closing = window;
    window = nullptr;
    windowGone = false;
    touchRegistered = false;
    touches.clear();
    if (destroyWindow)
        DestroyWindow(closing);
    UnregisterWindowClass();
}

void IGraphicsWin::StartRedrawClock()
{
    if (useVBlankClock) {
        vblank.Start(window, makeVBlankSystem ? makeVBlankSystem() : VBlankClock::MakeSystem());
        return;
    }
    UINT period = fps > 0 ? 1000 / static_cast<UINT>(fps) : 15;
    if (period < 20)
        period = 15;
    SetTimer(window, kRedrawTimerId, period, nullptr);
}

void IGraphicsWin::StopRedrawClock()
{
    if (window)
        KillTimer(window, kRedrawTimerId);
    vblank.Stop();
}

void IGraphicsWin::BindGLContext()
{
    if (bindDepth > 0) {
        ++bindDepth;
        return;
    }
    if (!window || !glContext.Handle())
        return;
    // Only the outermost bind remembers the context it replaces (the host's, often):
    // an inner one would remember this editor's own and the host would never get its back.
    previousDC = wglGetCurrentDC();
    previousGLContext = wglGetCurrentContext();
    // A window the host destroyed under one of the editor's modal loops took its device context
    // along (GetDC fails); the context is still made current to delete its objects, on a stand-in.
    boundDC = GetDC(window);
    boundToStandIn = boundDC == nullptr;
    if (boundToStandIn)
        boundDC = glContext.StandInDC();
    if (boundDC)
        wglMakeCurrent(boundDC, glContext.Handle());
    bindDepth = 1;
}

void IGraphicsWin::UnbindGLContext()
{
    if (bindDepth == 0 || --bindDepth > 0)
        return;
    if (!boundToStandIn)
        ReleaseDC(window, boundDC);
    boundDC = nullptr;
    wglMakeCurrent(previousDC, previousGLContext);
    previousDC = nullptr;
    previousGLContext = nullptr;
}

bool IGraphicsWin::HasMultiTouchDigitizer() const
{
    return (GetSystemMetrics(SM_DIGITIZER) & NID_MULTI_INPUT) != 0;
}

void IGraphicsWin::ResizePlatformWindow(bool hostResized)
{
    if (!window)
        return;
    RECT r;
    GetWindowRect(window, &r);
    int w = 0, h = 0;
    WindowPixelSize(w, h);
    const int dw = w - (r.right - r.left), dh = h - (r.bottom - r.top);
    if (dw == 0 && dh == 0)
        return;
    auto isNestedChild = [](HWND hwnd) {
        return hwnd && (GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD)
               && !(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_MDICHILD);
    };
    HWND parent = isNestedChild(window) ? GetParent(window) : nullptr;
    HWND grandparent = isNestedChild(parent) ? GetParent(parent) : nullptr;
    const UINT flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
    auto grow = [&](HWND hwnd) {
        RECT wr;
        GetWindowRect(hwnd, &wr);
        SetWindowPos(hwnd, nullptr, 0, 0, wr.right - wr.left + dw, wr.bottom - wr.top + dh, flags);
    };
    grow(window);
    if (!hostResized) {
        if (parent)
            grow(parent);
        if (grandparent)
            grow(grandparent);
    }
}

LRESULT CALLBACK IGraphicsWin::HandleWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_CREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<IGraphicsWin*>(create->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->window = hwnd;
        // A window whose clock could not start fails to be made, and the open reports it.
        const LRESULT created = ExceptionBarrier::Value<LRESULT>(
            [self] {
                self->StartRedrawClock();
                return LRESULT(0);
            },
            -1);
        SetFocus(hwnd);
        DragAcceptFiles(hwnd, TRUE);
        return created;
    }
    auto* self = reinterpret_cast<IGraphicsWin*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self || self->window != hwnd)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    InUse use(*self);
    // A message whose handling threw gets the system's default handling, which also validates
    // a paint that would otherwise come back at once.
    return ExceptionBarrier::Or([&] { return self->WindowProc(hwnd, msg, wParam, lParam); },
                                [&] { return DefWindowProcW(hwnd, msg, wParam, lParam); });
}

LRESULT IGraphicsWin::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    // The close path runs whatever else is going on, also while typing.
    if (msg == WM_CLOSE) {
        ClosePlatformWindow();
        return 0;
    }
    if (msg == WM_DESTROY) {
        CloseWindow(false);
        return 0;
    }
    // The clock posts nothing new while a redraw message is unconsumed, so every branch
    // that takes one, the typing one included, must let it post again.
    if (msg == kRedrawMessage)
        vblank.MessageTaken();
    if (textEntryWindow && textEntryState == kTextEntryEditing) {
        if (msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN) {
            textEntryState = kTextEntryCancel;
            return 0;
        }
        // A drop is not taken while typing, but its memory is the receiver's to give back.
        if (msg == WM_DROPFILES) {
            DragFinish(reinterpret_cast<HDROP>(wParam));
            return 0;
        }
        if (msg != WM_CAPTURECHANGED && msg != WM_CANCELMODE)
            return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    const bool mouseMessage =
        (msg >= WM_MOUSEMOVE && msg <= WM_MBUTTONDBLCLK) || msg == WM_MOUSEHOVER || msg == WM_MOUSELEAVE;
    const bool pen = mouseMessage && IsPenOrTouchMessage();
    const bool ignoredForPen = pen && touchRegistered;

    switch (msg) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ERASEBKGND:
        return 0;
    case WM_PAINT:
        Paint();
        return 0;
    case WM_SIZE:
        // A resized back buffer holds nothing of the last frame, though only the uncovered
        // strips are invalidated.
        OnBackBufferResized();
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    case WM_SETCURSOR:
        if (LOWORD(lParam) != HTCLIENT)
            return DefWindowProcW(hwnd, msg, wParam, lParam);
        SetPointerShape(cursorKind);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS;
    case WM_KEYDOWN:
    case WM_KEYUP:
        return OnKeyMessage(hwnd, msg, wParam, lParam);
    case WM_TIMER:
        if (wParam == kRedrawTimerId)
            OnRedrawTick(0);
        return 0;
    case WM_CTLCOLOREDIT: {
        if (!textEntryWindow)
            return 0;
        HDC dc = reinterpret_cast<HDC>(wParam);
        const IArgb& bg = textEntryStyle.entryBackground;
        const IArgb& fg = textEntryStyle.entryText;
        SetBkColor(dc, RGB(bg.r, bg.g, bg.b));
        SetDCBrushColor(dc, RGB(bg.r, bg.g, bg.b));
        SetTextColor(dc, RGB(fg.r, fg.g, fg.b));
        SetBkMode(dc, OPAQUE);
        return reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
    }
    case WM_MOUSEMOVE:
        if (!ignoredForPen)
            OnMouseMove(wParam, lParam);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        if (!ignoredForPen)
            OnButtonDown(wParam, lParam);
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        OnButtonUp(wParam, lParam);
        return 0;
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK: {
        if (ignoredForPen)
            return 0;
        IPointerEvent event;
        PointerEventFromMessage(event, lParam, wParam);
        if (OnPointerDoubleClick(event.x, event.y, event.mods))
            SetCapture(window);
        return 0;
    }
    case WM_CAPTURECHANGED:
    case WM_CANCELMODE:
        OnCaptureLost();
        return msg == WM_CANCELMODE ? DefWindowProcW(hwnd, msg, wParam, lParam) : 0;
    case WM_MOUSEWHEEL:
        OnWheelMessage(wParam, lParam);
        return 0;
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_TOUCH:
        OnTouch(wParam, lParam);
        return 0;
    case WM_MOUSEHOVER: {
        if (tooltipControl < 0 || !GetControl(tooltipControl))
            return 0;
        const char* tip = GetControl(tooltipControl)->GetTooltip();
        ShowTooltip(tip ? tip : "");
        tooltipShown = true;
        return 0;
    }
    case WM_MOUSELEAVE:
        if (tooltipShown) {
            ShowTooltip(nullptr);
            tooltipShown = false;
        }
        OnPointerOut();
        return 0;
    case kRedrawMessage:
        OnRedrawTick(static_cast<uint32_t>(wParam));
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

void IGraphicsWin::OnRedrawTick(uint32_t count)
{
    if (useVBlankClock) {
        // One redraw message is queued at a time, so the message in hand is the newest;
        // after a frame that overran a blank, the next blank is left out.
        const uint32_t now = vblank.Count();
        if (vblankSkipUntil != 0 && static_cast<int32_t>(vblankSkipUntil - now) > 0)
            return;
        vblankSkipUntil = 0;
    }
    if (textEntryWindow && textEntryState != kTextEntryIdle && textEntryState != kTextEntryEditing) {
        if (textEntryState == kTextEntryCommit) {
            wchar_t text[257] = {};
            GetWindowTextW(textEntryWindow, text, 257);
            TextBuffer utf8;
            utf8.FromUtf16(text);
            CloseTextEntry();
            textEntryState = kTextEntryIdle;
            ApplyTextEntryResult(utf8.Get());
        } else if (textEntryState == kTextEntryCancel) {
            CloseTextEntry();
            textEntryControl = nullptr;
            textEntryState = kTextEntryIdle;
        } else {
            textEntryState = kTextEntryIdle;
        }
        return;
    }
    if (followsWindowDpi && !GetCapture()) {
        const float s = GetDpiScaleForWindow(window);
        if (s != screenScale)
            ApplyScreenScale(s);
    }
    IBoxList regions;
    if (!CollectDirtyRegions(regions))
        return;
    MarkAllControlsClean();
    const float s = GetBackingScale();
    // A frame of the clock is presented at once: invalidating and waiting for WM_PAINT costs
    // several wineserver round trips per frame. The update region is still the way for a
    // hidden window (nothing to present until it is shown), for the text entry (its box must
    // stay out of the frame) and right after a resize: under Wine a frame presented before
    // the window's pending messages are handled can land in the drawable of the old size,
    // leaving the new back buffer partly empty.
    const uint32_t before = vblank.Count();
    if (textEntryWindow || !IsWindowVisible(window) || wholeCompositesDue > 0) {
        for (int i = 0; i < regions.Count(); ++i) {
            const RECT r = ToDeviceRect(regions[i], s);
            InvalidateRect(window, &r, FALSE);
        }
        if (textEntryWindow) {
            const RECT r = ToDeviceRect(textEntryBox, s);
            ValidateRect(window, &r);
            UpdateWindow(window);
            textEntryState = kTextEntryDrawn;
            return;
        }
        UpdateWindow(window);
    } else {
        // The same window-pixel boxes an update region of these regions would give, with what
        // the system invalidated meanwhile drawn in the same frame.
        IBoxList list;
        for (int i = 0; i < regions.Count(); ++i)
            AddUpdateRect(s, list, ToDeviceRect(regions[i], s));
        TakeUpdateRegion(list);
        Present(list);
    }
    if (useVBlankClock && vblank.Count() != before && count != 0)
        vblankSkipUntil = vblank.Count() + 1;
}

void IGraphicsWin::DeleteUpdateRegion()
{
    if (updateRegion)
        DeleteObject(updateRegion);
    updateRegion = nullptr;
}

void IGraphicsWin::Paint()
{
    IBoxList list;
    if (TakeUpdateRegion(list))
        Present(list);
    else
        ValidateRect(window, nullptr);
}

bool IGraphicsWin::TakeUpdateRegion(IBoxList& list)
{
    const float s = GetBackingScale();
    if (!updateRegion)
        updateRegion = CreateRectRgn(0, 0, 0, 0);
    HRGN region = updateRegion;
    const int kind = region ? GetUpdateRgn(window, region, FALSE) : ERROR;
    if (kind != SIMPLEREGION && kind != COMPLEXREGION)
        return false;
    bool added = false;
    if (kind == COMPLEXREGION) {
        alignas(RGNDATA) char buffer[1024];
        const DWORD needed = GetRegionData(region, 0, nullptr);
        if (needed > 0 && needed <= sizeof buffer
            && GetRegionData(region, needed, reinterpret_cast<RGNDATA*>(buffer))) {
            const auto* data = reinterpret_cast<const RGNDATA*>(buffer);
            const auto* rects = reinterpret_cast<const RECT*>(data->Buffer);
            for (DWORD i = 0; i < data->rdh.nCount; ++i)
                AddUpdateRect(s, list, rects[i]);
            added = true;
        }
    }
    if (!added) {
        RECT box;
        GetRgnBox(region, &box);
        AddUpdateRect(s, list, box);
    }
    // Validating just the region taken stands in for BeginPaint and EndPaint (two more round
    // trips, for a DC the window owns anyway) and leaves an invalidation that arrives while
    // the frame is drawn to the next WM_PAINT.
    ValidateRgn(window, region);
    return true;
}

void IGraphicsWin::Present(IBoxList& regions)
{
    BindGLContext();
    DrawDirtyRegions(regions);
    SwapBuffers(static_cast<HDC>(platformContext));
    ++presentedFrames;
    UnbindGLContext();
}

bool IGraphicsWin::IsPenOrTouchMessage()
{
    const bool pen = (GetMessageExtraInfo() & kPenSignatureMask) == kPenSignature;
    lastInputWasPen = pen;
    if (pen)
        pointerLocked = false;
    return pen;
}

void IGraphicsWin::PointerEventFromMessage(IPointerEvent& event, LPARAM lParam, WPARAM wParam)
{
    const float s = GetBackingScale();
    event = IPointerEvent();
    event.x = GET_X_LPARAM(lParam) / s;
    event.y = GET_Y_LPARAM(lParam) / s;
    lastPointerX = event.x;
    lastPointerY = event.y;
    event.mods.left = (wParam & MK_LBUTTON) != 0;
    event.mods.right = (wParam & MK_RBUTTON) != 0;
    event.mods.shift = (wParam & MK_SHIFT) != 0;
    event.mods.ctrl = (wParam & MK_CONTROL) != 0;
    event.mods.alt = KeyDown(VK_MENU);
}

void IGraphicsWin::OnMouseMove(WPARAM wParam, LPARAM lParam)
{
    IPointerEvent event;
    if (wParam & (MK_LBUTTON | MK_RBUTTON)) {
        if (GetCapture() != window || textEntryControl)
            return;
        const float previousX = lastPointerX, previousY = lastPointerY;
        PointerEventFromMessage(event, lParam, wParam);
        event.dx = event.x - previousX;
        event.dy = event.y - previousY;
        if (event.dx == 0.0f && event.dy == 0.0f)
            return;
        OnPointerDrag(IPointerEventList(event));
        if (pointerLocked) {
            const float keepX = lockedPointerX, keepY = lockedPointerY;
            WarpPointer(lockedPointerX, lockedPointerY);
            lockedPointerX = keepX;
            lockedPointerY = keepY;
        }
        return;
    }
    PointerEventFromMessage(event, lParam, wParam);
    const bool overAControl = OnPointerOver(event.x, event.y, event.mods);
    TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, window, HOVER_DEFAULT};
    // Also checked when the pointer left every control for the bare panel: the tip of the
    // control it came from must not stay up.
    if (tooltipsEnabled && overIndex != tooltipControl) {
        track.dwFlags = overIndex >= 0 ? (TME_HOVER | TME_LEAVE) : TME_LEAVE;
        tooltipControl = overIndex;
        if (tooltipShown) {
            ShowTooltip(nullptr);
            tooltipShown = false;
        }
    }
    if (overAControl)
        TrackMouseEvent(&track);
}

void IGraphicsWin::OnButtonDown(WPARAM wParam, LPARAM lParam)
{
    if (tooltipShown) {
        ShowTooltip(nullptr);
        tooltipShown = false;
    }
    if (textEntryWindow) {
        textEntryState = kTextEntryCommit;
        return;
    }
    SetFocus(window);
    SetCapture(window);
    IPointerEvent event;
    PointerEventFromMessage(event, lParam, wParam);
    OnPointerDown(IPointerEventList(event));
}

void IGraphicsWin::OnButtonUp(WPARAM wParam, LPARAM lParam)
{
    releasingCapture = true;
    ReleaseCapture();
    releasingCapture = false;
    IPointerEvent event;
    PointerEventFromMessage(event, lParam, wParam);
    OnPointerUp(IPointerEventList(event));
}

void IGraphicsWin::OnCaptureLost()
{
    // Alt-Tab, a host dialog or a menu took the mouse in the middle of a drag: end it as
    // a release would, so the gesture closes and a hidden pointer shows again.
    if (releasingCapture || NCaptures() == 0)
        return;
    IPointerEvent event;
    event.x = lastPointerX;
    event.y = lastPointerY;
    OnPointerUp(IPointerEventList(event));
    if (NCaptures() > 0)
        ReleaseAllCaptures();
    if (pointerHidden)
        ShowPointer(false, false);
}

void IGraphicsWin::OnWheelMessage(WPARAM wParam, LPARAM lParam)
{
    if (textEntryWindow) {
        textEntryState = kTextEntryCancel;
        return;
    }
    IPointerEvent event;
    PointerEventFromMessage(event, lParam, wParam);
    RECT r;
    GetWindowRect(window, &r);
    const float s = GetBackingScale();
    const int delta = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA;
    OnWheel(event.x - r.left / s, event.y - r.top / s, event.mods, static_cast<float>(delta));
}

LRESULT IGraphicsWin::OnKeyMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    POINT p;
    GetCursorPos(&p);
    ScreenToClient(window, &p);
    BYTE keyboard[256] = {};
    GetKeyboardState(keyboard);
    wchar_t typed[8] = {};
    const UINT scan = (lParam >> 16) & 0xFF;
    // Flag 4 (Windows 10 and later) leaves the keyboard's dead-key state alone.
    const int n = ToUnicode(static_cast<UINT>(wParam), scan, keyboard, typed, 8, 4);
    const bool oneCharacter = n == 1 || (n == 2 && IS_HIGH_SURROGATE(typed[0]) && IS_LOW_SURROGATE(typed[1]));
    if (n == 0 || oneCharacter) {
        IKeyStroke key;
        key.virtualKey = static_cast<int32_t>(wParam);
        if (oneCharacter) {
            typed[n] = 0;
            TextBuffer utf8;
            utf8.FromUtf16(typed);
            if (utf8.GetLength() < kKeyTextLength)
                std::memcpy(key.text, utf8.Get(), utf8.GetLength() + 1);
        }
        key.shift = KeyDown(VK_SHIFT);
        key.ctrl = KeyDown(VK_CONTROL);
        key.alt = KeyDown(VK_MENU);
        const float s = GetBackingScale();
        const bool handled = msg == WM_KEYDOWN ? OnKeyDown(p.x / s, p.y / s, key) : OnKeyUp(p.x / s, p.y / s, key);
        if (handled)
            return 0;
    }
    SendMessageW(GetAncestor(hwnd, GA_ROOT), msg, wParam, lParam);
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void IGraphicsWin::OnDropFiles(HDROP drop)
{
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    std::vector<TextBuffer> paths;
    for (UINT i = 0; i < count; ++i) {
        wchar_t name[1025] = {};
        DragQueryFileW(drop, i, name, 1025);
        paths.emplace_back();
        paths.back().FromUtf16(name);
    }
    POINT p = {};
    DragQueryPoint(drop, &p);
    DragFinish(drop);
    const float s = GetBackingScale();
    if (paths.size() == 1) {
        OnDropPath(paths[0].Get(), p.x / s, p.y / s);
    } else if (!paths.empty()) {
        std::vector<const char*> list;
        for (const TextBuffer& path : paths)
            list.push_back(path.Get());
        OnDropPaths(list, p.x / s, p.y / s);
    }
}

void IGraphicsWin::OnTouch(WPARAM wParam, LPARAM lParam)
{
    const UINT count = LOWORD(wParam);
    if (count == 0)
        return;
    std::vector<TOUCHINPUT> inputs(count);
    auto handle = reinterpret_cast<HTOUCHINPUT>(lParam);
    if (touchApi.getInfo(handle, count, inputs.data(), sizeof(TOUCHINPUT))) {
        const float s = GetBackingScale();
        IPointerEventList downs, ups, drags;
        for (const TOUCHINPUT& input : inputs) {
            POINT p = {input.x / 100, input.y / 100};
            ScreenToClient(window, &p);
            IPointerEvent event;
            event.x = p.x / s;
            event.y = p.y / s;
            event.mods.left = true;
            event.mods.touchId = input.dwID;
            event.mods.touchRadius = (input.dwMask & TOUCHINPUTMASKF_CONTACTAREA) ? input.cxContact : 0.0f;
            if (input.dwFlags & TOUCHEVENTF_DOWN) {
                downs.Append(event);
                touches.emplace(input.dwID, event);
            } else if (input.dwFlags & TOUCHEVENTF_UP) {
                touches.erase(input.dwID);
                ups.Append(event);
            } else if (input.dwFlags & TOUCHEVENTF_MOVE) {
                // A move of a touch whose press was never seen reports no movement.
                const auto found = touches.find(input.dwID);
                if (found != touches.end()) {
                    event.dx = event.x - found->second.x;
                    event.dy = event.y - found->second.y;
                }
                drags.Append(event);
                touches[input.dwID] = event;
            }
        }
        if (downs.Count() > 0)
            OnPointerDown(downs);
        if (ups.Count() > 0)
            OnPointerUp(ups);
        if (drags.Count() > 0)
            OnPointerDrag(drags);
    }
    touchApi.closeHandle(handle);
}

void IGraphicsWin::GetPointerPosition(float& x, float& y) const
{
    POINT p = {};
    GetCursorPos(&p);
    if (window)
        ScreenToClient(window, &p);
    const float s = GetBackingScale();
    x = p.x / s;
    y = p.y / s;
}

void IGraphicsWin::ShowPointer(bool hide, bool lock)
{
    if (hide == pointerHidden)
        return;
    if (hide) {
        lockedPointerX = lastPointerX;
        lockedPointerY = lastPointerY;
        ShowCursor(FALSE);
        pointerHidden = true;
        pointerLocked = lock && !lastInputWasPen;
    } else {
        if (pointerLocked)
            WarpPointer(lockedPointerX, lockedPointerY);
        ShowCursor(TRUE);
        pointerHidden = false;
        pointerLocked = false;
    }
}

void IGraphicsWin::WarpPointer(float x, float y)
{
    if (lastInputWasPen || !window)
        return;
    const float s = GetBackingScale();
    POINT p = {static_cast<LONG>(std::lround(x * s)), static_cast<LONG>(std::lround(y * s))};
    ClientToScreen(window, &p);
    if (!SetCursorPos(p.x, p.y))
        return;
    GetCursorPos(&p);
    ScreenToClient(window, &p);
    lastPointerX = lockedPointerX = p.x / s;
    lastPointerY = lockedPointerY = p.y / s;
}

int IGraphicsWin::SetPointerShape(int kind)
{
    SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(SystemCursorId(kind))));
    return IGraphics::SetPointerShape(kind);
}

void IGraphicsWin::ShowTooltip(const char* text)
{
    if (!tooltipWindow)
        return;
    std::wstring wide = Wide(text);
    TOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = window;
    tool.uId = reinterpret_cast<UINT_PTR>(window);
    tool.lpszText = wide.data();
    SendMessageW(tooltipWindow, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

bool IGraphicsWin::TextEntryAccepts(ParamKind kind, wchar_t c)
{
    if (c == 8)
        return true;
    const bool digitOrSign = (c >= L'0' && c <= L'9') || c == L'+' || c == L'-';
    switch (kind) {
    case kKindBool:
    case kKindInt:
    case kKindEnum:
        return digitOrSign;
    case kKindDouble:
        return digitOrSign || c == L'.';
    default:
        return true;
    }
}

void IGraphicsWin::OpenPlatformTextEntry(int paramIdx, const ITextStyle& style, const IBox& box, int length,
                                         const char* text)
{
    if (textEntryWindow || !window)
        return;
    DWORD editStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | ES_AUTOHSCROLL | ES_MULTILINE;
    editStyle |= style.hAlign == kAlignLeft ? ES_LEFT : style.hAlign == kAlignRight ? ES_RIGHT : ES_CENTER;
    const float s = GetBackingScale();
    const int w = static_cast<int>(box.W() * s), h = static_cast<int>(box.H() * s);
    textEntryWindow = CreateWindowExW(
        0, L"EDIT", Wide(text).c_str(), editStyle, static_cast<int>(box.left * s), static_cast<int>(box.top * s), w + 1,
        h + 1, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTextEntryId)), moduleInstance, nullptr);
    if (!textEntryWindow)
        return;
    {
        ScopedSection lock(FontHandleCache().Lock());
        LOGFONTW logFont = {};
        auto cached = static_cast<HFONT>(FontHandleCache().Find(style.fontId, 1.0));
        // A font id that was never loaded borrows the system's dialog font.
        if (!cached || !GetObjectW(cached, sizeof(logFont), &logFont))
            GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(logFont), &logFont);
        logFont.lfHeight = static_cast<LONG>(s * style.size);
        textEntryFont = CreateFontIndirectW(&logFont);
    }
    textEntryParam = delegate->GetParam(paramIdx);
    textEntryStyle = style;
    textEntryBox = box;
    SendMessageW(textEntryWindow, EM_LIMITTEXT, static_cast<WPARAM>(length), 0);
    SendMessageW(textEntryWindow, WM_SETFONT, reinterpret_cast<WPARAM>(textEntryFont), 0);
    SendMessageW(textEntryWindow, EM_SETSEL, 0, -1);
    if (style.vAlign == kAlignMiddle) {
        const RECT r = {0, static_cast<LONG>((h - s * style.size) / 2), w + 1, h + 1};
        SendMessageW(textEntryWindow, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&r));
    }
    // The procedure is replaced first: taking the focus already sends WM_SETFOCUS, which
    // must reach it to mark the entry as being edited.
    textEntryOldProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(textEntryWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TextEntryProc)));
    SetFocus(textEntryWindow);
}

void IGraphicsWin::CloseTextEntry()
{
    if (!textEntryWindow)
        return;
    HWND entry = textEntryWindow;
    textEntryWindow = nullptr;
    SetWindowLongPtrW(entry, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(textEntryOldProc));
    DestroyWindow(entry);
    if (textEntryFont)
        DeleteObject(textEntryFont);
    textEntryFont = nullptr;
    textEntryOldProc = nullptr;
    textEntryParam = nullptr;
}

LRESULT CALLBACK IGraphicsWin::TextEntryProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<IGraphicsWin*>(GetWindowLongPtrW(GetParent(hwnd), GWLP_USERDATA));
    if (!self || self->textEntryWindow != hwnd)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    InUse use(*self);
    return ExceptionBarrier::Or([&] { return self->TextEntryWindowProc(hwnd, msg, wParam, lParam); },
                                [&] { return DefWindowProcW(hwnd, msg, wParam, lParam); });
}

LRESULT IGraphicsWin::TextEntryWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (tooltipShown) {
        ShowTooltip(nullptr);
        tooltipShown = false;
    }
    switch (msg) {
    case WM_CHAR:
        if (textEntryParam && !TextEntryAccepts(textEntryParam->Kind(), static_cast<wchar_t>(wParam)))
            return 0;
        break;
    case WM_KEYDOWN:
        if (wParam == VK_RETURN) {
            textEntryState = kTextEntryCommit;
            return 0;
        }
        if (wParam == VK_ESCAPE) {
            textEntryState = kTextEntryCancel;
            return 0;
        }
        break;
    case WM_SETFOCUS:
        textEntryState = kTextEntryEditing;
        break;
    case WM_KILLFOCUS:
        textEntryState = kTextEntryCommit;
        break;
    case WM_GETDLGCODE: {
        LRESULT code = CallWindowProcW(textEntryOldProc, hwnd, msg, wParam, lParam);
        const auto* asked = reinterpret_cast<const MSG*>(lParam);
        if (asked && asked->message == WM_KEYDOWN && asked->wParam == VK_RETURN)
            code |= DLGC_WANTALLKEYS;
        return code;
    }
    case WM_COMMAND:
        if (HIWORD(wParam) == 1) {
            textEntryState = kTextEntryCommit;
            return 0;
        }
        break;
    default:
        break;
    }
    return CallWindowProcW(textEntryOldProc, hwnd, msg, wParam, lParam);
}

IPopupMenu* IGraphicsWin::ShowPlatformMenu(IPopupMenu& menu, const IBox& anchor, bool& isAsync)
{
    if (!window)
        return nullptr;
    int nextId = 0;
    HMENU native = NativeMenu::Build(menu, nextId);
    if (!native)
        return nullptr;
    const float s = GetBackingScale();
    POINT p = {static_cast<LONG>(anchor.left * s), static_cast<LONG>(anchor.bottom * s)};
    ClientToScreen(window, &p);
    InUse modal(*this);
    IPopupMenu* chosen = nullptr;
    if (TrackPopupMenu(native, 0, p.x, p.y, 0, window, nullptr)) {
        MSG msg;
        if (PeekMessageW(&msg, window, WM_COMMAND, WM_COMMAND, PM_REMOVE) && HIWORD(msg.wParam) == 0)
            chosen = NativeMenu::Choose(menu, LOWORD(msg.wParam));
    }
    DestroyMenu(native);
    if (IsClosePending())
        return nullptr;
    const RECT all = {0, 0, WindowPixelWidth(), WindowPixelHeight()};
    InvalidateRect(window, &all, FALSE);
    return chosen;
}

// Dialogs, alerts, clipboard, shell

void IGraphicsWin::AskForFile(TextBuffer& fileName, TextBuffer& folder, int mode, const char* extensions,
                              IFileDialogCompletion completion)
{
    if (!window) {
        fileName.Set("");
        return;
    }
    InUse modal(*this);
    WinShell::AskForFile(window, fileName, folder, mode, extensions, shellApi);
    if (IsClosePending()) {
        fileName.Set("");
        return;
    }
    if (completion)
        completion(fileName, folder);
    ReleaseAllCaptures();
}

void IGraphicsWin::AskForFolder(TextBuffer& path, IFileDialogCompletion completion)
{
    if (!window) {
        path.Set("");
        return;
    }
    InUse modal(*this);
    // Only an initialisation that succeeded is undone: a host that set up COM in
    // another mode (RPC_E_CHANGED_MODE) keeps it as it was.
    const bool oleStarted = SUCCEEDED(shellApi.oleInitialize(nullptr));
    const std::wstring title = L"Choose a Directory";
    BROWSEINFOW info = {};
    info.hwndOwner = window;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_USENEWUI;
    path.Set("");
    if (PIDLIST_ABSOLUTE list = shellApi.browseForFolder(&info)) {
        wchar_t chosen[MAX_PATH] = {};
        if (shellApi.pathFromIdList(list, chosen)) {
            path.FromUtf16(chosen);
            path.AppendFormatted(2, "\\");
        }
        CoTaskMemFree(list);
    }
    if (IsClosePending())
        path.Set("");
    else if (completion)
        completion(TextBuffer(), path);
    ReleaseAllCaptures();
    if (oleStarted)
        shellApi.oleUninitialize();
}

namespace {

UINT_PTR CALLBACK ColourHook(HWND dialog, UINT msg, WPARAM, LPARAM lParam)
{
    if (msg != WM_INITDIALOG)
        return 0;
    const auto* choose = reinterpret_cast<const CHOOSECOLORW*>(lParam);
    const auto* prompt = reinterpret_cast<const wchar_t*>(choose->lCustData);
    if (prompt && *prompt)
        SetWindowTextW(dialog, prompt);
    static const UINT setRgb = RegisterWindowMessageW(L"commdlg_SetRGBColor");
    SendMessageW(dialog, setRgb, 0, choose->rgbResult);
    return 0;
}

} // namespace

bool IGraphicsWin::AskForColour(IArgb& colour, const char* prompt, IColourPickerCompletion completion)
{
    ReleaseAllCaptures();
    if (!window)
        return false;
    const std::wstring widePrompt = Wide(prompt);
    CHOOSECOLORW choose = {};
    choose.lStructSize = sizeof(choose);
    choose.hwndOwner = window;
    choose.rgbResult = RGB(colour.r, colour.g, colour.b);
    choose.lpCustColors = gCustomColours;
    choose.Flags = CC_RGBINIT | CC_FULLOPEN | CC_ENABLEHOOK | CC_SOLIDCOLOR | CC_ANYCOLOR;
    choose.lCustData = reinterpret_cast<LPARAM>(widePrompt.c_str());
    choose.lpfnHook = ColourHook;
    InUse modal(*this);
    if (!shellApi.chooseColour(&choose) || IsClosePending())
        return false;
    colour.r = GetRValue(choose.rgbResult);
    colour.g = GetGValue(choose.rgbResult);
    colour.b = GetBValue(choose.rgbResult);
    if (completion)
        completion(colour);
    return true;
}

namespace {

struct WindowSearch
{
    DWORD processId;
    std::wstring className;
    HWND found = nullptr;
};

BOOL CALLBACK FindProcessWindow(HWND hwnd, LPARAM param)
{
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner != search->processId)
        return TRUE;
    wchar_t name[129] = {};
    GetClassNameW(hwnd, name, 129);
    if (search->className != name)
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

} // namespace

HWND IGraphicsWin::FindHostMainWindow()
{
    // A window the host has destroyed since (it moved the editor's frame elsewhere
    // first) would make every alert fail: search again.
    if (hostMainWindow && !IsWindow(hostMainWindow)) {
        hostMainWindow = nullptr;
        hostMainWindowSearched = false;
    }
    // Searched once per object: a host without a findable main window gets alerts
    // without an owner instead of a search on every alert.
    if (hostMainWindow || hostMainWindowSearched)
        return hostMainWindow;
    hostMainWindowSearched = true;
    // A parent that has gone leads nowhere; the host's class, remembered from the first
    // search, still finds its main window.
    if (parentWindow && IsWindow(parentWindow)) {
        HWND top = parentWindow;
        while (HWND up = GetParent(top))
            top = up;
        hostMainWindow = top;
        wchar_t name[129] = {};
        GetClassNameW(top, name, 129);
        hostMainWindowClass.FromUtf16(name);
    } else if (hostMainWindowClass.GetLength() > 0) {
        processId = GetCurrentProcessId();
        WindowSearch search{processId, Wide(hostMainWindowClass.Get())};
        EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&search));
        hostMainWindow = search.found;
    }
    return hostMainWindow;
}

int IGraphicsWin::ShowAlert(const char* text, const char* caption, int type, IMsgBoxCompletion completion)
{
    ReleaseAllCaptures();
    HWND owner = FindHostMainWindow();
    InUse modal(*this);
    const int answer = shellApi.messageBox(owner, Wide(text).c_str(), Wide(caption).c_str(), static_cast<UINT>(type));
    if (IsClosePending())
        return IDCANCEL;
    if (completion)
        completion(answer);
    return answer;
}

bool IGraphicsWin::ReadClipboardText(TextBuffer& text)
{
    return WinShell::ReadClipboardText(text);
}

bool IGraphicsWin::WriteClipboardText(const char* text)
{
    return WinShell::WriteClipboardText(window, text);
}

bool IGraphicsWin::WriteClipboardPath(const char* path)
{
    return WinShell::WriteClipboardPath(window, path);
}

bool IGraphicsWin::DragFileOut(const char* path)
{
    const bool oleStarted = SUCCEEDED(shellApi.oleInitialize(nullptr));
    const FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    auto* data = new DragAndDropHelpers::DataObject(format, path);
    auto* source = new DragAndDropHelpers::DropSource;
    DWORD effect = DROPEFFECT_NONE;
    InUse modal(*this);
    const HRESULT result = DoDragDrop(data, source, DROPEFFECT_COPY, &effect);
    data->Release();
    source->Release();
    if (oleStarted)
        shellApi.oleUninitialize();
    ReleaseAllCaptures();
    // A cancelled drag answers DRAGDROP_S_CANCEL, which is not a failure code either; a
    // drop where no target took the file answers DRAGDROP_S_DROP with no effect.
    return result == DRAGDROP_S_DROP && effect != DROPEFFECT_NONE;
}

bool IGraphicsWin::OpenUrlInBrowser(const char* url, const char* title, const char* confirmation, const char* failure)
{
    InUse modal(*this);
    return WinShell::OpenUrl(window, url, title, confirmation, failure, shellApi);
}

bool IGraphicsWin::ShowInFileBrowser(TextBuffer& path, bool select)
{
    return WinShell::ShowInFileBrowser(path.Get(), select, shellApi);
}

// Fonts

HFONT IGraphicsWin::CreateFontForFamily(const char* family, int weight, bool italic, bool underline, DWORD quality,
                                        bool mustExist)
{
    LOGFONTW logFont = {};
    logFont.lfWeight = weight;
    logFont.lfItalic = italic;
    logFont.lfUnderline = underline;
    logFont.lfCharSet = DEFAULT_CHARSET;
    logFont.lfOutPrecision = OUT_TT_PRECIS;
    logFont.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    logFont.lfQuality = static_cast<BYTE>(quality);
    logFont.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    const std::wstring name = Wide(family);
    if (name.empty() || name.size() >= LF_FACESIZE)
        return nullptr;
    wcscpy(logFont.lfFaceName, name.c_str());
    HDC dc = GetDC(nullptr);
    if (mustExist) {
        const int found = EnumFontFamiliesExW(
            dc, &logFont, [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM) -> int { return -1; }, 0, 0);
        if (found != -1) {
            ReleaseDC(nullptr, dc);
            return nullptr;
        }
    }
    HFONT font = CreateFontIndirectW(&logFont);
    if (font) {
        HGDIOBJ previous = SelectObject(dc, font);
        wchar_t face[64] = {};
        GetTextFaceW(dc, 64, face);
        SelectObject(dc, previous);
        // The system substitutes another family for one it does not have.
        if (_wcsicmp(face, name.c_str()) != 0) {
            DeleteObject(font);
            font = nullptr;
        }
    }
    ReleaseDC(nullptr, dc);
    return font;
}

PlatformFont* IGraphicsWin::LoadSystemFont(const char* fontId, const char* family, int style)
{
    static const char* const kStyleNames[] = {"Regular", "Bold", "Italic"};
    const int s = style == 1 || style == 2 ? style : 0;
    HFONT font = CreateFontForFamily(family, s == 1 ? FW_BOLD : FW_NORMAL, s == 2, false, DEFAULT_QUALITY, true);
    return font ? new WinFont(font, kStyleNames[s]) : nullptr;
}

PlatformFont* IGraphicsWin::LoadPlatformFontFromMemory(const char* fontId, const void* data, int size)
{
    if (!fontId || !data || size <= 0)
        return nullptr;
    ScopedSection lock(MemoryFontCache().Lock());
    const ITrueTypeInfo info(data, size, 0);
    if (!info.HasMainTables())
        return nullptr;
    // A font id installed before (by this or an earlier editor) is not installed again,
    // so opening and closing editors does not grow the cache.
    const bool installed = MemoryFontCache().Find(fontId, 1.0) != nullptr;
    HANDLE added = nullptr;
    if (!installed) {
        DWORD fonts = 0;
        added = AddFontMemResourceEx(const_cast<void*>(data), static_cast<DWORD>(size), nullptr, &fonts);
        if (!added)
            return nullptr;
    }
    HFONT font = CreateFontForFamily(info.family.Get(), (info.macStyle & 1) ? FW_BOLD : FW_NORMAL,
                                     (info.macStyle & 2) != 0, (info.macStyle & 4) != 0, DEFAULT_QUALITY, false);
    if (!font) {
        if (added)
            RemoveFontMemResourceEx(added);
        return nullptr;
    }
    if (added)
        MemoryFontCache().Add(added, fontId, 1.0);
    return new WinFont(font, "");
}

PlatformFont* IGraphicsWin::LoadPlatformFontFromFile(const char* fontId, const char* fileOrResource)
{
    TextBuffer location;
    const ResourceLocation kind = FindResourceOrFile(fileOrResource, "ttf", location, moduleInstance);
    if (kind == kFoundResource) {
        int size = 0;
        const void* bytes = LoadModuleResource(location.Get(), "ttf", size, moduleInstance);
        return bytes ? LoadPlatformFontFromMemory(fontId, bytes, size) : nullptr;
    }
    if (kind != kFoundFile)
        return nullptr;
    HANDLE file = CreateFileW(Wide(location.Get()).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    PlatformFont* font = nullptr;
    LARGE_INTEGER size = {};
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < INT32_MAX) {
        if (HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr)) {
            if (const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)) {
                font = LoadPlatformFontFromMemory(fontId, view, static_cast<int>(size.QuadPart));
                UnmapViewOfFile(view);
            }
            CloseHandle(mapping);
        }
    }
    CloseHandle(file);
    return font;
}

void IGraphicsWin::RetainPlatformFont(const char* fontId, PlatformFont& font)
{
    ScopedSection lock(FontHandleCache().Lock());
    if (FontHandleCache().Find(fontId, 1.0))
        return;
    LOGFONTW logFont = {};
    if (!font.GetHandle() || !GetObjectW(static_cast<HFONT>(font.GetHandle()), sizeof(logFont), &logFont))
        return;
    if (HFONT copy = CreateFontIndirectW(&logFont))
        FontHandleCache().Add(copy, fontId, 1.0);
}

} // namespace iplug::igraphics
