// The built demo as a user runs it, under the test run's X server: its
// window, the letterbox, the ways it ends, and the contexts and displays it
// refuses with a word instead of a black screen.
#include "choreography.h"
#include "process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

namespace {

using testproc::Process;

void sleepSeconds(double s) { std::this_thread::sleep_for(std::chrono::duration<double>(s)); }

class DemoRun : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X server (run the tests through scripts/test.sh)";
        ASSERT_TRUE(screen.open()) << "cannot reach the X server";
    }
    std::unique_ptr<Process> start(const std::vector<std::string>& args = {},
                                   const std::vector<std::string>& environment = {},
                                   const char* binary = DEMO_BINARY) {
        return std::make_unique<Process>(binary, args, testproc::scratchDir(), std::getenv("DISPLAY"), environment);
    }
    // Every pixel outside the letterbox rectangle of the screen is black (no
    // pass draws or clears there); more than half of the picture is not.
    void expectLetterbox() {
        int width = 0, height = 0;
        const std::vector<unsigned char> rgb = screen.grab(width, height);
        const demo::Viewport view = demo::letterbox(std::uint32_t(width), std::uint32_t(height));
        int litOutside = 0, litInside = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const int glY = height - 1 - y; // X rows run top-down, GL's bottom-up
                const bool inside = x >= int(view.x) && x < int(view.x + view.width) && glY >= int(view.y) &&
                                    glY < int(view.y + view.height);
                const unsigned char* p = &rgb[(std::size_t(y) * width + x) * 3];
                (inside ? litInside : litOutside) += (p[0] | p[1] | p[2]) != 0;
            }
        EXPECT_EQ(litOutside, 0);
        EXPECT_GT(litInside, int(view.width * view.height / 2)) << "the picture is mostly black";
    }
    testproc::Screen screen;
};

// Full screen, the picture fills the letterbox and nothing else, with no GL
// error, and closing the window ends it. (Escape, polled full screen, is
// pressed in the sound tests, which also see the plain demo print nothing.)
TEST_F(DemoRun, FillsTheLetterboxAndEndsWhenClosed) {
    auto demo = start({}, {}, DEMO_CHECKED_BINARY);
    const testproc::Window window = screen.waitForWindow(20);
    ASSERT_NE(window, 0u) << demo->err();
    sleepSeconds(3);
    expectLetterbox();
    screen.sendClose(window);
    EXPECT_EQ(demo->wait(20), 0) << demo->err();
    EXPECT_EQ(demo->out(), "");
    EXPECT_NE(demo->err().find("gl errors: 0\n"), std::string::npos) << demo->err();
}

// What cannot work ends at once with a clear word and a failure status: a
// context too old for the programs, and no display at all.
TEST_F(DemoRun, RefusesWhatCannotWork) {
    auto old = start({}, {"MESA_GL_VERSION_OVERRIDE=3.1", "MESA_GLSL_VERSION_OVERRIDE=140"});
    const int status = old->wait(20);
    EXPECT_TRUE(status > 0) << status;
    EXPECT_NE(old->err().find("OpenGL 3.3 or later is required"), std::string::npos) << old->err();
    EXPECT_NE(old->err().find("offers OpenGL 3.1"), std::string::npos) << old->err();
    EXPECT_EQ(old->out(), "");

    Process headless(DEMO_BINARY, {}, testproc::scratchDir(), nullptr);
    EXPECT_TRUE(headless.wait(10) > 0);
    EXPECT_NE(headless.err().find("no display found"), std::string::npos) << headless.err();
    EXPECT_NE(headless.err().find("./capture"), std::string::npos) << headless.err();
}

// A window of the size asked for, on a larger screen, from the moment asked
// for: near-white pixels fill a good part of the picture only while the
// polyhedra flash at 67.2 s (a quarter or more, against an eighth at most
// at any other moment), and the first frames show it. Escape typed into
// another program leaves it playing; typed into its window, it ends it.
TEST_F(DemoRun, AWindowFromAMomentEndsOnlyOnItsOwnEscape) {
    auto demo = start({"--window", "640x360", "--mute", "--from", "67.2"});
    const testproc::Window window = screen.waitForWindow(20);
    ASSERT_NE(window, 0u) << demo->err();
    double most = 0.0;
    for (int i = 0; i < 30 && most < 0.2; ++i, sleepSeconds(0.05)) {
        int w = 0, h = 0;
        const std::vector<unsigned char> rgb = screen.grab(w, h, window);
        int white = 0;
        for (std::size_t p = 0; p < rgb.size(); p += 3) white += rgb[p] > 216 && rgb[p + 1] > 153 && rgb[p + 2] > 153;
        most = std::max(most, double(white) / double(w * h));
    }
    EXPECT_GT(most, 0.2);
    int x = 0, y = 0, width = 0, height = 0;
    screen.geometry(window, x, y, width, height);
    EXPECT_EQ(width * 10000 + height, 640 * 10000 + 360);
    // Held a second, long enough for any poll of the keyboard to see it.
    screen.focusElsewhere();
    testproc::key("keydown", "Escape");
    sleepSeconds(1.0);
    testproc::key("keyup", "Escape");
    sleepSeconds(0.5);
    EXPECT_TRUE(demo->running()) << demo->err();
    screen.focus(window);
    testproc::key("key", "Escape");
    EXPECT_EQ(demo->wait(20), 0) << demo->err();
    EXPECT_EQ(demo->out() + demo->err(), "");
}

// Looping and rehearsing in the checked build: past 96 s it carries on from
// 0, Space freezes the picture until it is pressed again, the arrows step
// bars; through all of it the frame loop makes no allocation or GL object of
// its own, and the tear-down deletes every object once, with its context.
TEST_F(DemoRun, LoopsAndRehearsesWithoutAllocating) {
    auto demo = start({"--window", "640x360", "--mute", "--from", "94", "--loop", "--rehearse"}, {},
                      DEMO_CHECKED_BINARY);
    const testproc::Window window = screen.waitForWindow(20);
    ASSERT_NE(window, 0u) << demo->err();
    screen.focus(window);
    sleepSeconds(3.5);
    EXPECT_TRUE(demo->running()) << "ended at 96 s";
    // Whether the picture stays (or does not stay) the same over a second,
    // within a few tries: a slow frame may still be on its way.
    auto still = [&](bool wanted) {
        int w = 0, h = 0;
        for (int i = 0; i < 4; ++i) {
            const std::vector<unsigned char> before = screen.grab(w, h, window);
            sleepSeconds(1.0);
            if ((screen.grab(w, h, window) == before) == wanted) return true;
        }
        return false;
    };
    testproc::key("key", "space");
    EXPECT_TRUE(still(true)) << "the picture moves on while paused";
    testproc::key("key", "space");
    EXPECT_TRUE(still(false)) << "the picture stays paused";
    for (const char* key : {"Home", "Right", "Right", "Left"}) testproc::key("key", key), sleepSeconds(0.5);
    testproc::key("key", "Escape");
    EXPECT_EQ(demo->wait(20), 0) << demo->err();
    const std::string report = demo->err();
    const std::vector<unsigned> bars = testproc::framesPerBarOfCleanRun(report);
    // Bars 39 and 0 (the loop, and Home), 1 and 2 (the steps), and no other.
    ASSERT_EQ(bars.size(), 40u) << report;
    EXPECT_TRUE(bars[39] && bars[0] && bars[1] && bars[2]) << report;
    EXPECT_EQ(std::count(bars.begin() + 3, bars.end() - 1, 0u), 36) << report;
}

} // namespace
