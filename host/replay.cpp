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

RunPlayer::RunPlayer(const RunRecord& run) : run_(run) {
    restart();
}

void RunPlayer::restart() {
    // Only what a run depends on is carried over from before it; its start
    // places everything else.
    state_ = GameState{};
    state_.randomState = run_.randomState;
    state_.driftTicks = run_.driftTicks;
    state_.driftDir = run_.driftDir < 0 ? -1 : 1;
    applyInputFields(state_, run_.start);
    Effects out;
    startRun(state_, run_.bestScore, out);
    next_ = 0;
    position_ = 0;
}

bool RunPlayer::step(Effects& out) {
    out.clear();
    if (state_.resultPhase == 0) {
        if (position_ >= run_.ticks) {
            return false;
        }
        const std::uint32_t tick = position_ + 1;
        if (next_ < run_.changes.size() && run_.changes[next_].tick == tick) {
            applyInputFields(state_, run_.changes[next_++].fields);
        }
        gameTick(state_, out);
    } else if (state_.resultPhase == 2) {
        return false;
    }
    // The tick's paint: while a result shows, every paint steps its tally.
    if (state_.resultPhase != 0) {
        advanceTally(state_);
        tallyCuesAndSave(state_, out);
    }
    ++position_;
    return true;
}

ReplayVerdict
replayRun(const RunRecord& run,
          const std::function<void(std::uint32_t tick, const GameState&, const Effects&)>& each) {
    RunPlayer player(run);
    Effects out;
    ReplayVerdict verdict;
    while (player.state().resultPhase == 0 && player.step(out)) {
        verdict.ticks = player.position();
        each(verdict.ticks, player.state(), out);
    }
    const GameState& s = player.state();
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
