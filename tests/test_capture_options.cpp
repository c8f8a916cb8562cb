// The capture program's command line, frame grid, encoder arguments,
// statistics and PNG files: everything that needs neither a GL context nor
// a child process.
#include "capture_options.h"
#include "capture_output.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <tuple>
#include <unistd.h>

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
        {{"--at", "95.999", "still.png"}, Mode::still, 1920, 1080, 60, "still.png", 0, 1},
        {{"--profile", "--fps", "240", "--to", "1"}, Mode::profile, 1920, 1080, 240, "", 0, 240},
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
        if (c.mode != Mode::still) {
            EXPECT_LT(capture::frameTime(r.first + r.count - 1, o.fps), 96.0f);
        }
    }
    // Frame 303 at 30 fps and --at 10.1 are the same single-precision moment.
    EXPECT_EQ(capture::frameTime(303, 30), float(capture::parse({"--at", "10.1", "a.png"}).options.at));
}

// Every refusal names what is wrong, in words a user would look for.
TEST(CaptureOptions, BadCommandLinesAreRefusedWithAReason) {
    const struct { std::vector<std::string> args; const char* says; } cases[] = {
        {{"--size", "0x0", "a.mp4"}, "too small"},
        {{"--size", "15x100", "a.mp4"}, "too small"},
        {{"--size", "-320x180", "a.mp4"}, "WIDTHxHEIGHT"},
        {{"--size", "320", "a.mp4"}, "WIDTHxHEIGHT"},
        {{"--size", "320x180x2", "a.mp4"}, "WIDTHxHEIGHT"},
        {{"--size", "99999999999x180", "a.mp4"}, "WIDTHxHEIGHT"},
        {{"--size", "7681x4320", "a.mp4"}, "too large"},
        {{"--size", "321x180", "a.mp4"}, "even width and height; 321x180 is odd (choose, for example, 320x180)"},
        {{"--fps", "25", "a.mp4"}, "--fps 30 or --fps 60"},
        {{"--fps", "0", "--sequence", "d"}, "1 to 240"},
        {{"--fps", "thirty", "a.mp4"}, "whole number"},
        {{"--from", "-1", "a.mp4"}, "--from -1 is outside"},
        {{"--from", "96", "a.mp4"}, "--from 96 is outside"},
        {{"--to", "96.5", "a.mp4"}, "--to 96.5 is outside"},
        {{"--from", "10", "--to", "10", "a.mp4"}, "must come after"},
        {{"--from", "1e1x", "a.mp4"}, "takes seconds"},
        {{"--from", "nan", "a.mp4"}, "takes seconds"},
        {{"--from", "95.999", "a.mp4"}, "holds no frame"},
        {{"--at", "96", "a.png"}, "outside the demo"},
        {{"--at", "-0.5", "a.png"}, "outside the demo"},
        {{"--at", "3", "a.mp4"}, "name a .png file"},
        {{"a.avi"}, "name a .mp4 file"},
        {{}, "name the output file"},
        {{"--sequence"}, "name the directory"},
        {{"a.mp4", "b.mp4"}, "unexpected argument \"b.mp4\""},
        {{"--profile", "a.mp4"}, "unexpected argument"},
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

// H.264 in yuv420p tagged BT.709 throughout, and the soundtrack's stretch
// that matches the frames.
TEST(CaptureVideo, FfmpegIsAskedForTaggedVideoAndTheMatchingSound) {
    const capture::Parsed p = capture::parse({"--size", "320x180", "--fps", "30", "--from", "10", "--to", "12", "a.mp4"});
    const std::vector<std::string> a = capture::ffmpegArguments(p.options, capture::frames(p.options), "a.mp4.part");
    const std::vector<std::pair<std::string, std::string>> wanted = {
        {"-video_size", "320x180"}, {"-pix_fmt", "rgb24"},      {"-framerate", "30"},     {"-i", "pipe:0"},
        {"-ss", "10.000000"},       {"-t", "2.000000"},         {"-i", "vandrel.mp3"},    {"-c:v", "libx264"},
        {"-c:a", "aac"},            {"-colorspace", "bt709"},   {"-color_primaries", "bt709"},
        {"-color_trc", "bt709"},    {"-color_range", "tv"},     {"-af", "apad=whole_dur=2.000000"},
        {"-vf", "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p"},
    };
    std::size_t from = 0; // the two inputs' options come in order
    for (const auto& w : wanted) {
        std::size_t i = from;
        while (i + 1 < a.size() && !(a[i] == w.first && a[i + 1] == w.second)) ++i;
        EXPECT_LT(i + 1, a.size()) << w.first << " " << w.second;
        if (w.first == "-i") from = i + 2;
    }
    EXPECT_EQ(a.back(), "a.mp4.part");
}

TEST(CaptureStatistics, MeanAndNearestRank95thPercentile) {
    std::vector<double> hundred;
    for (int i = 100; i >= 1; --i) hundred.push_back(i);
    EXPECT_DOUBLE_EQ(capture::summarize(hundred).mean, 50.5);
    EXPECT_DOUBLE_EQ(capture::summarize(hundred).p95, 95.0);
    EXPECT_DOUBLE_EQ(capture::summarize({1.0, 2.0, 3.0, 100.0}).p95, 100.0);
    EXPECT_DOUBLE_EQ(capture::summarize({}).mean, 0.0);
}

TEST(CapturePictures, PngRoundTripsExactlyAndFailuresSayWhy) {
    capture::Image image, back;
    image.width = 17, image.height = 5; // rows of an odd byte count
    for (std::uint32_t i = 0; i < 17 * 5 * 3; ++i) image.rgb.push_back(static_cast<unsigned char>(i * 37 + 11));
    char dir[] = "/tmp/capture-png-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/a.png";
    std::string error;
    ASSERT_TRUE(capture::writePng(path, image, &error)) << error;
    ASSERT_TRUE(capture::readPng(path, back, &error)) << error;
    EXPECT_EQ(std::make_tuple(back.width, back.height, back.rgb), std::make_tuple(17u, 5u, image.rgb));
    EXPECT_FALSE(capture::writePng(std::string(dir) + "/missing/a.png", image, &error));
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    std::FILE* junk = std::fopen(path.c_str(), "wb");
    std::fputs("not a picture", junk);
    std::fclose(junk);
    EXPECT_FALSE(capture::readPng(path, back, &error));
    EXPECT_NE(error.find("not a readable PNG"), std::string::npos) << error;
    std::remove(path.c_str());
    rmdir(dir);
}

} // namespace
