#pragma once
// Game states that several tests and benchmarks start from.

#include "game/game_state.h"

namespace nuvalo::test {

// A run in full flight: every stone on the screen, the target over stone 2 and
// the boulder over stone 6 (so the overlaps show), a score in the panel.
inline GameState midRun() {
    GameState s;
    s.running = 1;
    s.starX = 212;
    s.starY = 80;
    s.distance = 1234.56f;
    s.speed = 12.34f;
    s.bestScore = 20345.0f;
    s.targetsDown[0] = 2;
    s.targetsDown[1] = 1;
    for (int i = 0; i < kStoneCount; ++i) {
        s.stones[i] = Stone{60 + (i % 4) * 70 - (i % 2) * 25, 40 + 50 * i};
    }
    s.targetX = 212;
    s.targetY = 150;
    s.targetKind = 1;
    s.boulderX = 215;
    s.boulderY = 325;
    return s;
}

} // namespace nuvalo::test
