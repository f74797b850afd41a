#include "app/sdl/controls.h"

namespace nuvalo::sdl {

namespace {

int buttonKey(Uint8 button) {
    switch (button) {
    case SDL_CONTROLLER_BUTTON_DPAD_LEFT:
        return kVkLeft;
    case SDL_CONTROLLER_BUTTON_DPAD_RIGHT:
        return kVkRight;
    case SDL_CONTROLLER_BUTTON_A:
        return kVkSpace;
    case SDL_CONTROLLER_BUTTON_BACK:
        return kVkEscape;
    default:
        return 0;
    }
}

} // namespace

Controls::~Controls() {
    closeAll();
}

void Controls::closeAll() {
    for (int slot = 0; slot < kMaxPads; ++slot) {
        if (pads_[static_cast<std::size_t>(slot)] != nullptr) {
            SDL_GameControllerClose(pads_[static_cast<std::size_t>(slot)]);
            pads_[static_cast<std::size_t>(slot)] = nullptr;
        }
    }
}

void Controls::press(Messages& out, int vk, std::uint32_t source) {
    const bool first = holders_.press(vk, source);
    // The keyboard's auto-repeat reaches the rules as before; a pad's press
    // only when it is the first holder.
    if (source == kKeyboard || first) {
        out.push(Message::Kind::KeyDown, static_cast<std::uint32_t>(vk));
    }
}

void Controls::release(Messages& out, int vk, std::uint32_t source, bool announce) {
    const bool last = holders_.release(vk, source);
    // A keyboard release passes even when the press was never seen (held
    // before the window had the focus), as it always has.
    if (announce && (last || (source == kKeyboard && !holders_.held(vk)))) {
        out.push(Message::Kind::KeyUp, static_cast<std::uint32_t>(vk));
    }
}

int Controls::slotOf(SDL_JoystickID id) const {
    for (int slot = 0; slot < kMaxPads; ++slot) {
        if (pads_[static_cast<std::size_t>(slot)] != nullptr &&
            ids_[static_cast<std::size_t>(slot)] == id) {
            return slot;
        }
    }
    return -1;
}

void Controls::padAdded(int deviceIndex) {
    SDL_GameController* pad = SDL_GameControllerOpen(deviceIndex);
    if (pad == nullptr) {
        return;
    }
    const SDL_JoystickID id = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(pad));
    for (int slot = 0; slot < kMaxPads; ++slot) {
        if (slotOf(id) < 0 && pads_[static_cast<std::size_t>(slot)] == nullptr) {
            pads_[static_cast<std::size_t>(slot)] = pad;
            ids_[static_cast<std::size_t>(slot)] = id;
            return;
        }
    }
    // Already open (SDL counts the opens), or more pads than players.
    SDL_GameControllerClose(pad);
}

void Controls::padRemoved(Messages& out, SDL_JoystickID id) {
    const int slot = slotOf(id);
    if (slot < 0) {
        return;
    }
    const std::uint32_t pad = buttonsOf(slot) | stickOf(slot);
    // A pulled-out pad lets go of its arrows (if SDL has not let go of them
    // already); its A or Back was never released by the player, so it starts
    // or ends nothing.
    release(out, kVkLeft, pad, true);
    release(out, kVkRight, pad, true);
    release(out, kVkSpace, pad, false);
    release(out, kVkEscape, pad, false);
    SDL_GameControllerClose(pads_[static_cast<std::size_t>(slot)]);
    pads_[static_cast<std::size_t>(slot)] = nullptr;
}

void Controls::stick(Messages& out, int slot, int value) {
    const std::uint32_t source = stickOf(slot);
    const bool left = value < -kStickDeadZone;
    const bool right = value > kStickDeadZone;
    const bool wasLeft = holders_.heldBy(kVkLeft, source);
    const bool wasRight = holders_.heldBy(kVkRight, source);
    // From one side to the other in one move: let go before leaning over.
    if (wasLeft && !left) {
        release(out, kVkLeft, source, true);
    }
    if (wasRight && !right) {
        release(out, kVkRight, source, true);
    }
    if (left && !wasLeft) {
        press(out, kVkLeft, source);
    }
    if (right && !wasRight) {
        press(out, kVkRight, source);
    }
}

Messages Controls::translate(const SDL_Event& event, bool focused) {
    Messages out;
    switch (event.type) {
    case SDL_CONTROLLERDEVICEADDED:
        padAdded(event.cdevice.which);
        return out;
    case SDL_CONTROLLERDEVICEREMOVED:
        padRemoved(out, event.cdevice.which);
        return out;
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP: {
        const int slot = slotOf(event.cbutton.which);
        const int vk = buttonKey(event.cbutton.button);
        if (slot < 0 || vk == 0) {
            return out;
        }
        if (event.type == SDL_CONTROLLERBUTTONDOWN) {
            press(out, vk, buttonsOf(slot));
        } else {
            // As with keys: away from the window only the arrows are let go.
            // A pad being pulled out has SDL let go of its buttons first;
            // those are no releases of the player's either.
            const bool attached =
                SDL_GameControllerGetAttached(pads_[static_cast<std::size_t>(slot)]) == SDL_TRUE;
            release(out, vk, buttonsOf(slot),
                    (focused && attached) || vk == kVkLeft || vk == kVkRight);
        }
        return out;
    }
    case SDL_CONTROLLERAXISMOTION: {
        const int slot = slotOf(event.caxis.which);
        if (slot >= 0 && event.caxis.axis == SDL_CONTROLLER_AXIS_LEFTX) {
            stick(out, slot, event.caxis.value);
        }
        return out;
    }
    default:
        break;
    }
    for (const Message& message : sdl::translate(event, focused)) {
        const int vk = static_cast<int>(message.param);
        const bool key =
            message.kind == Message::Kind::KeyDown || message.kind == Message::Kind::KeyUp;
        if (key && KeyHolders::isGameKey(vk)) {
            if (message.kind == Message::Kind::KeyDown) {
                press(out, vk, kKeyboard);
            } else {
                release(out, vk, kKeyboard, true);
            }
            continue;
        }
        if (message.kind == Message::Kind::FocusLost) {
            // The rules let go of the arrows; no holder is left to keep one.
            holders_.clear();
        }
        out.push(message.kind, message.param);
    }
    return out;
}

} // namespace nuvalo::sdl
