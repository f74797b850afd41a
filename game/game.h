#pragma once
// Run start, spawning, the simulation tick and the collision test.

#include "game/effects.h"
#include "game/game_state.h"

#include <cstdint>

namespace nuvalo {

// The version of the rules a run is played by: a run record made by a game
// whose simulation differs in any way carries another number. Raise it with
// any change that alters a run, a golden trace or a golden frame.
inline constexpr std::uint16_t kRulesVersion = 1;

// The game's own random source: a 32-bit linear congruential generator with
// 15-bit results, kept in the state. It keeps the C library's names but never
// its sequence.
void srand(GameState& s, std::uint32_t seed);
int rand(GameState& s);

// `best` is the best score kept at this moment: read afresh at every run start.
void startRun(GameState& s, float best, Effects& out);

void respawnStones(GameState& s);
void respawnBoulder(GameState& s);
void respawnTarget(GameState& s);
void driftTarget(GameState& s);

void gameTick(GameState& s, Effects& out);

enum Collision : int { kNothing = 0, kObstacle = 1, kTarget = 2 };
int checkCollision(const GameState& s);

// The run's score: truncated distance plus 2000 per target of kind 0 and
// 10000 per target of kind 1, in 32-bit signed arithmetic.
std::int32_t runScore(const GameState& s);

// The result tally, run by the paint rule once per paint while a result
// shows: `advanceTally` first, then `tallyCuesAndSave`; the frame shows the
// step the tally has reached. Its last step asks for the score to be kept.
void advanceTally(GameState& s);
void tallyCuesAndSave(const GameState& s, Effects& out);

// For a window closing while the tally runs: asks for the run's score to be
// kept, without a sound, if the tally has not yet reached its own save.
void saveUnfinishedTally(const GameState& s, Effects& out);

} // namespace nuvalo
