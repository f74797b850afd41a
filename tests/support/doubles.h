#pragma once
// A shell as tests stand in for it: a clock that moves only when told, the
// best score kept in memory, and a record of what the host asked for. The
// quiet one keeps nothing, for runs that only need the calls to go somewhere
// (and must not allocate for them).

#include "game/cues.h"
#include "host/host.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace nuvalo::test {

// The files of the cues a step of the game asked for, in order.
inline std::vector<std::string> cueFiles(const Effects& out) {
    std::vector<std::string> files;
    for (int i = 0; i < out.cueCount; ++i) {
        files.emplace_back(cueFile(out.cues[static_cast<std::size_t>(i)]));
    }
    return files;
}

class FakeShell : public Shell {
  public:
    // The clock counts microseconds.
    static constexpr std::uint64_t kFrequency = 1'000'000;
    static constexpr std::uint64_t kPeriod = kFrequency / 50;

    std::uint64_t now() override { return clock; }
    void show(const Bitmap& /*frame*/) override { ++framesShown; }
    void play(Cue cue) override { cues.push_back(cue); }
    float loadBest() override {
        ++bestReads;
        return static_cast<float>(best.value_or(0));
    }
    bool saveBestIfHigher(std::int32_t score) override {
        saves.push_back(score);
        if (refuseSaves || (best && *best > score)) {
            return false;
        }
        best = score;
        return true;
    }
    void ended(int exitCode) override { endedWith = exitCode; }
    void runRecorded(const RunRecord& run) override { runs.push_back(run); }
    void bestRunKept(const RunRecord& run) override { bestRuns.push_back(run); }
    void clipWanted(const RunRecord& /*run*/, std::uint32_t from, std::uint32_t to) override {
        clips.emplace_back(from, to);
    }
    void watchChanged(const WatchStatus* status) override {
        watched = status != nullptr ? std::optional<WatchStatus>(*status) : std::nullopt;
    }

    std::vector<std::string> cueFiles() const {
        std::vector<std::string> files;
        for (const Cue cue : cues) {
            files.emplace_back(cueFile(cue));
        }
        return files;
    }

    std::uint64_t clock = 1'000'000;
    std::optional<std::int32_t> best;
    bool refuseSaves = false;
    int bestReads = 0;
    int framesShown = 0;
    std::vector<Cue> cues;
    std::vector<std::int32_t> saves;
    std::optional<int> endedWith;
    std::vector<RunRecord> runs;
    std::vector<RunRecord> bestRuns;
    std::optional<WatchStatus> watched; // as last reported
    std::vector<std::pair<std::uint32_t, std::uint32_t>> clips;
};

class QuietShell final : public Shell {
  public:
    std::uint64_t now() override { return 0; }
    void show(const Bitmap& /*frame*/) override {}
    void play(Cue /*cue*/) override {}
    float loadBest() override { return 0.0f; }
    bool saveBestIfHigher(std::int32_t /*score*/) override { return true; }
    void ended(int /*exitCode*/) override {}
};

} // namespace nuvalo::test
