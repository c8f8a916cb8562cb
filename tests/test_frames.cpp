// Golden frames: whole frames rendered through the demo's own frame code and
// compared with stored renders of the same moments and sizes. They were made
// with `capture --size WxH --at T` (tests/golden/NAME.png) on the renderer
// that tests/golden/renderer.txt names. llvmpipe gives the same bytes run
// after run on one Mesa version; the tolerance (no channel off by more than
// 3 of 255 in all but 0.5 % of the pixels) absorbs rounding changes that do
// not change the picture. Another renderer skips, except in CI, which must
// run on the recorded one.
#include "capture_output.h"
#include "frame.h"
#include "gl_context.h"

#include <cstdlib>
#include <fstream>
#include <memory>

namespace {

std::string glText(GLenum name) { return reinterpret_cast<const char*>(glGetString(name)); }

TEST(GoldenFrames, MatchTheStoredRenders) {
    testgl::ensureContext();
    std::ifstream file(std::string(GOLDEN_DIR) + "/renderer.txt");
    std::string recorded;
    std::getline(file, recorded);
    const std::string renderer = glText(GL_VERSION) + " on " + glText(GL_RENDERER);
    if (renderer != recorded) {
        if (std::getenv("CI")) FAIL() << "CI must render on " << recorded << ", not " << renderer;
        GTEST_SKIP() << "the golden frames were made on " << recorded << ", this is " << renderer;
    }
    demo::World world;
    const glm::mat4 projection = demo::cameraProjection();
    demo::setGlobalState();
    const struct { const char* name; float t; int width, height; } frames[] = {
        {"t3", 3, 160, 90},      {"t10", 10, 160, 90},    {"t20", 20, 160, 90},   {"t30", 30, 160, 90},
        {"t44", 44, 160, 90},    {"t50", 50, 160, 90},    {"t55", 55, 160, 90},   {"t62", 62, 160, 90},
        {"t67.3", 67.3f, 160, 90}, {"t80", 80, 160, 90},  {"t90", 90, 160, 90},
        {"t40-200x150", 40, 200, 150}, {"t67.3-640x360", 67.3f, 640, 360},
    };
    for (const auto& f : frames) {
        testgl::Target output(f.width, f.height, GL_RGBA8);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        demo::FrameTargets targets(world, demo::letterbox(f.width, f.height), output.framebuffer);
        demo::renderFrame(world, targets, projection, demo::choreograph(f.t), f.t);
        std::vector<unsigned char> rgba(std::size_t(f.width) * f.height * 4);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, output.framebuffer);
        glReadPixels(0, 0, f.width, f.height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        capture::Image got, want;
        got.width = std::uint32_t(f.width), got.height = std::uint32_t(f.height);
        capture::flipToRgb(rgba.data(), got);
        std::string error;
        ASSERT_TRUE(capture::readPng(std::string(GOLDEN_DIR) + "/" + f.name + ".png", want, &error)) << error;
        ASSERT_EQ(got.rgb.size(), want.rgb.size()) << f.name;
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
        if (differing > f.width * f.height / 200) {
            const std::string diff = std::string(DIFF_DIR) + "/golden-diff-" + f.name + ".png";
            capture::writePng(diff, difference, &error);
            ADD_FAILURE() << differing << " pixels differ in " << f.name << "; the difference, 16 times brighter, is "
                          << diff;
        }
    }
    EXPECT_TRUE(testgl::takeErrors().empty());
}

} // namespace
