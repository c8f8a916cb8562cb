// Golden frames of the capture program, and what it does with bad input:
// a clear message, a non-zero status and no file that looks complete.
#include "capture_output.h"
#include "capture_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using testcapture::run;
using testcapture::Result;

class CaptureChecks : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X server (run the tests through scripts/test.sh)";
        dir = testcapture::scratchDir();
    }
    void TearDown() override {
        if (!dir.empty()) fs::remove_all(dir);
    }
    // Every file below the scratch directory, relative to it.
    std::vector<std::string> files() const {
        std::vector<std::string> list;
        for (const auto& entry : fs::recursive_directory_iterator(dir))
            list.push_back(fs::relative(entry.path(), dir).string());
        std::sort(list.begin(), list.end());
        return list;
    }
    void fakeFfmpeg(const std::string& body) {
        fs::create_directories(dir + "/bin");
        std::ofstream(dir + "/bin/ffmpeg") << "#!/bin/sh\n" << body << "\n";
        fs::permissions(dir + "/bin/ffmpeg", fs::perms::owner_all);
    }
    std::string dir;
};

// Golden frames: five moments at 160x90, compared with renders stored with
// the renderer that made them. llvmpipe gives the same bytes run after run on
// one Mesa version; the tolerance (no channel off by more than 3 of 255 in
// all but 0.5 % of the pixels) absorbs rounding changes that do not change
// the picture. Another renderer skips rather than fails.
TEST_F(CaptureChecks, GoldenFramesMatchTheStoredRenders) {
    std::ifstream file(std::string(GOLDEN_DIR) + "/renderer.txt");
    std::string recorded;
    std::getline(file, recorded);
    ASSERT_FALSE(recorded.empty()) << "tests/golden/renderer.txt is missing";
    for (const char* moment : {"3", "30", "50", "67.3", "80"}) {
        const std::string out = dir + "/t" + moment + ".png";
        const Result r = run(std::string("--size 160x90 --at ") + moment + " '" + out + "'");
        ASSERT_EQ(r.status, 0) << r.output;
        const std::size_t at = r.output.find("capture: OpenGL ");
        const std::string renderer = r.output.substr(at + 16, r.output.find('\n', at) - at - 16);
        if (renderer != recorded)
            GTEST_SKIP() << "the golden frames were made on " << recorded << ", this is " << renderer;
        capture::Image got, want;
        std::string error;
        ASSERT_TRUE(capture::readPng(out, got, &error)) << error;
        ASSERT_TRUE(capture::readPng(std::string(GOLDEN_DIR) + "/t" + moment + ".png", want, &error)) << error;
        ASSERT_EQ(got.rgb.size(), want.rgb.size());
        capture::Image difference = got;
        int differing = 0;
        for (std::size_t p = 0; p < got.rgb.size(); p += 3) {
            int worst = 0;
            for (std::size_t c = p; c < p + 3; ++c) {
                const int d = std::abs(int(got.rgb[c]) - int(want.rgb[c]));
                worst = std::max(worst, d);
                difference.rgb[c] = static_cast<unsigned char>(std::min(255, d * 16));
            }
            differing += worst > 3;
        }
        const int allowed = int(got.width * got.height) / 200;
        if (differing > allowed) {
            const std::string diff = std::string(DIFF_DIR) + "/golden-diff-t" + moment + ".png";
            capture::writePng(diff, difference, &error);
            ADD_FAILURE() << differing << " pixels differ at t = " << moment << " (" << allowed
                          << " allowed); the difference, 16 times brighter, is " << diff;
        }
    }
}

// Refused before anything is rendered or written: the scratch directory
// stays empty.
TEST_F(CaptureChecks, BadInputIsRefusedAndLeavesNoFile) {
    struct Case {
        std::string args, environment, says;
    } cases[] = {
        {"--size 0x0 {}/a.mp4", "", "too small"},
        {"--size -320x180 {}/a.mp4", "", "--size takes WIDTHxHEIGHT"},
        {"--size 100000x100000 {}/a.mp4", "", "too large"},
        {"--size 321x181 {}/a.mp4", "", "is odd"},
        {"--from 90 --to 97 {}/a.mp4", "", "outside the demo"},
        {"--from -1 --to 2 {}/a.mp4", "", "outside the demo"},
        {"--from 50 --to 40 {}/a.mp4", "", "must come after"},
        {"--at 96 {}/a.png", "", "outside the demo"},
        {"--size 320x180 {}/missing/a.mp4", "", "cannot write"},
        {"--size 320x180 --at 3 {}/missing/a.png", "", "cannot write"},
        {"--size 320x180 --sequence {}/missing/frames", "", "cannot make the directory"},
        {"--size 320x180 {}/a.mp4", "env PATH=/nonexistent", "ffmpeg was not found"},
        {"--size 320x180 --soundtrack {}/none.mp3 {}/a.mp4", "", "cannot read the soundtrack"},
        {"--size 320x180 {}/a.mp4", "env -u DISPLAY", "xvfb-run"},
    };
    for (Case& c : cases) {
        std::string args = c.args;
        for (std::size_t at; (at = args.find("{}")) != std::string::npos;) args.replace(at, 2, dir);
        const Result r = run(args, c.environment);
        EXPECT_NE(r.status, 0) << c.args;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << ": " << r.output;
        EXPECT_EQ(files(), std::vector<std::string>{}) << c.args;
    }
}

// ffmpeg that fails, that quits without reading (the pipe breaks), or a
// capture interrupted midway: the partial video is removed.
TEST_F(CaptureChecks, AFailingOrInterruptedEncoderLeavesNoVideo) {
    const std::string path = "PATH=" + dir + "/bin:/usr/bin:/bin";
    const std::string args = "--size 320x180 --fps 30 --from 0 --to 0.2 '" + dir + "/a.mp4'";
    fakeFfmpeg("cat >/dev/null; echo 'fake encoder fails' >&2; exit 3");
    Result r = run(args, "env " + path);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.output.find("ffmpeg failed with exit status 3"), std::string::npos) << r.output;
    EXPECT_EQ(files(), (std::vector<std::string>{"bin", "bin/ffmpeg"}));

    // It writes something where the video goes, reports success, and reads
    // nothing: a frame of 320x180 overfills the pipe's buffer.
    fakeFfmpeg("for last; do :; done; echo junk > \"$last\"; exit 0");
    r = run(args, "env " + path);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.output.find("broken pipe"), std::string::npos) << r.output;
    EXPECT_EQ(files(), (std::vector<std::string>{"bin", "bin/ffmpeg"}));

    fs::remove_all(dir + "/bin");
    r = run("--size 320x180 --fps 30 --from 0 --to 90 '" + dir + "/a.mp4'",
            "timeout -s INT --preserve-status 3");
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(files(), std::vector<std::string>{}) << r.output;
}

TEST_F(CaptureChecks, AnExistingSequenceDirectoryIsNotOverwritten) {
    fs::create_directories(dir + "/frames");
    std::ofstream(dir + "/frames/mine.txt") << "keep";
    const Result r = run("--size 32x18 --fps 30 --from 0 --to 0.1 --sequence '" + dir + "/frames'");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.output.find("already exists"), std::string::npos) << r.output;
    EXPECT_EQ(files(), (std::vector<std::string>{"frames", "frames/mine.txt"}));
}

} // namespace

namespace {

// The profile's table: a row per pass in frame order, then the whole frame;
// the passes add up to the frame, and with four frames the 95th percentile
// is the slowest, never below the mean.
TEST_F(CaptureChecks, TheProfileTimesEveryPassInOrder) {
    const Result r = run("--profile --size 64x36 --fps 2 --from 3 --to 5");
    ASSERT_EQ(r.status, 0) << r.output;
    std::map<std::string, std::pair<double, double>> rows;
    std::vector<std::string> order;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);) {
        // A row: the name in 28 columns, then the mean (and the percentile).
        if (line.size() < 29) continue;
        std::istringstream values(line.substr(28));
        double mean = -1.0, p95 = -1.0;
        if (!(values >> mean)) continue;
        values >> p95;
        std::string name = line.substr(0, 28);
        name.erase(name.find_last_not_of(' ') + 1);
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
    const double frame = rows["whole frame (GPU)"].first;
    EXPECT_NEAR(sum, frame, 0.01 * frame + 0.01);
    // The shadow map is 4096 texels square whatever the output size: at
    // 64x36 it costs more than any pass that works on the picture.
    EXPECT_GT(rows["shadow"].first, rows["blur 1"].first);
    for (const char* cpu : {"CPU: choreography", "CPU: pose + model update", "CPU: whole frame"})
        EXPECT_GT(rows[cpu].first, 0.0) << cpu;
    EXPECT_GT(rows["process start to first frame"].first, 0.0);
}

} // namespace
