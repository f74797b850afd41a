// The four cue files and the built-in stand-in sound.
#include "bitmap.h"
#include "resources/resources.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace nuvalo::test {
namespace {

struct Wav {
    unsigned channels = 0;
    unsigned rate = 0;
    unsigned bits = 0;
    std::vector<int> samples;
};

// Parses a RIFF/WAVE file, checking every size field on the way.
Wav parse(std::span<const std::uint8_t> b) {
    Wav w;
    EXPECT_GE(b.size(), 44U);
    if (b.size() < 44) {
        return w;
    }
    EXPECT_EQ(std::memcmp(b.data(), "RIFF", 4), 0);
    EXPECT_EQ(le32(b, 4), b.size() - 8);
    EXPECT_EQ(std::memcmp(b.data() + 8, "WAVE", 4), 0);
    std::size_t at = 12;
    bool haveFormat = false;
    while (at + 8 <= b.size()) {
        const std::uint32_t size = le32(b, at + 4);
        EXPECT_LE(at + 8 + size, b.size()) << "chunk overruns the file";
        if (at + 8 + size > b.size()) {
            break;
        }
        if (std::memcmp(b.data() + at, "fmt ", 4) == 0) {
            EXPECT_GE(size, 16U);
            EXPECT_EQ(le16(b, at + 8), 1U) << "PCM";
            w.channels = le16(b, at + 10);
            w.rate = le32(b, at + 12);
            w.bits = le16(b, at + 22);
            EXPECT_EQ(le32(b, at + 16), w.rate * w.channels * w.bits / 8) << "byte rate";
            EXPECT_EQ(le16(b, at + 20), w.channels * w.bits / 8) << "block align";
            haveFormat = true;
        } else if (std::memcmp(b.data() + at, "data", 4) == 0) {
            EXPECT_TRUE(haveFormat) << "format before data";
            EXPECT_EQ(size % 2, 0U);
            for (std::size_t i = 0; i + 1 < size; i += 2) {
                w.samples.push_back(static_cast<std::int16_t>(le16(b, at + 8 + i)));
            }
        }
        at += 8 + size + (size & 1U);
    }
    EXPECT_EQ(at, b.size()) << "trailing bytes";
    return w;
}

int peak(const std::vector<int>& s, std::size_t from, std::size_t to) {
    int p = 0;
    for (std::size_t i = from; i < to && i < s.size(); ++i) {
        p = std::max(p, std::abs(s[i]));
    }
    return p;
}

// Zero crossings per second: a rough measure of how high a sound sits.
double crossingsPerSecond(const Wav& w) {
    int n = 0;
    for (std::size_t i = 1; i < w.samples.size(); ++i) {
        n += (w.samples[i - 1] < 0) != (w.samples[i] < 0) ? 1 : 0;
    }
    return n * static_cast<double>(w.rate) / static_cast<double>(w.samples.size());
}

void expectCue(const Wav& w, double minSeconds, double maxSeconds) {
    EXPECT_EQ(w.channels, 1U);
    EXPECT_EQ(w.bits, 16U);
    EXPECT_TRUE(w.rate == 22050 || w.rate == 44100 || w.rate == 48000) << w.rate;
    ASSERT_GT(w.rate, 0U);
    const double seconds = static_cast<double>(w.samples.size()) / w.rate;
    EXPECT_GE(seconds, minSeconds);
    EXPECT_LE(seconds, maxSeconds);
    const int top = peak(w.samples, 0, w.samples.size());
    EXPECT_LT(top, 32000) << "clipped or too hot";
    EXPECT_GT(top, 8000) << "too quiet to hear";
    // starts and stops on silence: no click
    const std::size_t ms = w.rate / 1000;
    EXPECT_LT(std::abs(w.samples.front()), 64);
    EXPECT_LT(std::abs(w.samples.back()), 64);
    EXPECT_LT(peak(w.samples, 0, ms / 4), 2000) << "hard attack";
    EXPECT_LT(peak(w.samples, w.samples.size() - ms / 2, w.samples.size()), 500) << "cut off";
}

Wav cue(const char* name) {
    return parse(readFile(std::string("Ton/") + name));
}

TEST(Sound, CueFilesArePlayableShortAndClean) {
    for (const char* name : {"ball01.wav", "magic01.wav", "button03.wav", "decide04.wav"}) {
        SCOPED_TRACE(name);
        expectCue(cue(name), 0.1, 0.8);
    }
}

TEST(Sound, DefaultSoundIsBuiltInAndClean) {
    const auto bytes = res::defaultSound();
    ASSERT_FALSE(bytes.empty());
    expectCue(parse(bytes), 0.1, 0.8);
    const auto file = readFile("sound/default.wav");
    EXPECT_TRUE(std::equal(file.begin(), file.end(), bytes.begin(), bytes.end()));
}

// Each cue has its character: the crash is low and dull, the blip short,
// the sparkle bright.
TEST(Sound, CuesSoundTheirPart) {
    const Wav impact = cue("ball01.wav");
    const Wav sparkle = cue("magic01.wav");
    const Wav blip = cue("button03.wav");
    const Wav chime = cue("decide04.wav");
    EXPECT_LT(crossingsPerSecond(impact), 600.0);
    EXPECT_GT(crossingsPerSecond(sparkle), 2000.0);
    EXPECT_GT(crossingsPerSecond(blip), 1000.0);
    EXPECT_LT(blip.samples.size() * 3, chime.samples.size());
    // the impact hits hardest in its first tenth of a second
    const std::size_t tenth = impact.rate / 10;
    EXPECT_GT(peak(impact.samples, 0, tenth), 4 * peak(impact.samples, 2 * tenth, 4 * tenth));
}

} // namespace
} // namespace nuvalo::test
