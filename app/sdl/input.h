#pragma once
// SDL events as the window messages the game's rules understand. Pure
// translation: no SDL state is read here, so tests can feed hand-made events.

#include "app/rules.h"

#include <SDL.h>

#include <array>
#include <cstdint>

namespace nuvalo::sdl {

struct Message {
    enum class Kind : std::uint8_t {
        KeyDown,     // param: virtual key
        KeyUp,       // param: virtual key
        MouseMove,   // param: lParam, y << 16 | x, 16 bits each
        LButtonDown, // the position is the one of the last MouseMove
        LButtonUp,
        Close,     // the close box, or the session asking the program to quit
        Expose,    // the window's contents were lost, resized or moved to another
                   // display and must be shown again
        FocusLost, // the keyboard focus went to another window
    };
    Kind kind = Kind::Close;
    std::uint32_t param = 0;
};

// At most two messages come of one event (a click is a move, then a press).
struct Messages {
    std::array<Message, 2> items{};
    int count = 0;

    void push(Message::Kind kind, std::uint32_t param = 0) {
        items[static_cast<std::size_t>(count++)] = {kind, param};
    }
    const Message* begin() const { return items.data(); }
    const Message* end() const { return items.data() + count; }
};

// The Windows virtual-key code of a key, 0 for keys without one.
int virtualKey(SDL_Keycode key);

// The mouse position packed as the window system packs it into lParam: each
// coordinate cut to a signed 16-bit value, x in the low and y in the high half.
std::uint32_t packMousePosition(int x, int y);

// `focused` tells whether the game window holds the keyboard focus. When it
// loses the focus SDL releases every held key; only the arrow releases of
// those reach the game, while a Space or Escape release that the player never
// made starts or ends nothing. The loss itself releases the arrows too, as on
// Windows, whether or not SDL's releases come.
Messages translate(const SDL_Event& event, bool focused);

// Hands one message to the shared rules; Close asks the shell to close the
// window, and Expose is left to the shell, which shows its last frame again.
void dispatch(App& app, Shell& shell, const Message& message);

} // namespace nuvalo::sdl
