// The eight programs as a viewer meets them: they build without a word, the
// start-up checks pass them, properties of the scaled picture hold whatever
// the artistic constants, and whole frames rendered through the demo's own
// frame code match stored renders of the same moments and sizes, the golden
// frames (which also catch a changed blur, tone curve, shadow border or
// depth program). Those were made with
// `capture --size WxH --at T` (tests/golden/NAME.png) on the renderer that
// tests/golden/renderer.txt names. llvmpipe gives the same bytes run after
// run on one Mesa version; the tolerance (no channel off by more than 3 of
// 255 in all but 0.5 % of the pixels) absorbs the rounding changes between
// Mesa versions, which do not change the picture. Another renderer family
// skips, except in CI, which must run on the recorded family (llvmpipe) of
// whatever version.
#include "capture_output.h"
#include "frame.h"
#include "gl_context.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <cmath>
#include <memory>
#include <tuple>

namespace {

class Programs : public testgl::GlTest {
protected:
    static void SetUpTestSuite() {
        testgl::ensureContext();
        ::testing::internal::CaptureStdout();
        world = std::make_unique<demo::World>();
        buildLog = ::testing::internal::GetCapturedStdout();
    }
    static void TearDownTestSuite() { world.reset(); }

    static inline std::unique_ptr<demo::World> world;
    static inline std::string buildLog;
};

TEST_F(Programs, AllEightBuildWithoutALog) { EXPECT_EQ(buildLog, ""); }

// Scaled, the scene and bloom images are that fraction of the letterbox in
// whole pixels, never empty; the composite still covers the letterbox.
TEST_F(Programs, ScaledImagesKeepTheLetterbox) {
    const struct { std::uint32_t w, h; float scale; std::uint32_t iw, ih; } cases[] = {
        {641, 361, 1.0f, 641, 361}, {641, 361, 0.5f, 320, 180}, {640, 360, 0.25f, 160, 90}, {3, 3, 0.25f, 1, 1}};
    for (const auto& c : cases) {
        const demo::FrameTargets targets(*world, {7, 5, c.w, c.h}, 0, c.scale);
        GLint width = 0, height = 0;
        glGetTextureLevelParameteriv(targets.blurTextureB.id, 0, GL_TEXTURE_WIDTH, &width);
        glGetTextureLevelParameteriv(targets.blurTextureB.id, 0, GL_TEXTURE_HEIGHT, &height);
        EXPECT_EQ(std::make_tuple(targets.image.width, targets.image.height, width, height, targets.screenTarget.width),
                  std::make_tuple(c.iw, c.ih, GLint(c.iw), GLint(c.ih), c.w)) << c.scale;
    }
}

// The start-up checks pass what was made, and name the image or the shadow
// map whose framebuffer the driver cannot draw into (here one left without
// anything attached).
TEST_F(Programs, StartUpChecksNameAnImageTheDriverCannotDrawInto) {
    EXPECT_EQ(demo::checkWorld(*world), "");
    // They leave bound what was, such as an off-screen output's framebuffer.
    const demo::FrameTargets made(*world, {0, 0, 64, 36});
    glBindFramebuffer(GL_FRAMEBUFFER, world->shadowTarget.framebuffer);
    EXPECT_EQ(demo::checkTargets(made), "");
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(GLuint(bound), world->shadowTarget.framebuffer);
    const char* const names[] = {"scene image", "first bloom image", "second bloom image"};
    for (int broken = 0; broken < 3; ++broken) {
        const demo::FrameTargets targets(*world, {0, 0, 64, 36});
        const Tovik::RenderTarget* images[] = {&targets.sceneTarget, &targets.blurTargetA, &targets.blurTargetB};
        glBindFramebuffer(GL_FRAMEBUFFER, images[broken]->framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, 0);
        EXPECT_EQ(demo::checkTargets(targets), std::string("the GL driver cannot draw into the ") + names[broken] +
                                                   " (GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT)");
    }
    glBindFramebuffer(GL_FRAMEBUFFER, world->shadowTarget.framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, 0, 0);
    EXPECT_EQ(demo::checkWorld(*world),
              "the GL driver cannot draw into the shadow map (GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT)");
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, world->shadowTexture.id, 0);
}

std::string glText(GLenum name) { return reinterpret_cast<const char*>(glGetString(name)); }

// One frame through the demo's own frame code into an image of the given
// size, whose buffer first held another colour: the frame must clear the
// bars around the letterbox itself, as the window's back buffer holds
// anything after a swap.
capture::Image frameAt(demo::World& world, float t, int width, int height, float scale = 1.0f) {
    testgl::Target output(width, height, GL_RGBA8);
    glClearColor(1, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    demo::setGlobalState();
    demo::FrameTargets targets(world, demo::letterbox(std::uint32_t(width), std::uint32_t(height)),
                               output.framebuffer, scale);
    demo::renderFrame(world, targets, demo::cameraProjection(), demo::choreograph(t), t);
    std::vector<unsigned char> rgba(std::size_t(width) * height * 4);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, output.framebuffer);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    capture::Image image;
    image.width = std::uint32_t(width), image.height = std::uint32_t(height);
    capture::flipToRgb(rgba.data(), image);
    return image;
}

// Peak signal to noise ratio of two images of one size, in dB.
double psnr(const capture::Image& a, const capture::Image& b) {
    double sum = 0.0;
    for (std::size_t i = 0; i < a.rgb.size(); ++i) sum += (a.rgb[i] - b.rgb[i]) * (a.rgb[i] - b.rgb[i]);
    return 10.0 * std::log10(255.0 * 255.0 * double(a.rgb.size()) / std::max(sum, 1e-9));
}

// Scaled down, the shadow map shrinks with the picture (to the nearest
// power of two, never below 1024), and a smaller map casts the same
// shadows: the frame where they are clearest, rendered with a 1024 map, is
// the full map's but for softer edges.
TEST_F(Programs, ASmallerShadowMapCastsTheSameShadows) {
    const std::pair<float, unsigned> sizes[] = {{1.0f, 4096}, {0.75f, 4096}, {0.7f, 2048}, {0.5f, 2048},
                                                {0.36f, 2048}, {0.35f, 1024}, {0.25f, 1024}};
    for (const auto& [scale, size] : sizes) EXPECT_EQ(demo::shadowMapSizeFor(scale), size) << scale;
    demo::World small(1024);
    EXPECT_EQ(small.shadowTarget.width, 1024u);
    const double similar = psnr(frameAt(*world, 30.0f, 320, 180), frameAt(small, 30.0f, 320, 180));
    std::printf("a 1024 shadow map against 4096 at t = 30: %.1f dB\n", similar);
    EXPECT_GT(similar, 30.0);
}

// The renderer's family, the first word of GL_RENDERER: "llvmpipe" in
// "llvmpipe (LLVM 15.0.6, 256 bits)".
std::string family(const std::string& renderer) { return renderer.substr(0, renderer.find(' ')); }

TEST_F(Programs, GoldenFramesMatchTheStoredRenders) {
    // "GL_VERSION on GL_RENDERER" of the machine that made them.
    std::ifstream file(std::string(GOLDEN_DIR) + "/renderer.txt");
    std::string recorded;
    std::getline(file, recorded);
    const std::string renderer = glText(GL_VERSION) + " on " + glText(GL_RENDERER);
    const std::string made = family(recorded.substr(recorded.find(" on ") + 4));
    if (family(glText(GL_RENDERER)) != made) {
        if (std::getenv("CI")) FAIL() << "CI must render on " << made << " (as " << recorded << "), not " << renderer;
        GTEST_SKIP() << "the golden frames were made on " << recorded << ", this is " << renderer;
    }
    const struct { const char* name; float t; int width, height; } frames[] = {
        {"t3", 3, 160, 90},      {"t10", 10, 160, 90},    {"t20", 20, 160, 90},   {"t30", 30, 160, 90},
        {"t44", 44, 160, 90},    {"t50", 50, 160, 90},    {"t55", 55, 160, 90},   {"t62", 62, 160, 90},
        {"t67.3", 67.3f, 160, 90}, {"t80", 80, 160, 90},  {"t90", 90, 160, 90},
        {"t40-200x150", 40, 200, 150}, {"t67.3-640x360", 67.3f, 640, 360},
    };
    for (const auto& f : frames) {
        const capture::Image got = frameAt(*world, f.t, f.width, f.height);
        capture::Image want;
        std::string error;
        ASSERT_TRUE(capture::readPng(std::string(GOLDEN_DIR) + "/" + f.name + ".png", want, &error)) << error;
        ASSERT_EQ(got.rgb.size(), want.rgb.size()) << f.name;
        int differing = 0, largest = 0;
        for (std::size_t p = 0; p < got.rgb.size(); p += 3) {
            int worst = 0;
            for (std::size_t c = p; c < p + 3; ++c) worst = std::max(worst, std::abs(int(got.rgb[c]) - int(want.rgb[c])));
            differing += worst > 3;
            largest = std::max(largest, worst);
        }
        // `capture --size WxH --at T` shows the frame as it now renders.
        EXPECT_LE(differing, f.width * f.height / 200) << "pixels differ in " << f.name << " (by " << largest
            << " at most), made on " << recorded << ", rendered on " << renderer;
    }
    EXPECT_TRUE(testgl::takeErrors().empty());
}

} // namespace
