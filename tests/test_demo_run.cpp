// The built demo as a user runs it, under the test run's X server: its
// window, the rehearsal, the ways it ends, and the contexts, displays and
// programs it refuses with a word instead of a black screen.
#include "process.h"

#include <gtest/gtest.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
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
    testproc::Screen screen;
};

// What cannot work ends at once with a clear word and a failure status: a
// context too old for the programs, one too old for the entry points to
// load, no display at all, and one without OpenGL (SFML crashed on it).
TEST_F(DemoRun, RefusesWhatCannotWork) {
    const struct { const char* version; const char* says; } contexts[] = {
        {"3.1", "offers OpenGL 3.1"},
        {"1.0", "the GL entry points could not be loaded"},
    };
    for (const auto& c : contexts) {
        auto old = start({}, {std::string("MESA_GL_VERSION_OVERRIDE=") + c.version, "MESA_GLSL_VERSION_OVERRIDE=140"});
        EXPECT_EQ(old->wait(20), 1);
        EXPECT_NE(old->err().find("OpenGL 3.3 or later is required"), std::string::npos) << old->err();
        EXPECT_NE(old->err().find(c.says), std::string::npos) << old->err();
        EXPECT_EQ(old->out(), "");
    }

    Process headless(DEMO_BINARY, {}, testproc::scratchDir(), nullptr);
    EXPECT_TRUE(headless.wait(10) > 0);
    EXPECT_NE(headless.err().find("no display found"), std::string::npos) << headless.err();
    EXPECT_NE(headless.err().find("./capture"), std::string::npos) << headless.err();

    Process bare("/usr/bin/Xvfb", {"-displayfd", "1", "-extension", "GLX", "-nolisten", "tcp"}, "/", nullptr);
    for (int i = 0; i < 100 && bare.out().empty(); ++i) sleepSeconds(0.05);
    const std::string display = ":" + bare.out().substr(0, bare.out().find('\n'));
    Process noGlx(DEMO_BINARY, {}, testproc::scratchDir(), display.c_str());
    EXPECT_EQ(noGlx.wait(10), 1);
    EXPECT_EQ(noGlx.err(), "demo: the X server on DISPLAY \"" + display + "\" offers no OpenGL (it lacks the GLX "
              "extension); the demo needs one that does. Or render it to a video file, which needs no X server: "
              "./capture --headless --size 1280x720 --fps 30 demo.mp4\n");
}

// A driver that refuses one of the programs, as a compo machine's might:
// every shader the programs are built from is replaced in turn with one that
// does not compile (Mesa reads replacements by the hash of the source it
// was given). Capture and the demo then end at start-up with status 1 and
// a line naming the program, and capture leaves no file; between them the
// replacements fell on all eight programs.
TEST_F(DemoRun, AProgramTheDriverRefusesEndsItAtStartUp) {
    const std::string dir = testproc::scratchDir(), capture = "'" CAPTURE_BINARY "' --quiet --size 32x18 --at 30 " +
                                                              dir + "/still.png 2>&1; echo status $?; ls " + dir;
    ASSERT_EQ(testproc::shell("mkdir " + dir + "/dumped && MESA_SHADER_DUMP_PATH=" + dir + "/dumped " + capture +
                              " && rm " + dir + "/still.png").status, 0);
    std::set<std::string> named;
    for (const auto& entry : std::filesystem::directory_iterator(dir + "/dumped")) {
        const std::string name = entry.path().filename().string(), read = "MESA_SHADER_READ_PATH=" + dir + "/broken";
        testproc::shell("rm -rf " + dir + "/broken && mkdir " + dir + "/broken && (cat " + entry.path().string() +
                        " && echo 'not GLSL;') > " + dir + "/broken/" + name);
        const std::string out = testproc::shell(read + " " + capture).output, said = "capture: the GL driver refused the ";
        const std::size_t at = out.find(said);
        ASSERT_NE(at, std::string::npos) << name << ": " << out;
        named.insert(out.substr(at + said.size(), out.find(" program", at) - at - said.size()));
        // The driver's own words come first, on standard output.
        EXPECT_LT(out.find("error"), at) << name << ": " << out;
        EXPECT_NE(out.find("\nstatus 1\nbroken\ndumped\n"), std::string::npos) << name << ": " << out;
        if (name.rfind("FS_", 0) != 0) continue; // the demo tries each fragment stage
        auto demo = start({"--window", "320x180", "--mute"}, {read});
        EXPECT_EQ(demo->wait(20), 1) << name;
        EXPECT_NE(demo->err().find("demo: the GL driver refused the "), std::string::npos) << name << ": " << demo->err();
    }
    EXPECT_EQ(named, (std::set<std::string>{"blur", "glitter", "ground", "ground depth", "obsidian",
                                            "polyhedron depth", "sky", "tone mapping"}));
    std::filesystem::remove_all(dir);
}

// A benchmark ended by Ctrl-C or SIGTERM prints its table and keeps the
// signal's status. The table says what it drew at (a quarter scale: images
// of a quarter of the window's size and the smallest shadow map), its
// start-up figure is taken at the first frame, and a 3-s pause is no
// frame's time. (The golden frames show the letterbox and its black bars.)
TEST_F(DemoRun, ABenchmarkEndedByASignalPrintsItsTable) {
    // The first on the oldest context that can run it: OpenGL 3.3.
    const struct { int signal, status; const char* scale; bool pause; const char* drawn, *gl, *glsl; } cases[] = {
        {SIGINT, 130, "1", false, "scene and bloom images 320x180, shadow map 4096x4096\n", "3.3", "330"},
        {SIGTERM, 143, "0.25", true, "scene and bloom images 80x45, shadow map 1024x1024\n", "4.5", "450"},
    };
    for (const auto& c : cases) {
        const auto started = std::chrono::steady_clock::now();
        auto demo = start({"--benchmark", "--mute", "--rehearse", "--window", "320x180", "--scale", c.scale},
                          {std::string("MESA_GL_VERSION_OVERRIDE=") + c.gl, std::string("MESA_GLSL_VERSION_OVERRIDE=") + c.glsl});
        const testproc::Window window = screen.waitForWindow(20);
        ASSERT_NE(window, 0u) << demo->err();
        sleepSeconds(1.5);
        if (c.pause) screen.focus(window), testproc::key("key", "space"), sleepSeconds(3), testproc::key("key", "space");
        sleepSeconds(1.0);
        kill(demo->id(), c.signal);
        const double ran = 1e3 * std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        EXPECT_EQ(demo->wait(20), c.status);
        const std::string out = demo->out();
        EXPECT_NE(out.find(c.drawn), std::string::npos) << out;
        double firstFrame = 0.0, mean = 0.0;
        unsigned frames = 0;
        const std::size_t startUp = out.find("start-up to first frame: "), whole = out.find("\nwhole run ");
        ASSERT_TRUE(startUp != std::string::npos && whole != std::string::npos) << out;
        std::sscanf(out.c_str() + startUp, "start-up to first frame: %lf", &firstFrame);
        std::sscanf(out.c_str() + whole, "\nwhole run %u %lf", &frames, &mean);
        // The frames took the time from the first to the signal (and the
        // one it was drawing), less the pause: half of it is room enough.
        EXPECT_LT(firstFrame, ran - 2000.0) << out;
        EXPECT_LT(frames * mean, ran - firstFrame + (c.pause ? -1500.0 : 500.0)) << out;
    }
}

// On a screen of 1920x1080 (an X server of the test's own), a window of the
// size asked for is centred whatever its size, with no pointer over it, and
// one larger than the screen is refused with the largest that fits and the usage.
TEST_F(DemoRun, WindowsAreCentredOnTheScreen) {
    Process xvfb("/usr/bin/Xvfb", {"-displayfd", "1", "-screen", "0", "1920x1080x24", "-nolisten", "tcp"}, "/", nullptr);
    for (int i = 0; i < 100 && xvfb.out().empty(); ++i) sleepSeconds(0.05);
    const std::string display = ":" + xvfb.out().substr(0, xvfb.out().find('\n'));
    testproc::Screen large(display.c_str()); // held, so that the server never resets
    for (const auto& [size, x, y] : {std::tuple{"1280x720", 320, 180}, {"1920x1080", 0, 0}}) {
        Process demo(DEMO_BINARY, {"--window", size, "--mute"}, testproc::scratchDir(), display.c_str());
        const testproc::Window window = large.waitForWindow(20);
        ASSERT_NE(window, 0u) << demo.err();
        int left = -1, top = -1, width = 0, height = 0;
        large.geometry(window, left, top, width, height);
        EXPECT_EQ(std::make_tuple(left, top, std::to_string(width) + "x" + std::to_string(height)),
                  std::make_tuple(x, y, std::string(size)));
        // Its place and its size are the program's, for a window manager to keep.
        XSizeHints hints{};
        long given = 0;
        XGetWMNormalHints(large.display, window, &hints, &given);
        EXPECT_EQ(std::make_tuple(hints.flags & (USPosition | PMinSize | PMaxSize), hints.min_width, hints.max_width,
                                  hints.min_height, hints.max_height),
                  std::make_tuple(USPosition | PMinSize | PMaxSize, width, width, height, height));
        EXPECT_TRUE(large.pointerHiddenOver(window));
    }
    Process tooLarge(DEMO_BINARY, {"--window", "2560x1000"}, testproc::scratchDir(), display.c_str());
    EXPECT_EQ(tooLarge.wait(20), 2);
    EXPECT_NE(tooLarge.err().find("the largest window that fits is 1920x1000\nUsage: "), std::string::npos)
        << tooLarge.err();
}

// Looping and rehearsing in the checked build: past 96 s it carries on from
// 0; Space freezes the picture, which is then not drawn again, until it is
// pressed again; the arrows step bars, paused or not, and every key says
// where it leaves the picture. Escape typed into another program leaves it
// playing; typed into its window, it ends it. Through all of it the frame
// loop makes no allocation or GL object of its own, and the tear-down
// deletes every object once, with its context.
TEST_F(DemoRun, LoopsAndRehearsesWithoutAllocating) {
    auto demo = start({"--window", "640x360", "--mute", "--from", "95", "--loop", "--rehearse"}, {},
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
    const double cpu = demo->cpuSeconds();
    sleepSeconds(2.0);
    EXPECT_LT(demo->cpuSeconds() - cpu, 0.5) << "busy while paused";
    EXPECT_TRUE(screen.answersPing(window));
    for (const char* key : {"Home", "Right"}) testproc::key("key", key), sleepSeconds(0.5);
    // Back from another program, the paused picture is drawn once more, for
    // a desktop that threw the window's contents away meanwhile.
    screen.focusElsewhere(), sleepSeconds(0.3), screen.focus(window), sleepSeconds(0.5);
    EXPECT_EQ(testproc::shell("xdotool getwindowname " + std::to_string(window)).output,
              "OpenGL: bar 2 of 40, shot 2 of 15, 2.40 s, paused\n");
    testproc::key("key", "space");
    EXPECT_TRUE(still(false)) << "the picture stays paused";
    for (const char* key : {"Home", "Right", "Right", "Left"}) testproc::key("key", key), sleepSeconds(0.5);
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
    const std::string out = demo->out();
    const std::size_t first = out.find('\n');
    EXPECT_EQ(out.substr(first == std::string::npos ? 0 : first - 6),
              "paused\n"
              "bar 1 of 40, shot 1 of 15, 0.00 s, paused\n"
              "bar 2 of 40, shot 2 of 15, 2.40 s, paused\n"
              "bar 2 of 40, shot 2 of 15, 2.40 s, playing\n"
              "bar 1 of 40, shot 1 of 15, 0.00 s, playing\n"
              "bar 2 of 40, shot 2 of 15, 2.40 s, playing\n"
              "bar 3 of 40, shot 3 of 15, 4.80 s, playing\n"
              "bar 2 of 40, shot 2 of 15, 2.40 s, playing\n");
    const std::string report = demo->err();
    EXPECT_NE(report.find(" (1 of them a paused picture again)\n"), std::string::npos) << report;
    // One line at the wrap: the GL objects then alive are those of the start-up.
    const std::size_t made = report.find("gl objects made at start-up: ");
    EXPECT_NE(report.find("wrap 1: live gl objects " + report.substr(made + 29, report.find('\n', made) - made - 29) +
                          ", frame loop allocations 0\n"), std::string::npos) << report;
    EXPECT_EQ(report.find("wrap 2"), std::string::npos) << report;
    const std::vector<unsigned> bars = testproc::framesPerBarOfCleanRun(report);
    // Bars 39 and 0 (the loop, and Home), 1 and 2 (the steps), and no other.
    ASSERT_EQ(bars.size(), 40u) << report;
    EXPECT_TRUE(bars[39] && bars[0] && bars[1] && bars[2]) << report;
    EXPECT_EQ(std::count(bars.begin() + 3, bars.end() - 1, 0u), 36) << report;
}

// On a Wayland desktop, through Xwayland: Weston (headless, with a display
// of the test's own), full screen and in a window centred on the screen, the
// demo draws, answers the rehearsal keys and Escape, and ends cleanly.
// Weston gives the keyboard focus through a seat, which its headless
// backend lacks, and takes it back from any X client that sets it; and
// Xwayland 22.1 aborts on a pointer moved through XTEST there. So the keys
// go where Xwayland's focus starts, to the window under the pointer, which
// rests at the screen's middle: inside the window only if it is centred.
TEST(Wayland, PlaysFullScreenAndInAWindowThroughXwayland) {
    const std::string dir = testproc::scratchDir(), log = dir + "/weston.log";
    Process weston("/usr/bin/weston", {"--backend=headless-backend.so", "--xwayland", "--socket=demo-test",
                                       "--width=640", "--height=480", "--no-config", "--log=" + log}, dir, nullptr,
                   {"XDG_RUNTIME_DIR=" + dir});
    std::string display;
    for (int i = 0; i < 100 && display.empty(); ++i, sleepSeconds(0.1))
        display = testproc::shell("sed -n 's/.*xserver listening on display //p' " + log + " 2>/dev/null | tr -d '\\n'").output;
    ASSERT_FALSE(display.empty()) << testproc::shell("cat " + log).output;
    testproc::Screen screen(display.c_str());
    const struct { std::vector<std::string> args; int x, y, width, height; } runs[] = {
        {{"--mute", "--rehearse"}, 0, 0, 640, 480},
        {{"--mute", "--rehearse", "--window", "320x180"}, 160, 150, 320, 180}};
    for (const auto& run : runs) {
        Process demo(DEMO_CHECKED_BINARY, run.args, testproc::scratchDir(), display.c_str());
        const testproc::Window window = screen.waitForWindow(20);
        ASSERT_NE(window, 0u) << demo.err();
        sleepSeconds(1.0);
        // Placed with Weston's frame (title bar and border) where asked; the
        // X server learns where once the window is on the screen.
        int x = -1, y = -1, width = 0, height = 0;
        screen.geometry(window, x, y, width, height);
        EXPECT_TRUE(x - run.x <= 8 && y - run.y <= 32 && x >= run.x && y >= run.y) << x << "," << y;
        EXPECT_EQ(std::make_pair(width, height), std::make_pair(run.width, run.height));
        for (const char* keys : {"key space", "key Home", "key Right", "key Right"})
            testproc::shell("DISPLAY=" + display + " xdotool " + keys), sleepSeconds(0.5);
        const std::vector<unsigned char> picture = screen.grab(width, height, window);
        const auto lit = std::count_if(picture.begin(), picture.end(), [](unsigned char c) { return c > 16; });
        EXPECT_GT(lit, long(picture.size() / 3)) << "dark at 4.8 s";
        // Escape held a moment: full screen, it is polled between frames.
        for (const char* keys : {"key Left", "key space", "keydown Escape", "keyup Escape"})
            testproc::shell("DISPLAY=" + display + " xdotool " + keys), sleepSeconds(0.5);
        EXPECT_EQ(demo.wait(20), 0) << demo.err();
        const std::string out = demo.out();
        EXPECT_EQ(out.substr(std::min(out.find("paused\n"), out.size())),
                  "paused\n"
                  "bar 1 of 40, shot 1 of 15, 0.00 s, paused\n"
                  "bar 2 of 40, shot 2 of 15, 2.40 s, paused\n"
                  "bar 3 of 40, shot 3 of 15, 4.80 s, paused\n"
                  "bar 2 of 40, shot 2 of 15, 2.40 s, paused\n"
                  "bar 2 of 40, shot 2 of 15, 2.40 s, playing\n");
        testproc::framesPerBarOfCleanRun(demo.err());
    }
}

} // namespace
