// Fuzzes the run record's reader with arbitrary bytes, and the same bytes
// with their last four made the checksum of the rest, so that the fuzzer
// reaches the fields rather than stopping at the checksum. Whatever it is
// given, reading never crashes, reads nothing past the buffer and gives
// either a run or a one-line reason; a run read writes back to exactly the
// bytes it was read from, and no flipped byte or cut of it reads as a run.
// The same bytes taken as link text must be base64url exactly when the
// alphabet, length and padding bits say so, and base64url carries them
// there and back.
#include "persist/run_record.h"
#include "tests/support/check.h"
#include "tests/support/crc32.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

using nuvalo::test::crc32;

constexpr std::uint16_t kRules = 1;
constexpr std::string_view kOtherRules = "recorded with another version of the rules (";

std::uint32_t hashOf(const std::uint8_t* data, std::size_t size) {
    std::uint32_t h = 2166136261u; // FNV-1a
    for (std::size_t i = 0; i < size; ++i) {
        h = (h ^ data[i]) * 16777619u;
    }
    return h;
}

// A copy in a buffer of exactly its length, so that the address sanitizer
// sees any read past its end.
std::unique_ptr<std::uint8_t[]> exactCopy(const std::uint8_t* data, std::size_t size) {
    std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[size == 0 ? 1 : size]);
    if (size != 0) {
        std::memcpy(copy.get(), data, size);
    }
    return copy;
}

bool refusedAsARun(const std::uint8_t* data, std::size_t size) {
    const auto copy = exactCopy(data, size);
    return !nuvalo::decodeRun(copy.get(), size, kRules).ok;
}

void checkRead(const std::uint8_t* data, std::size_t size) {
    const nuvalo::ReadRun read = nuvalo::decodeRun(data, size, kRules);
    const bool otherRules = !read.ok && read.reason.rfind(kOtherRules, 0) == 0;
    if (read.ok) {
        CHECK(read.reason.empty(), "a run read with the reason \"%s\"", read.reason.c_str());
    } else {
        CHECK(!read.reason.empty(), "a refusal without a reason");
        CHECK(read.reason.find_first_of("\r\n") == std::string::npos,
              "the reason \"%s\" is more than one line", read.reason.c_str());
        CHECK(otherRules || read.run == nuvalo::RunRecord{}, "a refusal (\"%s\") left a run",
              read.reason.c_str());
    }
    if (!read.ok && !otherRules) {
        return;
    }

    // Read: canonical, so it writes back to the very same bytes.
    const std::vector<std::uint8_t> again = nuvalo::encodeRun(read.run);
    CHECK(again.size() == size && std::memcmp(again.data(), data, size) == 0,
          "a run read from %zu bytes writes back as %zu other bytes", size, again.size());
    const nuvalo::ReadRun own = nuvalo::decodeRun(data, size, read.run.rules);
    CHECK(own.ok && own.run == read.run, "read with its own rules %u: %s", unsigned{read.run.rules},
          own.reason.c_str());

    // A few flips and cuts of it, where the hash of it points.
    std::vector<std::uint8_t> spoilt(data, data + size);
    std::uint32_t h = hashOf(data, size);
    for (int i = 0; i < 4; ++i) {
        h = h * 1664525u + 1013904223u;
        const std::size_t at = h % size;
        const auto flip = static_cast<std::uint8_t>(1 + (h >> 24) % 255);
        spoilt[at] ^= flip;
        CHECK(refusedAsARun(spoilt.data(), size), "byte %zu ^ 0x%02x still reads as a run", at,
              unsigned{flip});
        spoilt[at] ^= flip;
        const std::size_t cut = (h >> 8) % size;
        CHECK(refusedAsARun(data, cut), "its first %zu bytes read as a run", cut);
    }
    spoilt.push_back(static_cast<std::uint8_t>(h));
    CHECK(refusedAsARun(spoilt.data(), spoilt.size()), "a byte more reads as a run");
}

bool inAlphabet(std::uint8_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
}

// What base64url text is, said the long way round.
bool isBase64Url(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kMaxText = (nuvalo::kMaxRecordBytes * 4 + 2) / 3;
    if (size > kMaxText || size % 4 == 1) {
        return false;
    }
    for (std::size_t i = 0; i < size; ++i) {
        if (!inAlphabet(data[i])) {
            return false;
        }
    }
    if (size % 4 == 0) {
        return true;
    }
    const std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    const std::size_t last = alphabet.find(static_cast<char>(data[size - 1]));
    // Two characters carry one byte and four spare bits, three carry two and two.
    return (last & (size % 4 == 2 ? 0x0Fu : 0x03u)) == 0;
}

void checkBase64(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::uint8_t> bytes = {0x5a};
    const bool read = nuvalo::fromBase64Url(text, bytes);
    CHECK(read == isBase64Url(data, size), "fromBase64Url %s text that is%s base64url",
          read ? "reads" : "refuses", read ? " not" : "");
    if (read) {
        CHECK(nuvalo::toBase64Url(bytes) == text, "%zu characters read do not write back", size);
    } else {
        CHECK(bytes.empty(), "a refusal left %zu bytes", bytes.size());
    }

    const std::vector<std::uint8_t> original(data, data + size);
    const std::string link = nuvalo::toBase64Url(original);
    CHECK(link.size() == (size * 4 + 2) / 3, "%zu bytes as %zu characters", size, link.size());
    std::vector<std::uint8_t> back;
    CHECK(nuvalo::fromBase64Url(link, back) && back == original,
          "%zu bytes do not come back from their link text", size);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkRead(data, size);
    if (size >= 4) {
        auto repaired = exactCopy(data, size);
        const std::uint32_t c = crc32(data, size - 4);
        for (int i = 0; i < 4; ++i) {
            repaired[size - 4 + static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(c >> (8 * i));
        }
        if (std::memcmp(repaired.get(), data, size) != 0) {
            checkRead(repaired.get(), size);
        }
    }
    checkBase64(data, size);
    return 0;
}
