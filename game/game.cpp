#include "game/game.h"

#include "game/cues.h"
#include "game/numbers.h"

#include <algorithm>

namespace nuvalo {

namespace {
bool inBox(int px, int py, int left, int top, int size) {
    // Strict on every side: a star on the edge is outside.
    return left < px && px < left + size && top < py && py < top + size;
}
} // namespace

void startRun(GameState& s, float best, Effects& out) {
    s.starX = 200;
    s.starY = -20;
    s.targetsDown[1] = 0;
    s.targetsDown[0] = 0;
    s.distance = 0.0f;
    s.speed = 5.0f;
    // This order fixes the order of the seven draws of a run start.
    respawnBoulder(s);
    respawnTarget(s);
    respawnStones(s);
    s.bestScore = best;
    s.crashTimer = 0;
    s.resultPhase = 0;
    s.running = 1;
    out.timerArmed = true;
}

int checkCollision(const GameState& s) {
    for (const Stone& stone : s.stones) {
        if (inBox(s.starX, s.starY, stone.x, stone.y, 25)) {
            return kObstacle;
        }
    }
    if (inBox(s.starX, s.starY, s.boulderX, s.boulderY, 50)) {
        return kObstacle;
    }
    if (inBox(s.starX, s.starY, s.targetX, s.targetY, 25)) {
        return kTarget;
    }
    return kNothing;
}

void gameTick(GameState& s, Effects& out) {
    if (s.running == 0) {
        return;
    }
    if (s.crashTimer == 0) {
        // The distance grows by the speed before the speed itself grows.
        s.distance = s.distance + s.speed;
        s.starX += 3 * s.steer;
        s.starX = std::clamp(s.starX, 12, 388);
        s.speed = static_cast<float>(static_cast<double>(s.speed) + 0.01);
    }
    if (s.distance < 100.0f) {
        s.starY = truncToInt32(static_cast<double>(s.distance) - 20.0);
    } else {
        s.starY = 80;
    }

    // The world rises by the whole pixels of the speed; the cap comes after.
    const std::int64_t rise = truncToInt32(static_cast<double>(s.speed));
    for (Stone& stone : s.stones) {
        stone.y = addSaturated(stone.y, -rise);
    }
    s.boulderY = addSaturated(s.boulderY, -rise);
    s.targetY = addSaturated(s.targetY, -rise);
    if (s.speed > 20.0f) {
        s.speed = 20.0f;
    }

    if (s.stones[kStoneCount - 1].y < -30) {
        respawnStones(s);
    }
    if (s.boulderY < -30) {
        respawnBoulder(s);
    }
    if (s.targetY < -30) {
        respawnTarget(s);
    }
    driftTarget(s);

    if (s.crashTimer != 0) {
        if (s.crashTimer < 5) {
            s.crashTimer += 1;
        } else {
            // A crash at a speed under 1 would never pass 500; it runs at least
            // as fast as a crash at speed 1.
            const double advance = std::max(static_cast<double>(s.speed), 1.0);
            s.crashTimer = truncToInt32(static_cast<double>(s.crashTimer) + advance);
        }
        if (s.crashTimer > 500) {
            s.resultPhase = 1;
        }
        return;
    }

    switch (checkCollision(s)) {
    case kObstacle:
        out.play(Cue::hit);
        s.crashTimer = 1;
        break;
    case kTarget: {
        out.play(Cue::target);
        const int kind = s.targetKind == 1 ? 1 : 0;
        s.speed = s.speed - static_cast<float>(3 * kind + 3);
        s.targetsDown[kind] = addSaturated(s.targetsDown[kind], 1);
        respawnTarget(s);
        break;
    }
    default:
        break;
    }
}

} // namespace nuvalo
