#include "app/sdl/library_chatter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace nuvalo::sdl {

namespace {

bool librariesMaySpeak() {
    const char* debug = std::getenv("NUVALO_DEBUG");
    return debug != nullptr && *debug != '\0' && std::strcmp(debug, "0") != 0;
}

} // namespace

LibraryChatterHushed::LibraryChatterHushed() {
    if (librariesMaySpeak()) {
        return;
    }
    const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (nowhere < 0) {
        return;
    }
    std::fflush(stderr);
    saved_ = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    if (saved_ >= 0) {
        ::dup2(nowhere, STDERR_FILENO);
    }
    ::close(nowhere);
}

LibraryChatterHushed::~LibraryChatterHushed() {
    if (saved_ < 0) {
        return;
    }
    std::fflush(stderr);
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
}

} // namespace nuvalo::sdl
