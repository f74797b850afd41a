#include "host/replay.h"

#include "game/game.h"

namespace nuvalo {

InputFields inputFieldsOf(const GameState& s) {
    return {s.leftHeld != 0, s.rightHeld != 0, static_cast<std::uint16_t>(s.mouseX),
            static_cast<std::uint16_t>(s.mouseY)};
}

void applyInputFields(GameState& s, const InputFields& fields) {
    s.leftHeld = fields.left ? 1 : 0;
    s.rightHeld = fields.right ? 1 : 0;
    s.steer = steerOf(s.leftHeld, s.rightHeld);
    s.mouseX = fields.mouseX;
    s.mouseY = fields.mouseY;
}

ReplayVerdict
replayRun(const RunRecord& run,
          const std::function<void(std::uint32_t tick, const GameState&, const Effects&)>& each) {
    // Only what a run depends on is carried over from before it; its start
    // places everything else.
    GameState s;
    s.randomState = run.randomState;
    s.driftTicks = run.driftTicks;
    s.driftDir = run.driftDir < 0 ? -1 : 1;
    applyInputFields(s, run.start);
    Effects out;
    startRun(s, run.bestScore, out);
    ReplayVerdict verdict;
    std::size_t next = 0;
    for (std::uint32_t tick = 1; tick <= run.ticks && s.resultPhase == 0; ++tick) {
        if (next < run.changes.size() && run.changes[next].tick == tick) {
            applyInputFields(s, run.changes[next++].fields);
        }
        out.clear();
        gameTick(s, out);
        // The tick's paint: the result's first frame steps its tally.
        if (s.resultPhase != 0) {
            advanceTally(s);
            tallyCuesAndSave(s, out);
        }
        verdict.ticks = tick;
        each(tick, s, out);
    }
    verdict.score = runScore(s);
    if (s.resultPhase == 0) {
        verdict.reason =
            "the run differs from its record: no result by tick " + std::to_string(run.ticks);
    } else if (verdict.ticks != run.ticks) {
        verdict.reason = "the run differs from its record from tick " +
                         std::to_string(verdict.ticks) + ": its result came there, not at tick " +
                         std::to_string(run.ticks);
    } else if (verdict.score != run.score) {
        verdict.reason = "the run differs from its record: it scores " +
                         std::to_string(verdict.score) + ", not " + std::to_string(run.score);
    } else {
        verdict.verified = true;
    }
    return verdict;
}

} // namespace nuvalo
