#include "persist/run_record.h"
#include "tests/support/crc32.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace nuvalo::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Right held at the start, then left instead, the mouse a pixel over, and
// both let go: three changes, each of another kind.
RunRecord smallRun() {
    RunRecord run;
    run.rules = 3;
    run.randomState = 0x12345678;
    run.bestScore = 1500.0f;
    run.driftTicks = 7;
    run.driftDir = -1;
    run.start = {false, true, 320, 240};
    run.changes = {{1, {true, false, 320, 240}},
                   {130, {true, false, 321, 240}},
                   {200, {false, false, 321, 240}}};
    run.ticks = 300;
    run.score = -5;
    return run;
}

// Written independently of the encoder (Python's struct and zlib.crc32), so
// that the layout docs/RUNS.md gives and the checksum are pinned.
const Bytes kSmallRecord = {0x4e, 0x55, 0x56, 0x52, 0x01, 0x03, 0x00, 0x78, 0x56, 0x34, 0x12,
                            0x00, 0x80, 0xbb, 0x44, 0x07, 0xff, 0x02, 0x40, 0x01, 0xf0, 0x00,
                            0xac, 0x02, 0x09, 0x03, 0x01, 0x01, 0x81, 0x01, 0x05, 0x41, 0x01,
                            0xf0, 0x00, 0x46, 0x00, 0xd0, 0xe6, 0xf7, 0x9b};

RunRecord longRun() {
    RunRecord run;
    run.rules = 65535;
    run.randomState = 0xFFFFFFFF;
    run.bestScore = -std::numeric_limits<float>::max();
    run.driftTicks = 40;
    run.driftDir = 1;
    run.start = {true, true, 65535, 0};
    run.score = std::numeric_limits<std::int32_t>::min();
    std::uint32_t seed = 1;
    std::uint32_t tick = 0;
    InputFields now = run.start;
    for (int i = 0; i < 5000; ++i) {
        seed = seed * 1103515245u + 12345u;
        tick += 1 + (seed >> 16) % 20000; // deltas of one to three varint bytes
        switch ((seed >> 8) % 3) {
        case 0:
            now.left = !now.left;
            break;
        case 1:
            now.right = !now.right;
            break;
        default:
            now.mouseX = static_cast<std::uint16_t>(now.mouseX + 1 + (seed & 0xFF));
        }
        run.changes.push_back({tick, now});
    }
    run.ticks = tick;
    return run;
}

// The bytes of the small record with `count` bytes from `at` replaced, and
// its checksum made good again, so that only the replaced field is wrong.
Bytes edited(std::size_t at, std::size_t count, const Bytes& with) {
    Bytes b(kSmallRecord.begin(), kSmallRecord.end() - 4);
    b.erase(b.begin() + static_cast<std::ptrdiff_t>(at),
            b.begin() + static_cast<std::ptrdiff_t>(at + count));
    b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), with.begin(), with.end());
    const std::uint32_t c = crc32(b.data(), b.size());
    for (int i = 0; i < 4; ++i) {
        b.push_back(static_cast<std::uint8_t>(c >> (8 * i)));
    }
    return b;
}

ReadRun decode(const Bytes& b, std::uint16_t rules) {
    return decodeRun(b.data(), b.size(), rules);
}

TEST(RunRecord, WritesTheDocumentedBytes) {
    EXPECT_EQ(encodeRun(smallRun()), kSmallRecord);
}

TEST(RunRecord, ReadsBackWhatItWrites) {
    RunRecord noChanges = smallRun();
    noChanges.changes.clear();
    RunRecord negativeZero = smallRun();
    negativeZero.bestScore = -0.0f;
    negativeZero.score = std::numeric_limits<std::int32_t>::max();
    negativeZero.ticks = 100'000'000;
    negativeZero.changes.push_back({100'000'000, {}});
    for (const RunRecord& run : {smallRun(), noChanges, negativeZero, longRun()}) {
        const Bytes bytes = encodeRun(run);
        ASSERT_FALSE(bytes.empty()) << run.changes.size() << " changes";
        const ReadRun read = decode(bytes, run.rules);
        ASSERT_TRUE(read.ok) << read.reason;
        EXPECT_EQ(read.run, run);
        EXPECT_EQ(std::signbit(read.run.bestScore), std::signbit(run.bestScore));
        EXPECT_EQ(encodeRun(read.run), bytes);
    }
}

TEST(RunRecord, WritesOnlyRealChanges) {
    RunRecord padded = smallRun();
    padded.changes.insert(padded.changes.begin() + 1, {5, padded.changes[0].fields});
    padded.changes.push_back({250, padded.changes.back().fields});
    EXPECT_EQ(encodeRun(padded), kSmallRecord);
}

TEST(RunRecord, KeepsNoRunItCouldNotReadBack) {
    const std::vector<std::pair<const char*, std::function<void(RunRecord&)>>> cases = {
        {"NaN best", [](RunRecord& r) { r.bestScore = std::nanf(""); }},
        {"infinite best", [](RunRecord& r) { r.bestScore = INFINITY; }},
        {"drift ticks", [](RunRecord& r) { r.driftTicks = 41; }},
        {"drift direction", [](RunRecord& r) { r.driftDir = 0; }},
        {"no ticks",
         [](RunRecord& r) {
             r.ticks = 0;
             r.changes.clear();
         }},
        {"too many ticks", [](RunRecord& r) { r.ticks = 100'000'001; }},
        {"change at tick 0", [](RunRecord& r) { r.changes[0].tick = 0; }},
        {"two at one tick", [](RunRecord& r) { r.changes[1].tick = 1; }},
        {"change after the claim", [](RunRecord& r) { r.changes[2].tick = 301; }},
        {"too large",
         [](RunRecord& r) {
             r.ticks = 100'000;
             r.changes.clear();
             for (std::uint32_t t = 1; t <= 20'000; ++t) {
                 r.changes.push_back({t, {false, false, static_cast<std::uint16_t>(t), 0}});
             }
         }},
    };
    for (const auto& [name, spoil] : cases) {
        RunRecord run = smallRun();
        spoil(run);
        EXPECT_TRUE(encodeRun(run).empty()) << name;
    }
}

TEST(RunRecord, RefusesWhatIsNotARecordWithItsReason) {
    const Bytes damagedChecksum = [] {
        Bytes b = kSmallRecord;
        b.back() ^= 1;
        return b;
    }();
    const struct {
        Bytes bytes;
        const char* reason;
    } cases[] = {
        {Bytes(65537, 0), "too large: 65537 bytes (at most 65536)"},
        {Bytes(kSmallRecord.begin(), kSmallRecord.begin() + 25), "cut short: 25 bytes"},
        {edited(0, 1, {'X'}), "not a Nuvalo run record"},
        {edited(4, 1, {2}), "made by a newer Nuvalo (record format 2)"},
        {edited(4, 1, {0}), "damaged: record format 0 at byte 4 does not exist"},
        {damagedChecksum, "damaged: its checksum does not match"},
        {edited(11, 4, {0x00, 0x00, 0xc0, 0x7f}),
         "damaged: the best score at byte 11 is not a number"},
        {edited(11, 4, {0x00, 0x00, 0x80, 0xff}), "damaged: the best score at byte 11 is infinite"},
        {edited(15, 1, {41}), "damaged: drift ticks 41 out of range at byte 15"},
        {edited(16, 1, {0}), "damaged: drift direction 0 at byte 16 is neither +1 nor -1"},
        {edited(17, 1, {0x04}), "damaged: unknown input flags 0x04 at byte 17"},
        {edited(22, 2, {0}), "damaged: a claim of 0 ticks at byte 22 (it must be 1 to 100000000)"},
        {edited(22, 2, {0x81, 0xc2, 0xd7, 0x2f}),
         "damaged: a claim of 100000001 ticks at byte 22 (it must be 1 to 100000000)"},
        {edited(22, 2, {0xac, 0x82, 0x00}),
         "damaged: the number at byte 22 is written longer than it needs"},
        {edited(25, 1, {0xff, 0xff, 0xff, 0xff, 0x1f}),
         "damaged: the number at byte 25 is beyond 32 bits"},
        {edited(25, 1, {8}),
         "damaged: 8 changes at byte 25 cannot fit in the 11 bytes before the checksum"},
        {edited(25, 1, {4}), "cut short: the number at byte 37 runs into the checksum"},
        {edited(36, 1, {}), "cut short: the change at byte 35 runs into the checksum"},
        {edited(33, 4, {}), "cut short: the change at byte 28 runs into the checksum"},
        {edited(25, 1, {2}),
         "damaged: 2 stray bytes between the last change and the checksum, from byte 35"},
        {edited(26, 1, {0}), "damaged: the first change, at byte 26, is stamped tick 0"},
        {edited(35, 1, {0}), "damaged: two changes at tick 130 (byte 35)"},
        {edited(35, 1, {0xab, 0x01}),
         "damaged: a change at tick 301 comes after the claimed 300 ticks"},
        {edited(36, 1, {0x08}), "damaged: unknown input flags 0x08 at byte 36"},
        {edited(36, 1, {0x01}), "damaged: the change at tick 200 (byte 35) changes nothing"},
        {edited(36, 1, {0x04, 0x41, 0x01, 0xf0, 0x00}),
         "damaged: the change at tick 200 (byte 35) repeats the mouse position"},
    };
    for (const auto& c : cases) {
        const ReadRun read = decode(c.bytes, 3);
        EXPECT_FALSE(read.ok) << c.reason;
        EXPECT_EQ(read.reason, c.reason);
        EXPECT_EQ(read.run, RunRecord{}) << c.reason;
    }
}

TEST(RunRecord, ReadsARecordOfOtherRulesButDoesNotPlayIt) {
    const ReadRun read = decode(kSmallRecord, 4);
    EXPECT_FALSE(read.ok);
    EXPECT_EQ(read.reason, "recorded with another version of the rules (3; this game plays 4)");
    EXPECT_EQ(read.run, smallRun());
}

// CRC-32 finds every burst of up to 32 bits, and a record's length follows
// from its own bytes: no flipped byte, cut or extra byte reads as a run.
TEST(RunRecord, NoDamageReadsAsARun) {
    for (std::size_t i = 0; i < kSmallRecord.size(); ++i) {
        for (int flip : {0x01, 0x80, 0xff}) {
            Bytes b = kSmallRecord;
            b[i] = static_cast<std::uint8_t>(b[i] ^ flip);
            EXPECT_FALSE(decode(b, 3).ok) << "byte " << i << " ^ " << flip;
        }
        EXPECT_FALSE(decodeRun(kSmallRecord.data(), i, 3).ok) << i;
    }
    Bytes longer = kSmallRecord;
    longer.push_back(0);
    EXPECT_FALSE(decode(longer, 3).ok);
    const Bytes good = encodeRun(longRun());
    for (std::size_t cut = 1; cut < good.size(); cut += 97) {
        EXPECT_FALSE(decodeRun(good.data(), good.size() - cut, 65535).ok) << cut;
    }
}

TEST(Base64Url, CarriesBytesAsLinkText) {
    const struct {
        Bytes bytes;
        const char* text;
    } cases[] = {
        {{}, ""},
        {{'f'}, "Zg"},
        {{'f', 'o'}, "Zm8"},
        {{'f', 'o', 'o'}, "Zm9v"},
        {{'f', 'o', 'o', 'b'}, "Zm9vYg"},
        {{'f', 'o', 'o', 'b', 'a', 'r'}, "Zm9vYmFy"},
        {{0xfb, 0xff, 0xbf}, "-_-_"},
        {{0x00, 0x10, 0x83}, "ABCD"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toBase64Url(c.bytes), c.text);
        Bytes back = {1};
        EXPECT_TRUE(fromBase64Url(c.text, back)) << c.text;
        EXPECT_EQ(back, c.bytes) << c.text;
    }
    const Bytes largest(kMaxRecordBytes, 0xa5);
    Bytes back;
    EXPECT_TRUE(fromBase64Url(toBase64Url(largest), back));
    EXPECT_EQ(back, largest);
}

TEST(Base64Url, RefusesAnythingElse) {
    const std::string tooLong = toBase64Url(Bytes(kMaxRecordBytes + 1, 0));
    const std::string_view texts[] = {"Zg==",
                                      "Zm9v\n",
                                      "Zm 9v",
                                      "Zm+v",
                                      "Zm/v",
                                      "Zm9vY",
                                      "Zh",
                                      "Zm9",
                                      "Zm9vYmF\xc3\xa9",
                                      std::string_view("Zm\0v", 4),
                                      tooLong};
    for (std::string_view text : texts) {
        Bytes bytes = {1};
        EXPECT_FALSE(fromBase64Url(text, bytes)) << text;
        EXPECT_TRUE(bytes.empty()) << text;
    }
}

} // namespace
} // namespace nuvalo::test
