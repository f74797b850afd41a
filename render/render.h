#pragma once
// What the shells need of the renderer.

#include "game/game_state.h"
#include "game/platform.h"
#include "render/gdi.h"

namespace nuvalo {

// Called once at window creation and once at destruction.
void createDrawingResources(GdiResources& gdi);
void releaseDrawingResources(GdiResources& gdi);

// Draws one whole frame into gdi.backBufferBitmap. While a result shows this
// advances the result tally by one step (and may play a cue or save the score).
void composeFrame(GdiResources& gdi, GameState& s, Platform& platform);

// Draws the frame for the state as it stands, changing no state: what
// composeFrame draws once its tally step is done. For tools that draw only
// some of the frames they paint.
void drawFrame(GdiResources& gdi, const GameState& s);

// What composeFrame does to the state (the tally step, its cues and the
// save), without drawing.
void paintWithoutPixels(GameState& s, Platform& platform);

} // namespace nuvalo
