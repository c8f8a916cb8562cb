// The capture program's command line and frame grid: what needs neither a
// GL context nor a child process.
#include "capture_options.h"
#include "capture_output.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using capture::Mode;

// Usable command lines, with what they ask for: the mode, the size and rate,
// the output, and the frames n / fps of the range (rounded onto the grid
// even where the decimal is not exact in binary).
TEST(CaptureOptions, CommandLinesAndTheirFrames) {
    const struct {
        std::vector<std::string> args;
        Mode mode;
        std::uint32_t width, height, fps;
        std::string output;
        std::uint64_t first, count;
    } cases[] = {
        {{"party.mp4"}, Mode::video, 1920, 1080, 60, "party.mp4", 0, 5760},
        {{"--size", "320x180", "--fps", "30", "--from", "10", "--to", "12", "a.mp4"}, Mode::video, 320, 180, 30, "a.mp4", 300, 60},
        {{"--fps", "30", "--from", "10.1", "--to", "10.3", "a.mp4"}, Mode::video, 1920, 1080, 30, "a.mp4", 303, 6},
        {{"--fps", "60", "--from", "95.99", "a.mp4"}, Mode::video, 1920, 1080, 60, "a.mp4", 5759, 1},
        {{"--size", "16x16", "--from", "1.7", "--to", "2.3", "a.mp4"}, Mode::video, 16, 16, 60, "a.mp4", 102, 36},
        {{"--size", "7680x4320", "a.mp4"}, Mode::video, 7680, 4320, 60, "a.mp4", 0, 5760},
        {{"--sequence", "frames", "--fps", "24", "--size", "161x91"}, Mode::sequence, 161, 91, 24, "frames", 0, 2304},
        {{"--at", "95.999992", "still.png"}, Mode::still, 1920, 1080, 60, "still.png", 0, 1},
        {{"--profile", "--fps", "240", "--to", "1", "--scale", "0.5"}, Mode::profile, 1920, 1080, 240, "", 0, 240},
        {{"--help", "--size", "nonsense"}, Mode::help, 1920, 1080, 60, "", 0, 5760},
    };
    for (const auto& c : cases) {
        const capture::Parsed p = capture::parse(c.args);
        ASSERT_TRUE(p.ok()) << c.args[0] << ": " << p.error;
        const capture::Options& o = p.options;
        EXPECT_EQ(std::make_tuple(o.mode, o.width, o.height, o.fps, o.output),
                  std::make_tuple(c.mode, c.width, c.height, c.fps, c.output)) << c.args[0];
        const capture::FrameRange r = capture::frames(o);
        EXPECT_EQ(r.first, c.first) << c.args[0];
        EXPECT_EQ(r.count, c.count) << c.args[0];
        // The last frame of the range lies inside the demo.
        EXPECT_TRUE(c.mode == Mode::still || capture::frameTime(r.first + r.count - 1, o.fps) < 96.0f) << c.args[0];
    }
    EXPECT_EQ(capture::parse({"--scale", "0.5", "a.mp4"}).options.scale, 0.5f);
    // Frame 303 at 30 fps and --at 10.1 are the same single-precision moment.
    EXPECT_EQ(capture::frameTime(303, 30), float(capture::parse({"--at", "10.1", "a.png"}).options.at));
}

// Every refusal names what is wrong, in words a user would look for. (The
// numbers and sizes are read as the demo reads its own, and refused in the
// same words: the demo's table holds those cases.)
TEST(CaptureOptions, BadCommandLinesAreRefusedWithAReason) {
    const struct { std::vector<std::string> args; const char* says; } cases[] = {
        {{"--size", "7681x4320", "a.mp4"}, "too large"},
        {{"--size", "123456789012345678901x16", "a.mp4"}, "too large"},
        {{"--size", "321x180", "a.mp4"}, "even width and height; 321x180 is odd (choose, for example, 320x180)"},
        {{"--fps", "25", "a.mp4"}, "--fps 30 or --fps 60"},
        {{"--fps", "0", "--sequence", "d"}, "1 to 240"},
        {{"--from", "-1", "a.mp4"}, "--from -1 is outside"},
        {{"--to", "96.5", "a.mp4"}, "--to 96.5 is outside"},
        {{"--from", "10", "--to", "10", "a.mp4"}, "must come after"},
        {{"--from", "1e1x", "a.mp4"}, "--from takes a number"},
        {{"--fps", "99999999999999999999", "a.mp4"}, "--fps 99999999999999999999 is out of range"},
        {{"--from", "95.999", "a.mp4"}, "holds no frame"},
        {{"--at", "96", "a.png"}, "outside the demo"},
        {{"--at", "95.999999", "a.png"}, "outside the demo"}, // 96 in single precision
        {{"--at", "3", "a.mp4"}, "name a .png file"},
        {{"a.avi"}, "name a .mp4 file"},
        {{}, "name the output file"},
        {{"--sequence", "d", "--at", "3"}, "choose one of"},
        {{"--size"}, "--size needs a value"},
        {{"--frobnicate", "a.mp4"}, "unknown option --frobnicate"},
    };
    for (const auto& c : cases) {
        const capture::Parsed p = capture::parse(c.args);
        const std::string shown = c.args.empty() ? "(none)" : c.args[0] + " " + c.args.back();
        ASSERT_FALSE(p.ok()) << shown;
        EXPECT_NE(p.error.find(c.says), std::string::npos) << shown << ": " << p.error;
    }
}

} // namespace
