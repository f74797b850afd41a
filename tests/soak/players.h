#pragma once
// The soak's players: each decides, once per tick, what a player would do at
// the keys and the mouse before the next tick. Some play well (dodging
// every stone for millions of ticks, or hunting targets until the speed turns
// negative), some hammer the keys and the mouse in every phase of the game.

#include "game/game_state.h"

#include <cstdint>
#include <vector>

namespace nuvalo::soak {

// A small, fast generator of the soak's own, independent of the game's.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0..n-1 (n > 0).
    std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>(next() % n); }
    bool chance(std::uint32_t oneIn) { return below(oneIn) == 0; }
    // lo..hi, both included.
    std::int32_t between(std::int32_t lo, std::int32_t hi) {
        return lo + static_cast<std::int32_t>(next() % static_cast<std::uint64_t>(hi - lo + 1));
    }
    // Spread evenly over the orders of magnitude from lo to hi.
    std::uint64_t logUniform(std::uint64_t lo, std::uint64_t hi);

  private:
    std::uint64_t state_;
};

enum class EventKind : std::uint8_t { keyDown, keyUp, pointerMove, pointerDown, repaint };

struct Event {
    EventKind kind = EventKind::repaint;
    int a = 0; // virtual key, or x
    int b = 0; // y
};

// What a player does before one tick; a handful of things at most.
struct Events {
    static constexpr int kMax = 10;
    Event event[kMax];
    int count = 0;
    void add(EventKind kind, int a = 0, int b = 0) {
        if (count < kMax) {
            event[count++] = Event{kind, a, b};
        }
    }
};

enum class Style : std::uint8_t {
    idle,     // never touches a key: falls until something is in the way
    chaos,    // random keys, clicks, moves and repaints, now and then Escape
    storm,    // both arrows pressed and released every tick
    survivor, // dodges stones, boulder and targets until its time is up
    hunter,   // dodges obstacles and flies into every target it can reach
};
inline constexpr int kStyleCount = 5;
const char* styleName(Style style);

struct PlayerOptions {
    // Survivors stop dodging after a run of this many ticks at most.
    std::uint64_t maxRunTicks = 200'000;
    // Odds of Escape per tick for the chaos player (one in this many).
    std::uint32_t escapeOneIn = 20'000;
    // One style for every run (its number in Style), or -1 for a mix.
    int style = -1;
};

// Plans the star's steering over the next ticks: a search over every x the
// star can reach, tick by tick, against the obstacles as they will rise. Its
// model of the world is written from the rules of the game, not by calling
// the game, and it draws nothing from the game's random source.
class Planner {
  public:
    static constexpr int kHorizon = 48;
    static constexpr int kMinX = 12;
    static constexpr int kMaxX = 388;
    static constexpr int kWidth = kMaxX - kMinX + 1;

    Planner();

    // Plans a path that stays clear longest, ending nearest `aimX`; one that
    // meets the target when `takeTarget`, one that avoids it otherwise.
    void plan(const GameState& s, bool takeTarget, int aimX);
    // Whether the rest of the plan is still clear (the world may have
    // changed: new objects, a target taken); tells if it meets the target.
    bool stillClear(const GameState& s, bool takeTarget, bool& reachesTarget) const;
    int remaining() const { return length_ - next_; }
    void forget() { length_ = next_ = 0; }
    // The steering for the next tick, 0 once the plan has run out.
    int nextSteer() { return next_ < length_ ? steer_[next_++] : 0; }

  private:
    void foresee(const GameState& s, bool takeTarget);

    std::vector<std::uint8_t> blocked_; // [tick][x]: inside a stone or the boulder
    std::vector<std::uint8_t> target_;  // [tick][x]: inside the target
    std::vector<std::int16_t> from_;    // [tick][x][met target]: previous x, -1 unreached
    std::vector<std::int32_t> cost_;    // [tick][x][met target]: distance from the aim so far
    std::int8_t steer_[kHorizon] = {};
    int length_ = 0;
    int next_ = 0;
};

class Player {
  public:
    Player(std::uint64_t seed, const PlayerOptions& options) : rng_(seed), options_(options) {}

    // Picks a new style for the run that is about to start.
    void newRun();
    Style style() const { return style_; }
    // How long a survivor means to keep dodging.
    std::uint64_t plannedTicks() const { return plannedTicks_; }

    // What to do before the next tick.
    void decide(const GameState& s, std::uint64_t ticksThisRun, Events& out);

  private:
    void startGame(Events& out);
    void chaos(Events& out);
    static void steerTo(const GameState& s, int steer, Events& out);
    int fly(const GameState& s, bool takeTargets);
    static int seekObstacle(const GameState& s);

    Random rng_;
    PlayerOptions options_;
    Planner planner_;
    Style style_ = Style::idle;
    std::uint64_t plannedTicks_ = 0;
    std::uint32_t waitBeforeStart_ = 0;
    std::uint32_t sincePlan_ = 0;
    std::int32_t seenChainX_ = 0;
    std::int32_t seenBoulderX_ = 0;
    bool stormPhase_ = false;
    bool kamikaze_ = false;
};

} // namespace nuvalo::soak
