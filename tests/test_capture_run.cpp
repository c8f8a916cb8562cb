// The built capture program as a user runs it, under the test run's X
// server: a short video checked with ffprobe and against the PNG renders of
// the same moments and the soundtrack, the profile, and every way it can
// fail, each with a message, a non-zero status and no file that looks done.
#include "capture_output.h"
#include "process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using testproc::Result;

// The build's soundtrack is named first, so a later --soundtrack wins.
Result capture(const std::string& arguments, const std::string& environment = "") {
    return testproc::shell(environment + " '" CAPTURE_BINARY "' --quiet --soundtrack '" SOUNDTRACK_MP3 "' " +
                           arguments + " 2>&1");
}

std::map<std::string, std::string> probe(const std::string& file, const char* stream) {
    std::map<std::string, std::string> values;
    std::istringstream lines(testproc::shell(
        std::string("ffprobe -v error -count_frames -select_streams ") + stream +
        " -show_entries stream=codec_name,width,height,pix_fmt,color_space,color_transfer,color_primaries,"
        "color_range,r_frame_rate,nb_read_frames,duration,sample_rate -of default=nw=1 '" + file + "'").output);
    for (std::string line; std::getline(lines, line);)
        if (line.find('=') != std::string::npos) values[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
    return values;
}

std::vector<float> rawSound(const std::string& args) {
    const std::string path = testproc::scratchDir() + "/sound.raw";
    testproc::shell("ffmpeg -v error -y " + args + " -t 1 -ac 1 -ar 44100 -f f32le '" + path + "'");
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<float> samples(bytes.size() / sizeof(float));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
    return samples;
}

double psnr(const capture::Image& a, const capture::Image& b) {
    double sum = 0.0;
    for (std::size_t i = 0; i < a.rgb.size(); ++i) sum += std::pow(double(a.rgb[i]) - double(b.rgb[i]), 2);
    return sum == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * double(a.rgb.size()) / sum);
}

class CaptureRun : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X server (run the tests through scripts/test.sh)";
        dir = testproc::scratchDir();
    }
    void TearDown() override {
        if (!dir.empty()) fs::remove_all(dir);
    }
    std::vector<std::string> files() const {
        std::vector<std::string> list;
        for (const auto& entry : fs::recursive_directory_iterator(dir)) list.push_back(fs::relative(entry.path(), dir).string());
        std::sort(list.begin(), list.end());
        return list;
    }
    capture::Image png(const std::string& name) {
        capture::Image image;
        std::string error;
        EXPECT_TRUE(capture::readPng(dir + "/" + name, image, &error)) << error;
        return image;
    }
    std::string dir;
};

// 2 s of video from 10.5 s, six PNG frames from 10.5 s and the still at
// 10.6 s: the video is what players expect, frame 318 of the sequence is the
// still (the same moment), the video's frame 3 is that picture through
// H.264, and its sound is the soundtrack from the first frame's moment.
TEST_F(CaptureRun, AShortVideoItsFramesAndItsSound) {
    const std::string size = "--size 320x180 ";
    Result r = capture(size + "--fps 30 --from 10.5 --to 12.5 '" + dir + "/short.mp4'");
    ASSERT_EQ(r.status, 0) << r.output;
    r = capture(size + "--fps 30 --from 10.5 --to 10.7 --sequence '" + dir + "/frames'");
    ASSERT_EQ(r.status, 0) << r.output;
    r = capture(size + "--at 10.6 '" + dir + "/still.png'");
    ASSERT_EQ(r.status, 0) << r.output;

    auto v = probe(dir + "/short.mp4", "v:0");
    const std::map<std::string, std::string> video = {
        {"codec_name", "h264"},     {"width", "320"},        {"height", "180"},       {"pix_fmt", "yuv420p"},
        {"color_space", "bt709"},   {"color_primaries", "bt709"}, {"color_transfer", "bt709"},
        {"color_range", "tv"},      {"r_frame_rate", "30/1"}, {"nb_read_frames", "60"}};
    for (const auto& [key, value] : video) EXPECT_EQ(v[key], value) << key;
    EXPECT_NEAR(std::atof(v["duration"].c_str()), 2.0, 1e-3);
    auto a = probe(dir + "/short.mp4", "a:0");
    EXPECT_EQ(a["codec_name"] + " " + a["sample_rate"], "aac 44100");
    // AAC comes in blocks of 1024 samples (23 ms): a block early or late, never more.
    EXPECT_NEAR(std::atof(a["duration"].c_str()), 2.0, 0.03);

    std::vector<std::string> expected = {"frames", "short.mp4", "still.png"};
    for (int n = 315; n < 321; ++n) expected.push_back("frames/" + capture::SequenceSink::frameName(n));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(files(), expected);
    const capture::Image still = png("still.png"), frame = png("frames/frame_000318.png"),
                         neighbour = png("frames/frame_000317.png");
    EXPECT_EQ(frame.rgb, still.rgb);
    EXPECT_NE(neighbour.rgb, still.rgb) << "the picture does not move";
    testproc::shell("ffmpeg -v error -y -i '" + dir + "/short.mp4' -vf 'select=eq(n\\,3)' -vframes 1 '" + dir +
                    "/decoded.png'");
    const capture::Image decoded = png("decoded.png");
    ASSERT_EQ(decoded.rgb.size(), still.rgb.size());
    EXPECT_GT(psnr(decoded, still), 30.0);
    EXPECT_LT(psnr(decoded, neighbour), psnr(decoded, still));

    // The best match of the two sounds within ±25 ms is at no shift.
    const std::vector<float> got = rawSound("-i '" + dir + "/short.mp4'");
    const std::vector<float> want = rawSound("-ss 10.5 -i '" SOUNDTRACK_MP3 "'");
    ASSERT_TRUE(got.size() >= 44000 && want.size() >= 44000);
    const int window = 22050, reach = 1102;
    double best = -1.0;
    int bestLag = 0;
    for (int lag = -reach; lag <= reach; ++lag) {
        double dot = 0.0, energy = 1e-30, other = 1e-30;
        for (int i = reach; i < window; ++i)
            dot += double(want[i]) * got[i + lag], energy += double(want[i]) * want[i], other += double(got[i + lag]) * got[i + lag];
        if (dot / std::sqrt(energy * other) > best) best = dot / std::sqrt(energy * other), bestLag = lag;
    }
    EXPECT_EQ(bestLag, 0);
    EXPECT_GT(best, 0.98);
}

// Refused before anything is rendered or written, or failing later: either
// way a message, a non-zero status, and nothing under the output's name.
// `{}` stands for the scratch directory.
TEST_F(CaptureRun, FailuresSaySoAndLeaveNoOutput) {
    // A fake encoder's folder, and names already taken by folders that are
    // not empty.
    for (const char* taken : {"/bin", "/taken.png/keep", "/taken.mp4/keep"}) fs::create_directories(dir + taken);
    std::ofstream(dir + "/bin/ffmpeg").close();
    const std::vector<std::string> before = files();
    const std::string video = "--size 320x180 --fps 30 --from 0 --to 0.2 {}/a.mp4", fake = "env PATH={}/bin:/usr/bin:/bin";
    // The fake encoder's script, when the environment puts it first on PATH.
    const struct { std::string args, environment, says, ffmpeg = ""; } cases[] = {
        {"--size 0x0 {}/a.mp4", "", "too small"},
        {"--from 50 --to 40 {}/a.mp4", "", "must come after"},
        {"--size 320x180 {}/missing/a.mp4", "", "cannot write"},
        {"--size 320x180 --at 3 {}/missing/a.png", "", "cannot write"},
        {"--size 320x180 --sequence {}/missing/frames", "", "cannot make the directory"},
        {"--size 32x18 --fps 30 --from 0 --to 0.1 --sequence {}/taken.png", "", "already exists"},
        {"--size 320x180 {}/a.mp4", "env PATH=/nonexistent", "ffmpeg was not found"},
        {"--size 320x180 --soundtrack {}/none.mp3 {}/a.mp4", "", "cannot read the soundtrack"},
        {"--size 320x180 {}/a.mp4", "env -u DISPLAY", "xvfb-run"},
        {video, fake, "ffmpeg failed with exit status 3", "cat >/dev/null; echo 'fake encoder fails' >&2; exit 3"},
        // It writes where the video goes and reports success without reading
        // a byte: one 320x180 frame overfills the pipe.
        {video, fake, "broken pipe", "for last; do :; done; echo junk > \"$last\"; exit 0"},
        {video, fake, "reported success but wrote nothing", "cat >/dev/null; exit 0"},
        // Everything is written, but the last step, the rename, fails: the
        // name is taken by a directory that is not empty.
        {"--size 32x18 --at 3 {}/taken.png", "", "cannot rename"},
        {"--size 32x18 --fps 30 --from 0 --to 0.1 {}/taken.mp4", "", "cannot rename"},
        {"--size 320x180 --fps 30 --from 0 --to 90 {}/a.mp4", "timeout -s INT --preserve-status 3", "interrupted"},
    };
    for (const auto& c : cases) {
        std::ofstream(dir + "/bin/ffmpeg") << "#!/bin/sh\n" << c.ffmpeg << "\n";
        fs::permissions(dir + "/bin/ffmpeg", fs::perms::owner_all);
        std::string args = c.args, environment = c.environment;
        for (std::string* s : {&args, &environment})
            for (std::size_t at; (at = s->find("{}")) != std::string::npos;) s->replace(at, 2, dir);
        const Result r = capture(args, environment);
        EXPECT_NE(r.status, 0) << c.args;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << ": " << r.output;
        EXPECT_EQ(files(), before) << c.args;
    }
}

// A row per pass in frame order, then the whole frame: the passes add up to
// the frame, and the 95th percentile is never below the mean.
TEST_F(CaptureRun, TheProfileTimesEveryPassInOrder) {
    const Result r = capture("--profile --size 64x36 --fps 2 --from 3 --to 5");
    ASSERT_EQ(r.status, 0) << r.output;
    std::map<std::string, std::pair<double, double>> rows;
    std::vector<std::string> order;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);) {
        // A row: the name in 28 columns, then the mean (and the percentile).
        double mean = -1.0, p95 = -1.0;
        std::istringstream values(line.size() > 28 ? line.substr(28) : "");
        if (!(values >> mean)) continue;
        values >> p95;
        const std::string name = line.substr(0, line.find_last_not_of(' ', 27) + 1);
        rows[name] = {mean, p95};
        order.push_back(name);
    }
    const std::vector<std::string> passes = {"shadow", "sky", "scene geometry", "blur 1", "blur 2",
                                             "blur 3", "blur 4", "blur 5", "blur 6", "composite"};
    ASSERT_GE(order.size(), passes.size() + 1) << r.output;
    EXPECT_EQ(std::vector<std::string>(order.begin(), order.begin() + 10), passes) << r.output;
    double sum = 0.0;
    for (const std::string& pass : passes) {
        EXPECT_GT(rows[pass].first, 0.0) << pass;
        EXPECT_GE(rows[pass].second, rows[pass].first) << pass;
        sum += rows[pass].first;
    }
    EXPECT_NEAR(sum, rows["whole frame (GPU)"].first, 0.01 * sum + 0.01);
    for (const char* row : {"CPU: choreography", "CPU: whole frame", "process start to first frame"})
        EXPECT_GT(rows[row].first, 0.0) << row;
}

} // namespace
