// The capture program's command line, frame grid, statistics and picture
// helpers: everything that needs neither a GL context nor a child process.
#include "capture_options.h"
#include "capture_output.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

using capture::Mode;

capture::Parsed parse(std::initializer_list<const char*> args) {
    return capture::parse(std::vector<std::string>(args.begin(), args.end()));
}

TEST(CaptureOptions, DefaultsMakeAFullHdSixtyFpsVideoOfTheWholeDemo) {
    const capture::Parsed p = parse({"party.mp4"});
    ASSERT_TRUE(p.ok()) << p.error;
    EXPECT_EQ(p.options.mode, Mode::video);
    EXPECT_EQ(p.options.width, 1920u);
    EXPECT_EQ(p.options.height, 1080u);
    EXPECT_EQ(p.options.fps, 60u);
    EXPECT_EQ(p.options.output, "party.mp4");
    EXPECT_EQ(p.options.soundtrack, "vandrel.mp3");
    const capture::FrameRange r = capture::frames(p.options);
    EXPECT_EQ(r.first, 0u);
    EXPECT_EQ(r.count, 5760u);
    EXPECT_DOUBLE_EQ(capture::duration(r, 60), 96.0);
}

TEST(CaptureOptions, EachModeTakesItsOwnOutput) {
    struct Case {
        std::vector<std::string> args;
        Mode mode;
        std::string output;
    } cases[] = {
        {{"--size", "320x180", "--fps", "30", "--from", "10", "--to", "12", "a.mp4"}, Mode::video, "a.mp4"},
        {{"--sequence", "frames", "--fps", "24"}, Mode::sequence, "frames"},
        {{"--at", "67.3", "still.png", "--size", "161x91"}, Mode::still, "still.png"},
        {{"--profile", "--size", "1280x720", "--fps", "5"}, Mode::profile, ""},
        {{"--help", "--size", "nonsense"}, Mode::help, ""},
    };
    for (const Case& c : cases) {
        const capture::Parsed p = capture::parse(c.args);
        EXPECT_TRUE(p.ok()) << c.args[0] << ": " << p.error;
        EXPECT_EQ(p.options.mode, c.mode) << c.args[0];
        EXPECT_EQ(p.options.output, c.output) << c.args[0];
    }
}

// Every refusal names what is wrong; the fragment is what a user would look
// for in the message.
TEST(CaptureOptions, BadCommandLinesAreRefusedWithAReason) {
    struct Case {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"--size", "0x0", "a.mp4"}, "too small"},
        {{"--size", "15x100", "a.mp4"}, "too small"},
        {{"--size", "-320x180", "a.mp4"}, "WIDTHxHEIGHT"},
        {{"--size", "320x-180", "a.mp4"}, "WIDTHxHEIGHT"},
        {{"--size", "320", "a.mp4"}, "WIDTHxHEIGHT"},
        {{"--size", "320x180x2", "a.mp4"}, "WIDTHxHEIGHT"},
        {{"--size", "99999999999x180", "a.mp4"}, "WIDTHxHEIGHT"},
        {{"--size", "7681x4320", "a.mp4"}, "too large"},
        {{"--size", "7680x4322", "a.mp4"}, "too large"},
        {{"--size", "321x180", "a.mp4"}, "even width and height; 321x180 is odd (choose, for example, 320x180)"},
        {{"--size", "320x181", "a.mp4"}, "is odd"},
        {{"--fps", "25", "a.mp4"}, "--fps 30 or --fps 60"},
        {{"--fps", "0", "--sequence", "d"}, "1 to 240"},
        {{"--fps", "thirty", "a.mp4"}, "whole number"},
        {{"--from", "-1", "a.mp4"}, "--from -1 is outside"},
        {{"--from", "96", "a.mp4"}, "--from 96 is outside"},
        {{"--to", "96.5", "a.mp4"}, "--to 96.5 is outside"},
        {{"--to", "0", "a.mp4"}, "--to 0 is outside"},
        {{"--from", "50", "--to", "40", "a.mp4"}, "must come after"},
        {{"--from", "10", "--to", "10", "a.mp4"}, "must come after"},
        {{"--from", "1e1x", "a.mp4"}, "takes seconds"},
        {{"--from", "nan", "a.mp4"}, "takes seconds"},
        {{"--to", "inf", "a.mp4"}, "takes seconds"},
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
    for (const Case& c : cases) {
        const capture::Parsed p = capture::parse(c.args);
        const std::string shown = c.args.empty() ? "(none)" : c.args[0] + " " + c.args.back();
        ASSERT_FALSE(p.ok()) << shown;
        EXPECT_NE(p.error.find(c.says), std::string::npos) << shown << ": " << p.error;
    }
}

TEST(CaptureOptions, TheLimitsThemselvesAreAccepted) {
    for (auto args : {std::vector<std::string>{"--size", "16x16", "a.mp4"},
                      {"--size", "7680x4320", "a.mp4"},
                      {"--from", "95.98", "--to", "96", "a.mp4"},
                      {"--at", "95.999", "a.png"},
                      {"--at", "0", "a.png"},
                      {"--fps", "240", "--profile"}})
        EXPECT_TRUE(capture::parse(args).ok()) << args[0] << " " << args[1];
}

// Ranges land on the frame grid n / fps even when the decimal seconds are
// not exact in binary, and the last frame stays before 96 s.
TEST(CaptureOptions, RangesBecomeWholeFramesOnTheGrid) {
    struct Case {
        const char *from, *to, *fps;
        std::uint64_t first, count;
    } cases[] = {
        {"10", "12", "30", 300, 60},
        {"10.1", "10.3", "30", 303, 6},
        {"0", "96", "30", 0, 2880},
        {"95.99", "96", "60", 5759, 1},
        {"1.7", "2.3", "60", 102, 36},
    };
    for (const Case& c : cases) {
        const capture::Parsed p = parse({"--from", c.from, "--to", c.to, "--fps", c.fps, "a.mp4"});
        ASSERT_TRUE(p.ok()) << c.from << ": " << p.error;
        const capture::FrameRange r = capture::frames(p.options);
        EXPECT_EQ(r.first, c.first) << c.from;
        EXPECT_EQ(r.count, c.count) << c.from;
        EXPECT_LT(capture::frameTime(r.first + r.count - 1, p.options.fps), 96.0f) << c.from;
    }
    // A still renders the very moment asked for, as one frame.
    const capture::Parsed still = parse({"--at", "10.1", "a.png"});
    EXPECT_EQ(capture::frames(still.options).count, 1u);
    // Frame 303 at 30 fps and --at 10.1 are the same single-precision moment.
    EXPECT_EQ(capture::frameTime(303, 30), float(still.options.at));
    EXPECT_EQ(capture::frameTime(5759, 60), float(5759.0 / 60.0));
}

TEST(CaptureVideo, FfmpegIsAskedForTaggedBt709H264AndTheMatchingStretchOfSound) {
    const capture::Parsed p =
        parse({"--size", "320x180", "--fps", "30", "--from", "10", "--to", "12", "a.mp4"});
    const std::vector<std::string> a =
        capture::ffmpegArguments(p.options, capture::frames(p.options), "a.mp4.part");
    auto valueOf = [&](const std::string& flag, std::size_t nth = 0) {
        for (std::size_t i = 0; i + 1 < a.size(); ++i)
            if (a[i] == flag && nth-- == 0) return a[i + 1];
        return std::string("(absent)");
    };
    EXPECT_EQ(valueOf("-video_size"), "320x180");
    EXPECT_EQ(valueOf("-pix_fmt"), "rgb24");
    EXPECT_EQ(valueOf("-framerate"), "30");
    EXPECT_EQ(valueOf("-i"), "pipe:0");
    EXPECT_EQ(valueOf("-i", 1), "vandrel.mp3");
    EXPECT_EQ(valueOf("-ss"), "10.000000");
    EXPECT_EQ(valueOf("-t"), "2.000000");
    EXPECT_EQ(valueOf("-c:v"), "libx264");
    EXPECT_EQ(valueOf("-c:a"), "aac");
    EXPECT_EQ(valueOf("-colorspace"), "bt709");
    EXPECT_EQ(valueOf("-color_primaries"), "bt709");
    EXPECT_EQ(valueOf("-color_trc"), "bt709");
    EXPECT_EQ(valueOf("-vf"), "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p");
    EXPECT_EQ(valueOf("-af"), "apad=whole_dur=2.000000");
    EXPECT_EQ(a.back(), "a.mp4.part");
}

TEST(CaptureStatistics, MeanAndNearestRank95thPercentile) {
    std::vector<double> hundred;
    for (int i = 100; i >= 1; --i) hundred.push_back(i);
    const capture::Summary s = capture::summarize(hundred);
    EXPECT_DOUBLE_EQ(s.mean, 50.5);
    EXPECT_DOUBLE_EQ(s.p95, 95.0);
    EXPECT_DOUBLE_EQ(capture::summarize({7.0}).p95, 7.0);
    EXPECT_DOUBLE_EQ(capture::summarize({1.0, 2.0, 3.0, 100.0}).p95, 100.0);
    EXPECT_DOUBLE_EQ(capture::summarize({}).mean, 0.0);
}

TEST(CaptureProgress, ShowsFramesRateAndTimeLeft) {
    EXPECT_EQ(capture::Progress::line(0, 100, 0.0), "[" + std::string(30, '.') + "] 0/100 frames");
    EXPECT_EQ(capture::Progress::line(50, 100, 10.0),
              "[" + std::string(15, '#') + std::string(15, '.') + "] 50/100 frames  5.0 fps  0:10 left");
    EXPECT_EQ(capture::Progress::line(10, 2880, 5.0).substr(33), "10/2880 frames  2.0 fps  23:55 left");
    EXPECT_EQ(capture::Progress::line(2880, 2880, 60.0).substr(0, 33), "[" + std::string(30, '#') + "] ");
}

// GL hands rows bottom-up with alpha; files want them top-down without.
TEST(CapturePictures, ReadBackIsFlippedAndLosesAlpha) {
    const unsigned char rgba[] = {1, 2, 3, 255, 4, 5, 6, 255,   // bottom row
                                  7, 8, 9, 0,   10, 11, 12, 0}; // top row
    capture::Image image;
    image.width = 2;
    image.height = 2;
    capture::flipToRgb(rgba, image);
    EXPECT_EQ(image.rgb, (std::vector<unsigned char>{7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}));
}

TEST(CapturePictures, PngRoundTripsExactlyAndFailuresSayWhy) {
    capture::Image image;
    image.width = 17; // rows of an odd byte count
    image.height = 5;
    for (std::uint32_t i = 0; i < image.width * image.height * 3; ++i)
        image.rgb.push_back(static_cast<unsigned char>(i * 37 + 11));
    char dir[] = "/tmp/capture-png-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/a.png";
    std::string error;
    ASSERT_TRUE(capture::writePng(path, image, &error)) << error;
    capture::Image back;
    ASSERT_TRUE(capture::readPng(path, back, &error)) << error;
    EXPECT_EQ(back.width, 17u);
    EXPECT_EQ(back.height, 5u);
    EXPECT_EQ(back.rgb, image.rgb);

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
