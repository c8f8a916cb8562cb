// The built capture program as a user runs it, with the test run's X server
// and without any: a short video checked with ffprobe and against the PNG
// renders of the same moments and the soundtrack, and every way it can fail,
// each with a message, a non-zero status and no file that looks done.
#include "capture_output.h"
#include "process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>

namespace {

namespace fs = std::filesystem;
using testproc::Result;

// The build's soundtrack is named first, so a later --soundtrack wins.
Result capture(const std::string& arguments, const std::string& environment = "", bool quiet = true) {
    return testproc::shell(environment + " '" CAPTURE_BINARY "' " + (quiet ? "--quiet " : "") + "--soundtrack '"
                           SOUNDTRACK_MP3 "' " + arguments + " 2>&1");
}

// The number after the last `key` in what an ffmpeg command prints.
double measured(const std::string& command, const std::string& key) {
    const std::string out = testproc::shell("ffmpeg -hide_banner -nostats " + command + " -f null - 2>&1").output;
    const std::size_t at = out.rfind(key);
    return at == std::string::npos ? NAN : std::atof(out.c_str() + at + key.size());
}

class CaptureRun : public ::testing::Test {
protected:
    void SetUp() override { dir = testproc::scratchDir(); }
    void TearDown() override {
        if (!dir.empty()) fs::remove_all(dir);
    }
    std::vector<std::string> files() const {
        std::vector<std::string> list;
        for (const auto& entry : fs::recursive_directory_iterator(dir)) list.push_back(fs::relative(entry.path(), dir).string());
        std::sort(list.begin(), list.end());
        return list;
    }
    std::string dir;
};

// 2 s of video from 10.5 s, six PNG frames from 10.5 s and the still at
// 10.6 s: the video is what players expect, frame 318 of the sequence is the
// still (the same moment), the video's frame 3 is that picture through
// H.264, and its sound is the soundtrack from the first frame's moment. The
// video and the still are made with no display at all, through EGL; the
// sequence through the test run's X server where there is one, so that the
// two ways give the same picture, byte for byte. A profile at a quarter
// scale renders quarter-size images with the smallest shadow map.
TEST_F(CaptureRun, AShortVideoItsFramesItsSoundAndAProfile) {
    const std::string size = "--size 320x180 ";
    const struct { std::string args, environment; } runs[] = {
        {"--fps 30 --from 10.5 --to 12.5 '" + dir + "/short.mp4'", "env -u DISPLAY"},
        {"--fps 30 --from 10.5 --to 10.7 --sequence '" + dir + "/frames'", ""},
        {"--at 10.6 '" + dir + "/still.png'", "env -u DISPLAY"},
    };
    Result r;
    for (const auto& run : runs) {
        r = capture(size + run.args, run.environment);
        ASSERT_EQ(r.status, 0) << r.output;
        const bool x = std::getenv("DISPLAY") && run.environment.empty();
        EXPECT_EQ(std::regex_search(r.output, std::regex("^capture: rendering through EGL, on [^\n]+\ncapture: OpenGL")), !x)
            << run.args << ": " << r.output;
    }
    // Quiet, it names where it rendered, the renderer and what it wrote, and
    // nothing else.
    EXPECT_EQ(r.output.substr(r.output.find('\n', r.output.find('\n') + 1)), "\ncapture: wrote " + dir + "/still.png (1 frames)\n");
    r = capture(size + "--fps 2 --to 1 --profile --scale 0.25", "", false);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("2 frames at 320x180 from 0 s at 2 fps, OpenGL "), std::string::npos) << r.output;
    // Its progress, from the first frame on.
    EXPECT_TRUE(std::regex_search(r.output, std::regex("\r\\[#{15}\\.{15}\\] 1/2 frames .*\r\\[#{30}\\] 2/2 frames ")))
        << r.output;
    EXPECT_NE(r.output.find("\nscene and bloom images 80x45, shadow map 1024x1024\n"), std::string::npos) << r.output;
    // Then the table: a mean and a 95th percentile for every pass, the
    // whole frame and the CPU's share, and the start-up.
    const std::string row = " +[0-9]+\\.[0-9]{3} +[0-9]+\\.[0-9]{3}\n";
    EXPECT_TRUE(std::regex_search(r.output, std::regex("\npass +mean ms +p95 ms\nshadow" + row + "sky" + row +
                                                       "scene geometry" + row + "(blur [1-9]" + row + ")+composite" +
                                                       row + "whole frame \\(GPU\\)" + row + "(CPU: [a-z +]+" + row +
                                                       "){4}process start to first frame +[0-9]+\\.[0-9]{3} s\n$")))
        << r.output;

    auto probe = [&](const std::string& stream, const std::string& entries) {
        return testproc::shell("ffprobe -v error -count_frames -select_streams " + stream + " -show_entries stream=" +
                               entries + " -of compact=p=0 '" + dir + "/short.mp4'").output;
    };
    EXPECT_EQ(probe("v:0", "codec_name,width,height,pix_fmt,color_range,color_space,color_transfer,color_primaries,"
                           "r_frame_rate,duration,nb_read_frames"),
              "codec_name=h264|width=320|height=180|pix_fmt=yuv420p|color_range=tv|color_space=bt709|"
              "color_transfer=bt709|color_primaries=bt709|r_frame_rate=30/1|duration=2.000000|nb_read_frames=60\n");
    // The sound is padded or cut to the frames' length.
    EXPECT_EQ(probe("a:0", "codec_name,sample_rate,duration"), "codec_name=aac|sample_rate=44100|duration=2.000000\n");

    std::vector<std::string> expected = {"frames", "short.mp4", "still.png"};
    for (int n = 315; n < 321; ++n) expected.push_back("frames/" + capture::SequenceSink::frameName(n));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(files(), expected);
    // The same moment: the same picture, byte for byte.
    EXPECT_EQ(testproc::shell("cmp '" + dir + "/still.png' '" + dir + "/frames/frame_000318.png'").status, 0);
    auto psnr = [&](const char* png) {
        return measured("-i '" + dir + "/short.mp4' -i '" + dir + "/" + png +
                        "' -lavfi '[0:v]select=eq(n\\,3)[a];[a][1:v]psnr'", "average:");
    };
    const double same = psnr("still.png"), other = psnr("frames/frame_000317.png");
    EXPECT_GT(same, 30.0);
    EXPECT_LT(other, same - 5.0) << "the frames do not move";
    // The video's first second of sound minus the soundtrack's from 10.5 s:
    // next to nothing (a few milliseconds off would leave -10 dB).
    EXPECT_LT(measured("-i '" + dir + "/short.mp4' -ss 10.5 -i '" SOUNDTRACK_MP3 "' -filter_complex '"
                       "[0:a]aformat=sample_fmts=flt:channel_layouts=mono,atrim=0:1[a];"
                       "[1:a]aformat=sample_fmts=flt:channel_layouts=mono,atrim=0:1[b];"
                       "[a][b]amerge,pan=mono|c0=c0-c1,astats=metadata=1,ametadata=print:key=lavfi.astats.Overall.RMS_level'",
                       "RMS_level="), -30.0);
}

// Refused before anything is rendered or written, or failing later: either
// way a message, a non-zero status, and nothing under the output's name.
// `{}` stands for the scratch directory.
TEST_F(CaptureRun, FailuresSaySoAndLeaveNoOutput) {
    // A fake encoder's folder, and names already taken by folders that are
    // not empty.
    for (const char* taken : {"/bin", "/lib", "/taken.png/keep", "/taken.mp4/keep"}) fs::create_directories(dir + taken);
    std::ofstream(dir + "/bin/ffmpeg").close();
    std::ofstream(dir + "/lib/libEGL.so.1").close();
    const std::vector<std::string> before = files();
    const std::string video = "--size 320x180 --fps 30 --from 0 --to 0.2 {}/a.mp4", fake = "env PATH={}/bin:/usr/bin:/bin";
    // The fake encoder's script, when the environment puts it first on PATH
    // (or alone, between two folders that are not there).
    const struct { std::string args, environment, says, ffmpeg = ""; } cases[] = {
        {"--size 0x0 {}/a.mp4", "", "too small"},
        {"--size 320x180 {}/missing/a.mp4", "", "cannot write"},
        {"--size 320x180 --at 3 {}/missing/a.png", "", "cannot write"},
        {"--size 320x180 --sequence {}/missing/frames", "", "cannot make the directory"},
        {"--size 32x18 --fps 30 --from 0 --to 0.1 --sequence {}/taken.png", "", "already exists"},
        {"--size 320x180 {}/a.mp4", "env PATH=/nonexistent", "ffmpeg was not found"},
        {"--size 320x180 --soundtrack {}/none.mp3 {}/a.mp4", "", "cannot read the soundtrack"},
        // No display and no EGL (a library that is not one in its place), or
        // --headless: through EGL even where an X server answers. Then EGL
        // without a vendor, one that makes no context (Mesa's platform, then
        // its software device), one too old.
        {"--size 320x180 {}/a.mp4", "env -u DISPLAY LD_LIBRARY_PATH={}/lib",
         "^capture: no X display, and EGL is missing: .*libEGL.so.1.*install libegl1.*xvfb-run"},
        {"--headless --size 32x18 --at 3 {}/a.png", "env LD_LIBRARY_PATH={}/lib", "^capture: EGL is missing.*install libegl1"},
        {"--headless --size 32x18 --at 3 {}/a.png", "env __EGL_VENDOR_LIBRARY_FILENAMES={}/none.json",
         "EGL offers no platform without a display.*install an EGL driver: libegl-mesa0"},
        {"--headless --size 32x18 --at 3 {}/a.png", "env MESA_GL_VERSION_OVERRIDE=2.1", "EGL made no OpenGL context .*: Mesa's surfaceless platform made no context \\(EGL error 0x3009\\); "
         "EGL device 0 \\(software\\) made no context \\(EGL error 0x3009\\); install a driver with desktop OpenGL: libgl1-mesa-dri"},
        {"--headless --size 32x18 --at 3 {}/a.png", "env MESA_GL_VERSION_OVERRIDE=3.2", "3.3 or later is required.*offers OpenGL 3.2"},
        {video, "env PATH=/nonexistent:{}/bin:/nonexistent", "ffmpeg failed with exit status 3",
         "/bin/cat >/dev/null; echo 'fake encoder fails' >&2; exit 3"},
        // Started with SIGCHLD ignored, which would have ffmpeg reaped unseen.
        {video, "trap '' CHLD; " + fake, "ffmpeg failed with exit status 3", "cat >/dev/null; exit 3"},
        // It writes where the video goes and reports success without reading
        // a byte: one 320x180 frame overfills the pipe.
        {video, fake, "broken pipe", "for last; do :; done; echo junk > \"$last\"; exit 0"},
        {video, fake, "reported success but wrote nothing", "cat >/dev/null; exit 0"},
        // Everything is written, but the last step, the rename, fails: the
        // name is taken by a directory that is not empty.
        {"--size 32x18 --at 3 {}/taken.png", "", "cannot rename"},
        {"--size 32x18 --fps 30 --from 0 --to 0.1 {}/taken.mp4", "", "cannot rename"},
    };
    for (const auto& c : cases) {
        std::ofstream(dir + "/bin/ffmpeg") << "#!/bin/sh\n" << c.ffmpeg << "\n";
        fs::permissions(dir + "/bin/ffmpeg", fs::perms::owner_all);
        std::string args = c.args, environment = c.environment;
        for (std::string* s : {&args, &environment})
            for (std::size_t at; (at = s->find("{}")) != std::string::npos;) s->replace(at, 2, dir);
        const Result r = capture(args, environment);
        EXPECT_NE(r.status, 0) << c.args;
        EXPECT_TRUE(std::regex_search(r.output, std::regex(c.says))) << c.args << ": " << r.output;
        EXPECT_EQ(r.output.find("capture: wrote"), std::string::npos) << c.args << ": " << r.output;
        EXPECT_EQ(files(), before) << c.args;
    }
}

// Ctrl-C goes to the terminal's whole foreground group, here capture's, and
// capture alone acts on it: it ends ffmpeg, removes the partial output, says
// so last and exits 130 (143 for SIGTERM, 129 for a closed terminal's SIGHUP). The stand-in encoder signals at a
// moment it knows and speaks if the signal reaches it too; not ended within
// 30 s, it speaks and finishes a video. Its moments: every frame read, so
// that capture waits for it to finish; part of the first frame read, so that
// capture is stuck writing the rest. A sequence's Ctrl-C comes from outside
// once the first PNG is there.
TEST_F(CaptureRun, InterruptedItEndsTheEncoderAndLeavesNoOutput) {
    fs::create_directories(dir + "/bin");
    const std::string video = "--size 320x180 --fps 30 --from 0 --to 0.2 {}/a.mp4";
    const struct { std::string args, ffmpeg, outside; int status; } cases[] = {
        {video, "cat >/dev/null; kill -INT -$PPID", ":", 130},
        {video, "dd bs=1 count=1 of=/dev/null status=none; kill -TERM $PPID", ":", 143},
        {video, "cat >/dev/null; kill -HUP $PPID", ":", 129},
        {"--size 32x18 --fps 30 --from 0 --to 20 --sequence {}/frames", "",
         "until [ -e {}/frames.part/frame_000000.png ] || ! kill -0 $!; do sleep 0.01; done; kill -INT -$!", 130},
    };
    for (const auto& c : cases) {
        std::ofstream(dir + "/bin/ffmpeg") << "#!/bin/sh\ntrap 'echo ffmpeg: interrupted too; exit 255' INT\n"
                                           << "for last; do :; done\n" << c.ffmpeg << "\n"
                                           << "sleep 30 </dev/null >/dev/null 2>&1; echo ffmpeg: not ended; echo v >\"$last\"\n";
        fs::permissions(dir + "/bin/ffmpeg", fs::perms::owner_all);
        std::string command = "PATH={}/bin:$PATH setsid '" CAPTURE_BINARY "' --quiet --soundtrack '" SOUNDTRACK_MP3 "' " +
                              c.args + " 2>&1 & " + c.outside + "; wait $!";
        for (std::size_t at; (at = command.find("{}")) != std::string::npos;) command.replace(at, 2, dir);
        const Result r = testproc::shell(command);
        EXPECT_EQ(r.status, c.status) << c.args << ": " << r.output;
        // It says that last, and nothing from or about ffmpeg.
        const std::string said = "capture: interrupted; the partial output is removed\n";
        EXPECT_EQ(r.output.substr(r.output.size() - std::min(r.output.size(), said.size())), said) << c.args;
        EXPECT_EQ(r.output.find("ffmpeg"), std::string::npos) << c.args << ": " << r.output;
        EXPECT_EQ(files(), (std::vector<std::string>{"bin", "bin/ffmpeg"})) << c.args;
    }
}

} // namespace
