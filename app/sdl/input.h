#pragma once
// The keyboard and the game controllers as SDL knows them, in the terms the
// host reads: keys as Windows virtual-key codes, each controller as a
// PadReading. The mappings are pure, so tests feed them hand-made values.

#include "host/host.h"

#include <SDL.h>

#include <array>
#include <cstdint>

namespace nuvalo::sdl {

// The Windows virtual-key code of a key, 0 for keys without one.
int virtualKey(SDL_Keycode key);

// A controller as SDL reports it: bit (1 << b) of `buttons` set for each
// SDL_GameControllerButton b held, `leftX` the left stick's x.
PadReading padReading(std::uint32_t buttons, Sint16 leftX);

// The controllers plugged in, each in the slot the host knows it by.
class Pads {
  public:
    Pads() = default;
    ~Pads() { closeAll(); }
    Pads(const Pads&) = delete;
    Pads& operator=(const Pads&) = delete;

    // Opens a controller plugged in (SDL reports those present at start the
    // same way); its slot, or -1 when it is open already or every slot is taken.
    int add(int deviceIndex);
    // Closes a controller pulled out; its slot, or -1 when it was not open.
    int remove(SDL_JoystickID id);
    // The controller in `slot` as it is now; an empty slot reads as pulled out.
    PadReading read(int slot) const;
    void closeAll();

  private:
    int slotOf(SDL_JoystickID id) const;

    std::array<SDL_GameController*, kMaxPads> pads_{};
};

} // namespace nuvalo::sdl
