#pragma once
// The game's platform and a window shell as tests stand in for them: the
// recording ones keep what the game asked for, for a test to read; the quiet
// one keeps nothing, for runs that only need the calls to go somewhere (and
// must not allocate for them).

#include "app/rules.h"
#include "game/platform.h"

#include <string>
#include <vector>

namespace nuvalo::test {

class RecordingPlatform : public Platform {
  public:
    void armTimer() override { ++timerArms; }
    void playSound(const char* path) override { sounds.emplace_back(path); }

    int timerArms = 0;
    std::vector<std::string> sounds;
};

class RecordingShell : public Shell {
  public:
    void armTimer() override { ++timerArms; }
    void playSound(const char* path) override { sounds.emplace_back(path); }
    void invalidate() override { ++invalidations; }
    void closeWindow() override { ++closes; }
    void quit(int exitCode) override { quitCodes.push_back(exitCode); }

    int timerArms = 0;
    int invalidations = 0;
    int closes = 0;
    std::vector<int> quitCodes;
    std::vector<std::string> sounds;
};

class QuietShell final : public Shell {
  public:
    void armTimer() override {}
    void playSound(const char* /*path*/) override {}
    void invalidate() override {}
    void closeWindow() override {}
    void quit(int /*exitCode*/) override {}
};

} // namespace nuvalo::test
