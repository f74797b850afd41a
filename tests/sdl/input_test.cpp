#include "app/sdl/input.h"

#include <gtest/gtest.h>

namespace nuvalo::sdl {
namespace {

TEST(VirtualKeys, KeysHaveTheirWindowsCodes) {
    const struct {
        SDL_Keycode key;
        int vk;
    } keys[] = {
        {SDLK_LEFT, 37},     {SDLK_RIGHT, 39},    {SDLK_SPACE, 32},  {SDLK_ESCAPE, 27},
        {SDLK_a, 'A'},       {SDLK_z, 'Z'},       {SDLK_0, '0'},     {SDLK_9, '9'},
        {SDLK_F1, 0x70},     {SDLK_F12, 0x7B},    {SDLK_UP, 38},     {SDLK_DOWN, 40},
        {SDLK_RETURN, 0x0D}, {SDLK_KP_0, 0x60},   {SDLK_KP_9, 0x69}, {SDLK_LSHIFT, 0x10},
        {SDLK_RSHIFT, 0x10}, {SDLK_AUDIOPLAY, 0}, // keys without a code are dropped
    };
    for (const auto& k : keys) {
        EXPECT_EQ(virtualKey(k.key), k.vk) << "key " << k.key;
    }
}

TEST(PadReadings, ButtonsAndTheLeftStickAsTheHostReadsThem) {
    constexpr auto bit = [](SDL_GameControllerButton b) { return 1u << b; };
    const struct {
        const char* what;
        std::uint32_t buttons;
        Sint16 leftX;
        bool left, right, a, back;
        double stickX;
        bool up, down;
    } cases[] = {
        {"nothing held", 0, 0, false, false, false, false, 0.0, false, false},
        {"d-pad left", bit(SDL_CONTROLLER_BUTTON_DPAD_LEFT), 0, true, false, false, false, 0.0,
         false, false},
        {"d-pad right", bit(SDL_CONTROLLER_BUTTON_DPAD_RIGHT), 0, false, true, false, false, 0.0,
         false, false},
        {"d-pad up", bit(SDL_CONTROLLER_BUTTON_DPAD_UP), 0, false, false, false, false, 0.0, true,
         false},
        {"d-pad down", bit(SDL_CONTROLLER_BUTTON_DPAD_DOWN), 0, false, false, false, false, 0.0,
         false, true},
        {"A and Back", bit(SDL_CONTROLLER_BUTTON_A) | bit(SDL_CONTROLLER_BUTTON_BACK), 0, false,
         false, true, true, 0.0, false, false},
        {"other buttons", bit(SDL_CONTROLLER_BUTTON_B) | bit(SDL_CONTROLLER_BUTTON_START), 0, false,
         false, false, false, 0.0, false, false},
        {"stick fully right", 0, 32767, false, false, false, false, 1.0, false, false},
        {"stick fully left", 0, -32768, false, false, false, false, -1.0, false, false},
        {"stick halfway left", 0, -16384, false, false, false, false, -16384.0 / 32767.0, false,
         false},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(padReading(c.buttons, c.leftX) ==
                    (PadReading{true, c.left, c.right, c.a, c.back, c.stickX, c.up, c.down}))
            << c.what;
    }
    // The host's dead zone, 7849 of SDL's 32767 each way, falls between two
    // of the stick's steps as they are read.
    EXPECT_LE(padReading(0, 7849).stickX, kStickDeadZone);
    EXPECT_GT(padReading(0, 7850).stickX, kStickDeadZone);
    EXPECT_GE(padReading(0, -7849).stickX, -kStickDeadZone);
    EXPECT_LT(padReading(0, -7850).stickX, -kStickDeadZone);
}

} // namespace
} // namespace nuvalo::sdl
