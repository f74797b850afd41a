#include "app/win32/program.h"

#include "app/win32/message_box.h"
#include "app/win32/tick_timer.h"
#include "clip/clip_file.h"
#include "game/cues.h"
#include "game/game.h"
#include "host/frame_scale.h"
#include "persist/best_score.h"
#include "persist/run_file.h"

#include <mmsystem.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <cwchar>
#include <memory>
#include <string>

namespace nuvalo::win32 {

namespace {

// While Windows runs a modal loop of its own (the window being dragged, the
// system menu open) our message loop is not running; a plain message timer
// then keeps the game going.
constexpr UINT_PTR kModalPumpTimerId = 1;
constexpr UINT kModalPumpMs = USER_TIMER_MINIMUM;

class Win32Shell final : public Shell {
  public:
    explicit Win32Shell(TickTimer& timer) : timer_(timer) {
        // The frame as Windows reads it: 32-bit 0x00RRGGBB, top row first.
        frameInfo_.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        frameInfo_.bmiHeader.biWidth = kFrameWidth;
        frameInfo_.bmiHeader.biHeight = -kFrameHeight;
        frameInfo_.bmiHeader.biPlanes = 1;
        frameInfo_.bmiHeader.biBitCount = 32;
        frameInfo_.bmiHeader.biCompression = BI_RGB;
    }

    HWND window = nullptr; // until the window goes
    HDC paintDc = nullptr; // inside WM_PAINT
    int scale = 1;
    int exitCode = 0;
    // Showing a recorded run: nothing is read or kept.
    bool watching = false;

    std::uint64_t now() override { return timer_.now(); }
    void show(const Bitmap& frame) override {
        if (paintDc != nullptr) {
            present(paintDc, frame);
        } else if (HDC dc = window != nullptr ? GetDC(window) : nullptr) {
            present(dc, frame);
            ReleaseDC(window, dc);
        }
    }
    void play(Cue cue) override { PlaySoundA(cueFile(cue), nullptr, SND_ASYNC | SND_FILENAME); }
    float loadBest() override { return watching ? 0.0f : nuvalo::loadBest(kSaveFile); }
    bool saveBestIfHigher(std::int32_t score) override {
        return !watching && nuvalo::saveBestIfHigher(score, kSaveFile) != 0;
    }
    // Beside save.dat. A run that cannot be kept there costs nothing else,
    // and a game with no console has no one to tell.
    void runRecorded(const RunRecord& run) override {
        if (!watching) {
            writeRunFile(kLastRunFile, run);
        }
    }
    void bestRunKept(const RunRecord& run) override {
        if (!watching) {
            writeRunFile(kBestRunFile, run);
        }
    }
    // Beside the runs: a watch runs in the program's folder.
    void clipWanted(const RunRecord& run, std::uint32_t from, std::uint32_t to) override {
        clip::saveClip(run, from, to, clip::makeGifWriter().get(),
                       [this](const std::string& title) {
                           if (window != nullptr) {
                               SetWindowTextA(window, title.c_str());
                           }
                       });
    }
    // What the record proves, once, when the watch first reaches its end,
    // for whoever started the watch with its output caught to read.
    void watchChanged(const WatchStatus* status) override {
        if (status != nullptr && status->atEnd && !verdictWritten_) {
            verdictWritten_ = true;
            std::printf("%s\n", status->verdict.c_str());
            std::fflush(stdout);
        }
    }
    void ended(int code) override {
        exitCode = code;
        // Destroying the window sends messages of its own (the focus going);
        // none of them may destroy it again.
        if (HWND w = window) {
            window = nullptr;
            DestroyWindow(w);
        }
    }

  private:
    // One copy of the frame to the window, enlarged by a whole factor with
    // nearest-neighbour sampling on high-density displays.
    void present(HDC dc, const Bitmap& frame) {
        if (scale == 1) {
            SetDIBitsToDevice(dc, 0, 0, kFrameWidth, kFrameHeight, 0, 0, 0, kFrameHeight,
                              frame.pixels.get(), &frameInfo_, DIB_RGB_COLORS);
        } else {
            SetStretchBltMode(dc, COLORONCOLOR);
            StretchDIBits(dc, 0, 0, kFrameWidth * scale, kFrameHeight * scale, 0, 0, kFrameWidth,
                          kFrameHeight, frame.pixels.get(), &frameInfo_, DIB_RGB_COLORS, SRCCOPY);
        }
    }

    TickTimer& timer_;
    BITMAPINFO frameInfo_{};
    bool verdictWritten_ = false;
};

// The controllers, through XInput when the system has it: loaded at run time,
// so that the game also starts where it is missing, without controllers then.
class Pads {
  public:
    Pads() {
        for (const char* name : {"xinput1_4.dll", "xinput9_1_0.dll"}) {
            if ((module_ = LoadLibraryA(name)) != nullptr) {
                getState_ = reinterpret_cast<GetStateFn>(
                    reinterpret_cast<void*>(GetProcAddress(module_, "XInputGetState")));
                break;
            }
        }
    }
    ~Pads() {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }
    Pads(const Pads&) = delete;
    Pads& operator=(const Pads&) = delete;

    // Whether a game at rest must still wake now and then to look for a pad
    // plugged in.
    bool searching() const {
        return getState_ != nullptr &&
               std::none_of(connected_.begin(), connected_.end(), [](bool c) { return c; });
    }

    // Reads the pads that answered last time. Asking an empty slot is slow,
    // so the others are looked at no more than four times a second.
    void read(Host& host, std::uint64_t now, std::uint64_t frequency) {
        if (getState_ == nullptr) {
            return;
        }
        const bool search = now - lastSearch_ >= frequency / kSearchesPerSecond;
        lastSearch_ = search ? now : lastSearch_;
        for (DWORD slot = 0; slot < XUSER_MAX_COUNT; ++slot) {
            bool& connected = connected_[slot];
            if (!connected && !search) {
                continue;
            }
            XINPUT_STATE state{};
            const bool answered = getState_(slot, &state) == ERROR_SUCCESS;
            if (answered || connected) {
                host.pad(static_cast<int>(slot),
                         answered ? padReading(state.Gamepad) : PadReading{});
            }
            connected = answered;
        }
    }

    static constexpr std::uint64_t kSearchesPerSecond = 4;

  private:
    using GetStateFn = DWORD(WINAPI*)(DWORD, XINPUT_STATE*);
    HMODULE module_ = nullptr;
    GetStateFn getState_ = nullptr;
    std::array<bool, XUSER_MAX_COUNT> connected_{};
    std::uint64_t lastSearch_ = 0;
};

// Everything the program keeps, alive while the window is.
struct Program {
    explicit Program(const ProgramHooks* h) : hooks(h) {}

    TickTimer timer;
    Win32Shell shell{timer};
    Host host{shell, timer.frequency()};
    Pads pads;
    const ProgramHooks* hooks;
    // The run to show instead of a game, from that many seconds in.
    const RunRecord* watched = nullptr;
    double startSeconds = 0.0;
};
Program* g = nullptr;

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
    const int scale = g->shell.scale = frameScale(dpi);
    const SIZE size = outerSize(scale, dpi);
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
        const int dx = kFrameWidth * scale - (client.right - client.left);
        const int dy = kFrameHeight * scale - (client.bottom - client.top);
        if (dx != 0 || dy != 0) {
            SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left + dx,
                         outer.bottom - outer.top + dy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    InvalidateRect(window, nullptr, TRUE); // shown again at the new scale
}

// Reads the controllers, then takes the tick that is due, if any.
Wake step(HWND window) {
    g->pads.read(g->host, g->timer.now(), g->timer.frequency());
    const Wake wake = g->host.advance();
    if (wake.ticked && g->hooks != nullptr && g->hooks->afterTick != nullptr) {
        g->hooks->afterTick(g->hooks->context, window, static_cast<std::int64_t>(g->timer.now()),
                            g->host.droppedTicks());
    }
    return wake;
}

std::uint32_t calendarSeconds() {
    return static_cast<std::uint32_t>(std::time(nullptr));
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Host& host = g->host;
    switch (message) {
    case WM_CREATE:
        g->shell.window = window;
        g->shell.scale = frameScale(windowDpi(window));
        host.create(calendarSeconds());
        if (g->watched != nullptr) {
            host.watch(
                *g->watched,
                {.drawControls = true, .escapeCloses = true, .startSeconds = g->startSeconds});
        }
        return 0;
    case WM_DESTROY:
        KillTimer(window, kModalPumpTimerId);
        PostQuitMessage(g->shell.exitCode);
        return 0;
    case WM_CLOSE: // the host ends the game, which destroys the window
        host.close();
        return 0;
    case WM_PAINT: { // the game's own frames go out at its ticks
        PAINTSTRUCT ps;
        g->shell.paintDc = BeginPaint(window, &ps);
        host.repaint();
        g->shell.paintDc = nullptr;
        EndPaint(window, &ps);
        return 0;
    }
    case WM_KEYDOWN:
        host.keyDown(static_cast<int>(wParam));
        return 0;
    case WM_KEYUP:
        host.keyUp(static_cast<int>(wParam));
        return 0;
    // An arrow let go while another window has the focus sends its key-up
    // there, and the star would keep turning. Which of these three messages
    // come depends on where the focus went, so each lets go of the keys.
    case WM_KILLFOCUS:
        host.focusLost();
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            host.focusLost();
        }
        break; // the default handling gives the window the focus when it is activated
    case WM_ACTIVATEAPP:
        if (wParam == FALSE) {
            host.focusLost();
        }
        return 0;
    case WM_TIMER:
        if (wParam == kModalPumpTimerId) {
            step(window);
        }
        return 0;
    case WM_MOUSEMOVE: {
        const int scale = g->shell.scale;
        host.pointerMove(toFrame(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), kFrameWidth * scale,
                                 kFrameHeight * scale));
        return 0;
    }
    case WM_LBUTTONDOWN:
        host.pointerDown();
        return 0;
    case WM_ENTERSIZEMOVE:
    case WM_ENTERMENULOOP:
        SetTimer(window, kModalPumpTimerId, kModalPumpMs, nullptr);
        break;
    case WM_EXITSIZEMOVE:
    case WM_EXITMENULOOP:
        KillTimer(window, kModalPumpTimerId);
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

// The message loop: every message is dispatched as it comes (untranslated:
// the game reads key-down and key-up only), then the host takes the tick that
// is due and says how long the loop may sleep.
int messageLoop(HWND window) {
    MSG msg{};
    for (;;) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                return static_cast<int>(msg.wParam);
            }
            DispatchMessageA(&msg);
        }
        const Wake wake = step(window);
        if (g->host.ended()) {
            continue; // the quit message is on its way
        }
        TickTimer& timer = g->timer;
        if (!wake.untilInput) {
            timer.waitUntil(wake.at);
        } else if (g->pads.searching()) {
            timer.waitUntil(timer.now() + timer.frequency() / Pads::kSearchesPerSecond);
        } else {
            timer.waitUntil(TickTimer::kNever);
        }
    }
}

// `wide` in the ANSI code page; false where that cannot spell it.
bool toAnsi(const wchar_t* wide, std::string& out) {
    BOOL lossy = FALSE;
    const int size =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, nullptr, 0, nullptr, &lossy);
    if (size <= 0 || lossy) {
        return false;
    }
    out.assign(static_cast<std::size_t>(size), '\0');
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, out.data(), size, nullptr,
                            &lossy) != size ||
        lossy) {
        return false;
    }
    out.pop_back(); // the NUL
    return true;
}

// A path as fopen takes it. A name the ANSI code page cannot spell (Japanese
// on a western system, say) still has a short name that it can, wherever the
// file system keeps short names; failing both, the UTF-8 name at least says
// in the notice which file it was.
std::string narrowPath(const wchar_t* path) {
    std::string narrow;
    if (toAnsi(path, narrow)) {
        return narrow;
    }
    const DWORD length = GetShortPathNameW(path, nullptr, 0);
    if (length > 0) {
        std::wstring shortPath(length, L'\0');
        if (GetShortPathNameW(path, shortPath.data(), length) == length - 1) {
            shortPath.pop_back();
            if (toAnsi(shortPath.c_str(), narrow)) {
                return narrow;
            }
        }
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, path, -1, nullptr, 0, nullptr, nullptr);
    narrow.assign(static_cast<std::size_t>(std::max(size, 1)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, path, -1, narrow.data(), size, nullptr, nullptr);
    narrow.pop_back();
    return narrow;
}

// Explorer starts a program opening a file in some folder of its choosing; the
// watch's sounds are in "Ton" beside the program.
void enterProgramFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    wchar_t* slash = std::wcsrchr(path, L'\\');
    if (slash != nullptr) {
        *slash = L'\0';
        SetCurrentDirectoryW(path);
    }
}

} // namespace

CommandLine parseCommandLine(const wchar_t* commandLine) {
    CommandLine parsed;
    int count = 0;
    wchar_t** args = CommandLineToArgvW(commandLine, &count);
    if (args == nullptr) {
        return parsed;
    }
    for (int i = 1; i + 1 < count; ++i) {
        if (std::wcscmp(args[i], L"--replay") == 0) {
            parsed.replay = true;
            parsed.argument = narrowPath(args[i + 1]);
            break;
        }
    }
    LocalFree(args);
    return parsed;
}

int frameScale(unsigned dpi) {
    return std::max(desktopFactor(static_cast<double>(dpi) / kBaseDpi), 1);
}

PadReading padReading(const XINPUT_GAMEPAD& pad) {
    PadReading reading;
    reading.attached = true;
    reading.left = (pad.wButtons & XINPUT_GAMEPAD_DPAD_LEFT) != 0;
    reading.right = (pad.wButtons & XINPUT_GAMEPAD_DPAD_RIGHT) != 0;
    reading.up = (pad.wButtons & XINPUT_GAMEPAD_DPAD_UP) != 0;
    reading.down = (pad.wButtons & XINPUT_GAMEPAD_DPAD_DOWN) != 0;
    reading.a = (pad.wButtons & XINPUT_GAMEPAD_A) != 0;
    reading.back = (pad.wButtons & XINPUT_GAMEPAD_BACK) != 0;
    reading.stickX = stickAxis(pad.sThumbLX);
    return reading;
}

int runProgram(HINSTANCE instance, const ProgramHooks* hooks, const CommandLine& commandLine) {
    WatchedRun watched;
    if (commandLine.replay) {
        watched = readWatchedRun(commandLine.argument, kRulesVersion);
        if (!watched.ok) {
            std::fprintf(stderr, "nuvalo: %s\n", watched.reason.c_str());
            std::fflush(stderr);
            showAnsiMessage(watched.reason.c_str());
            return kExitUnreadableRun;
        }
        enterProgramFolder();
    } else if (FindWindowA(kProgramName, kProgramName) != nullptr) {
        // Only a game's window counts: a watch reads and keeps nothing, so it
        // opens beside a game, and a game beside it.
        showMessage(kSecondCopyNotice);
        return 0;
    }

    WNDCLASSA wc{};
    wc.style = CS_VREDRAW | CS_HREDRAW;
    wc.lpfnWndProc = windowProcedure;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, "Aicon");
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOWFRAME + 1));
    wc.lpszClassName = kProgramName;
    if (RegisterClassA(&wc) == 0) {
        return kExitNoWindowClass;
    }

    // The clock and the host must exist before the window: creating the
    // window creates the game.
    const auto program = std::make_unique<Program>(hooks);
    g = program.get();
    if (commandLine.replay) {
        g->shell.watching = true;
        g->watched = &watched.run;
        g->startSeconds = watched.startSeconds;
    }
    const SIZE size = outerSize(frameScale(windowDpi(nullptr)), windowDpi(nullptr));
    HWND window = CreateWindowExA(
        0, kProgramName, commandLine.replay ? clip::kWatchTitle : kProgramName, kWindowStyle,
        CW_USEDEFAULT, CW_USEDEFAULT, size.cx, size.cy, nullptr, nullptr, instance, nullptr);
    int exitCode = kExitNoWindow;
    if (window != nullptr) {
        // On a monitor of another density than the primary one the window
        // only now knows its own.
        fitClientArea(window, windowDpi(window), nullptr);
        ShowWindow(window, SW_SHOW);
        exitCode = messageLoop(window);
    }
    g = nullptr;
    return exitCode;
}

} // namespace nuvalo::win32
