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
        return 0x26;
    case SDLK_RIGHT:
        return kVkRight;
    case SDLK_DOWN:
        return 0x28;
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

std::uint32_t packMousePosition(int x, int y) {
    return mouseParam(std::clamp(x, -32768, 32767), std::clamp(y, -32768, 32767));
}

Messages translate(const SDL_Event& event, bool focused) {
    Messages out;
    switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        const int vk = virtualKey(event.key.keysym.sym);
        if (vk == 0) {
            break;
        }
        if (event.type == SDL_KEYDOWN) {
            // Auto-repeat arrives as further key-downs, as on Windows.
            out.push(Message::Kind::KeyDown, static_cast<std::uint32_t>(vk));
        } else if (focused || vk == kVkLeft || vk == kVkRight) {
            out.push(Message::Kind::KeyUp, static_cast<std::uint32_t>(vk));
        }
        break;
    }
    case SDL_MOUSEMOTION:
        out.push(Message::Kind::MouseMove, packMousePosition(event.motion.x, event.motion.y));
        break;
    case SDL_MOUSEBUTTONDOWN:
        if (event.button.button == SDL_BUTTON_LEFT) {
            // The start button rule looks at the last move, so a click that
            // came without one (a touch, a warped pointer) still counts where it is.
            out.push(Message::Kind::MouseMove, packMousePosition(event.button.x, event.button.y));
            out.push(Message::Kind::LButtonDown);
        }
        break;
    case SDL_MOUSEBUTTONUP:
        if (event.button.button == SDL_BUTTON_LEFT) {
            out.push(Message::Kind::LButtonUp);
        }
        break;
    case SDL_QUIT:
        out.push(Message::Kind::Close);
        break;
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
            out.push(Message::Kind::Close);
        } else if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
            out.push(Message::Kind::FocusLost);
        } else if (event.window.event == SDL_WINDOWEVENT_EXPOSED ||
                   event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED ||
                   event.window.event == SDL_WINDOWEVENT_DISPLAY_CHANGED) {
            out.push(Message::Kind::Expose);
        }
        break;
    default:
        break;
    }
    return out;
}

void dispatch(App& app, Shell& shell, const Message& message) {
    const int vk = static_cast<int>(message.param);
    switch (message.kind) {
    case Message::Kind::KeyDown:
        onKeyDown(app, vk);
        break;
    case Message::Kind::KeyUp:
        onKeyUp(app, shell, vk);
        break;
    case Message::Kind::MouseMove:
        onMouseMove(app, message.param);
        break;
    case Message::Kind::LButtonDown:
        onLButtonDown(app, shell);
        break;
    case Message::Kind::LButtonUp:
        onLButtonUp(app);
        break;
    case Message::Kind::Close:
        shell.closeWindow();
        break;
    case Message::Kind::FocusLost:
        onFocusLost(app);
        break;
    case Message::Kind::Expose:
        break;
    }
}

} // namespace nuvalo::sdl
