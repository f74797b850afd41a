#pragma once
// What the shells need of the renderer.

#include "game/game_state.h"
#include "render/gdi.h"

namespace nuvalo {

// Called once at window creation and once at destruction.
void createDrawingResources(GdiResources& gdi);
void releaseDrawingResources(GdiResources& gdi);

// Draws one whole frame of the state as it stands into gdi.backBufferBitmap
// and changes nothing else: the frame depends on the state alone, so a shell
// may draw only the frames it shows. What a paint does to the game (the result
// tally's step, its cues and the save) is the paint rule's, in app/.
void composeFrame(GdiResources& gdi, const GameState& s);

} // namespace nuvalo
