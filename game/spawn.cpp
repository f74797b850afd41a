#include "game/game.h"

#include "game/numbers.h"

namespace nuvalo {

void respawnStones(GameState& s) {
    int x = rand(s) % 376;
    int step = (rand(s) % 13 - 6) * 3;
    for (int i = 0; i < kStoneCount; ++i) {
        s.stones[i].y = 500 + 50 * i;
        s.stones[i].x = x;
        x += step;
        // The bound is tested on the position already taken by the next stone,
        // so that stone stands beyond it; a chain stuck beyond the bound zigzags
        // between two columns.
        if (x < 10 || x > 365) {
            step = -step;
        }
    }
}

void respawnBoulder(GameState& s) {
    s.boulderY = 500 + rand(s) % 100;
    s.boulderX = rand(s) % 350;
}

void respawnTarget(GameState& s) {
    s.targetY = 1500 + rand(s) % 500;
    s.targetX = rand(s) % 375;
    s.targetKind = rand(s) % 4 == 0 ? 1 : 0;
}

void driftTarget(GameState& s) {
    // The reversal count runs on across targets and runs.
    if (++s.driftTicks > 40) {
        s.driftDir = -s.driftDir;
        s.driftTicks = 0;
    }
    s.targetX += (s.targetKind + 1) * s.driftDir * 3;
    if (s.targetX < 9) {
        s.driftDir = 1;
    } else if (s.targetX > 365) {
        s.driftDir = -1;
    }
    // A saucer of kind 1 climbs on its own once it is in view.
    if (s.targetY < 450) {
        s.targetY = addSaturated(s.targetY, -2 * static_cast<std::int64_t>(s.targetKind));
    }
}

} // namespace nuvalo
