#pragma once
// One game per user and display: an advisory lock on a file named after the
// display, in the user's own runtime directory (or with the user id in its name).
// The kernel drops the lock when its holder exits or crashes, so a dead game
// never blocks the next start.

#include <string>
#include <string_view>
#include <sys/types.h>

namespace nuvalo::sdl {

// Which display the game shows on, as a name fit for a file: the video driver
// and the display it talks to. For X11 the screen number is dropped (":0.1" is
// the same desktop as ":0"); characters outside [A-Za-z0-9._:-] become '_'.
std::string displayKey(std::string_view videoDriver, const char* x11Display,
                       const char* waylandDisplay);

// Where the lock file lives: in the user's runtime directory when it is an
// absolute path, otherwise in /tmp with the user id in the name.
std::string lockPath(std::string_view displayKey, const char* runtimeDir, uid_t uid);

class InstanceLock {
  public:
    enum class Result {
        Acquired,    // this is the only game on the display
        Held,        // another live game holds the display
        Unavailable, // the lock file could not be used; the game runs unguarded
    };

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    Result acquire(const std::string& path);
    void release();

  private:
    int fd_ = -1;
};

} // namespace nuvalo::sdl
