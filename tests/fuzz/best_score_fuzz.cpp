// Fuzzes the best-score file with arbitrary contents. Whatever "save.dat"
// holds, reading never crashes and follows the "%d" rule (saturating beyond
// int32), checked against the C library's own conversions; a save either
// leaves the file byte for byte as it was or leaves exactly "%d\n" of the
// score, and whatever was written reads back equal.
#include "persist/best_score.h"
#include "tests/support/check.h"

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string gDir;
std::string gSave;
std::string gTemp;

// The reading rule modelled on the C library: a "%d" conversion is defined by
// strtol with base 10, and strtoll's wider range saturates on its own, so
// clamping its result to int32 gives the rule with saturation. c_str() ends
// at the first NUL byte, where a "%d" conversion stops too.
std::optional<std::int32_t> referenceValue(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(begin, &end, 10);
    if (end == begin) {
        return std::nullopt;
    }
    if (v > INT32_MAX) {
        return INT32_MAX;
    }
    if (v < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<std::int32_t>(v);
}

std::string readAll(const char* path, bool& exists) {
    std::string bytes;
    std::FILE* file = std::fopen(path, "rb");
    exists = file != nullptr;
    if (file != nullptr) {
        char buffer[4096];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
            bytes.append(buffer, n);
        }
        std::fclose(file);
    }
    return bytes;
}

void writeAll(const char* path, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path, "wb");
    CHECK(file != nullptr, "cannot create %s: %s", path, std::strerror(errno));
    CHECK(std::fwrite(data, 1, size, file) == size, "cannot write %s", path);
    CHECK(std::fclose(file) == 0, "cannot close %s", path);
}

std::string formatted(std::int32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%" PRId32 "\n", v);
    return text;
}

std::uint64_t hashOf(const std::uint8_t* data, std::size_t size) {
    std::uint64_t h = 1469598103934665603ull; // FNV-1a
    for (std::size_t i = 0; i < size; ++i) {
        h = (h ^ data[i]) * 1099511628211ull;
    }
    return h;
}

std::int32_t saturatedAdd(std::int32_t a, int b) {
    const std::int64_t sum = std::int64_t{a} + b;
    return sum > INT32_MAX   ? INT32_MAX
           : sum < INT32_MIN ? INT32_MIN
                             : static_cast<std::int32_t>(sum);
}

// A score to save against the stored value: mostly the neighbours of the
// stored number, where the comparison decides, and the int32 limits.
std::int32_t scoreFor(std::int32_t stored, std::uint64_t hash) {
    switch (hash % 8) {
    case 0:
        return saturatedAdd(stored, -1);
    case 1:
        return stored;
    case 2:
        return saturatedAdd(stored, 1);
    case 3:
        return INT32_MIN;
    case 4:
        return INT32_MAX;
    case 5:
        return 0;
    case 6:
        return -1;
    default:
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(hash >> 32));
    }
}

void checkNoTempLeft() {
    struct stat info {};
    CHECK(lstat(gTemp.c_str(), &info) != 0, "the temporary file %s was left behind", gTemp.c_str());
}

void checkReading(const std::uint8_t* data, std::size_t size,
                  std::optional<std::int32_t> expected) {
    const std::optional<std::int32_t> parsed =
        nuvalo::parseBest(reinterpret_cast<const char*>(data), size);
    CHECK(parsed == expected, "parseBest gives %s%" PRId32 ", the %%d rule %s%" PRId32,
          parsed ? "" : "nothing/", parsed.value_or(0), expected ? "" : "nothing/",
          expected.value_or(0));

    // Within the int32 range the real "%d" conversion is defined, so it is a
    // second, unsaturated witness.
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (!expected || (*expected > -1000000000 && *expected < 1000000000)) {
        int scanned = 0;
        const int count = std::sscanf(text.c_str(), "%d", &scanned);
        CHECK((count == 1) == expected.has_value(), "sscanf %s a number",
              count == 1 ? "finds" : "does not find");
        CHECK(count != 1 || scanned == *expected, "sscanf reads %d, parseBest %" PRId32, scanned,
              *expected);
    }

    // The file reader is a separate loop over the same rule.
    writeAll(gSave.c_str(), data, size);
    const float loaded = nuvalo::loadBest(gSave.c_str());
    CHECK(loaded == static_cast<float>(expected.value_or(0)), "loadBest gives %.9g for %" PRId32,
          static_cast<double>(loaded), expected.value_or(0));
}

void checkSaveOver(const std::uint8_t* data, std::size_t size, std::int32_t stored,
                   std::int32_t score) {
    const int result = nuvalo::saveBestIfHigher(score, gSave.c_str());
    bool exists = false;
    const std::string after = readAll(gSave.c_str(), exists);
    CHECK(exists, "save.dat vanished while saving %" PRId32, score);
    if (stored > score) {
        CHECK(result == 0, "a save of %" PRId32 " over %" PRId32 " reports %d", score, stored,
              result);
        CHECK(after.size() == size && std::memcmp(after.data(), data, size) == 0,
              "save.dat changed although %" PRId32 " is below the stored %" PRId32, score, stored);
    } else {
        CHECK(result == 1, "a save of %" PRId32 " over %" PRId32 " reports %d", score, stored,
              result);
        CHECK(after == formatted(score), "save.dat holds \"%s\" after saving %" PRId32,
              after.c_str(), score);
    }
    checkNoTempLeft();
}

void checkRoundTrip(std::int32_t v) {
    const std::string text = formatted(v);
    const std::optional<std::int32_t> parsed = nuvalo::parseBest(text.data(), text.size());
    CHECK(parsed == v, "\"%" PRId32 "\\n\" parses as %" PRId32, v, parsed.value_or(0));

    std::remove(gSave.c_str());
    const int result = nuvalo::saveBestIfHigher(v, gSave.c_str());
    CHECK(result == 1, "a first save of %" PRId32 " reports %d", v, result);
    bool exists = false;
    const std::string stored = readAll(gSave.c_str(), exists);
    CHECK(stored == text, "a first save of %" PRId32 " leaves \"%s\"", v, stored.c_str());
    const float loaded = nuvalo::loadBest(gSave.c_str());
    CHECK(loaded == static_cast<float>(v), "%" PRId32 " saved loads as %.9g", v,
          static_cast<double>(loaded));
    checkNoTempLeft();
}

void removeWorkDir() {
    std::remove(gSave.c_str());
    std::remove(gTemp.c_str());
    rmdir(gDir.c_str());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    // Memory-backed when possible: every input costs two synced saves.
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/nuvalo-fuzz-XXXXXX";
    CHECK(mkdtemp(pattern.data()) != nullptr, "cannot make a work folder: %s",
          std::strerror(errno));
    gDir = pattern;
    gSave = gDir + "/save.dat";
    gTemp = gSave + ".tmp";
    std::atexit(removeWorkDir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<std::int32_t> expected = referenceValue(text);
    checkReading(data, size, expected);

    const std::uint64_t hash = hashOf(data, size);
    const std::int32_t stored = expected.value_or(0);
    checkSaveOver(data, size, stored, scoreFor(stored, hash));

    checkRoundTrip(stored);
    checkRoundTrip(static_cast<std::int32_t>(static_cast<std::uint32_t>(hash)));
    std::remove(gSave.c_str());
    return 0;
}
