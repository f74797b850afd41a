// The shell's own tables: the frame's scale at a display density, and an
// XInput controller's state read into what the host reads of every controller.
#include "app/win32/program.h"

#include <gtest/gtest.h>

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

TEST(PadReading, TheFourControlsAndTheLeftStickOnly) {
    constexpr WORD kLeft = XINPUT_GAMEPAD_DPAD_LEFT, kRight = XINPUT_GAMEPAD_DPAD_RIGHT,
                   kA = XINPUT_GAMEPAD_A, kBack = XINPUT_GAMEPAD_BACK;
    const struct {
        WORD buttons;
        SHORT stickX;
        bool left, right, a, back;
        double stick;
    } cases[] = {
        {0, 0, false, false, false, false, 0.0},
        {kLeft, 0, true, false, false, false, 0.0},
        {kRight, 0, false, true, false, false, 0.0},
        {kA, 0, false, false, true, false, 0.0},
        {kBack, 0, false, false, false, true, 0.0},
        {kLeft | kRight | kA | kBack, 0, true, true, true, true, 0.0},
        // Start, B, X, Y, the shoulders, the sticks' buttons and the d-pad's
        // up and down play no part.
        {static_cast<WORD>(~(kLeft | kRight | kA | kBack)), 0, false, false, false, false, 0.0},
        {0, 32767, false, false, false, false, 1.0},
        {0, -32767, false, false, false, false, -1.0},
        {0, -32768, false, false, false, false, -1.0}, // one step past full left
        {0, 7849, false, false, false, false, 7849.0 / 32767.0},
        {0, -16384, false, false, false, false, -16384.0 / 32767.0},
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
        EXPECT_TRUE(padReading(pad) == (PadReading{true, c.left, c.right, c.a, c.back, c.stick}));
    }
}

} // namespace
} // namespace nuvalo::win32
