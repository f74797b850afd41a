#pragma once
// The one record of game, input and phase state, the random source's included.

#include <cstdint>

namespace nuvalo {

// Top-left corner of one 25 x 25 stone.
struct Stone {
    std::int32_t x = 0;
    std::int32_t y = 0;

    bool operator==(const Stone&) const = default;
};

inline constexpr int kStoneCount = 9;

struct GameState {
    std::int32_t running = 0;     // 1 while a run (play, crash, tally) is under way
    std::int32_t crashTimer = 0;  // 0 while the star is alive, then the crash counter
    std::int32_t resultPhase = 0; // 0 none, 1 tally running, 2 tally complete
    float bestScore = 0.0f;       // best score read from "save.dat" at run start
    std::int32_t driftTicks = 0;  // ticks since the target's last timed reversal
    std::int32_t driftDir = 1;    // +1 or -1
    std::int32_t resultTicks = 0; // tally step counter, advanced once per composed frame
    std::int32_t leftHeld = 0;
    std::int32_t rightHeld = 0;
    std::int32_t steer = 0; // -1, 0, +1
    std::int32_t mouseX = 0;
    std::int32_t mouseY = 0;
    std::int32_t starX = 0; // the star's reference point, the only point tested for hits
    std::int32_t starY = 0;
    std::int32_t targetsDown[2] = {0, 0}; // targets taken this run, by kind
    float distance = 0.0f;                // pixels fallen this run
    float speed = 0.0f;                   // pixels per 20 ms tick
    std::int32_t boulderX = 0;            // top-left of the 50 x 50 boulder
    std::int32_t boulderY = 0;
    Stone stones[kStoneCount] = {}; // index 0 highest, 8 lowest
    std::int32_t targetX = 0;       // top-left of the 25 x 25 target
    std::int32_t targetY = 0;
    std::int32_t targetKind = 0; // 0 or 1
    // The random source's state: each game draws from its own, so two games
    // in one process never disturb each other's sequence.
    std::uint32_t randomState = 0;

    // Member by member, never as raw bytes.
    bool operator==(const GameState&) const = default;
};

} // namespace nuvalo
