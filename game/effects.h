#pragma once
// What a step of the game asks of the world, as data: the cues to play, a
// score to keep and whether the 20 ms period starts afresh. The game fills it
// in; whoever runs the game carries it out and empties it.

#include "game/cues.h"

#include <array>
#include <cstdint>
#include <optional>

namespace nuvalo {

// "Keep this score unless a greater one is kept": the tally's save, or the
// quiet one of a window closing before the tally got there.
struct SaveRequest {
    std::int32_t score = 0;
    // The tally's own save: its cue plays when the score went in.
    bool announce = false;

    bool operator==(const SaveRequest&) const = default;
};

struct Effects {
    // A tick and its paint start two cues at most; the rest is headroom.
    static constexpr int kMaxCues = 4;

    std::array<Cue, kMaxCues> cues{};
    int cueCount = 0;
    std::optional<SaveRequest> save;
    // A run started: the 20 ms period starts again from now.
    bool timerArmed = false;

    void play(Cue cue) {
        if (cueCount < kMaxCues) {
            cues[static_cast<std::size_t>(cueCount++)] = cue;
        }
    }
    void clear() { *this = Effects{}; }
};

} // namespace nuvalo
