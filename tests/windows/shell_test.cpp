// The shell's own tables: the frame's scale at a display density, an XInput
// controller's state read into what the host reads of every controller, and
// the command line.
#include "app/win32/program.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace nuvalo::win32 {
namespace {

TEST(FrameScale, WholeFactorsFromTwoHundredPercentOnly) {
    const struct {
        unsigned dpi;
        int scale;
    } cases[] = {
        {0, 1},   {96, 1},  {144, 1}, // 150%: sharp at 1:1 rather than blurred
        {191, 1}, {192, 2}, {240, 2}, // 250% rounds down to a whole factor
        {288, 3}, {480, 5},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(frameScale(c.dpi), c.scale) << c.dpi << " dpi";
    }
}

TEST(PadReading, TheSixControlsAndTheLeftStickOnly) {
    constexpr WORD kLeft = XINPUT_GAMEPAD_DPAD_LEFT, kRight = XINPUT_GAMEPAD_DPAD_RIGHT,
                   kUp = XINPUT_GAMEPAD_DPAD_UP, kDown = XINPUT_GAMEPAD_DPAD_DOWN,
                   kA = XINPUT_GAMEPAD_A, kBack = XINPUT_GAMEPAD_BACK;
    const struct {
        WORD buttons;
        SHORT stickX;
        bool left, right, a, back;
        double stick;
        bool up, down;
    } cases[] = {
        {0, 0, false, false, false, false, 0.0, false, false},
        {kLeft, 0, true, false, false, false, 0.0, false, false},
        {kRight, 0, false, true, false, false, 0.0, false, false},
        {kUp, 0, false, false, false, false, 0.0, true, false},
        {kDown, 0, false, false, false, false, 0.0, false, true},
        {kA, 0, false, false, true, false, 0.0, false, false},
        {kBack, 0, false, false, false, true, 0.0, false, false},
        {kLeft | kRight | kUp | kDown | kA | kBack, 0, true, true, true, true, 0.0, true, true},
        // Start, B, X, Y, the shoulders and the sticks' buttons play no part.
        {static_cast<WORD>(~(kLeft | kRight | kUp | kDown | kA | kBack)), 0, false, false, false,
         false, 0.0, false, false},
        {0, 32767, false, false, false, false, 1.0, false, false},
        {0, -32767, false, false, false, false, -1.0, false, false},
        {0, -32768, false, false, false, false, -1.0, false, false}, // one step past full left
        {0, 7849, false, false, false, false, 7849.0 / 32767.0, false, false},
        {0, -16384, false, false, false, false, -16384.0 / 32767.0, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "buttons " << c.buttons << ", stick " << c.stickX);
        XINPUT_GAMEPAD pad{};
        pad.wButtons = c.buttons;
        pad.sThumbLX = c.stickX;
        // The other axes and the triggers are not read.
        pad.sThumbLY = -32768;
        pad.sThumbRX = 32767;
        pad.bLeftTrigger = pad.bRightTrigger = 255;
        EXPECT_TRUE(padReading(pad) ==
                    (PadReading{true, c.left, c.right, c.a, c.back, c.stick, c.up, c.down}));
    }
}

// What follows --replay comes out as fopen opens it, even a name the ANSI
// code page cannot spell (by its short name).
TEST(CommandLine, ReplayTakesTheNextArgumentAsFopenOpensIt) {
    const struct {
        const wchar_t* line;
        bool replay;
        const char* argument;
    } cases[] = {
        {L"nuvalo.exe", false, ""},
        {L"nuvalo.exe --replay", false, ""}, // "--replay %1" given no file
        {L"nuvalo.exe -x --replay \"C:\\a b\\r.nuvrun\" y", true, "C:\\a b\\r.nuvrun"},
        {L"\"C:\\p q\\nuvalo.exe\" --replay https://x.org/#run=AB&t=3", true,
         "https://x.org/#run=AB&t=3"},
    };
    for (const auto& c : cases) {
        const CommandLine parsed = parseCommandLine(c.line);
        EXPECT_EQ(parsed.replay, c.replay) << c.argument;
        EXPECT_EQ(parsed.argument, c.argument);
    }

    wchar_t folder[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, folder), 0u);
    const std::wstring path = std::wstring(folder) + L"\u8a18\u9332 \u00e9\u03a9.nuvrun";
    std::FILE* file = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(file, nullptr);
    std::fputs("NUVR", file);
    std::fclose(file);
    const CommandLine parsed = parseCommandLine((L"nuvalo.exe --replay \"" + path + L"\"").c_str());
    file = std::fopen(parsed.argument.c_str(), "rb");
    EXPECT_NE(file, nullptr) << parsed.argument;
    if (file != nullptr) {
        std::fclose(file);
    }
    _wremove(path.c_str());
}

} // namespace
} // namespace nuvalo::win32
