#include "game/game.h"

#include "game/cues.h"
#include "game/numbers.h"

namespace nuvalo {

namespace {
constexpr int kLastTallyStep = 180;
} // namespace

std::int32_t runScore(const GameState& s) {
    // Formed wide so that an absurd count cannot wrap into a wrong sign.
    const std::int64_t bonus = 2000 * static_cast<std::int64_t>(s.targetsDown[0]) +
                               10000 * static_cast<std::int64_t>(s.targetsDown[1]);
    return addSaturated(truncToInt32(static_cast<double>(s.distance)), bonus);
}

void advanceTally(GameState& s) {
    if (s.resultTicks > kLastTallyStep) {
        s.running = 0;
        s.resultTicks = 0;
        s.resultPhase = 2;
    } else if (s.resultPhase == 1) {
        s.resultTicks += 1;
    }
}

void tallyCuesAndSave(const GameState& s, Effects& out) {
    if (s.resultPhase != 1) {
        return;
    }
    switch (s.resultTicks) {
    case 60:
    case 120:
    case 150:
        out.play(Cue::tallyStep);
        break;
    case kLastTallyStep:
        out.save = SaveRequest{runScore(s), true};
        break;
    default:
        break;
    }
}

void saveUnfinishedTally(const GameState& s, Effects& out) {
    // The run is over once its tally shows; quitting before the tally has
    // saved must not cost the player the score.
    if (s.resultPhase == 1 && s.resultTicks < kLastTallyStep) {
        out.save = SaveRequest{runScore(s), false};
    }
}

} // namespace nuvalo
