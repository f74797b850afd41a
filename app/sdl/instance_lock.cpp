#include "app/sdl/instance_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nuvalo::sdl {

namespace {
constexpr std::size_t kMaxKeyLength = 100;

std::string sanitised(std::string_view text) {
    std::string out;
    for (const char c : text.substr(0, kMaxKeyLength)) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '_' || c == ':' || c == '-';
        out.push_back(plain ? c : '_');
    }
    return out;
}

// ":0.1" and ":0" are screens of one X display; "host:10.0" keeps its host.
std::string_view withoutScreen(std::string_view display) {
    const auto colon = display.rfind(':');
    if (colon == std::string_view::npos) {
        return display;
    }
    const auto dot = display.find('.', colon);
    return dot == std::string_view::npos ? display : display.substr(0, dot);
}
} // namespace

std::string displayKey(std::string_view videoDriver, const char* x11Display,
                       const char* waylandDisplay) {
    const std::string_view x11 = x11Display != nullptr ? x11Display : "";
    const std::string_view wayland =
        waylandDisplay != nullptr && *waylandDisplay != '\0' ? waylandDisplay : "wayland-0";
    if (videoDriver == "x11") {
        return "x11-" + sanitised(withoutScreen(x11));
    }
    if (videoDriver == "wayland") {
        return "wayland-" + sanitised(wayland);
    }
    return sanitised(videoDriver);
}

std::string lockPath(std::string_view key, const char* runtimeDir, uid_t uid) {
    if (runtimeDir != nullptr && runtimeDir[0] == '/') {
        std::string path = runtimeDir;
        if (path.back() != '/') {
            path.push_back('/');
        }
        return path + "nuvalo-" + std::string(key) + ".lock";
    }
    return "/tmp/nuvalo-" + std::to_string(uid) + "-" + std::string(key) + ".lock";
}

InstanceLock::~InstanceLock() {
    release();
}

void InstanceLock::release() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

InstanceLock::Result InstanceLock::acquire(const std::string& path) {
    release();
    // The file may sit in a shared /tmp: never follow a planted link, and
    // trust only a plain file of our own.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return Result::Unavailable;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        ::close(fd);
        return Result::Unavailable;
    }
    int rc = 0;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return held ? Result::Held : Result::Unavailable;
    }
    fd_ = fd;
    return Result::Acquired;
}

} // namespace nuvalo::sdl
