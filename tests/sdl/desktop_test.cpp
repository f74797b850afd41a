#include "app/sdl/desktop.h"

#include <gtest/gtest.h>

namespace nuvalo::sdl {
namespace {

TEST(Desktop, OnlyAnUnaskedForInvisibleDriverShowsNothing) {
    struct Case {
        const char* driver;
        const char* requested;
        bool showsNothing;
    };
    const Case cases[] = {
        {"offscreen", nullptr, true},      {"dummy", nullptr, true},   {"offscreen", "", true},
        {"offscreen", "offscreen", false}, {"dummy", "dummy", false},  {"x11", nullptr, false},
        {"wayland", nullptr, false},       {"kmsdrm", nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.driver) + " / " + (c.requested ? c.requested : "(unset)"));
        EXPECT_EQ(showsNothing(c.driver, c.requested), c.showsNothing);
    }
}

TEST(Desktop, FrameScaleFollowsTheDesktopAndFitsTheScreen) {
    struct Case {
        const char* what;
        ScaleSources sources;
        int scale;
    };
    const Case cases[] = {
        {"nothing set", {}, 1},
        {"GDK_SCALE", {"2", nullptr, 0, 0.0f, 3840, 2160}, 2},
        {"GDK_SCALE before Qt and Xft", {"3", "2", 96, 0.0f, 3840, 2160}, 3},
        {"QT_SCALE_FACTOR rounded down", {nullptr, "2.75", 0, 0.0f, 3840, 2160}, 2},
        {"Qt under 1 is no scale", {nullptr, "0.5", 192, 0.0f, 3840, 2160}, 2},
        {"GDK_SCALE not a number", {"two", nullptr, 192, 0.0f, 3840, 2160}, 2},
        {"GDK_SCALE 0", {"0", nullptr, 0, 0.0f, 3840, 2160}, 1},
        {"Xft.dpi 192", {nullptr, nullptr, 192, 0.0f, 3840, 2160}, 2},
        {"Xft.dpi 144 rounds down", {nullptr, nullptr, 144, 0.0f, 3840, 2160}, 1},
        {"Xft.dpi 288", {nullptr, nullptr, 288, 0.0f, 3840, 2160}, 3},
        {"Wayland's own scale wins", {"3", nullptr, 288, 2.0f, 3840, 2160}, 2},
        {"Wayland 1.5 rounds down", {nullptr, nullptr, 0, 1.5f, 3840, 2160}, 1},
        {"exactly fits 1200 x 900", {"2", nullptr, 0, 0.0f, 1200, 900}, 2},
        {"one pixel too narrow", {"2", nullptr, 0, 0.0f, 1199, 900}, 1},
        {"one pixel too low", {"3", nullptr, 0, 0.0f, 1920, 1349}, 2},
        {"screen smaller than the frame", {"2", nullptr, 0, 0.0f, 500, 400}, 1},
        {"screen unknown", {"4", nullptr, 0, 0.0f, 0, 0}, 4},
        {"absurd scale", {"1e9", nullptr, 0, 0.0f, 0, 0}, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(frameScale(c.sources), c.scale);
    }
}

TEST(Desktop, XftDpiIsReadFromItsOwnLineOnly) {
    struct Case {
        const char* resources;
        int dpi;
    };
    const Case cases[] = {
        {"", 0},
        {"Xft.dpi:\t192\n", 192},
        {"Xcursor.size:\t24\nXft.antialias:\t1\nXft.dpi:\t144\nXft.hinting:\t1\n", 144},
        {"Xft.dpi: 96.5", 96},
        {"Xft.dpis:\t192\n", 0},
        {"MyXft.dpi:\t192\n", 0},
        {"Xft.antialias:\t1\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.resources);
        EXPECT_EQ(xftDpi(c.resources), c.dpi);
    }
}

} // namespace
} // namespace nuvalo::sdl
