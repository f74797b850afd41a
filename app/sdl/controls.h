#pragma once
// The keyboard and any game controllers as one set of game keys. A pad's
// d-pad and left stick hold Left and Right, its A (south) button is Space and
// Back is Escape, so they go through the same rules as the keys. A key held
// in two places (the keyboard's Left and a pad's d-pad, two pads) counts as
// released only once nothing holds it any more.

#include "app/key_holders.h"
#include "app/sdl/input.h"

#include <SDL.h>

#include <array>
#include <cstdint>

namespace nuvalo::sdl {

// How far the left stick must lean before it steers, out of 32767.
inline constexpr int kStickDeadZone = 8000;

class Controls {
  public:
    Controls() = default;
    ~Controls();
    Controls(const Controls&) = delete;
    Controls& operator=(const Controls&) = delete;

    // Every event of the window passes here; `focused` as for translate.
    // Controllers are opened as they are plugged in (SDL reports those
    // present at start the same way) and closed as they are pulled out.
    Messages translate(const SDL_Event& event, bool focused);
    void closeAll();

  private:
    static constexpr int kMaxPads = 8;
    static constexpr std::uint32_t kKeyboard = KeyHolders::kKeyboard;

    void press(Messages& out, int vk, std::uint32_t source);
    void release(Messages& out, int vk, std::uint32_t source, bool announce);
    void padAdded(int deviceIndex);
    void padRemoved(Messages& out, SDL_JoystickID id);
    void stick(Messages& out, int slot, int value);
    int slotOf(SDL_JoystickID id) const;
    static std::uint32_t buttonsOf(int slot) { return 1u << (1 + 2 * slot); }
    static std::uint32_t stickOf(int slot) { return 1u << (2 + 2 * slot); }

    // Who holds each game key: a bit for the keyboard, two for each pad.
    KeyHolders holders_;
    std::array<SDL_GameController*, kMaxPads> pads_{};
    std::array<SDL_JoystickID, kMaxPads> ids_{};
};

} // namespace nuvalo::sdl
