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

// A run in progress with every object far below the frame, so that ticks run
// undisturbed until a test places something in the star's way.
inline GameState quietRun() {
    GameState s;
    s.running = 1;
    s.starX = 200;
    s.starY = 80;
    s.distance = 1000.0f;
    s.speed = 5.0f;
    for (int i = 0; i < kStoneCount; ++i) {
        s.stones[i] = {100, 1000000 + 50 * i};
    }
    s.boulderX = 100;
    s.boulderY = 1000000;
    s.targetX = 100;
    s.targetY = 2000000;
    return s;
}

} // namespace nuvalo::test
