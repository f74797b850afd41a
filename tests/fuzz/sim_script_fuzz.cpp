// Fuzzes the nuvalo-sim script reader with arbitrary text. Every script either
// runs to its end (status 0, well-formed state lines, nothing on stderr) or
// stops at a malformed line with one clear message naming the line (status
// 2), never a crash or a hang. The reader is run three times per input, from
// memory and from a stream, talkative and quiet, and the runs must agree.
// The work folder is given by absolute path to the fuzzer: the harness runs
// the scripts in a folder of its own, where "save.dat" is read and written.
#include "app/sim/sim_script.h"
#include "tests/support/check.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include <dirent.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

// Every run creates the window's drawing objects anew: three sheets of some
// ten thousand pixels and a back buffer of a megabyte. The sanitizer's
// allocator hands out fresh memory for each (what was freed waits in its
// quarantine), and the page faults of first touching it cost more than the
// rest of a short run; such arrays are therefore kept for the next run. They come
// from the sanitizer's malloc, so their bounds are still checked; only a use
// after release of such a block would go unnoticed.
namespace pool {

constexpr std::size_t kLarge = 4 * 1024;
constexpr int kBlocks = 8;

struct Block {
    void* memory = nullptr;
    std::size_t size = 0;
    bool used = false;
};
Block gBlocks[kBlocks];

void* allocate(std::size_t size) {
    if (size >= kLarge) {
        for (Block& block : gBlocks) {
            if (block.memory != nullptr && !block.used && block.size == size) {
                block.used = true;
                return block.memory;
            }
        }
        for (Block& block : gBlocks) {
            if (block.memory == nullptr) {
                block = Block{std::malloc(size), size, true};
                return block.memory;
            }
        }
    }
    return std::malloc(size == 0 ? 1 : size);
}

void release(void* memory) {
    for (Block& block : gBlocks) {
        if (block.memory != nullptr && block.memory == memory) {
            block.used = false;
            return;
        }
    }
    std::free(memory);
}

} // namespace pool

} // namespace

void* operator new[](std::size_t size) {
    if (void* memory = pool::allocate(size)) {
        return memory;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return pool::allocate(size);
}
void operator delete[](void* memory) noexcept {
    pool::release(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    pool::release(memory);
}

namespace {

// Bounds the work per input: a "timer N" beyond this is a malformed line.
// Every paint composes a whole frame, so an input of a kilobyte (the length
// the fuzz runs allow) costs under two thousand ticks and paints, and a whole
// game (play, crash and tally) still fits in some forty lines.
constexpr std::uint32_t kMaxTimerCount = 16;
constexpr std::uint32_t kSeed = 20240611;

std::string gDir;

// The keys of a state line, in the order the contract fixes.
constexpr const char* kKeys[] = {
    "{\"event\":\"",      "\",\"tick\":",    ",\"running\":",    ",\"crashTimer\":",
    ",\"resultPhase\":",  ",\"bestScore\":", ",\"driftTicks\":", ",\"driftDir\":",
    ",\"resultTicks\":",  ",\"leftHeld\":",  ",\"rightHeld\":",  ",\"steer\":",
    ",\"mouseX\":",       ",\"mouseY\":",    ",\"starX\":",      ",\"starY\":",
    ",\"targetsDown\":[", ",\"distance\":",  ",\"speed\":",      ",\"boulderX\":",
    ",\"boulderY\":",     ",\"stones\":[[",  ",\"targetX\":",    ",\"targetY\":",
    ",\"targetKind\":",   ",\"sounds\":[",
};

void checkStateLine(std::string_view line) {
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        CHECK(byte >= 0x20 && byte < 0x7F, "state line with byte 0x%02x: %.*s", byte,
              static_cast<int>(line.size()), line.data());
    }
    std::size_t at = 0;
    for (const char* key : kKeys) {
        const std::size_t found = line.find(key, at);
        CHECK(found != std::string_view::npos && (at != 0 || found == 0),
              "state line without %s in place: %.*s", key, static_cast<int>(line.size()),
              line.data());
        at = found + std::strlen(key);
    }
    CHECK(line.ends_with("]}"), "state line not closed: %.*s", static_cast<int>(line.size()),
          line.data());
}

// A stream that checks the state lines as they are written and keeps only the
// last one, so that long talkative runs cost no memory. The lines of a long
// run differ only in their numbers; checking the first ones and the last
// (after the run) keeps the fuzzer fast.
struct LineChecker {
    static constexpr std::uint64_t kCheckedLines = 64;

    std::string current;
    std::string last;
    std::uint64_t lines = 0;

    static ssize_t write(void* cookie, const char* data, std::size_t size) {
        auto* self = static_cast<LineChecker*>(cookie);
        std::string_view rest(data, size);
        for (std::size_t end = rest.find('\n'); end != std::string_view::npos;
             end = rest.find('\n')) {
            self->current.append(rest.substr(0, end));
            if (self->lines < kCheckedLines) {
                checkStateLine(self->current);
            }
            self->last.swap(self->current);
            self->current.clear();
            ++self->lines;
            rest.remove_prefix(end + 1);
        }
        self->current.append(rest);
        CHECK(self->current.size() < 8192, "state line without end");
        return static_cast<ssize_t>(size);
    }
};

// Output captured in memory.
struct Captured {
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* file = nullptr;

    Captured() : file(open_memstream(&data, &size)) {
        CHECK(file != nullptr, "open_memstream: %s", std::strerror(errno));
    }
    ~Captured() {
        if (file != nullptr) {
            std::fclose(file);
        }
        std::free(data);
    }
    Captured(const Captured&) = delete;
    Captured& operator=(const Captured&) = delete;

    std::string_view text() {
        std::fflush(file);
        return {data, size};
    }
};

// Every run starts from the same, empty working folder: no "save.dat", and
// none of the files "snapshot" may have left.
void freshFolder() {
    DIR* dir = opendir(".");
    CHECK(dir != nullptr, "cannot list the work folder: %s", std::strerror(errno));
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            CHECK(unlink(entry->d_name) == 0, "cannot remove %s: %s", entry->d_name,
                  std::strerror(errno));
        }
    }
    closedir(dir);
}

// "snapshot PATH" writes the frame as a PNG file wherever PATH points. That
// would let the fuzzer scatter files over the machine, and encoding a frame
// costs as much as thousands of ticks, so scripts with a snapshot line that
// would write are not run (the PNG writer has tests of its own). Snapshot
// lines that are malformed still are. Words are split as the reader does.
bool rejected(std::string_view script) {
    while (!script.empty()) {
        const std::size_t end = script.find('\n');
        std::string_view line = script.substr(0, end);
        script.remove_prefix(end == std::string_view::npos ? script.size() : end + 1);
        line = line.substr(0, line.find('#'));
        int words = 0;
        bool snapshot = false;
        for (std::size_t i = 0; i < line.size();) {
            const auto blank = [&](std::size_t at) {
                return line[at] == ' ' || line[at] == '\t' || line[at] == '\r';
            };
            while (i < line.size() && blank(i)) {
                ++i;
            }
            const std::size_t start = i;
            while (i < line.size() && !blank(i)) {
                ++i;
            }
            if (i > start) {
                snapshot = words == 0 ? line.substr(start, i - start) == "snapshot" : snapshot;
                ++words;
            }
        }
        if (snapshot && words == 2) {
            return true;
        }
    }
    return false;
}

void checkMessage(std::string_view err) {
    // nuvalo-sim: line N: what: "the line"
    constexpr std::string_view kStart = "nuvalo-sim: line ";
    CHECK(err.starts_with(kStart), "error message without its line: %.*s",
          static_cast<int>(err.size()), err.data());
    std::size_t i = kStart.size();
    const std::size_t digits = i;
    while (i < err.size() && err[i] >= '0' && err[i] <= '9') {
        ++i;
    }
    CHECK(i > digits && err[digits] != '0' && err.substr(i).starts_with(": "),
          "error message without a line number: %.*s", static_cast<int>(err.size()), err.data());
    CHECK(err.ends_with("\"\n") && err.find('\n') == err.size() - 1,
          "error message is not one quoted line: %.*s", static_cast<int>(err.size()), err.data());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    // The game reads and writes "save.dat" in the working folder.
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/nuvalo-fuzz-XXXXXX";
    CHECK(mkdtemp(pattern.data()) != nullptr, "cannot make a work folder: %s",
          std::strerror(errno));
    gDir = pattern;
    CHECK(chdir(gDir.c_str()) == 0, "cannot enter %s", gDir.c_str());
    std::atexit([] {
        freshFolder();
        rmdir(gDir.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view script(reinterpret_cast<const char*>(data), size);
    if (rejected(script)) {
        return -1;
    }
    nuvalo::sim::Options options;
    options.seed = kSeed;
    options.maxTimerCount = kMaxTimerCount;

    // Talkative, from memory: every state line checked as it is written.
    LineChecker checker;
    std::FILE* lines = fopencookie(&checker, "w", {nullptr, &LineChecker::write, nullptr, nullptr});
    CHECK(lines != nullptr, "fopencookie: %s", std::strerror(errno));
    Captured err;
    freshFolder();
    const int status = nuvalo::sim::runScript(script, options, lines, err.file);
    std::fclose(lines);
    CHECK(checker.current.empty(), "a state line without its line feed");
    CHECK(status == nuvalo::sim::kExitOk || status == nuvalo::sim::kExitBadScript, "exit status %d",
          status);
    CHECK(checker.lines >= 1, "no state line for the window's creation");
    checkStateLine(checker.last);
    if (status == nuvalo::sim::kExitOk) {
        CHECK(err.text().empty(), "status 0 with a message: %.*s",
              static_cast<int>(err.text().size()), err.text().data());
    } else {
        checkMessage(err.text());
    }

    // Quiet, from a stream: the same status and message, and the last state
    // of a script that ran is the talkative run's last line.
    options.quiet = true;
    Captured quietOut;
    Captured quietErr;
    // fmemopen refuses an empty buffer; an empty stream is just as good.
    static const char kNothing[1] = {};
    std::FILE* in = size != 0 ? fmemopen(const_cast<std::uint8_t*>(data), size, "rb")
                              : fmemopen(const_cast<char*>(kNothing), 1, "r");
    CHECK(in != nullptr, "fmemopen: %s", std::strerror(errno));
    if (size == 0) {
        std::fgetc(in); // at the end
    }
    freshFolder();
    const int quietStatus = nuvalo::sim::runScript(in, options, quietOut.file, quietErr.file);
    std::fclose(in);
    CHECK(quietStatus == status, "the stream reader ends with %d, the memory reader with %d",
          quietStatus, status);
    CHECK(quietErr.text() == err.text(), "the two readers report differently:\n%.*s%.*s",
          static_cast<int>(err.text().size()), err.text().data(),
          static_cast<int>(quietErr.text().size()), quietErr.text().data());
    if (status == nuvalo::sim::kExitOk) {
        CHECK(quietOut.text() == checker.last + "\n", "the quiet run ends elsewhere:\n%s\n%.*s",
              checker.last.c_str(), static_cast<int>(quietOut.text().size()),
              quietOut.text().data());
    } else {
        CHECK(quietOut.text().empty(), "a quiet run that failed printed a state");
    }
    return 0;
}
