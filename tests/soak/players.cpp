#include "tests/soak/players.h"

#include "host/host.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace nuvalo::soak {

std::uint64_t Random::logUniform(std::uint64_t lo, std::uint64_t hi) {
    const double a = std::log(static_cast<double>(lo));
    const double b = std::log(static_cast<double>(hi));
    const double u = static_cast<double>(next() >> 11) / 9007199254740992.0;
    return static_cast<std::uint64_t>(std::exp(a + (b - a) * u));
}

const char* styleName(Style style) {
    switch (style) {
    case Style::idle:
        return "idle";
    case Style::chaos:
        return "chaos";
    case Style::storm:
        return "storm";
    case Style::survivor:
        return "survivor";
    case Style::hunter:
        return "hunter";
    }
    return "?";
}

namespace {

// The world of the coming ticks as a player foresees it, tick by tick in the
// order of the game's own tick: the distance grows, the speed grows, the
// world rises by the whole pixels of the speed, the speed is capped, the
// target drifts. Nothing is recycled: what is new comes into view later.
struct World {
    explicit World(const GameState& s)
        : distance(s.distance), speed(s.speed), targetX(s.targetX), targetY(s.targetY),
          driftTicks(s.driftTicks), driftDir(s.driftDir), kind(s.targetKind) {}

    void step() {
        distance = distance + speed;
        speed = static_cast<float>(static_cast<double>(speed) + 0.01);
        starY = distance < 100.0f ? static_cast<int>(static_cast<double>(distance) - 20.0) : 80;
        const auto r = static_cast<std::int64_t>(speed);
        rise += r;
        targetY -= r;
        speed = std::min(speed, 20.0f);
        if (++driftTicks > 40) {
            driftDir = -driftDir;
            driftTicks = 0;
        }
        targetX += (kind + 1) * driftDir * 3;
        driftDir = targetX < 9 ? 1 : targetX > 365 ? -1 : driftDir;
        if (targetY < 450) {
            targetY -= 2 * kind;
        }
    }

    float distance;
    float speed;
    std::int64_t targetX;
    std::int64_t targetY;
    int driftTicks;
    int driftDir;
    int kind;
    std::int64_t rise = 0;
    int starY = 0;
};

int clampX(int x) {
    return std::clamp(x, Planner::kMinX, Planner::kMaxX);
}

std::size_t cell(int t, int x) {
    return static_cast<std::size_t>(t) * Planner::kWidth +
           static_cast<std::size_t>(x - Planner::kMinX);
}

std::size_t state(int t, int x, int met) {
    return cell(t, x) * 2 + static_cast<std::size_t>(met);
}

// Where the target will be when it comes level with the star; far-off
// targets are aimed at where the drift takes them within a few seconds.
int predictTargetX(const GameState& s) {
    World w(s);
    for (int t = 0; t < 400 && w.targetY + 12 > s.starY; ++t) {
        w.step();
    }
    return static_cast<int>(
        std::clamp<std::int64_t>(w.targetX + 12, Planner::kMinX, Planner::kMaxX));
}

} // namespace

Planner::Planner()
    : blocked_(static_cast<std::size_t>(kHorizon + 1) * kWidth),
      target_(static_cast<std::size_t>(kHorizon + 1) * kWidth),
      from_(static_cast<std::size_t>(kHorizon + 1) * kWidth * 2),
      cost_(static_cast<std::size_t>(kHorizon + 1) * kWidth * 2) {}

void Planner::foresee(const GameState& s, bool takeTarget) {
    std::fill(blocked_.begin(), blocked_.end(), std::uint8_t{0});
    std::fill(target_.begin(), target_.end(), std::uint8_t{0});
    World w(s);
    for (int t = 1; t <= kHorizon; ++t) {
        w.step();
        const int y = w.starY;
        // Marks the x positions strictly inside a box that holds row y.
        const auto mark = [&](std::vector<std::uint8_t>& grid, std::int64_t left, std::int64_t top,
                              int size) {
            if (top < y && y < top + size) {
                const auto lo = static_cast<int>(std::max<std::int64_t>(left + 1, kMinX));
                const auto hi = static_cast<int>(std::min<std::int64_t>(left + size - 1, kMaxX));
                for (int x = lo; x <= hi; ++x) {
                    grid[cell(t, x)] = 1;
                }
            }
        };
        for (const Stone& stone : s.stones) {
            mark(blocked_, stone.x, stone.y - w.rise, 25);
        }
        mark(blocked_, s.boulderX, s.boulderY - w.rise, 50);
        mark(takeTarget ? target_ : blocked_, w.targetX, w.targetY, 25);
    }
}

void Planner::plan(const GameState& s, bool takeTarget, int aimX) {
    foresee(s, takeTarget);
    std::fill(from_.begin(), from_.end(), std::int16_t{-1});
    // The path that stays clear longest, and among those the one that keeps
    // nearest the aim tick by tick: a star resting in the middle can still
    // get out of the way of whatever comes up next.
    const int start = clampX(s.starX);
    from_[state(0, start, 0)] = static_cast<std::int16_t>(start * 2);
    cost_[state(0, start, 0)] = 0;
    int lo = start;
    int hi = start;
    int deepest = 0;
    for (int t = 1; t <= kHorizon; ++t) {
        int newLo = kMaxX + 1;
        int newHi = kMinX - 1;
        for (int x = lo; x <= hi; ++x) {
            for (int met = 0; met < 2; ++met) {
                if (from_[state(t - 1, x, met)] < 0) {
                    continue;
                }
                const std::int32_t base = cost_[state(t - 1, x, met)];
                // Straight on first: of equal paths, the one with fewer turns.
                for (const int d : {0, -1, 1}) {
                    const int nx = clampX(x + 3 * d);
                    if (blocked_[cell(t, nx)] != 0) {
                        continue;
                    }
                    const int nmet = met | target_[cell(t, nx)];
                    const std::size_t to = state(t, nx, nmet);
                    const std::int32_t cost = base + std::abs(nx - aimX);
                    if (from_[to] < 0 || cost < cost_[to]) {
                        from_[to] = static_cast<std::int16_t>(x * 2 + met);
                        cost_[to] = cost;
                        newLo = std::min(newLo, nx);
                        newHi = std::max(newHi, nx);
                    }
                }
            }
        }
        if (newLo > newHi) {
            break;
        }
        deepest = t;
        lo = newLo;
        hi = newHi;
    }

    // The cheapest state of the deepest tick, through the target if asked.
    int bestX = start;
    int bestMet = 0;
    std::int64_t bestCost = INT64_MAX;
    for (int x = lo; x <= hi && deepest > 0; ++x) {
        for (int met = 0; met < 2; ++met) {
            if (from_[state(deepest, x, met)] < 0) {
                continue;
            }
            const std::int64_t cost = cost_[state(deepest, x, met)] +
                                      (takeTarget && met == 0 ? std::int64_t{1} << 40 : 0);
            if (cost < bestCost) {
                bestCost = cost;
                bestX = x;
                bestMet = met;
            }
        }
    }
    int x = bestX;
    int met = bestMet;
    for (int t = deepest; t > 0; --t) {
        const int from = from_[state(t, x, met)];
        const int px = from / 2;
        steer_[t - 1] = static_cast<std::int8_t>(x > px ? 1 : x < px ? -1 : 0);
        x = px;
        met = from % 2;
    }
    length_ = deepest;
    next_ = 0;
}

bool Planner::stillClear(const GameState& s, bool takeTarget, bool& reachesTarget) const {
    World w(s);
    int x = s.starX;
    reachesTarget = false;
    const auto inside = [](int px, int py, std::int64_t left, std::int64_t top, int size) {
        return left < px && px < left + size && top < py && py < top + size;
    };
    for (int i = next_; i < length_; ++i) {
        w.step();
        x = clampX(x + 3 * steer_[i]);
        for (const Stone& stone : s.stones) {
            if (inside(x, w.starY, stone.x, stone.y - w.rise, 25)) {
                return false;
            }
        }
        if (inside(x, w.starY, s.boulderX, s.boulderY - w.rise, 50)) {
            return false;
        }
        if (!reachesTarget && inside(x, w.starY, w.targetX, w.targetY, 25)) {
            if (!takeTarget) {
                return false;
            }
            reachesTarget = true;
        }
    }
    return true;
}

void Player::newRun() {
    style_ = static_cast<Style>(rng_.below(kStyleCount));
    if (options_.style >= 0) {
        style_ = static_cast<Style>(options_.style % kStyleCount);
    }
    // Most survivors give up within a few thousand ticks; a few fly on for a
    // very long time at the top speed.
    plannedTicks_ =
        rng_.chance(10)
            ? rng_.logUniform(100'000, std::max<std::uint64_t>(options_.maxRunTicks, 100'001))
            : rng_.logUniform(100, 20'000);
    plannedTicks_ = std::min(plannedTicks_, options_.maxRunTicks);
    kamikaze_ = rng_.chance(2);
    sincePlan_ = 0;
    planner_.forget();
}

void Player::decide(const GameState& s, std::uint64_t ticksThisRun, Events& out) {
    out.count = 0;
    // The dodging players keep their hands still while they fly; everyone
    // fumbles now and then while the game is halted, crashing or tallying.
    const bool flying = s.running != 0 && s.crashTimer == 0;
    if (style_ == Style::chaos || (!flying && rng_.chance(100))) {
        chaos(out);
    }
    if (s.running == 0) {
        startGame(out);
        return;
    }
    if (s.crashTimer != 0 || s.resultPhase != 0) {
        // The start controls must do nothing until the tally has ended.
        if (rng_.chance(60)) {
            if (rng_.chance(2)) {
                out.add(EventKind::keyDown, kVkSpace);
                out.add(EventKind::keyUp, kVkSpace);
            } else {
                out.add(EventKind::pointerMove, rng_.between(460, 540), rng_.between(50, 70));
                out.add(EventKind::pointerDown);
            }
        }
        return;
    }
    switch (style_) {
    case Style::idle:
    case Style::chaos:
        break;
    case Style::storm:
        // Both arrows, pressed and released in shifting patterns.
        stormPhase_ = !stormPhase_;
        out.add(stormPhase_ ? EventKind::keyDown : EventKind::keyUp, kVkLeft);
        out.add(rng_.chance(2) ? EventKind::keyDown : EventKind::keyUp, kVkRight);
        if (rng_.chance(3)) {
            out.add(EventKind::keyDown, rng_.chance(2) ? kVkLeft : kVkRight);
        }
        break;
    case Style::survivor:
        // Dodges until its time is up, then seeks the next obstacle.
        steerTo(s, ticksThisRun < plannedTicks_ ? fly(s, false) : seekObstacle(s), out);
        break;
    case Style::hunter:
        // Once slowed below 1, some hunters steer sideways into a standing
        // stone: a crash at a speed that no longer carries the counter.
        steerTo(s, s.speed < 1.0f && kamikaze_ ? seekObstacle(s) : fly(s, true), out);
        break;
    }
}

void Player::startGame(Events& out) {
    if (waitBeforeStart_ > 0) {
        --waitBeforeStart_;
        return;
    }
    waitBeforeStart_ = rng_.chance(3) ? rng_.below(60) : 0;
    switch (rng_.below(10)) {
    case 0:
        // A click beside the button starts nothing.
        out.add(EventKind::pointerMove,
                rng_.chance(2) ? rng_.between(0, 459) : rng_.between(541, 599),
                rng_.chance(2) ? rng_.between(0, 49) : rng_.between(71, 449));
        out.add(EventKind::pointerDown);
        break;
    case 1:
    case 2:
    case 3:
        // On the button, its edges included.
        out.add(EventKind::pointerMove,
                rng_.chance(4) ? (rng_.chance(2) ? 460 : 540) : rng_.between(460, 540),
                rng_.chance(4) ? (rng_.chance(2) ? 50 : 70) : rng_.between(50, 70));
        out.add(EventKind::pointerDown);
        break;
    default:
        // Half the time only the release: unless the host saw Space go
        // down earlier, that starts nothing.
        if (rng_.chance(2)) {
            out.add(EventKind::keyDown, kVkSpace);
        }
        out.add(EventKind::keyUp, kVkSpace);
        break;
    }
}

void Player::chaos(Events& out) {
    if (rng_.chance(2)) {
        return;
    }
    const int n = 1 + static_cast<int>(rng_.below(4));
    for (int i = 0; i < n; ++i) {
        switch (rng_.below(8)) {
        case 0:
        case 1: {
            static constexpr int kKeys[] = {kVkLeft,  kVkRight,  kVkSpace, kVkLeft,
                                            kVkRight, kVkEscape, 0};
            int vk = kKeys[rng_.below(7)];
            vk = vk == 0 ? rng_.between(0, 255) : vk;
            // Escape is pressed freely but released only rarely: releasing
            // it closes the window.
            out.add(EventKind::keyDown, vk);
            break;
        }
        case 2:
        case 3: {
            static constexpr int kKeys[] = {kVkLeft, kVkRight, kVkSpace, kVkLeft, kVkRight, 0};
            int vk = kKeys[rng_.below(6)];
            vk = vk == 0 ? rng_.between(0, 255) : vk;
            vk = vk == kVkEscape ? kVkSpace : vk;
            out.add(EventKind::keyUp, vk);
            break;
        }
        case 4:
            if (rng_.chance(3)) {
                out.add(EventKind::pointerMove, rng_.between(455, 545), rng_.between(45, 75));
            } else {
                out.add(EventKind::pointerMove, rng_.between(-40000, 70000),
                        rng_.between(-40000, 70000));
            }
            break;
        case 5:
            out.add(EventKind::pointerDown);
            break;
        default:
            out.add(EventKind::repaint);
            break;
        }
    }
    if (rng_.chance(options_.escapeOneIn)) {
        out.add(EventKind::keyDown, kVkEscape);
        out.add(EventKind::keyUp, kVkEscape);
    }
}

void Player::steerTo(const GameState& s, int steer, Events& out) {
    const int wantLeft = steer < 0 ? 1 : 0;
    const int wantRight = steer > 0 ? 1 : 0;
    if (s.leftHeld != wantLeft) {
        out.add(wantLeft != 0 ? EventKind::keyDown : EventKind::keyUp, kVkLeft);
    }
    if (s.rightHeld != wantRight) {
        out.add(wantRight != 0 ? EventKind::keyDown : EventKind::keyUp, kVkRight);
    }
}

int Player::seekObstacle(const GameState& s) {
    // The obstacle nearest below the star's point, or level with it.
    std::int64_t bestGap = INT64_MAX;
    std::int64_t aim = s.starX;
    const auto consider = [&](std::int64_t x, std::int64_t y, int size) {
        const std::int64_t gap = y + size - s.starY;
        if (gap > 1 && gap < bestGap) {
            bestGap = gap;
            aim = x + size / 2;
        }
    };
    for (const Stone& stone : s.stones) {
        consider(stone.x, stone.y, 25);
    }
    consider(s.boulderX, s.boulderY, 50);
    return aim > s.starX ? 1 : aim < s.starX ? -1 : 0;
}

int Player::fly(const GameState& s, bool takeTargets) {
    bool reaches = false;
    const bool clear = planner_.remaining() > 0 && planner_.stillClear(s, takeTargets, reaches);
    const bool targetAhead = takeTargets && s.targetY + 12 > s.starY;
    // A chain put back below the frame can only be passed by moving at once:
    // a steep one sweeps sideways faster than the star.
    const bool respawned = s.stones[0].x != seenChainX_ || s.boulderX != seenBoulderX_;
    seenChainX_ = s.stones[0].x;
    seenBoulderX_ = s.boulderX;
    // A new plan when this one runs into something, when something new has
    // come up, when it runs short, and now and then while it misses a
    // target ahead.
    if (!clear || respawned || planner_.remaining() < Planner::kHorizon / 2 ||
        (targetAhead && !reaches && ++sincePlan_ >= 16)) {
        planner_.plan(s, takeTargets, targetAhead ? predictTargetX(s) : 200);
        sincePlan_ = 0;
    }
    return planner_.nextSteer();
}

} // namespace nuvalo::soak
