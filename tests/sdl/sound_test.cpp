#include "app/sdl/sound.h"

#include "resources/resources.h"
#include "tests/support/fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

// SDL's WAV reader asks for absurd amounts of memory for some scrambled
// headers; a real allocator answers with null, which SDL turns into an error,
// and the sanitizer build must answer the same way instead of aborting.
extern "C" const char* __asan_default_options();
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

namespace nuvalo::sdl {
namespace {

const DeviceFormat kStereo16{AUDIO_S16SYS, 2, 44100};

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// A RIFF/WAVE file: `formatTag` 1 is integer PCM, 3 float.
std::vector<std::uint8_t> wavFile(std::uint16_t formatTag, std::uint16_t channels,
                                  std::uint32_t rate, std::uint16_t bits,
                                  const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> out;
    const std::uint16_t block = static_cast<std::uint16_t>(channels * bits / 8);
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    put32(out, static_cast<std::uint32_t>(4 + 8 + 16 + 8 + data.size()));
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(out, 16);
    put16(out, formatTag);
    put16(out, channels);
    put32(out, rate);
    put32(out, rate * block);
    put16(out, block);
    put16(out, bits);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    put32(out, static_cast<std::uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

// `frames` frames of a constant level (as a fraction of full scale).
std::vector<std::uint8_t> constantPcm16(int frames, int channels, double level) {
    std::vector<std::uint8_t> data;
    const auto v = static_cast<std::int16_t>(std::lround(level * 32767.0));
    for (int i = 0; i < frames * channels; ++i) {
        put16(data, static_cast<std::uint16_t>(v));
    }
    return data;
}

std::int16_t sampleAt(const Clip& clip, std::size_t frame, int channel) {
    std::int16_t v = 0;
    std::memcpy(&v, clip.data() + (frame * 2 + static_cast<std::size_t>(channel)) * 2, 2);
    return v;
}

TEST(DecodeWav, SixteenBitStereoAtTheDeviceRateIsTakenAsIs) {
    const auto wav = wavFile(1, 2, 44100, 16, constantPcm16(1000, 2, 0.5));
    const auto clip = decodeWav(wav, kStereo16);
    ASSERT_TRUE(clip.has_value());
    EXPECT_EQ(clip->size(), 1000u * 4);
    EXPECT_EQ(sampleAt(*clip, 500, 0), 16384);
    EXPECT_EQ(sampleAt(*clip, 500, 1), 16384);
}

TEST(DecodeWav, EightBitMonoIsWidenedAndResampled) {
    // 8-bit PCM is unsigned: 192 is half way up from the middle 128.
    std::vector<std::uint8_t> data(5512, 192); // half a second
    const auto clip = decodeWav(wavFile(1, 1, 11025, 8, data), kStereo16);
    ASSERT_TRUE(clip.has_value());
    const std::size_t frames = clip->size() / 4;
    EXPECT_EQ(frames, 5512u * 4) << "the whole sound, none of its end kept back";
    const std::size_t middle = frames / 2;
    EXPECT_NEAR(sampleAt(*clip, middle, 0), 16384, 300);
    EXPECT_EQ(sampleAt(*clip, middle, 0), sampleAt(*clip, middle, 1)) << "mono on both sides";
    EXPECT_NEAR(sampleAt(*clip, frames - 40, 0), 16384, 1500) << "the end is sound, not silence";
}

TEST(DecodeWav, FloatAndDifferentDeviceFormats) {
    std::vector<std::uint8_t> data;
    for (int i = 0; i < 4800; ++i) {
        float v = -0.25f;
        std::uint32_t bits = 0;
        std::memcpy(&bits, &v, 4);
        put32(data, bits);
    }
    const auto wav = wavFile(3, 1, 48000, 32, data);
    const auto toS16 = decodeWav(wav, kStereo16);
    ASSERT_TRUE(toS16.has_value());
    EXPECT_NEAR(sampleAt(*toS16, toS16->size() / 8, 0), -8192, 200);

    const DeviceFormat floatMono48{AUDIO_F32SYS, 1, 48000};
    const auto toF32 = decodeWav(wav, floatMono48);
    ASSERT_TRUE(toF32.has_value());
    ASSERT_EQ(toF32->size(), 4800u * 4);
    float v = 0;
    std::memcpy(&v, toF32->data() + 2000 * 4, 4);
    EXPECT_FLOAT_EQ(v, -0.25f);
}

TEST(DecodeWav, BogusBytesGiveNothing) {
    EXPECT_FALSE(decodeWav({}, kStereo16).has_value());
    const std::string text = "this is not a sound file at all, just some words";
    EXPECT_FALSE(
        decodeWav({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, kStereo16)
            .has_value());
    // A header that promises a format nobody can decode.
    auto odd = wavFile(1, 0, 44100, 16, constantPcm16(10, 1, 0.1));
    EXPECT_FALSE(decodeWav(odd, kStereo16).has_value());
    auto noRate = wavFile(1, 1, 0, 16, constantPcm16(10, 1, 0.1));
    EXPECT_FALSE(decodeWav(noRate, kStereo16).has_value());
}

TEST(DecodeWav, EveryTruncationIsSafeAndGivesWholeFrames) {
    const auto wav = wavFile(1, 2, 22050, 16, constantPcm16(300, 2, 0.3));
    for (std::size_t cut = 0; cut <= wav.size(); ++cut) {
        const auto clip = decodeWav({wav.data(), cut}, kStereo16);
        if (clip.has_value()) {
            EXPECT_EQ(clip->size() % 4, 0u) << "cut at " << cut;
        }
    }
    // A data chunk that claims far more than the file holds plays what is there.
    auto liar = wav;
    liar[40] = liar[41] = liar[42] = 0xFF;
    liar[43] = 0x7F;
    const auto clip = decodeWav(liar, kStereo16);
    ASSERT_TRUE(clip.has_value());
    EXPECT_NEAR(static_cast<double>(clip->size() / 4), 600.0, 16.0);
}

TEST(DecodeWav, ScrambledHeadersNeverCrash) {
    const auto wav = wavFile(1, 1, 8000, 16, constantPcm16(64, 1, 0.2));
    std::uint32_t state = 1;
    for (int round = 0; round < 2000; ++round) {
        auto bytes = wav;
        for (int k = 0; k < 4; ++k) {
            state = state * 1664525u + 1013904223u;
            bytes[(state >> 8) % 44] = static_cast<std::uint8_t>(state >> 24);
        }
        const auto clip = decodeWav(bytes, kStereo16);
        if (clip.has_value()) {
            ASSERT_EQ(clip->size() % 4, 0u);
            ASSERT_LE(clip->size(), static_cast<std::size_t>(44100) * kMaxClipSeconds * 4);
        }
    }
}

TEST(DecodeWav, TheBuiltInDefaultSoundPlays) {
    const auto clip = decodeWav(res::defaultSound(), kStereo16);
    ASSERT_TRUE(clip.has_value());
    EXPECT_GT(clip->size(), 4410u * 4) << "at least a tenth of a second";
}

TEST(CuePlayer, PlaysTheCueThenSilence) {
    CuePlayer player;
    std::uint8_t out[8];
    player.fill(out, sizeof out, 0x80);
    EXPECT_EQ(out[0], 0x80);
    EXPECT_EQ(out[7], 0x80);

    player.start(std::make_shared<const Clip>(Clip{1, 2, 3, 4, 5}));
    EXPECT_TRUE(player.playing());
    player.fill(out, 3, 0);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[2], 3);
    player.fill(out, 8, 0);
    EXPECT_EQ(out[0], 4);
    EXPECT_EQ(out[1], 5);
    EXPECT_EQ(out[2], 0);
    EXPECT_EQ(out[7], 0);
    EXPECT_FALSE(player.playing());
}

TEST(CuePlayer, ANewCueCutsOffTheOnePlaying) {
    CuePlayer player;
    auto first = std::make_shared<const Clip>(Clip{1, 1, 1, 1, 1, 1});
    auto second = std::make_shared<const Clip>(Clip{2, 2});
    player.start(first);
    std::uint8_t out[4];
    player.fill(out, 2, 0);
    const auto previous = player.start(second);
    EXPECT_EQ(previous, first) << "handed back to be freed by the caller";
    player.fill(out, 4, 9);
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(out[1], 2);
    EXPECT_EQ(out[2], 9) << "nothing of the first cue is left";
}

class CueFiles : public test::InTempDir {
  protected:
    static void write(const std::string& path, const std::vector<std::uint8_t>& bytes) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
};

TEST_F(CueFiles, MissingOrBrokenFilesPlayTheDefaultSound) {
    CueLibrary library(kStereo16, res::defaultSound());
    const auto missing = library.clipFor("Ton/ball01.wav");
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(*missing, *decodeWav(res::defaultSound(), kStereo16));

    std::filesystem::create_directory("Ton");
    write("Ton/magic01.wav", {'R', 'I', 'F', 'F', 1, 2, 3});
    EXPECT_EQ(library.clipFor("Ton/magic01.wav"), missing);
    std::filesystem::create_directory("Ton/decide04.wav");
    EXPECT_EQ(library.clipFor("Ton/decide04.wav"), missing) << "a folder is no sound";
}

TEST_F(CueFiles, EachCueReadsItsFileAndNoticesAReplacement) {
    std::filesystem::create_directory("Ton");
    write("Ton/button03.wav", wavFile(1, 2, 44100, 16, constantPcm16(100, 2, 0.5)));
    CueLibrary library(kStereo16, res::defaultSound());
    const auto first = library.clipFor("Ton/button03.wav");
    ASSERT_EQ(first->size(), 400u);
    EXPECT_EQ(library.clipFor("Ton/button03.wav"), first);
    EXPECT_EQ(library.decodes(), 1) << "an unchanged file is not decoded again";

    write("Ton/button03.wav", wavFile(1, 2, 44100, 16, constantPcm16(250, 2, -0.5)));
    const auto second = library.clipFor("Ton/button03.wav");
    EXPECT_EQ(second->size(), 1000u);
    EXPECT_EQ(sampleAt(*second, 10, 0), -16384);

    std::filesystem::remove("Ton/button03.wav");
    EXPECT_EQ(*library.clipFor("Ton/button03.wav"), *decodeWav(res::defaultSound(), kStereo16));
}

TEST_F(CueFiles, ReadingStopsAtTheLimit) {
    write("big.bin", std::vector<std::uint8_t>(40000, 7));
    EXPECT_FALSE(readWholeFile("big.bin", 39999).has_value());
    const auto all = readWholeFile("big.bin", 40000);
    ASSERT_TRUE(all.has_value());
    EXPECT_EQ(all->size(), 40000u);
    EXPECT_FALSE(readWholeFile("absent.bin", 100).has_value());
}

} // namespace
} // namespace nuvalo::sdl
