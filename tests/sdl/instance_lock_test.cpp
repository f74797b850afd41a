#include "app/sdl/instance_lock.h"

#include "tests/support/fixtures.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace nuvalo::sdl {
namespace {

TEST(DisplayKey, ScreensOfOneDisplayShareAKey) {
    EXPECT_EQ(displayKey("x11", ":0", nullptr), "x11-:0");
    EXPECT_EQ(displayKey("x11", ":0.1", nullptr), displayKey("x11", ":0", nullptr));
    EXPECT_NE(displayKey("x11", ":1", nullptr), displayKey("x11", ":0", nullptr));
    EXPECT_EQ(displayKey("x11", "host.example:10.0", nullptr), "x11-host.example:10");
}

TEST(DisplayKey, WaylandAndOddNamesMakeSafeFileNames) {
    EXPECT_EQ(displayKey("wayland", ":0", "wayland-1"), "wayland-wayland-1");
    EXPECT_EQ(displayKey("wayland", nullptr, nullptr), "wayland-wayland-0");
    EXPECT_EQ(displayKey("wayland", nullptr, "/run/user/1000/w 0"), "wayland-_run_user_1000_w_0");
    EXPECT_EQ(displayKey("x11", "../../etc/x", nullptr).find('/'), std::string::npos);
    EXPECT_EQ(displayKey("x11", nullptr, nullptr), "x11-");
    EXPECT_EQ(displayKey("kmsdrm", ":0", nullptr), "kmsdrm");
    EXPECT_LE(displayKey("x11", std::string(500, 'a').c_str(), nullptr).size(), 104u);
}

TEST(LockPath, RuntimeDirectoryOrTmpWithTheUser) {
    EXPECT_EQ(lockPath("x11-:0", "/run/user/1000", 1000), "/run/user/1000/nuvalo-x11-:0.lock");
    EXPECT_EQ(lockPath("x11-:0", "/run/user/1000/", 1000), "/run/user/1000/nuvalo-x11-:0.lock");
    EXPECT_EQ(lockPath("x11-:0", nullptr, 1000), "/tmp/nuvalo-1000-x11-:0.lock");
    EXPECT_EQ(lockPath("x11-:0", "", 42), "/tmp/nuvalo-42-x11-:0.lock");
    EXPECT_EQ(lockPath("x11-:0", "relative/dir", 42), "/tmp/nuvalo-42-x11-:0.lock");
}

// Each test in a fresh folder of its own, which holds its lock files.
class Lock : public test::InTempDir {
  protected:
    static std::filesystem::path dir() { return std::filesystem::current_path(); }
    static std::string path(const char* key) { return lockPath(key, dir().c_str(), ::getuid()); }

    // Forks a process that takes the lock and waits; returns its pid once it holds it.
    pid_t holderProcess(const std::string& lockFile) {
        int ready[2];
        EXPECT_EQ(::pipe(ready), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(ready[0]);
            InstanceLock lock;
            const char status =
                lock.acquire(lockFile) == InstanceLock::Result::Acquired ? 'y' : 'n';
            (void)!::write(ready[1], &status, 1);
            ::pause();
            ::_exit(0);
        }
        ::close(ready[1]);
        char status = 0;
        EXPECT_EQ(::read(ready[0], &status, 1), 1);
        ::close(ready[0]);
        EXPECT_EQ(status, 'y');
        return pid;
    }
};

TEST_F(Lock, SecondLockOnTheSameDisplayIsRefused) {
    InstanceLock first;
    ASSERT_EQ(first.acquire(path("x11-:0")), InstanceLock::Result::Acquired);
    InstanceLock second;
    EXPECT_EQ(second.acquire(path("x11-:0")), InstanceLock::Result::Held);
    InstanceLock otherDisplay;
    EXPECT_EQ(otherDisplay.acquire(path("x11-:1")), InstanceLock::Result::Acquired);
    first.release();
    EXPECT_EQ(second.acquire(path("x11-:0")), InstanceLock::Result::Acquired);
}

TEST_F(Lock, AnotherProcessHoldingTheDisplayRefusesUs) {
    const pid_t holder = holderProcess(path("x11-:0"));
    InstanceLock lock;
    EXPECT_EQ(lock.acquire(path("x11-:0")), InstanceLock::Result::Held);
    ::kill(holder, SIGTERM);
    ::waitpid(holder, nullptr, 0);
}

TEST_F(Lock, ALockOfAHolderThatDiedIsFree) {
    const pid_t holder = holderProcess(path("x11-:0"));
    ::kill(holder, SIGKILL); // a crash: no chance to clean up
    ::waitpid(holder, nullptr, 0);
    ASSERT_TRUE(std::filesystem::exists(path("x11-:0"))) << "the file stays; only the lock goes";
    InstanceLock lock;
    EXPECT_EQ(lock.acquire(path("x11-:0")), InstanceLock::Result::Acquired);
}

TEST_F(Lock, PlantedLinksAndMissingDirectoriesAreNotUsed) {
    std::filesystem::create_symlink(dir() / "elsewhere", path("x11-:5"));
    InstanceLock lock;
    EXPECT_EQ(lock.acquire(path("x11-:5")), InstanceLock::Result::Unavailable);
    EXPECT_FALSE(std::filesystem::exists(dir() / "elsewhere")) << "the link was not followed";
    EXPECT_EQ(lock.acquire((dir() / "no-such-dir" / "x.lock").string()),
              InstanceLock::Result::Unavailable);
}

} // namespace
} // namespace nuvalo::sdl
