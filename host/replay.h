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

// A run played again one step at a time: a tick of the run, or after its
// result one paint of the tally, as the game that recorded it took them.
class RunPlayer {
  public:
    explicit RunPlayer(const RunRecord& run);
    // Back to the run's start, before its first tick.
    void restart();
    // One step; `out` gets what it asked for. False (and nothing done) once
    // the tally is complete, or the record's ticks ran out with no result.
    bool step(Effects& out);
    // Steps taken since the start.
    std::uint32_t position() const { return position_; }
    const GameState& state() const { return state_; }

  private:
    const RunRecord& run_;
    GameState state_;
    std::size_t next_ = 0;
    std::uint32_t position_ = 0;
};

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
