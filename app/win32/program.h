#pragma once
// The Windows program: single-instance guard, window class, main window and
// message loop, turning the window's messages and the controllers into calls
// of the host and carrying out what the host asks of the shell.

#include "host/host.h"

#include <windows.h>
#include <xinput.h>

#include <cstdint>
#include <string>

namespace nuvalo::win32 {

// Exit codes besides the 0 of a normal end or of a refused second copy.
inline constexpr int kExitNoWindowClass = 1;
inline constexpr int kExitNoWindow = 2;
// A run to watch whose record cannot be read, as nuvalo-sim says it.
inline constexpr int kExitUnreadableRun = 2;

// What the command line asks for. Its one option, --replay FILE|LINK, shows a
// recorded run; anything else on it is ignored, and so is a --replay with
// nothing after it.
struct CommandLine {
    bool replay = false;
    // What follows --replay, as the narrow file functions take a path: in
    // the ANSI code page, or the file's short name where that cannot spell it.
    std::string argument;
};
CommandLine parseCommandLine(const wchar_t* commandLine);

// Observation points for test programs that run the real window; the game
// itself runs without them.
struct ProgramHooks {
    // After every game tick has run, with the performance-counter time at
    // which the tick was delivered and the number of ticks dropped so far
    // because the thread was held up for a period or more.
    void (*afterTick)(void* context, HWND window, std::int64_t counter,
                      std::uint64_t dropped) = nullptr;
    void* context = nullptr;
};

// Runs the game, or the watch the command line asks for, until its window is
// closed and returns the exit code.
int runProgram(HINSTANCE instance, const ProgramHooks* hooks = nullptr,
               const CommandLine& commandLine = {});

// The window style: a caption with close and minimise boxes, no maximise
// box and no sizing border.
inline constexpr DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// The platform's reference density: 96 dots per inch is a scale of 100%.
inline constexpr unsigned kBaseDpi = 96;

// The whole factor by which the frame is enlarged at `dpi`: 1 below a scale of
// 200%, otherwise the whole part of the scale. The frame is never stretched by
// a fraction, which would blur its pixel art.
int frameScale(unsigned dpi);

// An XInput controller's state as the host reads every controller.
PadReading padReading(const XINPUT_GAMEPAD& pad);

} // namespace nuvalo::win32
