#pragma once
// The game's one message box, drawn with the game's own Japanese font so that
// it reads the same on every desktop, whatever X core fonts are installed.

#include <SDL.h>

#include <string_view>
#include <vector>

namespace nuvalo::sdl {

// Shows `text` (Shift-JIS) with an OK button in a small window titled
// `caption` and returns once it is dismissed: OK clicked, Enter, Space or
// Escape pressed, or the window closed. False when no window could be opened.
bool showNotice(const char* caption, std::string_view shiftJisText);

// The window icon picture; null if it cannot be decoded. `pixels` holds the
// surface's memory and must outlive it.
SDL_Surface* iconSurface(std::vector<std::uint32_t>& pixels);

} // namespace nuvalo::sdl
