#include "app/win32/program.h"

#include "app/rules.h"
#include "app/shown_frame.h"
#include "app/win32/display.h"
#include "app/win32/message_box.h"
#include "app/win32/tick_timer.h"
#include "render/gdi.h"
#include "render/render.h"

#include <mmsystem.h>

#include <cstddef>
#include <ctime>
#include <memory>

namespace nuvalo::win32 {

namespace {

constexpr UINT_PTR kGameTimerId = 1;
// While Windows runs a modal loop of its own (the window being dragged, the
// system menu open) our message loop is not running; a plain message timer
// then polls the tick deadlines.
constexpr UINT_PTR kModalPumpTimerId = 2;
constexpr UINT kModalPumpMs = USER_TIMER_MINIMUM;

class Win32Shell final : public Shell {
  public:
    HWND window = nullptr;
    TickTimer* timer = nullptr;

    void armTimer() override {
        if (timer != nullptr) {
            timer->arm();
        }
    }
    void playSound(const char* path) override {
        PlaySoundA(path, nullptr, SND_ASYNC | SND_FILENAME);
    }
    void invalidate() override { InvalidateRect(window, nullptr, FALSE); }
    void closeWindow() override { SendMessageA(window, WM_CLOSE, 0, 0); }
    void quit(int exitCode) override { PostQuitMessage(exitCode); }
};

// Everything the program keeps: one record, alive for the whole process.
struct Program {
    App app;
    Win32Shell shell;
    int scale = 1;
    BITMAPINFO frameInfo{};
    // The frame last copied to the window, made once at start-up.
    ShownFrame shown;
    bool erased = false; // since the last paint, by the system
    // The state the last paint showed: at rest, with that frame on the screen,
    // the loop sleeps until a message comes.
    GameState paintedState{};
    bool painted = false;

    const ProgramHooks* hooks = nullptr;
};
Program g;

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

// Looked up at run time: both exist only from Windows 10 1607 on.
template <typename Fn> Fn user32Function(const char* name) {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    if (user32 == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

unsigned windowDpi(HWND window) {
    static const auto getDpiForWindow = user32Function<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow != nullptr && window != nullptr) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi != 0) {
            return dpi;
        }
    }
    HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen != nullptr) {
        ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? static_cast<unsigned>(dpi) : kBaseDpi;
}

// The outer size that gives a client area of the enlarged frame at `dpi`.
SIZE outerSize(int scale, unsigned dpi) {
    static const auto adjustForDpi =
        user32Function<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
    RECT r{0, 0, kFrameWidth * scale, kFrameHeight * scale};
    if (adjustForDpi == nullptr || !adjustForDpi(&r, kWindowStyle, FALSE, 0, dpi)) {
        AdjustWindowRectEx(&r, kWindowStyle, FALSE, 0);
    }
    return SIZE{r.right - r.left, r.bottom - r.top};
}

// Sizes the window so that its client area holds the frame enlarged for `dpi`
// exactly, correcting once more by whatever the frame metrics did not predict.
// `suggested` is where the system wants the window after a change of density.
void fitClientArea(HWND window, unsigned dpi, const RECT* suggested) {
    g.scale = frameScale(dpi);
    const SIZE size = outerSize(g.scale, dpi);
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    int x = 0;
    int y = 0;
    if (suggested != nullptr) {
        x = suggested->left;
        y = suggested->top;
    } else {
        flags |= SWP_NOMOVE;
    }
    SetWindowPos(window, nullptr, x, y, size.cx, size.cy, flags);

    RECT client{};
    RECT outer{};
    if (GetClientRect(window, &client) && GetWindowRect(window, &outer)) {
        const int dx = kFrameWidth * g.scale - (client.right - client.left);
        const int dy = kFrameHeight * g.scale - (client.bottom - client.top);
        if (dx != 0 || dy != 0) {
            SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left + dx,
                         outer.bottom - outer.top + dy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    InvalidateRect(window, nullptr, TRUE); // shown again at the new scale
}

// One copy of the composed frame to the window, enlarged by a whole factor
// with nearest-neighbour sampling on high-density displays.
void present(HDC dc) {
    const Pixel* pixels = g.app.gdi.backBufferBitmap.pixels.get();
    if (pixels == nullptr) {
        return;
    }
    if (g.scale == 1) {
        SetDIBitsToDevice(dc, 0, 0, kFrameWidth, kFrameHeight, 0, 0, 0, kFrameHeight, pixels,
                          &g.frameInfo, DIB_RGB_COLORS);
    } else {
        SetStretchBltMode(dc, COLORONCOLOR);
        StretchDIBits(dc, 0, 0, kFrameWidth * g.scale, kFrameHeight * g.scale, 0, 0, kFrameWidth,
                      kFrameHeight, pixels, &g.frameInfo, DIB_RGB_COLORS, SRCCOPY);
    }
}

void runTick(HWND window) {
    onTimer(g.app, g.shell);
    if (g.hooks != nullptr && g.hooks->afterTick != nullptr && g.shell.timer != nullptr) {
        g.hooks->afterTick(g.hooks->context, window, g.shell.timer->now(),
                           g.shell.timer->dropped());
    }
}

std::uint32_t calendarSeconds() {
    return static_cast<std::uint32_t>(std::time(nullptr));
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        g.shell.window = window;
        g.scale = frameScale(windowDpi(window));
        onCreate(g.app, g.shell, calendarSeconds());
        return 0;
    case WM_DESTROY:
        KillTimer(window, kModalPumpTimerId);
        if (g.shell.timer != nullptr) {
            g.shell.timer->disarm();
        }
        onDestroy(g.app, g.shell);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        onPaint(g.app, g.shell);
        composeFrame(g.app.gdi, g.app.state);
        g.paintedState = g.app.state;
        g.painted = true;
        // An unchanged frame is shown again only where the system erased it.
        if (g.shown.take(g.app.gdi.backBufferBitmap) || g.erased) {
            present(dc);
        }
        g.erased = false;
        EndPaint(window, &ps);
        return 0;
    }
    case WM_KEYDOWN:
        onKeyDown(g.app, static_cast<int>(wParam));
        return 0;
    case WM_KEYUP:
        onKeyUp(g.app, g.shell, static_cast<int>(wParam));
        return 0;
    // An arrow let go while another window has the focus sends its key-up
    // there, and the star would keep turning. Which of these three messages
    // come depends on where the focus went, so each releases the arrows.
    case WM_KILLFOCUS:
        onFocusLost(g.app);
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            onFocusLost(g.app);
        }
        break; // the default handling gives the window the focus when it is activated
    case WM_ACTIVATEAPP:
        if (wParam == FALSE) {
            onFocusLost(g.app);
        }
        return 0;
    case WM_TIMER:
        if (wParam == kModalPumpTimerId) {
            if (g.shell.timer != nullptr && g.shell.timer->takeDue()) {
                runTick(window);
            }
        } else {
            runTick(window);
        }
        return 0;
    case WM_MOUSEMOVE:
        onMouseMove(g.app, framePosition(static_cast<std::uint32_t>(lParam), g.scale));
        return 0;
    case WM_LBUTTONDOWN:
        onLButtonDown(g.app, g.shell);
        return 0;
    case WM_LBUTTONUP:
        onLButtonUp(g.app);
        return 0;
    case WM_ENTERSIZEMOVE:
    case WM_ENTERMENULOOP:
        SetTimer(window, kModalPumpTimerId, kModalPumpMs, nullptr);
        break;
    case WM_EXITSIZEMOVE:
    case WM_EXITMENULOOP:
        KillTimer(window, kModalPumpTimerId);
        break;
    // The game's own repaints never ask for the background to be erased;
    // the system's do (the window uncovered, shown, resized, the display
    // changed), and only they need an unchanged frame shown again.
    case WM_ERASEBKGND:
        g.erased = true;
        break;
    case WM_DISPLAYCHANGE:
        InvalidateRect(window, nullptr, TRUE);
        break;
    case WM_DPICHANGED:
        fitClientArea(window, LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// True while the game stands still with its frame painted and nothing has
// come in since the last tick: until a message comes, ticks would change
// nothing and paint the same frame. A measuring program watches every tick,
// so it gets them all.
bool resting(HWND window, const TickTimer& timer, bool messageSinceTick) {
    return !messageSinceTick && timer.armed() && atRest(g.app.state) && g.painted &&
           g.paintedState == g.app.state && GetUpdateRect(window, nullptr, FALSE) == 0 &&
           (g.hooks == nullptr || g.hooks->afterTick == nullptr);
}

// The message loop: every message is dispatched as it comes (untranslated:
// the game reads key-down and key-up only), and the 20 ms tick is delivered
// as a timer message through the window procedure between messages, so ticks,
// paints and input never overlap. One tick per pass lets each tick's repaint
// happen before the next tick.
int messageLoop(HWND window, TickTimer& timer) {
    MSG msg{};
    bool messageSinceTick = false;
    for (;;) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                return static_cast<int>(msg.wParam);
            }
            // A tick's own repaint is no news; anything else may be.
            messageSinceTick = messageSinceTick || msg.message != WM_PAINT;
            DispatchMessageA(&msg);
        }
        if (resting(window, timer, messageSinceTick)) {
            MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            timer.passOver();
            // Whatever woke the loop is handled before the next tick, which
            // shows what it changed.
            messageSinceTick = true;
            continue;
        }
        if (timer.takeDue()) {
            messageSinceTick = false;
            SendMessageA(window, WM_TIMER, kGameTimerId, 0);
            continue;
        }
        DWORD timeoutMs = INFINITE;
        HANDLE due = timer.prepareWait(timeoutMs);
        MsgWaitForMultipleObjectsEx(due != nullptr ? 1 : 0, due != nullptr ? &due : nullptr,
                                    timeoutMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

} // namespace

int runProgram(HINSTANCE instance, const ProgramHooks* hooks) {
    if (FindWindowA(kProgramName, nullptr) != nullptr) {
        showMessage(kSecondCopyNotice);
        return 0;
    }

    WNDCLASSA wc{};
    wc.style = CS_VREDRAW | CS_HREDRAW;
    wc.lpfnWndProc = windowProcedure;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, "Aicon");
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOWFRAME + 1));
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = kProgramName;
    if (RegisterClassA(&wc) == 0) {
        return kExitNoWindowClass;
    }

    // The frame as Windows reads it: 32-bit 0x00RRGGBB, top row first.
    g.frameInfo.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    g.frameInfo.bmiHeader.biWidth = kFrameWidth;
    g.frameInfo.bmiHeader.biHeight = -kFrameHeight;
    g.frameInfo.bmiHeader.biPlanes = 1;
    g.frameInfo.bmiHeader.biBitCount = 32;
    g.frameInfo.bmiHeader.biCompression = BI_RGB;
    g.shown.forget();
    g.hooks = hooks;

    // The timer must exist before the window: creating the window starts it.
    TickTimer timer;
    g.shell.timer = &timer;

    const SIZE size = outerSize(frameScale(windowDpi(nullptr)), windowDpi(nullptr));
    HWND window =
        CreateWindowExA(0, kProgramName, kProgramName, kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                        size.cx, size.cy, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        g.shell.timer = nullptr;
        return kExitNoWindow;
    }
    // On a monitor of another density than the primary one the window only
    // now knows its own.
    fitClientArea(window, windowDpi(window), nullptr);
    ShowWindow(window, SW_SHOW);

    const int exitCode = messageLoop(window, timer);
    g.shell.timer = nullptr;
    return exitCode;
}

} // namespace nuvalo::win32
