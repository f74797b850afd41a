#include "persist/best_score.h"

#include <cerrno>
#include <cstdio>
#include <limits>
#include <string>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace nuvalo {

namespace {

// Reads a number the way a "%d" conversion does, one byte at a time: white
// space first, an optional sign, then digits up to the first non-digit.
// Beyond the int32 range the value saturates instead of being undefined.
class NumberReader {
  public:
    // Takes the next byte; false once the number is complete or impossible.
    bool feed(unsigned char c) {
        switch (stage_) {
        case Stage::Space:
            if (c == ' ' || (c >= '\t' && c <= '\r')) {
                return true;
            }
            stage_ = Stage::Sign;
            if (c == '+' || c == '-') {
                negative_ = c == '-';
                return true;
            }
            [[fallthrough]];
        case Stage::Sign:
        case Stage::Digits:
            if (c < '0' || c > '9') {
                return false;
            }
            stage_ = Stage::Digits;
            // One past the int32 magnitude is enough to know the result saturates.
            if (magnitude_ <= kLimit) {
                magnitude_ = magnitude_ * 10 + (c - '0');
            }
            return true;
        }
        return false;
    }

    std::optional<std::int32_t> value() const {
        if (stage_ != Stage::Digits) {
            return std::nullopt;
        }
        if (negative_) {
            return magnitude_ >= kLimit ? std::numeric_limits<std::int32_t>::min()
                                        : static_cast<std::int32_t>(-magnitude_);
        }
        return magnitude_ >= kLimit - 1 ? std::numeric_limits<std::int32_t>::max()
                                        : static_cast<std::int32_t>(magnitude_);
    }

  private:
    static constexpr std::int64_t kLimit = 2147483648; // |INT32_MIN|
    enum class Stage { Space, Sign, Digits };
    Stage stage_ = Stage::Space;
    bool negative_ = false;
    std::int64_t magnitude_ = 0;
};

// What reading "save.dat" found.
struct StoredValue {
    enum class Kind {
        None,   // missing, or no plain file (a pipe, a device): counts as no file
        Locked, // a plain file this user may not read: never to be touched
        Read,
    };
    Kind kind = Kind::None;
    std::optional<std::int32_t> value;
};

// Opens `path` for reading only if it is a plain file: a named pipe or a
// device put there would block the game or never end. `locked` tells a plain
// file that exists but may not be read from one that is missing or no file.
std::FILE* openPlainFile(const char* path, bool& locked) {
    locked = false;
#ifdef _WIN32
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr && errno != ENOENT) {
        const DWORD attributes = GetFileAttributesA(path);
        locked =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    }
    return file;
#else
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        struct stat info {};
        locked = errno != ENOENT && ::stat(path, &info) == 0 && S_ISREG(info.st_mode);
        return nullptr;
    }
    struct stat info {};
    std::FILE* file = nullptr;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        file = ::fdopen(fd, "rb");
    }
    if (file == nullptr) {
        ::close(fd);
    }
    return file;
#endif
}

bool isDirectory(const char* path) {
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
#else
    struct stat info {};
    return ::lstat(path, &info) == 0 && S_ISDIR(info.st_mode);
#endif
}

// Creates `path` afresh as a file of our own. A stale file or a link planted
// by that name is removed first and the new one is made exclusively, so the
// score is never written through a link into some other file. `forbidden`
// tells that the folder does not let us make the file (as opposed to a
// folder in the way, a full disk and the like).
std::FILE* createExclusively(const char* path, bool& forbidden) {
#ifdef _WIN32
    ::_unlink(path);
    const int fd = ::_open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    forbidden = fd < 0 && (errno == EACCES || errno == EEXIST) && !isDirectory(path);
    std::FILE* file = fd < 0 ? nullptr : ::_fdopen(fd, "wb");
    if (fd >= 0 && file == nullptr) {
        ::_close(fd);
    }
#else
    ::unlink(path); // never a folder in the way: that makes the save fail
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    // A stale file that stays (EEXIST) means the folder would not let us remove it.
    forbidden = fd < 0 &&
                (errno == EACCES || errno == EPERM || errno == EROFS || errno == EEXIST) &&
                !isDirectory(path);
    std::FILE* file = fd < 0 ? nullptr : ::fdopen(fd, "wb");
    if (fd >= 0 && file == nullptr) {
        ::close(fd);
    }
#endif
    return file;
}

StoredValue readFromStore(SaveStore& store) {
    StoredValue stored;
    std::string text;
    switch (store.read(text)) {
    case SaveStore::Found::nothing:
        return stored;
    case SaveStore::Found::locked:
        stored.kind = StoredValue::Kind::Locked;
        return stored;
    case SaveStore::Found::text:
        break;
    }
    stored.kind = StoredValue::Kind::Read;
    stored.value = parseBest(text.data(), text.size());
    return stored;
}

bool isWritable(const char* path) {
    std::FILE* probe = std::fopen(path, "r+b");
    if (probe == nullptr) {
        return false;
    }
    std::fclose(probe);
    return true;
}

// The text save.dat holds for a score, "%d\n", made once for whichever writer.
struct ScoreText {
    char bytes[16] = {};
    int length = 0;
};

ScoreText scoreText(std::int32_t score) {
    ScoreText text;
    text.length = std::snprintf(text.bytes, sizeof text.bytes, "%d\n", static_cast<int>(score));
    return text;
}

StoredValue readStored(const char* path) {
    StoredValue stored;
    bool locked = false;
    std::FILE* file = openPlainFile(path, locked);
    if (file == nullptr) {
        stored.kind = locked ? StoredValue::Kind::Locked : StoredValue::Kind::None;
        return stored;
    }
    stored.kind = StoredValue::Kind::Read;
    NumberReader reader;
    for (int c = std::getc(file); c != EOF; c = std::getc(file)) {
        if (!reader.feed(static_cast<unsigned char>(c))) {
            break;
        }
    }
    std::fclose(file);
    stored.value = reader.value();
    return stored;
}

bool syncToDisk(std::FILE* file) {
#ifdef _WIN32
    return _commit(_fileno(file)) == 0;
#else
    return fsync(fileno(file)) == 0;
#endif
}

bool replaceFile(const char* from, const char* to) {
#ifdef _WIN32
    // std::rename will not replace an existing file on Windows.
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return std::rename(from, to) == 0;
#endif
}

// Writes `text` over the start of the existing plain file `path`, then cuts
// the file to it. For a folder we may not create files in: the file never
// holds less than a readable number, since a crash between the write and the
// cut leaves the new number and a line feed before old bytes that reading
// ignores. Never through a link, and never into anything but a plain file.
bool rewriteInPlace(const char* text, int length, const char* path) {
#ifdef _WIN32
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const DWORD notPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    DWORD written = 0;
    bool ok = GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
              (info.dwFileAttributes & notPlain) == 0;
    ok = ok && WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr) &&
         written == static_cast<DWORD>(length);
    ok = ok && SetEndOfFile(file) && FlushFileBuffers(file);
    return CloseHandle(file) && ok;
#else
    const int fd = ::open(path, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ok = ok && ::pwrite(fd, text, static_cast<std::size_t>(length), 0) == length;
    ok = ok && ::ftruncate(fd, length) == 0;
    ok = ok && ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
#endif
}

} // namespace

// The old file stays whole until the new one is complete on disk.
bool writeFileAtomically(const char* path, const char* bytes, std::size_t length) {
    const std::string temp = std::string(path) + ".tmp";
    bool forbidden = false;
    std::FILE* file = createExclusively(temp.c_str(), forbidden);
    if (file == nullptr) {
        // A save.dat we may write in a folder we may not (a shared install).
        return forbidden && rewriteInPlace(bytes, static_cast<int>(length), path);
    }
    bool ok = std::fwrite(bytes, 1, length, file) == length;
    ok = std::fflush(file) == 0 && ok;
    ok = ok && syncToDisk(file);
    ok = std::fclose(file) == 0 && ok;
    ok = ok && replaceFile(temp.c_str(), path);
    if (!ok) {
        std::remove(temp.c_str());
    }
    return ok;
}

namespace {

bool writeAtomically(const ScoreText& text, const char* path) {
    return writeFileAtomically(path, text.bytes, static_cast<std::size_t>(text.length));
}

} // namespace

std::optional<std::int32_t> parseBest(const char* text, std::size_t length) {
    NumberReader reader;
    for (std::size_t i = 0; i < length; ++i) {
        if (!reader.feed(static_cast<unsigned char>(text[i]))) {
            break;
        }
    }
    return reader.value();
}

namespace {
// Whether `score` may go in over what is stored.
bool mayReplace(const StoredValue& stored, std::int32_t score) {
    // A save.dat the player has locked may hold a greater number we cannot see.
    if (stored.kind == StoredValue::Kind::Locked) {
        return false;
    }
    // A file without a readable number counts as 0; only a missing file lets
    // a negative score through.
    return stored.kind != StoredValue::Kind::Read || stored.value.value_or(0) <= score;
}
} // namespace

float loadBest(const char* path) {
    return static_cast<float>(readStored(path).value.value_or(0));
}

float loadBest(SaveStore& store) {
    return static_cast<float>(readFromStore(store).value.value_or(0));
}

int saveBestIfHigher(std::int32_t score, const char* path) {
    const StoredValue stored = readStored(path);
    // A save.dat the player has made read-only stays as it is.
    if (!mayReplace(stored, score) ||
        (stored.kind == StoredValue::Kind::Read && !isWritable(path))) {
        return 0;
    }
    return writeAtomically(scoreText(score), path) ? 1 : 0;
}

int saveBestIfHigher(std::int32_t score, SaveStore& store) {
    if (!mayReplace(readFromStore(store), score)) {
        return 0;
    }
    const ScoreText text = scoreText(score);
    return store.write(text.bytes, static_cast<std::size_t>(text.length)) ? 1 : 0;
}

} // namespace nuvalo
