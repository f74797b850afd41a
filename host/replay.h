#pragma once
// A run played again from its record, with nothing but the game's rules: the
// simulator's verifier and, in time, every watcher.

#include "game/effects.h"
#include "game/game_state.h"
#include "persist/run_record.h"

#include <cstdint>
#include <functional>
#include <string>

namespace nuvalo {

// Steering from the arrows held: both or neither go straight down.
constexpr std::int32_t steerOf(std::int32_t left, std::int32_t right) {
    return left > right ? -1 : (right > left ? 1 : 0);
}

// The input fields a run records, as the state holds them, and back.
InputFields inputFieldsOf(const GameState& s);
void applyInputFields(GameState& s, const InputFields& fields);

struct ReplayVerdict {
    bool verified = false;
    std::uint32_t ticks = 0; // the ticks replayed
    std::int32_t score = 0;  // the score the replay reached
    std::string reason;      // what went wrong, when not verified
};

// Plays `run` from its start; `each` sees the state and what the tick asked
// for after every tick and its paint.
ReplayVerdict
replayRun(const RunRecord& run,
          const std::function<void(std::uint32_t tick, const GameState&, const Effects&)>& each);

} // namespace nuvalo
