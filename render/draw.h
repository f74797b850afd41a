#pragma once
// The drawing routines composeFrame is made of. Each draws into `dst` and
// names the sheet of every blit, so none depends on what another left behind.

#include "game/game_state.h"
#include "render/surface.h"

#include <cstdint>

namespace nuvalo {

// Playfield.
void drawStar(const GdiResources& gdi, Surface dst, const GameState& s);
void drawObjects(const GdiResources& gdi, Surface dst, const GameState& s);

// Numbers. `d` is a remainder of a truncating division by 10 (-9..9); a
// negative one names no glyph and leaves the place as it was.
void drawDigit(const GdiResources& gdi, Surface dst, int x, int y, int d);
// `v` right-aligned from the ones place at (onesX, y) leftward in 20-pixel
// places, six at most; places from `always` on show only while `t` exceeds
// 9, 99, 999, 9999, 99999.
void drawNumber(const GdiResources& gdi, Surface dst, int onesX, int y, std::int32_t v, double t,
                int always);
// Exactly two places.
void drawCount(const GdiResources& gdi, Surface dst, int onesX, int y, std::int32_t n);

void drawPanel(const GdiResources& gdi, Surface dst, const GameState& s);

// The result screen over the playfield, at the tally's step as it stands.
void drawResult(const GdiResources& gdi, Surface dst, const GameState& s);

} // namespace nuvalo
