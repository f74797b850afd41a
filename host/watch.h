#pragma once
// Watching a recorded run: the run played again from its record, the same
// frames and cues the game made, with pause, four speeds, seeking to any
// step and one-step moves. It reads and keeps nothing: the best score shown
// is the one the record carries.

#include "game/effects.h"
#include "game/game_state.h"
#include "host/replay.h"
#include "persist/run_record.h"

#include <cstdint>
#include <memory>
#include <string>

namespace nuvalo {

// ½, 1, 2 and 4 steps every 20 ms.
inline constexpr int kWatchSpeeds = 4;
inline constexpr int kNormalSpeed = 1;
// The speed's name as the controls show it: "1/2x", "1x", "2x", "4x".
const char* watchSpeedName(int speed);

// Where a watch stands, for the controls to show.
struct WatchStatus {
    std::uint32_t position = 0; // steps from the run's start
    std::uint32_t length = 0;   // the last step: the tally complete, or the record's end
    bool playing = false;
    int speed = kNormalSpeed;
    bool atEnd = false;
    bool verified = false;
    // "verified: N points", or what went wrong; the controls show it at the end.
    std::string verdict;
    // The stretch a clip takes now: the steps after clipFrom up to clipTo.
    // Unless marked, the last 10 seconds, up to the completed tally.
    std::uint32_t clipFrom = 0;
    std::uint32_t clipTo = 0;

    bool operator==(const WatchStatus&) const = default;
};

class Watch {
  public:
    // Plays the record through once at once, for its verdict and length.
    explicit Watch(const RunRecord& run);
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;

    const GameState& state() const { return player_.state(); }
    const WatchStatus& status() const { return status_; }

    // One 20 ms period passed: steps as the speed says when playing; `out`
    // gets the cues of every step taken (never a save).
    void period(Effects& out);
    void play(bool playing);
    void setSpeed(int speed); // clamped to 0 .. kWatchSpeeds - 1
    // To step `position` (clamped to the length), with no cues.
    void seek(std::uint32_t position);
    // One step forward or back (`direction` +1 or -1), pausing first.
    void step(int direction, Effects& out);
    // Marks where here a clip starts (or ends); the other end keeps its place
    // unless it would come first, when it moves to make a 10-second stretch.
    void markClip(bool end);
    const RunRecord& run() const { return run_; }

  private:
    void update();
    bool takeStep(Effects& out);

    // The player refers to the record: both live here, in this order.
    RunRecord run_;
    RunPlayer player_;
    WatchStatus status_;
    bool halfStepDue_ = false;
    bool clipMarked_ = false;
};

// Steps of a watch per second: one every 20 ms.
inline constexpr std::uint32_t kWatchStepsPerSecond = 50;
// A clip not marked otherwise: the last 10 seconds.
inline constexpr std::uint32_t kDefaultClipSteps = 10 * kWatchStepsPerSecond;

} // namespace nuvalo
