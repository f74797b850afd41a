#include "persist/run_record.h"

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>

namespace nuvalo {
namespace {

constexpr std::uint8_t kMagic[4] = {'N', 'U', 'V', 'R'};
constexpr std::uint8_t kFormat = 1;
// Magic, format, rules, random state, best score, drift, start fields.
constexpr std::size_t kFixedBytes = 4 + 1 + 2 + 4 + 4 + 1 + 1 + 1 + 2 + 2;
constexpr std::size_t kChecksumBytes = 4;
// Byte offsets a reason names.
constexpr std::size_t kBestAt = 11;
constexpr std::size_t kDriftTicksAt = 15;
constexpr std::size_t kDriftDirAt = 16;

constexpr std::uint8_t kLeftBit = 1;
constexpr std::uint8_t kRightBit = 2;
constexpr std::uint8_t kMouseBit = 4;
constexpr std::uint8_t kMaxDriftTicks = 40;
constexpr std::uint32_t kMaxTicks = 100'000'000;
// A change takes a tick delta and its flags at the least: what bounds the
// change count a record may claim before anything is allocated for it.
constexpr std::size_t kLeastChangeBytes = 2;

constexpr std::array<std::uint32_t, 256> makeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        table[n] = c;
    }
    return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = makeCrcTable();

// The CRC-32 of zlib and PNG, so that any tool can check a record.
std::uint32_t crc32(const std::uint8_t* bytes, std::size_t length) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < length; ++i) {
        c = kCrcTable[(c ^ bytes[i]) & 0xFF] ^ (c >> 8);
    }
    return c ^ 0xFFFFFFFFu;
}

std::uint8_t flagsOf(const InputFields& f) {
    return static_cast<std::uint8_t>((f.left ? kLeftBit : 0) | (f.right ? kRightBit : 0));
}

std::uint32_t zigzag(std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    return (u << 1) ^ (v < 0 ? 0xFFFFFFFFu : 0u);
}

std::int32_t unzigzag(std::uint32_t z) {
    return static_cast<std::int32_t>((z >> 1) ^ (0u - (z & 1)));
}

bool usableBest(float best) {
    return std::isfinite(best);
}

class Writer {
  public:
    void u8(std::uint8_t v) { bytes.push_back(v); }
    void u16(std::uint16_t v) {
        u8(static_cast<std::uint8_t>(v));
        u8(static_cast<std::uint8_t>(v >> 8));
    }
    void u32(std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    void varint(std::uint32_t v) {
        while (v >= 0x80) {
            u8(static_cast<std::uint8_t>(v | 0x80));
            v >>= 7;
        }
        u8(static_cast<std::uint8_t>(v));
    }
    std::vector<std::uint8_t> bytes;
};

// Reads the fields between the version and the checksum; `end` is where the
// checksum starts, and no read goes past it: the fixed fields are known to be
// there from the length, and everything after them is read only once left()
// says it is.
class Reader {
  public:
    Reader(const std::uint8_t* bytes, std::size_t end) : bytes_(bytes), end_(end) {}

    std::size_t at() const { return at_; }
    std::size_t left() const { return end_ - at_; }
    void skip(std::size_t n) { at_ += n; }

    std::uint8_t u8() { return bytes_[at_++]; }
    std::uint16_t u16() {
        const std::uint16_t lo = u8();
        return static_cast<std::uint16_t>(lo | (u8() << 8));
    }
    std::uint32_t u32() {
        const std::uint32_t lo = u16();
        return lo | (std::uint32_t{u16()} << 16);
    }

    // Unsigned LEB128 of at most five bytes, in 32 bits and in its shortest
    // form, so that one value has one encoding and a record one byte string.
    bool varint(std::uint32_t& value) {
        const std::size_t start = at_;
        value = 0;
        for (int i = 0; i < 5; ++i) {
            if (left() == 0) {
                return fail("cut short: the number at byte " + std::to_string(start) +
                            " runs into the checksum");
            }
            const std::uint8_t b = u8();
            if (i == 4 && b > 0x0F) {
                return fail("damaged: the number at byte " + std::to_string(start) +
                            " is beyond 32 bits");
            }
            value |= std::uint32_t{b & 0x7Fu} << (7 * i);
            if ((b & 0x80) == 0) {
                if (b == 0 && i > 0) {
                    return fail("damaged: the number at byte " + std::to_string(start) +
                                " is written longer than it needs");
                }
                return true;
            }
        }
        return false; // not reached: the fifth byte never continues
    }

    bool fail(std::string why) {
        reason = std::move(why);
        return false;
    }

    std::string reason;

  private:
    const std::uint8_t* bytes_;
    std::size_t end_;
    std::size_t at_ = 0;
};

std::string hex(std::uint8_t v) {
    constexpr char kDigits[] = "0123456789abcdef";
    return std::string("0x") + kDigits[v >> 4] + kDigits[v & 15];
}

bool readFlags(Reader& in, std::uint8_t allowed, std::uint8_t& flags) {
    const std::size_t at = in.at();
    flags = in.u8();
    if ((flags & ~allowed) != 0) {
        return in.fail("damaged: unknown input flags " + hex(flags) + " at byte " +
                       std::to_string(at));
    }
    return true;
}

bool readFields(Reader& in, RunRecord& run) {
    run.rules = in.u16();
    run.randomState = in.u32();
    const std::uint32_t bestBits = in.u32();
    std::memcpy(&run.bestScore, &bestBits, sizeof bestBits);
    if (std::isnan(run.bestScore)) {
        return in.fail("damaged: the best score at byte " + std::to_string(kBestAt) +
                       " is not a number");
    }
    if (std::isinf(run.bestScore)) {
        return in.fail("damaged: the best score at byte " + std::to_string(kBestAt) +
                       " is infinite");
    }
    run.driftTicks = in.u8();
    if (run.driftTicks > kMaxDriftTicks) {
        return in.fail("damaged: drift ticks " + std::to_string(run.driftTicks) +
                       " out of range at byte " + std::to_string(kDriftTicksAt));
    }
    run.driftDir = static_cast<std::int8_t>(in.u8());
    if (run.driftDir != 1 && run.driftDir != -1) {
        return in.fail("damaged: drift direction " + std::to_string(run.driftDir) + " at byte " +
                       std::to_string(kDriftDirAt) + " is neither +1 nor -1");
    }
    std::uint8_t flags = 0;
    if (!readFlags(in, kLeftBit | kRightBit, flags)) {
        return false;
    }
    run.start.left = (flags & kLeftBit) != 0;
    run.start.right = (flags & kRightBit) != 0;
    run.start.mouseX = in.u16();
    run.start.mouseY = in.u16();

    const std::size_t ticksAt = in.at();
    if (!in.varint(run.ticks)) {
        return false;
    }
    if (run.ticks < 1 || run.ticks > kMaxTicks) {
        return in.fail("damaged: a claim of " + std::to_string(run.ticks) + " ticks at byte " +
                       std::to_string(ticksAt) + " (it must be 1 to " + std::to_string(kMaxTicks) +
                       ")");
    }
    std::uint32_t score = 0;
    if (!in.varint(score)) {
        return false;
    }
    run.score = unzigzag(score);

    const std::size_t countAt = in.at();
    std::uint32_t count = 0;
    if (!in.varint(count)) {
        return false;
    }
    if (count > in.left() / kLeastChangeBytes) {
        return in.fail("damaged: " + std::to_string(count) + " changes at byte " +
                       std::to_string(countAt) + " cannot fit in the " + std::to_string(in.left()) +
                       " bytes before the checksum");
    }
    run.changes.reserve(count);

    InputFields now = run.start;
    std::uint32_t tick = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t changeAt = in.at();
        std::uint32_t delta = 0;
        if (!in.varint(delta)) {
            return false;
        }
        if (delta == 0) {
            return in.fail(i == 0 ? "damaged: the first change, at byte " +
                                        std::to_string(changeAt) + ", is stamped tick 0"
                                  : "damaged: two changes at tick " + std::to_string(tick) +
                                        " (byte " + std::to_string(changeAt) + ")");
        }
        const std::uint64_t stamped = std::uint64_t{tick} + delta;
        if (stamped > run.ticks) {
            return in.fail("damaged: a change at tick " + std::to_string(stamped) +
                           " comes after the claimed " + std::to_string(run.ticks) + " ticks");
        }
        tick = static_cast<std::uint32_t>(stamped);
        if (in.left() == 0) {
            return in.fail("cut short: the change at byte " + std::to_string(changeAt) +
                           " runs into the checksum");
        }
        if (!readFlags(in, kLeftBit | kRightBit | kMouseBit, flags)) {
            return false;
        }
        InputFields next = now;
        next.left = (flags & kLeftBit) != 0;
        next.right = (flags & kRightBit) != 0;
        if ((flags & kMouseBit) != 0) {
            if (in.left() < 4) {
                return in.fail("cut short: the change at byte " + std::to_string(changeAt) +
                               " runs into the checksum");
            }
            next.mouseX = in.u16();
            next.mouseY = in.u16();
            if (next.mouseX == now.mouseX && next.mouseY == now.mouseY) {
                return in.fail("damaged: the change at tick " + std::to_string(tick) + " (byte " +
                               std::to_string(changeAt) + ") repeats the mouse position");
            }
        }
        if (next == now) {
            return in.fail("damaged: the change at tick " + std::to_string(tick) + " (byte " +
                           std::to_string(changeAt) + ") changes nothing");
        }
        run.changes.push_back({tick, next});
        now = next;
    }
    if (in.left() != 0) {
        return in.fail("damaged: " + std::to_string(in.left()) +
                       " stray bytes between the last change and the checksum, from byte " +
                       std::to_string(in.at()));
    }
    return true;
}

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

int sextet(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '-') {
        return 62;
    }
    if (c == '_') {
        return 63;
    }
    return -1;
}

constexpr std::size_t textLength(std::size_t bytes) {
    return bytes / 3 * 4 + (bytes % 3 == 0 ? 0 : bytes % 3 + 1);
}

} // namespace

// A run that cannot be read back as it is (a field out of range, changes out
// of order or past the claim, more than kMaxRecordBytes) gives no bytes: it is
// not kept. A change that changes nothing is left out, as it would be had the
// recorder not seen it.
std::vector<std::uint8_t> encodeRun(const RunRecord& run) {
    if (!usableBest(run.bestScore) || run.driftTicks > kMaxDriftTicks ||
        (run.driftDir != 1 && run.driftDir != -1) || run.ticks < 1 || run.ticks > kMaxTicks) {
        return {};
    }
    std::uint32_t last = 0;
    std::uint32_t count = 0;
    InputFields now = run.start;
    for (const InputChange& c : run.changes) {
        if (c.tick <= last || c.tick > run.ticks) {
            return {};
        }
        last = c.tick;
        if (!(c.fields == now)) {
            ++count;
            now = c.fields;
        }
    }

    Writer out;
    out.bytes.reserve(kFixedBytes + 15 + 6 * std::size_t{count} + kChecksumBytes);
    for (std::uint8_t b : kMagic) {
        out.u8(b);
    }
    out.u8(kFormat);
    out.u16(run.rules);
    out.u32(run.randomState);
    std::uint32_t bestBits = 0;
    std::memcpy(&bestBits, &run.bestScore, sizeof bestBits);
    out.u32(bestBits);
    out.u8(run.driftTicks);
    out.u8(static_cast<std::uint8_t>(run.driftDir));
    out.u8(flagsOf(run.start));
    out.u16(run.start.mouseX);
    out.u16(run.start.mouseY);
    out.varint(run.ticks);
    out.varint(zigzag(run.score));
    out.varint(count);

    now = run.start;
    std::uint32_t tick = 0;
    for (const InputChange& c : run.changes) {
        if (c.fields == now) {
            continue;
        }
        out.varint(c.tick - tick);
        tick = c.tick;
        const bool mouse = c.fields.mouseX != now.mouseX || c.fields.mouseY != now.mouseY;
        out.u8(static_cast<std::uint8_t>(flagsOf(c.fields) | (mouse ? kMouseBit : 0)));
        if (mouse) {
            out.u16(c.fields.mouseX);
            out.u16(c.fields.mouseY);
        }
        now = c.fields;
    }
    out.u32(crc32(out.bytes.data(), out.bytes.size()));
    if (out.bytes.size() > kMaxRecordBytes) {
        return {};
    }
    return std::move(out.bytes);
}

ReadRun decodeRun(const std::uint8_t* bytes, std::size_t length, std::uint16_t rules) {
    ReadRun read;
    const auto refuse = [&read](std::string reason) {
        read.reason = std::move(reason);
        return std::move(read);
    };
    if (length > kMaxRecordBytes) {
        return refuse("too large: " + std::to_string(length) + " bytes (at most " +
                      std::to_string(kMaxRecordBytes) + ")");
    }
    if (length < kFixedBytes + kChecksumBytes) {
        return refuse("cut short: " + std::to_string(length) + " bytes");
    }
    if (std::memcmp(bytes, kMagic, sizeof kMagic) != 0) {
        return refuse("not a Nuvalo run record");
    }
    if (bytes[4] != kFormat) {
        return refuse(bytes[4] > kFormat ? "made by a newer Nuvalo (record format " +
                                               std::to_string(bytes[4]) + ")"
                                         : "damaged: record format 0 at byte 4 does not exist");
    }
    // Before any field is believed: a flipped byte or a cut anywhere then
    // gives this reason rather than a run that was never played.
    const std::size_t end = length - kChecksumBytes;
    const std::uint32_t stored = std::uint32_t{bytes[end]} | std::uint32_t{bytes[end + 1]} << 8 |
                                 std::uint32_t{bytes[end + 2]} << 16 |
                                 std::uint32_t{bytes[end + 3]} << 24;
    if (crc32(bytes, end) != stored) {
        return refuse("damaged: its checksum does not match");
    }

    Reader in(bytes, end);
    in.skip(sizeof kMagic + 1);
    if (!readFields(in, read.run)) {
        read.run = RunRecord{};
        return refuse(std::move(in.reason));
    }
    if (read.run.rules != rules) {
        return refuse("recorded with another version of the rules (" +
                      std::to_string(read.run.rules) + "; this game plays " +
                      std::to_string(rules) + ")");
    }
    read.ok = true;
    return read;
}

std::string toBase64Url(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    text.reserve(textLength(bytes.size()));
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t v =
            std::uint32_t{bytes[i]} << 16 | std::uint32_t{bytes[i + 1]} << 8 | bytes[i + 2];
        text += kAlphabet[v >> 18];
        text += kAlphabet[(v >> 12) & 63];
        text += kAlphabet[(v >> 6) & 63];
        text += kAlphabet[v & 63];
    }
    if (bytes.size() - i == 1) {
        const std::uint32_t v = std::uint32_t{bytes[i]} << 16;
        text += kAlphabet[v >> 18];
        text += kAlphabet[(v >> 12) & 63];
    } else if (bytes.size() - i == 2) {
        const std::uint32_t v = std::uint32_t{bytes[i]} << 16 | std::uint32_t{bytes[i + 1]} << 8;
        text += kAlphabet[v >> 18];
        text += kAlphabet[(v >> 12) & 63];
        text += kAlphabet[(v >> 6) & 63];
    }
    return text;
}

bool fromBase64Url(std::string_view text, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    if (text.size() > textLength(kMaxRecordBytes) || text.size() % 4 == 1) {
        return false;
    }
    bytes.reserve(text.size() / 4 * 3 + 2);
    std::uint32_t bits = 0;
    int held = 0;
    for (char c : text) {
        const int v = sextet(c);
        if (v < 0) {
            bytes.clear();
            return false;
        }
        bits = (bits << 6) | static_cast<std::uint32_t>(v);
        held += 6;
        if (held >= 8) {
            held -= 8;
            bytes.push_back(static_cast<std::uint8_t>(bits >> held));
            bits &= (1u << held) - 1;
        }
    }
    // The bits left over pad the last byte: one text per byte string.
    if (bits != 0) {
        bytes.clear();
        return false;
    }
    return true;
}

} // namespace nuvalo
