#include "app/sim/sim_script.h"
#include "persist/run_file.h"

#include "host/host.h"
#include "render/png.h"
#include "render/render.h"
#include "tests/support/fixtures.h"

#include <cstdio>
#include <filesystem>
#include <sstream>

namespace nuvalo::test {
namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
    std::vector<std::string> lines() const {
        std::vector<std::string> result;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) {
            result.push_back(line);
        }
        return result;
    }
};

std::string slurp(std::FILE* file) {
    std::string text;
    std::rewind(file);
    for (int c = std::getc(file); c != EOF; c = std::getc(file)) {
        text.push_back(static_cast<char>(c));
    }
    std::fclose(file);
    return text;
}

Outcome run(std::string_view script, sim::Options options = {}) {
    std::FILE* out = scratchFile();
    std::FILE* err = scratchFile();
    Outcome outcome;
    outcome.status = sim::runScript(script, options, out, err);
    outcome.out = slurp(out);
    outcome.err = slurp(err);
    return outcome;
}

// The text of one key's value in a state line.
std::string field(const std::string& line, const std::string& key) {
    const std::string marker = "\"" + key + "\":";
    const std::size_t at = line.find(marker);
    if (at == std::string::npos) {
        return "<missing>";
    }
    std::size_t end = at + marker.size();
    int depth = 0;
    for (; end < line.size(); ++end) {
        const char c = line[end];
        if (c == '[') {
            ++depth;
        } else if (c == ']') {
            --depth;
        } else if ((c == ',' || c == '}') && depth == 0) {
            break;
        }
    }
    return line.substr(at + marker.size(), end - at - marker.size());
}

class Sim : public InTempDir {};

TEST_F(Sim, CreateLineHasEveryKeyInOrder) {
    const Outcome o = run("");
    EXPECT_EQ(o.status, 0);
    const auto lines = o.lines();
    ASSERT_EQ(lines.size(), 1u);
    const std::string& line = lines[0];
    const char* keys[] = {"event",     "tick",        "running",  "crashTimer",  "resultPhase",
                          "bestScore", "driftTicks",  "driftDir", "resultTicks", "leftHeld",
                          "rightHeld", "steer",       "mouseX",   "mouseY",      "starX",
                          "starY",     "targetsDown", "distance", "speed",       "boulderX",
                          "boulderY",  "stones",      "targetX",  "targetY",     "targetKind",
                          "sounds"};
    std::size_t last = 0;
    for (const char* key : keys) {
        const std::size_t at = line.find("\"" + std::string(key) + "\":");
        ASSERT_NE(at, std::string::npos) << key;
        EXPECT_GT(at + 1, last) << key;
        last = at + 1;
    }
    EXPECT_EQ(line.front(), '{');
    EXPECT_EQ(line.back(), '}');
    EXPECT_EQ(field(line, "event"), "\"create\"");
    EXPECT_EQ(field(line, "tick"), "0");
    EXPECT_EQ(field(line, "running"), "0");
    EXPECT_EQ(field(line, "speed"), "0");
    EXPECT_EQ(field(line, "starY"), "-20");
    EXPECT_EQ(field(line, "targetsDown"), "[0,0]");
    EXPECT_EQ(field(line, "sounds"), "[]");
}

TEST_F(Sim, TimerLinesCarryTheirCommandAndCountTicks) {
    const Outcome o = run("keyup 32\ntimer 3\ntimer\npaint\n");
    ASSERT_EQ(o.status, 0);
    const auto lines = o.lines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(field(lines[1], "event"), "\"keyup 32\"");
    EXPECT_EQ(field(lines[1], "running"), "1");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(field(lines[2 + static_cast<std::size_t>(i)], "event"), "\"timer 3\"");
        EXPECT_EQ(field(lines[2 + static_cast<std::size_t>(i)], "tick"), std::to_string(i + 1));
    }
    EXPECT_EQ(field(lines[2], "distance"), "5");
    EXPECT_EQ(field(lines[2], "speed"), "5.01000023");
    EXPECT_EQ(field(lines[3], "distance"), "10.0100002");
    EXPECT_EQ(field(lines[5], "event"), "\"timer\"");
    EXPECT_EQ(field(lines[6], "event"), "\"paint\"");
    EXPECT_EQ(field(lines[6], "tick"), "4");
}

TEST_F(Sim, EventTextFoldsSpacesAndDropsComments) {
    const Outcome o =
        run("# a comment\n\n   \n\tkeydown \t 37   # steer left\r\nmousemove  5   6\n");
    ASSERT_EQ(o.status, 0) << o.err;
    const auto lines = o.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(field(lines[1], "event"), "\"keydown 37\"");
    EXPECT_EQ(field(lines[1], "steer"), "-1");
    EXPECT_EQ(field(lines[2], "event"), "\"mousemove 5 6\"");
    EXPECT_EQ(field(lines[2], "mouseX"), "5");
    EXPECT_EQ(field(lines[2], "mouseY"), "6");
}

TEST_F(Sim, MouseCoordinatesArriveAsUnsignedSixteenBits) {
    const auto lines = run("mousemove -1 65535\n").lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(field(lines[1], "mouseX"), "65535");
    EXPECT_EQ(field(lines[1], "mouseY"), "65535");
}

TEST_F(Sim, EscapeReleaseEndsTheScriptWithStatusZero) {
    const Outcome o = run("keydown 27\nkeyup 27\nthis line is never read\ntimer\n");
    EXPECT_EQ(o.status, 0);
    const auto lines = o.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(field(lines[2], "event"), "\"keyup 27\"");
    EXPECT_TRUE(o.err.empty());
}

TEST_F(Sim, EscapeDuringTheTallySavesWhatTheWholeTallyWouldHave) {
    sim::Options options;
    options.seed = 7;
    const Outcome whole = run("keyup 32\ntimer 4000\n", options);
    const std::string saved = readFile("save.dat");
    ASSERT_FALSE(saved.empty());
    std::size_t tallyStart = 0;
    const auto lines = whole.lines();
    while (tallyStart < lines.size() && field(lines[tallyStart], "resultPhase") != "1") {
        ++tallyStart;
    }
    ASSERT_LT(tallyStart, lines.size());
    std::filesystem::remove("save.dat");

    // The same game, closed ten steps into its tally.
    const Outcome quit =
        run("keyup 32\ntimer " + field(lines[tallyStart + 9], "tick") + "\nkeyup 27\ntimer 200\n",
            options);
    ASSERT_EQ(quit.status, 0) << quit.err;
    const std::string last = quit.lines().back();
    EXPECT_EQ(field(last, "event"), "\"keyup 27\"");
    EXPECT_EQ(field(last, "resultPhase"), "1");
    EXPECT_EQ(field(last, "resultTicks"), "10");
    EXPECT_EQ(field(last, "sounds"), "[]");
    EXPECT_EQ(readFile("save.dat"), saved);
}

TEST_F(Sim, MalformedLinesStopTheScriptWithStatusTwo) {
    const struct {
        const char* line;
        const char* message;
    } cases[] = {
        {"jump", "unknown command"},
        {"Timer", "unknown command"},
        {"keydown", "virtual key"},
        {"keydown 256", "virtual key"},
        {"keydown -1", "virtual key"},
        {"keydown 3x", "virtual key"},
        {"keyup 27 27", "virtual key"},
        {"mousemove 1", "X and Y"},
        {"mousemove 1 65536", "X and Y"},
        {"mousemove -32769 0", "X and Y"},
        {"lbuttondown 1", "no arguments"},
        {"paint now", "no arguments"},
        {"timer 0", "count"},
        {"timer -1", "count"},
        {"timer +5", "count"},
        {"timer 1000000001", "count"},
        {"timer 99999999999999999999999", "count"},
        {"timer 1 2", "count"},
        {"a b c d", "too many words"},
    };
    for (const auto& c : cases) {
        const Outcome o = run(std::string("keyup 32\n\n") + c.line + "\ntimer\n");
        EXPECT_EQ(o.status, 2) << c.line;
        EXPECT_EQ(o.lines().size(), 2u) << c.line; // create, keyup; nothing after
        EXPECT_NE(o.err.find("line 3"), std::string::npos) << c.line << ": " << o.err;
        EXPECT_NE(o.err.find(c.message), std::string::npos) << c.line << ": " << o.err;
    }
}

TEST_F(Sim, StrayBytesAndLongLinesAreReportedSafely) {
    const Outcome nul = run(std::string_view("timer\0 1\n", 9));
    EXPECT_EQ(nul.status, 2);
    EXPECT_NE(nul.err.find("line 1"), std::string::npos);
    EXPECT_NE(nul.err.find("\\u0000"), std::string::npos) << nul.err;

    const Outcome binary = run("\xff\xfe\x01\"\\\n");
    EXPECT_EQ(binary.status, 2);
    EXPECT_NE(binary.err.find("\\u00ff\\u00fe\\u0001\\\"\\\\"), std::string::npos) << binary.err;

    const Outcome longLine = run("timer " + std::string(5000, '1') + "\n");
    EXPECT_EQ(longLine.status, 2);
    EXPECT_NE(longLine.err.find("too long"), std::string::npos) << longLine.err;
    EXPECT_LT(longLine.err.size(), 200u);

    const Outcome paddedLine = run(std::string(400, ' ') + "timer\n");
    EXPECT_EQ(paddedLine.status, 2);
}

TEST_F(Sim, TimerCountLimitIsAnOption) {
    sim::Options options;
    options.maxTimerCount = 10;
    EXPECT_EQ(run("timer 10\n", options).status, 0);
    EXPECT_EQ(run("timer 11\n", options).status, 2);
}

TEST_F(Sim, QuietRunPrintsOnlyTheLastState) {
    sim::Options options;
    options.quiet = true;
    options.seed = 1;
    const Outcome quiet = run("keyup 32\ntimer 250\nkeydown 37\n", options);
    options.quiet = false;
    const Outcome loud = run("keyup 32\ntimer 250\nkeydown 37\n", options);
    ASSERT_EQ(quiet.lines().size(), 1u);
    EXPECT_EQ(quiet.lines()[0], loud.lines().back());
    EXPECT_EQ(field(quiet.lines()[0], "tick"), "250");

    options.quiet = true;
    const Outcome bad = run("timer 5\nbogus\n", options);
    EXPECT_EQ(bad.status, 2);
    EXPECT_TRUE(bad.out.empty());
}

TEST_F(Sim, SameSeedAndScriptGiveTheSameOutputFromTextOrFile) {
    sim::Options options;
    options.seed = 77;
    const std::string script = "keyup 32\nkeydown 39\ntimer 40\nkeyup 39\ntimer 900\n";
    const Outcome first = run(script, options);
    std::filesystem::remove("save.dat");
    const Outcome second = run(script, options);
    EXPECT_EQ(first.out, second.out);

    std::filesystem::remove("save.dat");
    std::FILE* in = scratchFile();
    std::fputs(script.c_str(), in);
    std::rewind(in);
    std::FILE* out = scratchFile();
    EXPECT_EQ(sim::runScript(in, options, out, nullptr), 0);
    std::fclose(in);
    EXPECT_EQ(slurp(out), first.out);

    options.seed = 78;
    std::filesystem::remove("save.dat");
    EXPECT_NE(run(script, options).out, first.out);
}

TEST_F(Sim, LastLineWithoutALineFeedStillRuns) {
    const auto lines = run("keyup 32\ntimer 2").lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(field(lines[3], "tick"), "2");
}

TEST_F(Sim, SnapshotIsTheFrameTheLastPaintComposed) {
    // The simulator draws only when asked; its picture must still be the one
    // the real paint rule composed at the last paint, even after later events.
    const Outcome outcome = run("snapshot before.png\n"
                                "keyup 32\ntimer 30\nkeydown 37\ntimer 3\nsnapshot play.png\n"
                                "timer 4000\nmousemove 470 60\nsnapshot result.png\n",
                                {.seed = 7});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    std::filesystem::remove("save.dat");

    // The same game on a host that shows every frame it paints.
    struct Capturing final : FakeShell {
        void show(const Bitmap& frame) override { last = &frame; }
        const Bitmap* last = nullptr;
    } shell;
    Host host(shell, FakeShell::kFrequency);
    host.create(7);
    ASSERT_TRUE(writePng("expected-before.png", host.paintedFrame()));
    host.keyDown(kVkSpace);
    host.keyUp(kVkSpace);
    const auto ticks = [&](int n) {
        for (int i = 0; i < n; ++i) {
            host.tick();
        }
    };
    ticks(30);
    host.keyDown(kVkLeft);
    ticks(3);
    ASSERT_TRUE(shell.last != nullptr && writePng("expected-play.png", *shell.last));
    ticks(4000);
    ASSERT_EQ(host.state().resultPhase, 2);
    ASSERT_TRUE(writePng("expected-result.png", *shell.last));

    EXPECT_EQ(readFile("before.png"), readFile("expected-before.png"));
    EXPECT_EQ(readFile("play.png"), readFile("expected-play.png"));
    EXPECT_EQ(readFile("result.png"), readFile("expected-result.png"));
    EXPECT_NE(readFile("play.png"), readFile("result.png"));
}

// A state line without its event and tick: what a run's replay must repeat.
std::string stateOf(const std::string& line) {
    const std::size_t at = line.find(",\"running\":");
    return at == std::string::npos ? line : line.substr(at);
}

TEST_F(Sim, EveryFinishedRunReplaysFromItsRecordLineByLine) {
    std::filesystem::create_directory("runs");
    // Started by the button, steered both ways, crashed, tallied and saved;
    // then a second run closed before its end.
    const std::string script = "mousemove 500 60\nlbuttondown\ntimer 10\nkeydown 37\ntimer 25\n"
                               "keydown 39\ntimer 5\nkeyup 37\ntimer 40\nkeyup 39\n"
                               "timer 600\nkeyup 32\nkeydown 39\ntimer 30\nkeyup 27\n";
    const Outcome played = run(script, {.seed = 18, .runsDir = "runs"});
    ASSERT_EQ(played.status, 0) << played.err;
    ASSERT_FALSE(std::filesystem::exists("runs/2.nuvrun")) << "the second run was closed";
    const RunSource file = readRunArgument("runs/1.nuvrun");
    ASSERT_TRUE(file.ok) << file.reason;
    const std::vector<std::uint8_t>& record = file.bytes;
    const std::string saved = readFile("save.dat");

    // The script's tick lines from the run's start to its result.
    std::vector<std::string> expected;
    bool inRun = false;
    for (const std::string& line : played.lines()) {
        inRun = inRun || field(line, "running") == "1";
        if (inRun && field(line, "event").starts_with("\"timer")) {
            expected.push_back(stateOf(line));
            if (field(line, "resultPhase") == "1") {
                break;
            }
        }
    }
    const auto replay = [](const std::vector<std::uint8_t>& bytes, int& status) {
        std::FILE* out = scratchFile();
        status = sim::replayRecord(bytes, out);
        return Outcome{status, slurp(out), ""}.lines();
    };
    int status = -1;
    std::vector<std::string> lines = replay(record, status);
    ASSERT_EQ(status, 0) << lines.back();
    ASSERT_EQ(lines.size(), expected.size() + 1);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(stateOf(lines[i]), expected[i]) << "tick " << i + 1;
    }
    EXPECT_EQ(field(lines.back(), "verified"), "true");
    EXPECT_EQ(field(lines.back(), "ticks"), std::to_string(expected.size()));

    // The same record through its link, with a start time either side.
    for (const std::string& params : {sim::linkFragment(record) + "&t=12.5",
                                      "#t=12.5&" + sim::linkFragment(record).substr(1)}) {
        const RunSource link = readRunArgument("https://example.org/nuvalo/" + params);
        ASSERT_TRUE(link.ok) << link.reason;
        EXPECT_EQ(link.bytes, record);
        EXPECT_EQ(link.startSeconds, 12.5);
    }
    EXPECT_FALSE(readRunArgument("no-such.nuvrun").ok);
    EXPECT_FALSE(readRunLink("#run=not*base64").ok);

    // Any byte flipped, or the record cut anywhere, is told and changes nothing.
    for (std::size_t i = 0; i < record.size(); ++i) {
        std::vector<std::uint8_t> flipped = record;
        flipped[i] ^= static_cast<std::uint8_t>(1u << (i % 8));
        lines = replay(flipped, status);
        ASSERT_TRUE(status == 1 || status == 2) << "byte " << i;
        ASSERT_NE(field(lines.back(), "reason"), "<missing>") << "byte " << i;
        lines = replay(std::vector<std::uint8_t>(record.begin(),
                                                 record.begin() + static_cast<std::ptrdiff_t>(i)),
                       status);
        ASSERT_EQ(status, 2) << "cut at " << i;
    }
    EXPECT_EQ(readFile("save.dat"), saved);
}

TEST_F(Sim, SnapshotThatCannotBeWrittenStopsTheScript) {
    const Outcome outcome = run("snapshot no-such-dir/frame.png\ntimer\n");
    EXPECT_EQ(outcome.status, sim::kExitBadScript);
    EXPECT_NE(outcome.err.find("line 1"), std::string::npos);
    EXPECT_EQ(outcome.lines().size(), 1u); // only the create line
}

} // namespace
} // namespace nuvalo::test
