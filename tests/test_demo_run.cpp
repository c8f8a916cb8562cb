// The built demo as a user runs it, under the test's X server: it opens its
// window, leaves the letterbox bars alone and ends cleanly on Escape, on the
// window's close and without a display.
#include "demo.h"
#include "demo_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace {

using testdemo::DemoProcess;
using testdemo::Screen;

const char* const demoBinary = DEMO_BINARY;

std::string scratchDir() {
    char dir[] = "/tmp/demo-run-XXXXXX";
    return mkdtemp(dir);
}

class DemoRun : public ::testing::Test {
protected:
    void SetUp() override {
        if (!screen.open()) GTEST_SKIP() << "no X server (run the tests through scripts/test.sh)";
    }
    Screen screen;
};

// Every pixel outside the letterbox rectangle is still black: no pass draws
// or clears there. Inside, the picture shows something.
void expectBarsUntouched(Screen& screen) {
    int width = 0, height = 0;
    const std::vector<unsigned char> rgb = screen.grab(width, height);
    const demo::Viewport view = demo::letterbox(std::uint32_t(width), std::uint32_t(height));
    int outside = 0, lit = 0, litInside = 0;
    for (int y = 0; y < height; ++y) {
        // X rows run top-down, GL's viewport bottom-up.
        const int glY = height - 1 - y;
        for (int x = 0; x < width; ++x) {
            const bool inside = x >= int(view.x) && x < int(view.x + view.width) &&
                                glY >= int(view.y) && glY < int(view.y + view.height);
            const unsigned char* p = &rgb[(std::size_t(y) * width + x) * 3];
            const bool black = (p[0] | p[1] | p[2]) == 0;
            if (inside) {
                litInside += !black;
                continue;
            }
            ++outside;
            lit += !black;
        }
    }
    EXPECT_EQ(lit, 0) << "of " << outside << " pixels outside the letterbox";
    EXPECT_GT(litInside, int(view.width * view.height / 2)) << "the picture is mostly black";
}

TEST_F(DemoRun, EscapeEndsItWithStatusZeroAndTheBarsStayBlack) {
    DemoProcess demo(demoBinary, scratchDir(), std::getenv("DISPLAY"));
    ASSERT_NE(screen.waitForWindow(20), 0u) << demo.err();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    ASSERT_TRUE(demo.running()) << demo.err();
    expectBarsUntouched(screen);
    testdemo::pressKey("Escape");
    const int status = demo.wait(20);
    testdemo::releaseKey("Escape");
    EXPECT_EQ(status, 0) << demo.err();
    // A clean run says nothing at all, even where vsync is unavailable.
    EXPECT_EQ(demo.out(), "");
    EXPECT_EQ(demo.err(), "");
}

TEST_F(DemoRun, ClosingTheWindowEndsItWithStatusZero) {
    DemoProcess demo(demoBinary, scratchDir(), std::getenv("DISPLAY"));
    const testdemo::Window window = screen.waitForWindow(20);
    ASSERT_NE(window, 0u) << demo.err();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    screen.sendClose(window);
    EXPECT_EQ(demo.wait(20), 0) << demo.err();
}

// The whole piece, start to natural end, in the shipped code watched from
// inside: nothing on standard output (no shader log, no framebuffer message),
// no GL error, no allocation or GL object made by the frame loop, and at least
// one frame in every bar.
TEST_F(DemoRun, PlaysToItsNaturalEndCleanly) {
    DemoProcess demo(DEMO_CHECKED_BINARY, scratchDir(), std::getenv("DISPLAY"));
    const int status = demo.wait(400);
    const std::string report = demo.err();
    EXPECT_EQ(status, 0) << report;
    EXPECT_EQ(demo.out(), "");
    EXPECT_NE(report.find("gl errors: 0\n"), std::string::npos) << report;
    EXPECT_NE(report.find("frame loop allocations: 0\n"), std::string::npos) << report;
    EXPECT_NE(report.find("frame loop gl objects: 0\n"), std::string::npos) << report;
    // Every GL object made at start-up is deleted exactly once.
    EXPECT_EQ(report.find("gl objects made at start-up: 0\n"), std::string::npos) << report;
    EXPECT_NE(report.find("gl objects left after tear-down: 0\n"), std::string::npos) << report;
    EXPECT_NE(report.find("gl deletes of dead names: 0\n"), std::string::npos) << report;
    EXPECT_NE(report.find("gl deletes without a context: 0\n"), std::string::npos) << report;
    const std::size_t bars = report.find("frames per bar:");
    ASSERT_NE(bars, std::string::npos) << report;
    std::istringstream counts(report.substr(bars + 15));
    int bar = 0;
    for (unsigned frames; counts >> frames; ++bar) EXPECT_GT(frames, 0u) << "bar " << bar;
    EXPECT_EQ(bar, int(demo::lastBar) + 1);
    std::printf("%s", report.c_str());
}

// On an X server with no other client (a bare Xvfb, as on a headless
// machine) the demo's own probe must not leave the server resetting under
// the window it then opens.
TEST(DemoOnABareServer, StartsAndEndsCleanly) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        testdemo::PrivateXServer server(320, 240);
        ASSERT_FALSE(server.display.empty()) << "Xvfb did not start";
        DemoProcess demo(demoBinary, scratchDir(), server.display.c_str());
        std::this_thread::sleep_for(std::chrono::seconds(2));
        ASSERT_TRUE(demo.running()) << demo.err();
        Screen screen(server.display.c_str());
        const testdemo::Window window = screen.waitForWindow(20);
        ASSERT_NE(window, 0u);
        screen.sendClose(window);
        EXPECT_EQ(demo.wait(20), 0) << demo.err();
    }
}

// A context too old for the demo's programs (here Mesa told to offer only
// OpenGL 3.1) ends it at once with a word on what is missing, instead of 96
// seconds of black screen.
TEST_F(DemoRun, AContextBelowOpenGL33IsRefusedWithAClearMessage) {
    DemoProcess demo(demoBinary, scratchDir(), std::getenv("DISPLAY"),
                     {"MESA_GL_VERSION_OVERRIDE=3.1", "MESA_GLSL_VERSION_OVERRIDE=140"});
    const int status = demo.wait(20);
    EXPECT_NE(status, 0);
    EXPECT_NE(status, -1) << "still running";
    EXPECT_NE(demo.err().find("OpenGL 3.3 or later is required"), std::string::npos) << demo.err();
    EXPECT_NE(demo.err().find("offers OpenGL 3.1"), std::string::npos) << demo.err();
    EXPECT_EQ(demo.out(), "");
}

// Without OpenGL 4.5 or ARB_direct_state_access the uploads take the plain
// bind-and-upload path: the demo still draws, with no GL error.
TEST_F(DemoRun, RunsWithoutDirectStateAccess) {
    DemoProcess demo(DEMO_CHECKED_BINARY, scratchDir(), std::getenv("DISPLAY"),
                     {"MESA_GL_VERSION_OVERRIDE=4.4COMPAT",
                      "MESA_EXTENSION_OVERRIDE=-GL_ARB_direct_state_access"});
    ASSERT_NE(screen.waitForWindow(20), 0u) << demo.err();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    expectBarsUntouched(screen);
    testdemo::pressKey("Escape");
    const int status = demo.wait(20);
    testdemo::releaseKey("Escape");
    EXPECT_EQ(status, 0) << demo.err();
    EXPECT_NE(demo.err().find("gl errors: 0\n"), std::string::npos) << demo.err();
}

TEST(DemoWithoutDisplay, SaysSoAndFails) {
    DemoProcess demo(demoBinary, scratchDir(), nullptr);
    const int status = demo.wait(10);
    EXPECT_NE(status, 0);
    EXPECT_NE(status, -1) << "still running";
    EXPECT_NE(demo.err().find("no display found"), std::string::npos) << demo.err();
    // ... and points at the capture program as the way to watch it instead.
    EXPECT_NE(demo.err().find("./capture"), std::string::npos) << demo.err();
}

} // namespace
