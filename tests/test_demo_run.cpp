// The built demo as a user runs it, under the test run's X server: its
// window, the letterbox, the ways it ends, and the contexts and displays it
// refuses with a word instead of a black screen.
#include "choreography.h"
#include "process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <cstdlib>
#include <thread>

namespace {

using testproc::Process;

void sleepSeconds(double s) { std::this_thread::sleep_for(std::chrono::duration<double>(s)); }

class DemoRun : public ::testing::Test {
protected:
    void SetUp() override {
        if (!screen.open()) GTEST_SKIP() << "no X server (run the tests through scripts/test.sh)";
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
    // The demo polls the key once a frame: hold it long enough to be seen.
    static int escape(Process& demo) {
        testproc::key("keydown", "Escape");
        const int status = demo.wait(20);
        testproc::key("keyup", "Escape");
        return status;
    }
    testproc::Screen screen;
};

TEST_F(DemoRun, EscapeEndsItQuietlyAndTheBarsStayBlack) {
    auto demo = start();
    ASSERT_NE(screen.waitForWindow(20), 0u) << demo->err();
    sleepSeconds(2);
    ASSERT_TRUE(demo->running()) << demo->err();
    expectLetterbox();
    EXPECT_EQ(escape(*demo), 0) << demo->err();
    EXPECT_EQ(demo->out() + demo->err(), "");
}

TEST_F(DemoRun, ClosingTheWindowEndsIt) {
    auto demo = start();
    const testproc::Window window = screen.waitForWindow(20);
    ASSERT_NE(window, 0u) << demo->err();
    sleepSeconds(1);
    screen.sendClose(window);
    EXPECT_EQ(demo->wait(20), 0) << demo->err();
}

// Without OpenGL 4.5 or ARB_direct_state_access the uploads take the plain
// bind-and-upload path: the demo still draws, with no GL error.
TEST_F(DemoRun, DrawsWithoutDirectStateAccess) {
    auto demo = start({}, {"MESA_GL_VERSION_OVERRIDE=4.4COMPAT", "MESA_EXTENSION_OVERRIDE=-GL_ARB_direct_state_access"},
                      DEMO_CHECKED_BINARY);
    ASSERT_NE(screen.waitForWindow(20), 0u) << demo->err();
    sleepSeconds(3);
    expectLetterbox();
    EXPECT_EQ(escape(*demo), 0) << demo->err();
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

// On an X server with no other client (a bare Xvfb, as on a headless
// machine) the demo's display probe must not leave the server resetting
// under the window it then opens.
TEST(DemoOnABareServer, StartsAndEndsCleanly) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        testproc::PrivateXServer server(320, 240);
        ASSERT_FALSE(server.display.empty()) << "Xvfb did not start";
        Process demo(DEMO_BINARY, {}, testproc::scratchDir(), server.display.c_str());
        sleepSeconds(2);
        ASSERT_TRUE(demo.running()) << demo.err();
        testproc::Screen screen(server.display.c_str());
        const testproc::Window window = screen.waitForWindow(20);
        ASSERT_NE(window, 0u);
        screen.sendClose(window);
        EXPECT_EQ(demo.wait(20), 0) << demo.err();
    }
}

} // namespace
