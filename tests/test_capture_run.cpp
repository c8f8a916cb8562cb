// The built capture program as a user runs it, under the test run's X
// server: a short video checked with ffprobe and against the PNG renders of
// the same moments and the soundtrack, golden frames, and bad input.
#include "capture_output.h"
#include "capture_process.h"
#include "gl_context.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using testcapture::run;
using testcapture::Result;
using testcapture::scratchDir;
using testcapture::soundtrack;

// ffprobe's key=value lines for one stream.
std::map<std::string, std::string> probe(const std::string& file, const char* stream) {
    const std::string text = testgl::capture(
        std::string("ffprobe -v error -count_frames -select_streams ") + stream +
        " -show_entries stream=codec_name,width,height,pix_fmt,color_space,color_transfer,"
        "color_primaries,color_range,r_frame_rate,nb_read_frames,duration,sample_rate "
        "-of default=nw=1 '" + file + "'");
    std::map<std::string, std::string> values;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

std::vector<float> readFloats(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<float> samples(bytes.size() / sizeof(float));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
    return samples;
}

double psnr(const capture::Image& a, const capture::Image& b) {
    double sum = 0.0;
    for (std::size_t i = 0; i < a.rgb.size(); ++i) {
        const double d = double(a.rgb[i]) - double(b.rgb[i]);
        sum += d * d;
    }
    const double mse = sum / double(a.rgb.size());
    return mse == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// A short stretch of the demo, made once for the whole suite: 2 s of video
// from 10 s, a PNG sequence of six frames from 10 s and the still at 10.1 s.
class ShortCapture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!std::getenv("DISPLAY")) return;
        dir = scratchDir();
        const std::string common = "--size 320x180 ";
        video = run(common + "--fps 30 --from 10 --to 12 '" + dir + "/short.mp4'");
        sequence = run(common + "--fps 30 --from 10 --to 10.2 --sequence '" + dir + "/frames'");
        still = run(common + "--at 10.1 '" + dir + "/still.png'");
    }
    static void TearDownTestSuite() {
        if (!dir.empty()) fs::remove_all(dir);
    }
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X server (run the tests through scripts/test.sh)";
    }
    static inline std::string dir;
    static inline Result video, sequence, still;
};

TEST_F(ShortCapture, TheVideoIsTaggedBt709H264WithAacOfTheRightLength) {
    ASSERT_EQ(video.status, 0) << video.output;
    EXPECT_FALSE(fs::exists(dir + "/short.mp4.part"));
    auto v = probe(dir + "/short.mp4", "v:0");
    EXPECT_EQ(v["codec_name"], "h264");
    EXPECT_EQ(v["width"], "320");
    EXPECT_EQ(v["height"], "180");
    EXPECT_EQ(v["pix_fmt"], "yuv420p");
    EXPECT_EQ(v["color_space"], "bt709");
    EXPECT_EQ(v["color_primaries"], "bt709");
    EXPECT_EQ(v["color_transfer"], "bt709");
    EXPECT_EQ(v["color_range"], "tv");
    EXPECT_EQ(v["r_frame_rate"], "30/1");
    EXPECT_EQ(v["nb_read_frames"], "60");
    EXPECT_NEAR(std::atof(v["duration"].c_str()), 2.0, 1e-3);
    auto a = probe(dir + "/short.mp4", "a:0");
    EXPECT_EQ(a["codec_name"], "aac");
    EXPECT_EQ(a["sample_rate"], "44100");
    // AAC comes in blocks of 1024 samples (23 ms): the sound may end up to
    // one block early or late, never seconds.
    EXPECT_NEAR(std::atof(a["duration"].c_str()), 2.0, 0.03);
}

// Frame 303 of the sequence is the moment 10.1 s, rendered exactly as the
// still; the video's frame 3 is the same picture through H.264 at CRF 18.
TEST_F(ShortCapture, TheFrameAtAMomentIsTheStillOfThatMoment) {
    ASSERT_EQ(sequence.status, 0) << sequence.output;
    ASSERT_EQ(still.status, 0) << still.output;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir + "/frames"))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"frame_000300.png", "frame_000301.png",
                                               "frame_000302.png", "frame_000303.png",
                                               "frame_000304.png", "frame_000305.png"}));
    capture::Image frame, single, decoded;
    std::string error;
    ASSERT_TRUE(capture::readPng(dir + "/frames/frame_000303.png", frame, &error)) << error;
    ASSERT_TRUE(capture::readPng(dir + "/still.png", single, &error)) << error;
    EXPECT_EQ(frame.rgb, single.rgb);
    capture::Image neighbour;
    ASSERT_TRUE(capture::readPng(dir + "/frames/frame_000302.png", neighbour, &error)) << error;
    EXPECT_NE(neighbour.rgb, single.rgb) << "the picture does not move";

    ASSERT_EQ(video.status, 0) << video.output;
    testgl::capture("ffmpeg -v error -y -i '" + dir + "/short.mp4' -vf 'select=eq(n\\,3)' "
                    "-vframes 1 '" + dir + "/decoded.png'");
    ASSERT_TRUE(capture::readPng(dir + "/decoded.png", decoded, &error)) << error;
    ASSERT_EQ(decoded.rgb.size(), single.rgb.size());
    EXPECT_GT(psnr(decoded, single), 30.0);
    // A different moment is much further away: the check sees the frame.
    EXPECT_LT(psnr(decoded, neighbour), psnr(decoded, single));
}

// The first second of the video's sound is the soundtrack from 10 s: the
// best match of the two, within ±25 ms, is at no shift and nearly perfect.
TEST_F(ShortCapture, TheSoundIsTheSoundtrackFromTheFirstFramesMoment) {
    ASSERT_EQ(video.status, 0) << video.output;
    testgl::capture("ffmpeg -v error -y -i '" + dir + "/short.mp4' -t 1 -ac 1 -ar 44100 -f f32le '" +
                    dir + "/video.raw'");
    testgl::capture("ffmpeg -v error -y -ss 10 -t 1 -i '" + soundtrack +
                    "' -ac 1 -ar 44100 -f f32le '" + dir + "/track.raw'");
    const std::vector<float> got = readFloats(dir + "/video.raw");
    const std::vector<float> want = readFloats(dir + "/track.raw");
    ASSERT_GE(got.size(), 44000u);
    ASSERT_GE(want.size(), 44000u);
    const int window = 22050, reach = 1102;
    double energy = 0.0;
    for (int i = reach; i < window; ++i) energy += double(want[i]) * want[i];
    ASSERT_GT(energy / window, 1e-4) << "the soundtrack is silent there";
    double best = -1.0;
    int bestLag = 0;
    for (int lag = -reach; lag <= reach; ++lag) {
        double dot = 0.0, other = 0.0;
        for (int i = reach; i < window; ++i) {
            dot += double(want[i]) * got[i + lag];
            other += double(got[i + lag]) * got[i + lag];
        }
        const double correlation = dot / std::sqrt(energy * other + 1e-30);
        if (correlation > best) best = correlation, bestLag = lag;
    }
    EXPECT_EQ(bestLag, 0);
    EXPECT_GT(best, 0.98);
}

} // namespace
