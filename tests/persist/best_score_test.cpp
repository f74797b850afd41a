#include "persist/best_score.h"

#include "tests/support/fixtures.h"

#include <cstdio>
#include <filesystem>
#include <string_view>

namespace nuvalo::test {
namespace {

std::optional<std::int32_t> parse(std::string_view text) {
    return parseBest(text.data(), text.size());
}

TEST(ParseBest, ReadsLikeAPercentDConversion) {
    EXPECT_EQ(parse("123\n"), 123);
    EXPECT_EQ(parse("  42 and other words"), 42);
    EXPECT_EQ(parse("\t\n\v\f\r 7"), 7);
    EXPECT_EQ(parse("+8"), 8);
    EXPECT_EQ(parse("-7\n"), -7);
    EXPECT_EQ(parse("0042"), 42);
    EXPECT_EQ(parse("12abc"), 12);
    EXPECT_EQ(parse("-0"), 0);
    // A rewrite in place stopped before its cut: the new number, then old bytes.
    EXPECT_EQ(parse("99\n45\n"), 99);
    EXPECT_EQ(parse(std::string_view("12\0"
                                     "34",
                                     5)),
              12);
}

TEST(ParseBest, FindsNoNumberWhereThereIsNone) {
    EXPECT_EQ(parse(""), std::nullopt);
    EXPECT_EQ(parse("   \n"), std::nullopt);
    EXPECT_EQ(parse("best: 42"), std::nullopt);
    EXPECT_EQ(parse("+"), std::nullopt);
    EXPECT_EQ(parse("-"), std::nullopt);
    EXPECT_EQ(parse("- 5"), std::nullopt);
    EXPECT_EQ(parse("+-5"), std::nullopt);
    EXPECT_EQ(parse(std::string_view("\0"
                                     "42",
                                     3)),
              std::nullopt);
}

TEST(ParseBest, SaturatesBeyondTheInt32Range) {
    EXPECT_EQ(parse("2147483647"), 2147483647);
    EXPECT_EQ(parse("2147483648"), 2147483647);
    EXPECT_EQ(parse("99999999999999999999999999"), 2147483647);
    EXPECT_EQ(parse("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(parse("-2147483649"), -2147483647 - 1);
    EXPECT_EQ(parse("-99999999999999999999999999 x"), -2147483647 - 1);
    EXPECT_EQ(parse("000000000000000000000000000012"), 12);
}

class BestScoreFile : public InTempDir {};

TEST_F(BestScoreFile, LoadGivesTheStoredNumberOrZero) {
    EXPECT_EQ(loadBest(), 0.0f);
    writeFile("save.dat", "");
    EXPECT_EQ(loadBest(), 0.0f);
    writeFile("save.dat", "rubbish");
    EXPECT_EQ(loadBest(), 0.0f);
    writeFile("save.dat", "  42 and more");
    EXPECT_EQ(loadBest(), 42.0f);
    writeFile("save.dat", "-7\n");
    EXPECT_EQ(loadBest(), -7.0f);
    writeFile("save.dat", "16777217\n");
    EXPECT_EQ(loadBest(), 16777216.0f);
    writeFile("save.dat", "5000000000\n");
    EXPECT_EQ(loadBest(), 2147483648.0f);
    writeFile("other.dat", "9\n");
    EXPECT_EQ(loadBest("other.dat"), 9.0f);
}

TEST_F(BestScoreFile, FirstSaveWritesTheNumberAndALineFeed) {
    EXPECT_EQ(saveBestIfHigher(123), 1);
    EXPECT_EQ(readFile("save.dat"), "123\n");
    EXPECT_EQ(loadBest(), 123.0f);
}

TEST_F(BestScoreFile, MissingFileLetsAnyScoreThrough) {
    EXPECT_EQ(saveBestIfHigher(-5), 1);
    EXPECT_EQ(readFile("save.dat"), "-5\n");
    std::filesystem::remove("save.dat");
    EXPECT_EQ(saveBestIfHigher(0), 1);
    EXPECT_EQ(readFile("save.dat"), "0\n");
}

TEST_F(BestScoreFile, OnlyAGreaterStoredNumberPreventsTheWrite) {
    writeFile("save.dat", " 500 points\r\n");
    EXPECT_EQ(saveBestIfHigher(499), 0);
    EXPECT_EQ(readFile("save.dat"), " 500 points\r\n");
    EXPECT_EQ(saveBestIfHigher(500), 1);
    EXPECT_EQ(readFile("save.dat"), "500\n");
    EXPECT_EQ(saveBestIfHigher(501), 1);
    EXPECT_EQ(readFile("save.dat"), "501\n");
    EXPECT_EQ(saveBestIfHigher(-2147483647 - 1), 0);
    EXPECT_EQ(saveBestIfHigher(2147483647), 1);
    EXPECT_EQ(readFile("save.dat"), "2147483647\n");
}

TEST_F(BestScoreFile, UnreadableContentsCountAsZero) {
    writeFile("save.dat", "");
    EXPECT_EQ(saveBestIfHigher(-1), 0);
    EXPECT_EQ(readFile("save.dat"), "");
    EXPECT_EQ(saveBestIfHigher(0), 1);
    EXPECT_EQ(readFile("save.dat"), "0\n");
}

TEST_F(BestScoreFile, OversizedStoredNumberStillBeatsEveryScore) {
    writeFile("save.dat", "9999999999\n");
    EXPECT_EQ(saveBestIfHigher(2147483646), 0);
    EXPECT_EQ(readFile("save.dat"), "9999999999\n");
}

TEST_F(BestScoreFile, FailedWriteReportsZeroAndKeepsTheOldFile) {
    writeFile("save.dat", "10\n");
    // Something in the way of the new file.
    std::filesystem::create_directory("save.dat.tmp");
    EXPECT_EQ(saveBestIfHigher(20), 0);
    EXPECT_EQ(readFile("save.dat"), "10\n");
    std::filesystem::remove("save.dat.tmp");

    // A save.dat that cannot be replaced.
    std::filesystem::remove("save.dat");
    std::filesystem::create_directories("save.dat/inside");
    EXPECT_EQ(saveBestIfHigher(20), 0);
    EXPECT_TRUE(std::filesystem::is_directory("save.dat/inside"));
    EXPECT_FALSE(std::filesystem::exists("save.dat.tmp"));

    // A folder that does not exist.
    EXPECT_EQ(saveBestIfHigher(20, "missing/save.dat"), 0);
    EXPECT_FALSE(std::filesystem::exists("missing"));
}

TEST_F(BestScoreFile, ReadOnlyFileIsLeftAlone) {
    writeFile("save.dat", "10\n");
    std::filesystem::permissions("save.dat", std::filesystem::perms::owner_read |
                                                 std::filesystem::perms::group_read |
                                                 std::filesystem::perms::others_read);
    if (std::FILE* probe = std::fopen("save.dat", "r+b")) {
        std::fclose(probe);
        GTEST_SKIP() << "this user may write read-only files";
    }
    EXPECT_EQ(saveBestIfHigher(20), 0);
    EXPECT_EQ(readFile("save.dat"), "10\n");
}

TEST_F(BestScoreFile, SuccessfulSaveLeavesNothingElseBehind) {
    EXPECT_EQ(saveBestIfHigher(7), 1);
    EXPECT_EQ(saveBestIfHigher(8), 1);
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(".")) {
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

// A store standing in for a browser's: what it holds, and whether it lets
// itself be read and written.
class MemoryStore final : public SaveStore {
  public:
    Found read(std::string& text) override {
        text = held;
        return found;
    }
    bool write(const char* text, std::size_t length) override {
        if (!writable) {
            return false;
        }
        held.assign(text, length);
        found = Found::text;
        return true;
    }
    Found found = Found::nothing;
    std::string held;
    bool writable = true;
};

TEST_F(BestScoreFile, AStoreKeepsTheFileTextWithTheFileRules) {
    using Found = SaveStore::Found;
    const struct {
        Found found;
        const char* held;
        bool writable;
        std::int32_t score;
        float loaded;
        int result;
        const char* after;
    } cases[] = {
        {Found::nothing, "", true, -5, 0.0f, 1, "-5\n"},
        {Found::text, "  42 and words", true, 41, 42.0f, 0, "  42 and words"},
        {Found::text, "42\n", true, 42, 42.0f, 1, "42\n"},
        {Found::text, "no number", true, 0, 0.0f, 1, "0\n"},
        {Found::text, "no number", true, -1, 0.0f, 0, "no number"},
        {Found::text, "7\n", false, 8, 7.0f, 0, "7\n"}, // storage full or disabled
        {Found::locked, "99999\n", true, 100000, 0.0f, 0, "99999\n"},
    };
    for (const auto& c : cases) {
        MemoryStore store;
        store.found = c.found;
        store.held = c.held;
        store.writable = c.writable;
        EXPECT_EQ(loadBest(store), c.loaded) << c.held;
        EXPECT_EQ(saveBestIfHigher(c.score, store), c.result) << c.held << " " << c.score;
        EXPECT_EQ(store.held, c.after) << c.held << " " << c.score;
    }
    // The file was never touched meanwhile.
    EXPECT_FALSE(std::filesystem::exists("save.dat"));
}

} // namespace
} // namespace nuvalo::test
