// The state line writer formats numbers itself rather than through printf;
// these cases hold it to exactly what printf would have written, at the
// extremes a hostile script or a long run can reach.
#include "app/sim/state_line.h"
#include "tests/support/fixtures.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

namespace nuvalo::sim {
namespace {

// std::bit_cast is missing from the browser build's library.
float floatFromBits(std::uint32_t bits) {
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

template <typename Write> std::string captured(Write write) {
    std::FILE* file = test::scratchFile();
    EXPECT_NE(file, nullptr);
    if (file == nullptr) {
        return {};
    }
    write(file);
    std::rewind(file);
    std::string text;
    for (int c = std::getc(file); c != EOF; c = std::getc(file)) {
        text.push_back(static_cast<char>(c));
    }
    std::fclose(file);
    return text;
}

// The line as the printf-based writer produced it.
std::string reference(std::string_view event, std::uint64_t tick, const GameState& s,
                      const char* sound) {
    char line[2048];
    int n =
        std::snprintf(line, sizeof line,
                      "{\"event\":\"%.*s\",\"tick\":%" PRIu64
                      ",\"running\":%d,\"crashTimer\":%d,\"resultPhase\":%d,\"bestScore\":%.9g"
                      ",\"driftTicks\":%d,\"driftDir\":%d,\"resultTicks\":%d,\"leftHeld\":%d"
                      ",\"rightHeld\":%d,\"steer\":%d,\"mouseX\":%d,\"mouseY\":%d,\"starX\":%d"
                      ",\"starY\":%d,\"targetsDown\":[%d,%d],\"distance\":%.9g,\"speed\":%.9g"
                      ",\"boulderX\":%d,\"boulderY\":%d,\"stones\":[",
                      static_cast<int>(event.size()), event.data(), tick, s.running, s.crashTimer,
                      s.resultPhase, static_cast<double>(s.bestScore), s.driftTicks, s.driftDir,
                      s.resultTicks, s.leftHeld, s.rightHeld, s.steer, s.mouseX, s.mouseY, s.starX,
                      s.starY, s.targetsDown[0], s.targetsDown[1], static_cast<double>(s.distance),
                      static_cast<double>(s.speed), s.boulderX, s.boulderY);
    for (int i = 0; i < kStoneCount; ++i) {
        n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), "%s[%d,%d]",
                           i == 0 ? "" : ",", s.stones[i].x, s.stones[i].y);
    }
    std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n),
                  "],\"targetX\":%d,\"targetY\":%d,\"targetKind\":%d,\"sounds\":[\"%s\"]}\n",
                  s.targetX, s.targetY, s.targetKind, sound);
    return line;
}

std::string written(std::string_view event, std::uint64_t tick, const GameState& s,
                    const char* sound) {
    const char* sounds[] = {sound};
    return captured([&](std::FILE* f) { writeStateLine(f, event, tick, s, sounds); });
}

TEST(StateLine, IntegersAtTheirExtremesAsPrintfWritesThem) {
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    GameState s;
    s.running = kMin;
    s.crashTimer = kMax;
    s.resultPhase = -1;
    s.driftTicks = 0;
    s.driftDir = -10;
    s.resultTicks = 10;
    s.mouseX = -32768;
    s.mouseY = 65535;
    s.starX = 9;
    s.starY = -9;
    s.targetsDown[0] = 99;
    s.targetsDown[1] = -100;
    for (int i = 0; i < kStoneCount; ++i) {
        s.stones[i] = {i % 2 == 0 ? kMin + i : kMax - i, i * -123457};
    }
    s.targetX = 1000000000;
    s.targetY = -999999999;
    for (const std::uint64_t tick : {std::uint64_t{0}, std::uint64_t{7},
                                     std::uint64_t{std::numeric_limits<std::int64_t>::max()}}) {
        EXPECT_EQ(written("timer 16", tick, s, "Ton/a.wav"),
                  reference("timer 16", tick, s, "Ton/a.wav"));
    }
}

TEST(StateLine, FloatsCarryNineSignificantDigitsAsPrintfWritesThem) {
    const float special[] = {0.0f,
                             -0.0f,
                             0.1f,
                             -20.0f,
                             20.0f,
                             1.0e-45f,
                             std::numeric_limits<float>::min(),
                             std::numeric_limits<float>::max(),
                             -std::numeric_limits<float>::max(),
                             16777216.0f,
                             123456789.0f,
                             1.0e9f,
                             0.000123456789f,
                             std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity()};
    GameState s;
    for (const float value : special) {
        s.bestScore = value;
        s.distance = value;
        s.speed = -value;
        EXPECT_EQ(written("paint", 1, s, "x"), reference("paint", 1, s, "x")) << value;
    }
    // And a sweep of bit patterns across every exponent.
    for (std::uint32_t bits = 0x00000001u; bits < 0x7F800000u; bits += 0x00123457u) {
        s.distance = floatFromBits(bits);
        s.speed = floatFromBits(bits | 0x80000000u);
        ASSERT_EQ(written("paint", 1, s, "x"), reference("paint", 1, s, "x")) << bits;
    }
}

TEST(StateLine, EventAndSoundBytesAreEscapedInsideTheirStrings) {
    const std::string event("a\"b\\c\x01\x7f\xff", 8);
    const GameState s;
    const std::string line = written(event, 0, s, "Ton/\"q\".wav");
    EXPECT_EQ(line.rfind("{\"event\":\"a\\\"b\\\\c\\u0001\\u007f\\u00ff\",\"tick\":0,", 0), 0u)
        << line;
    EXPECT_NE(line.find("\"sounds\":[\"Ton/\\\"q\\\".wav\"]}\n"), std::string::npos) << line;

    // A line longer than the writer's buffer comes out whole.
    const std::string longEvent(3000, '\x02');
    const std::string longLine = written(longEvent, 0, s, "x");
    std::string expectedStart = "{\"event\":\"";
    for (int i = 0; i < 3000; ++i) {
        expectedStart += "\\u0002";
    }
    EXPECT_EQ(longLine.rfind(expectedStart + "\",\"tick\":0,", 0), 0u);
    EXPECT_TRUE(longLine.ends_with("\"sounds\":[\"x\"]}\n"));
}

TEST(StateLine, ErrorLineQuotesTheFirstEightyBytes) {
    EXPECT_EQ(captured([](std::FILE* f) { writeErrorLine(f, 12, "unknown command", "jump"); }),
              "nuvalo-sim: line 12: unknown command: \"jump\"\n");
    const std::string line(81, 'z');
    EXPECT_EQ(captured([&](std::FILE* f) { writeErrorLine(f, 1, "line too long", line); }),
              "nuvalo-sim: line 1: line too long: \"" + std::string(80, 'z') + "...\"\n");
}

} // namespace
} // namespace nuvalo::sim
