#include "app/sdl/input.h"

#include <algorithm>

namespace nuvalo::sdl {

int virtualKey(SDL_Keycode key) {
    // Letters and digits: the upper-case letter and the digit character.
    if (key >= SDLK_a && key <= SDLK_z) {
        return 'A' + (key - SDLK_a);
    }
    if (key >= SDLK_0 && key <= SDLK_9) {
        return '0' + (key - SDLK_0);
    }
    if (key >= SDLK_F1 && key <= SDLK_F12) {
        return 0x70 + (key - SDLK_F1);
    }
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9) {
        return 0x61 + (key - SDLK_KP_1);
    }
    switch (key) {
    case SDLK_BACKSPACE:
        return 0x08;
    case SDLK_TAB:
        return 0x09;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return 0x0D;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT:
        return 0x10;
    case SDLK_LCTRL:
    case SDLK_RCTRL:
        return 0x11;
    case SDLK_LALT:
    case SDLK_RALT:
        return 0x12;
    case SDLK_PAUSE:
        return 0x13;
    case SDLK_CAPSLOCK:
        return 0x14;
    case SDLK_ESCAPE:
        return kVkEscape;
    case SDLK_SPACE:
        return kVkSpace;
    case SDLK_PAGEUP:
        return 0x21;
    case SDLK_PAGEDOWN:
        return 0x22;
    case SDLK_END:
        return 0x23;
    case SDLK_HOME:
        return 0x24;
    case SDLK_LEFT:
        return kVkLeft;
    case SDLK_UP:
        return kVkUp;
    case SDLK_RIGHT:
        return kVkRight;
    case SDLK_DOWN:
        return kVkDown;
    case SDLK_PRINTSCREEN:
        return 0x2C;
    case SDLK_INSERT:
        return 0x2D;
    case SDLK_DELETE:
        return 0x2E;
    case SDLK_LGUI:
        return 0x5B;
    case SDLK_RGUI:
        return 0x5C;
    case SDLK_APPLICATION:
        return 0x5D;
    case SDLK_KP_0:
        return 0x60;
    case SDLK_KP_MULTIPLY:
        return 0x6A;
    case SDLK_KP_PLUS:
        return 0x6B;
    case SDLK_KP_MINUS:
        return 0x6D;
    case SDLK_KP_PERIOD:
        return 0x6E;
    case SDLK_KP_DIVIDE:
        return 0x6F;
    case SDLK_NUMLOCKCLEAR:
        return 0x90;
    case SDLK_SCROLLLOCK:
        return 0x91;
    case SDLK_SEMICOLON:
        return 0xBA;
    case SDLK_EQUALS:
        return 0xBB;
    case SDLK_COMMA:
        return 0xBC;
    case SDLK_MINUS:
        return 0xBD;
    case SDLK_PERIOD:
        return 0xBE;
    case SDLK_SLASH:
        return 0xBF;
    case SDLK_BACKQUOTE:
        return 0xC0;
    case SDLK_LEFTBRACKET:
        return 0xDB;
    case SDLK_BACKSLASH:
        return 0xDC;
    case SDLK_RIGHTBRACKET:
        return 0xDD;
    case SDLK_QUOTE:
        return 0xDE;
    default:
        return 0;
    }
}

PadReading padReading(std::uint32_t buttons, Sint16 leftX) {
    const auto held = [buttons](SDL_GameControllerButton b) { return (buttons >> b & 1u) != 0; };
    PadReading r;
    r.attached = true;
    r.left = held(SDL_CONTROLLER_BUTTON_DPAD_LEFT);
    r.right = held(SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
    r.up = held(SDL_CONTROLLER_BUTTON_DPAD_UP);
    r.down = held(SDL_CONTROLLER_BUTTON_DPAD_DOWN);
    r.a = held(SDL_CONTROLLER_BUTTON_A);
    r.back = held(SDL_CONTROLLER_BUTTON_BACK);
    r.stickX = stickAxis(leftX);
    return r;
}

int Pads::slotOf(SDL_JoystickID id) const {
    for (int slot = 0; slot < kMaxPads; ++slot) {
        SDL_GameController* pad = pads_[static_cast<std::size_t>(slot)];
        if (pad != nullptr && SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(pad)) == id) {
            return slot;
        }
    }
    return -1;
}

int Pads::add(int deviceIndex) {
    SDL_GameController* pad = SDL_GameControllerOpen(deviceIndex);
    if (pad == nullptr) {
        return -1;
    }
    const SDL_JoystickID id = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(pad));
    const auto free = std::find(pads_.begin(), pads_.end(), nullptr);
    if (slotOf(id) >= 0 || free == pads_.end()) {
        // Already open (SDL counts the opens), or more pads than players.
        SDL_GameControllerClose(pad);
        return -1;
    }
    *free = pad;
    return static_cast<int>(free - pads_.begin());
}

int Pads::remove(SDL_JoystickID id) {
    const int slot = slotOf(id);
    if (slot >= 0) {
        SDL_GameControllerClose(pads_[static_cast<std::size_t>(slot)]);
        pads_[static_cast<std::size_t>(slot)] = nullptr;
    }
    return slot;
}

PadReading Pads::read(int slot) const {
    SDL_GameController* pad = pads_[static_cast<std::size_t>(slot)];
    if (pad == nullptr || SDL_GameControllerGetAttached(pad) != SDL_TRUE) {
        return {};
    }
    std::uint32_t buttons = 0;
    for (const SDL_GameControllerButton b :
         {SDL_CONTROLLER_BUTTON_DPAD_LEFT, SDL_CONTROLLER_BUTTON_DPAD_RIGHT,
          SDL_CONTROLLER_BUTTON_DPAD_UP, SDL_CONTROLLER_BUTTON_DPAD_DOWN, SDL_CONTROLLER_BUTTON_A,
          SDL_CONTROLLER_BUTTON_BACK}) {
        if (SDL_GameControllerGetButton(pad, b) != 0) {
            buttons |= 1u << b;
        }
    }
    return padReading(buttons, SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_LEFTX));
}

void Pads::closeAll() {
    for (SDL_GameController*& pad : pads_) {
        if (pad != nullptr) {
            SDL_GameControllerClose(pad);
            pad = nullptr;
        }
    }
}

} // namespace nuvalo::sdl
