#include "clip/clip_file.h"

#include "clip/clip.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

namespace nuvalo::clip {

namespace {

// More clips than anyone keeps in one folder: past it something else is
// wrong, and looking on would only take long to say so.
constexpr int kMostClips = 99'999;

// Creates `name`, empty, unless something of that name is there: 1 when
// created, 0 when taken, -1 (errno set) when the folder refuses it.
int createNew(const std::string& name) {
#ifdef _WIN32
    const int fd =
        _open(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    const bool created = fd >= 0 && _close(fd) == 0;
#else
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    const bool created = fd >= 0 && ::close(fd) == 0;
#endif
    return created ? 1 : errno == EEXIST ? 0 : -1;
}

} // namespace

std::string takeClipName(std::string& reason) {
    for (int n = 1; n <= kMostClips; ++n) {
        std::string name = "nuvalo-clip-" + std::to_string(n) + ".gif";
        switch (createNew(name)) {
        case 1:
            return name;
        case 0:
            continue;
        default:
            reason = "cannot write " + name + ": " + std::strerror(errno);
            return {};
        }
    }
    reason = "the folder holds " + std::to_string(kMostClips) + " clips already";
    return {};
}

void saveClip(const RunRecord& run, std::uint32_t from, std::uint32_t to, GifWriter* writer,
              const std::function<void(const std::string&)>& title) {
    const std::string watching = kWatchTitle;
    std::string reason = "this build makes no GIF clips";
    std::string name = writer != nullptr ? takeClipName(reason) : std::string();
    if (!name.empty()) {
        // The window stands still while the clip is made: a few seconds
        // where the system's GIF coder is slow.
        title(watching + " - making " + name);
        const ClipResult made = writeClip(run,
                                          {.fromSeconds = from / double{kStepsPerSecond},
                                           .toSeconds = to / double{kStepsPerSecond}},
                                          name, *writer);
        if (made.ok) {
            title(watching + " - saved " + name);
            std::printf("saved %s\n", name.c_str());
            std::fflush(stdout);
            return;
        }
        std::remove(name.c_str());
        reason = made.reason;
    }
    title(watching + " - no clip: " + reason);
    std::fprintf(stderr, "nuvalo: no clip: %s\n", reason.c_str());
    std::fflush(stderr);
}

} // namespace nuvalo::clip
