#include "host/watch.h"

#include "game/game.h"

#include <algorithm>

namespace nuvalo {

const char* watchSpeedName(int speed) {
    static constexpr const char* kNames[kWatchSpeeds] = {"1/2x", "1x", "2x", "4x"};
    return kNames[std::clamp(speed, 0, kWatchSpeeds - 1)];
}

Watch::Watch(const RunRecord& run) : run_(run), player_(run_) {
    const ReplayVerdict verdict =
        replayRun(run_, [](std::uint32_t, const GameState&, const Effects&) {});
    // Its whole length: the run, then the tally's paints to its end.
    Effects out;
    while (player_.step(out)) {
    }
    status_.length = player_.position();
    player_.restart();
    if (run_.rules != kRulesVersion) {
        // Played all the same, but nothing it shows is a proof.
        status_.verdict = "recorded with another version of the rules (" +
                          std::to_string(run_.rules) + "; this game plays " +
                          std::to_string(kRulesVersion) + ")";
    } else if (verdict.verified) {
        status_.verified = true;
        status_.verdict = "verified: " + std::to_string(verdict.score) + " points";
    } else {
        status_.verdict = verdict.reason;
    }
    update();
}

void Watch::update() {
    if (!clipMarked_) {
        status_.clipTo = status_.length;
        status_.clipFrom = status_.length - std::min(status_.length, kDefaultClipSteps);
    }
    status_.position = player_.position();
    status_.atEnd = status_.position >= status_.length;
    if (status_.atEnd) {
        status_.playing = false;
    }
}

void Watch::period(Effects& out) {
    out.clear();
    if (!status_.playing) {
        return;
    }
    int steps = 1 << status_.speed >> 1; // 0, 1, 2, 4
    if (steps == 0) {
        halfStepDue_ = !halfStepDue_;
        steps = halfStepDue_ ? 1 : 0;
    }
    Effects stepOut;
    for (int i = 0; i < steps && takeStep(stepOut); ++i) {
        for (int c = 0; c < stepOut.cueCount; ++c) {
            out.play(stepOut.cues[static_cast<std::size_t>(c)]);
        }
    }
    update();
}

bool Watch::takeStep(Effects& out) {
    if (!player_.step(out)) {
        return false;
    }
    // The tally's save sounded when the score went in: as the game that
    // played the run would have, with the best it showed.
    if (out.save && out.save->announce &&
        static_cast<double>(out.save->score) > static_cast<double>(run_.bestScore)) {
        out.play(Cue::saved);
    }
    out.save.reset();
    return true;
}

void Watch::play(bool playing) {
    if (playing && status_.atEnd) {
        // Playing a watch that has ended starts it again, as players expect.
        seek(0);
    }
    status_.playing = playing && !status_.atEnd;
    halfStepDue_ = false;
}

void Watch::setSpeed(int speed) {
    status_.speed = std::clamp(speed, 0, kWatchSpeeds - 1);
    halfStepDue_ = false;
}

void Watch::seek(std::uint32_t position) {
    position = std::min(position, status_.length);
    if (position < player_.position()) {
        player_.restart();
    }
    Effects out;
    while (player_.position() < position && player_.step(out)) {
    }
    update();
}

void Watch::markClip(bool end) {
    clipMarked_ = true;
    const std::uint32_t at = player_.position();
    if (end) {
        status_.clipTo = at;
        if (status_.clipFrom >= at) {
            status_.clipFrom = at - std::min(at, kDefaultClipSteps);
        }
    } else {
        status_.clipFrom = at;
        if (status_.clipTo <= at) {
            status_.clipTo = std::min(status_.length, at + kDefaultClipSteps);
        }
    }
}

void Watch::step(int direction, Effects& out) {
    out.clear();
    status_.playing = false;
    if (direction < 0) {
        if (player_.position() > 0) {
            seek(player_.position() - 1);
        }
    } else {
        // A step forward sounds as it did: its cues are part of it.
        takeStep(out);
    }
    update();
}

} // namespace nuvalo
