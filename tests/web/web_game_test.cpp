// The page's own pieces that need no browser; the game behind the page is
// the host's, checked with every shell's in tests/host.
#include "app/web/web_game.h"
#include "game/game.h"

#include <gtest/gtest.h>

#include <string>

namespace nuvalo::web {
namespace {

TEST(WebCanvas, FramesReachThePageAsOpaqueRgba) {
    Bitmap frame;
    frame.width = kFrameWidth;
    frame.height = kFrameHeight;
    frame.pixels = std::make_unique<Pixel[]>(static_cast<std::size_t>(kFrameWidth * kFrameHeight));
    for (int i = 0; i < kFrameWidth * kFrameHeight; ++i) {
        frame.pixels[static_cast<std::size_t>(i)] = static_cast<Pixel>(i) * 0x010307u & 0xFFFFFFu;
    }
    CanvasPixels canvas;
    canvas.from(secondCopyNotice()); // what the buffer held before must not show through
    const std::uint8_t* rgba = canvas.from(frame);
    int mismatches = 0;
    for (int i = 0; i < kFrameWidth * kFrameHeight; ++i) {
        const Pixel p = frame.pixels[static_cast<std::size_t>(i)];
        const std::uint8_t* q = rgba + 4 * i;
        const Pixel back = static_cast<Pixel>(q[0]) << 16 | static_cast<Pixel>(q[1]) << 8 | q[2];
        mismatches += back != p || q[3] != 255;
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(WebCanvas, ASecondTabShowsTheNoticeInTheGameFont) {
    const Bitmap notice = secondCopyNotice();
    ASSERT_EQ(notice.width, kFrameWidth);
    ASSERT_EQ(notice.height, kFrameHeight);
    auto at = [&](int x, int y) {
        return notice.pixels[static_cast<std::size_t>(y * kFrameWidth + x)];
    };
    // White all round, black text in the middle.
    EXPECT_EQ(at(0, 0) & at(599, 449) & at(300, 100), kWhite);
    int ink = 0;
    for (int x = 200; x < 400; ++x) {
        for (int y = 210; y < 240; ++y) {
            ink += at(x, y) == kBlack;
        }
    }
    EXPECT_GT(ink, 100);
}

TEST(WebInput, PagePositionsMapToTouchSides) {
    const struct {
        double x, y, width, height;
        TouchSide side;
    } cases[] = {
        {0, 0, 600, 450, TouchSide::left},
        {921, 101, 1200, 900, TouchSide::none}, // the start button, at twice the size
        {133.4, 50, 200, 150, TouchSide::none}, // beside the playfield, at a third
        {66.6, 149.9, 200, 150, TouchSide::left},
        {400.5, 10, 1200, 900, TouchSide::right},
        {-3, 900, 1200, 900, TouchSide::left}, // clamped onto the frame
        {5000, -1, 1200, 900, TouchSide::none},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(touchSide(toFrame(c.x, c.y, c.width, c.height)), c.side) << c.x << "," << c.y;
    }
}

// What a page's address opens: the run and its start, a record of other
// rules all the same, and for anything unreadable the reason, never a run.
TEST(WebLink, AddressesOpenTheirRunOrSayWhyNot) {
    RunRecord run;
    run.rules = kRulesVersion;
    run.randomState = 0x8ECF2D5Cu;
    run.changes = {{3, {true, false, 0, 0}}, {40, {}}};
    run.ticks = 224;
    run.score = 778;
    RunRecord other = run;
    other.rules = kRulesVersion + 1;
    const std::string text = toBase64Url(encodeRun(run));
    std::string damaged = text;
    char& flipped = damaged[damaged.size() - 5]; // within the checksum
    flipped = flipped == 'A' ? 'B' : 'A';
    const std::string page = "https://example.org/nuvalo/";
    const struct {
        std::string link;
        bool ok;
        const RunRecord* run;
        double startSeconds;
        std::string reason;
    } cases[] = {
        {page + "#run=" + text, true, &run, 0.0, ""},
        {page + "#seed=5&t=2.5&run=" + text, true, &run, 2.5, ""},
        {page + "#run=" + toBase64Url(encodeRun(other)), true, &other, 0.0, ""},
        {page + "#run=" + damaged, false, nullptr, 0.0, "damaged"},
        {page + "#run=" + text + "=", false, nullptr, 0.0, "the link's record is not base64url"},
        {page + "#t=3", false, nullptr, 0.0, "the link carries no run"},
        {page, false, nullptr, 0.0, "the link carries no run"},
    };
    for (const auto& c : cases) {
        const LinkedRun linked = runOfLink(c.link);
        EXPECT_EQ(linked.ok, c.ok) << c.link;
        EXPECT_EQ(linked.startSeconds, c.startSeconds) << c.link;
        EXPECT_TRUE(linked.reason.starts_with(c.reason)) << linked.reason;
        EXPECT_EQ(linked.reason.empty(), c.ok) << c.link;
        if (c.run != nullptr) {
            EXPECT_EQ(linked.run, *c.run) << c.link;
        }
    }
}

} // namespace
} // namespace nuvalo::web
