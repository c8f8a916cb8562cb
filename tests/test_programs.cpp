// The eight programs as a viewer meets them: they build without a word,
// properties hold that do not depend on the artistic constants, and whole
// frames rendered through the demo's own frame code match stored renders of
// the same moments and sizes, the golden frames. Those were made with
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

#include <glm/gtc/matrix_transform.hpp>

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

    // The frame's own off-screen images at a size of our choosing: the scene
    // filled with `value`, the bloom black.
    struct Images : demo::FrameTargets {
        Images(std::uint32_t w, std::uint32_t h, float value) : FrameTargets(*world, {0, 0, w, h}) {
            for (auto [target, v] : {std::pair{&sceneTarget, value}, {&blurTargetB, 0.0f}}) {
                target->bindForDrawing();
                glClearColor(v, v, v, 1.0f);
                glClear(GL_COLOR_BUFFER_BIT);
            }
        }
    };

    // The per-frame uniforms of a program that draws from a viewpoint.
    static void view(const Tovik::ShaderProgram& program, const glm::mat4& projection, const glm::mat4& camera) {
        glUseProgram(program.id);
        glUniformMatrix4fv(program.projectionLocation, 1, GL_FALSE, &projection[0][0]);
        glUniformMatrix4fv(program.cameraLocation, 1, GL_FALSE, &camera[0][0]);
        glUniform1f(program.timeLocation, 44.0f);
    }

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

// On a flat image, away from the edges, a pass keeps the value scaled by the
// weights' sum, 0.9999994, whatever the axis and the tap spacing.
TEST_F(Programs, BlurKeepsAFlatImage) {
    const Images image(640, 360, 2.0f);
    for (bool horizontal : {false, true})
        for (float scale : {0.0f, 1.0f, 4.0f}) {
            // One pass into a small target that shows the image's middle.
            testgl::Target target(8, 8);
            world->blurProgram.use();
            glUniform1ui(glGetUniformLocation(world->blurProgram.id, "horizontal"), horizontal);
            glUniform1f(glGetUniformLocation(world->blurProgram.id, "scale"), scale);
            glViewport(-300, -170, 640, 360);
            world->bloomfield.drawImpl(&image.sceneImage);
            const std::vector<float> out = target.read();
            for (std::size_t i = 0; i < out.size(); ++i)
                ASSERT_NEAR(out[i], i % 4 == 3 ? 1.0f : 2.0f * 0.9999994f, 1e-6f)
                    << "horizontal " << horizontal << " scale " << scale;
        }
}

// The composite's tone curve, read at the centre of the picture (where the
// vignette is 1) of a flat scene with black bloom: it never falls as the
// scene brightens, it reaches the same value for twice the scene at half the
// exposure, and it starts slightly below 0 (saturated minus black is 1.00038).
TEST_F(Programs, ToneCurveRisesFromSlightlyBelowZero) {
    auto composite = [&](float scene, float exposure) {
        const Images images(9, 9, scene);
        testgl::Target target(9, 9);
        world->hdrProgram.use();
        glUniform1f(world->hdrProgram.timeLocation, 10.0f);
        glUniform1f(images.exposureLocation, exposure);
        world->viewfield.drawImpl(images.composite);
        return target.read()[(4 * 9 + 4) * 4];
    };
    float previous = composite(0.0f, 1.0f);
    const float atZero = previous;
    for (float scene = 0.0625f; scene <= 4.0f; scene += 0.0625f) {
        const float value = composite(scene, 1.0f);
        EXPECT_GE(value, previous) << scene;
        EXPECT_NEAR(composite(scene * 2.0f, 0.5f), value, 1e-5f) << scene;
        previous = value;
    }
    EXPECT_NEAR(composite(1000.0f, 1.0f) - atZero, 1.00038f, 2e-5f);
}

// Lit programs with a shadow map that says "in shadow" everywhere: a lookup
// outside the map reads as lit, exactly as with a map that says "lit"; a
// lookup inside darkens the picture and brightens nothing.
TEST_F(Programs, LookupsOutsideTheShadowMapReadAsLit) {
    Tovik::RenderTarget shadowTarget(0, 0, 16, 16);
    const Tovik::Texture shadowMap = shadowTarget.createShadowBuffer();
    const struct { std::size_t part; float size; } cases[] = {{0, 300.0f}, {1, 12.0f}, {9, 12.0f}};
    for (const auto& c : cases) {
        auto draw = [&](float depth, const glm::mat4& shadowMatrix) {
            glBindFramebuffer(GL_FRAMEBUFFER, shadowTarget.framebuffer);
            glClearDepth(depth);
            glClear(GL_DEPTH_BUFFER_BIT);
            glClearDepth(1.0);
            testgl::Target target(32, 32);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            const Tovik::Part& part = world->parts[c.part];
            view(part.program, glm::ortho(-c.size, c.size, -c.size, c.size, -1000.0f, 1000.0f),
                 glm::rotate(glm::mat4(1.0f), 0.6f, glm::vec3(1, 0, 0)));
            glUniform1i(glGetUniformLocation(part.program.id, "shadowMap"), 0);
            glUniformMatrix4fv(glGetUniformLocation(part.program.id, "shadowMatrix"), 1, GL_FALSE, &shadowMatrix[0][0]);
            glActiveTexture(GL_TEXTURE0);
            glBindTexture(GL_TEXTURE_2D, shadowMap.id);
            part.drawImpl(glm::mat4(1.0f), nullptr);
            return target.read();
        };
        const glm::mat4 inside = glm::scale(glm::mat4(1.0f), glm::vec3(0.5f / c.size));
        const glm::mat4 outside = glm::translate(glm::mat4(1.0f), glm::vec3(4.0f, 0.0f, 0.0f)) * inside;
        const std::vector<float> lit = draw(1.0f, inside), beyond = draw(0.0f, outside), shadowed = draw(0.0f, inside);
        int darker = 0, drawn = 0;
        for (std::size_t i = 0; i < lit.size(); ++i) {
            ASSERT_NEAR(beyond[i], lit[i], 1e-5f * std::max(1.0f, std::fabs(lit[i]))) << "part " << c.part;
            ASSERT_LE(shadowed[i], lit[i] + 1e-5f * std::max(1.0f, std::fabs(lit[i]))) << "part " << c.part;
            drawn += i % 4 == 0 && lit[i] + lit[i + 1] + lit[i + 2] != 0.0f;
            darker += i % 4 == 0 && shadowed[i] < 0.9f * lit[i];
        }
        EXPECT_GT(darker, drawn / 10) << "part " << c.part << ": " << drawn << " pixels drawn";
    }
}

// The shadow pass sees what the colour pass draws: each depth program puts
// its mesh at the depth its main program does, for the same matrices and time.
TEST_F(Programs, DepthProgramsWriteTheMainProgramsDepth) {
    const glm::mat4 camera = glm::rotate(glm::translate(glm::mat4(1.0f), {0, -5, -60}), 0.7f, glm::vec3(1, 0.3f, 0));
    const glm::mat4 projection = glm::perspective(0.9f, 1.0f, 1.0f, 400.0f);
    for (std::size_t index : {0u, 1u, 5u, 9u}) {
        const Tovik::Part& part = world->parts[index];
        view(part.program, projection, camera);
        view(*part.depthProgram, projection, camera);
        const glm::mat4 transform = glm::translate(glm::mat4(1.0f), {3, 0, 0});
        testgl::Target target(48, 48);
        glEnable(GL_DEPTH_TEST);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        part.drawImpl(transform, nullptr);
        const std::vector<float> main = target.depth();
        glClear(GL_DEPTH_BUFFER_BIT);
        part.drawDepthImpl(transform);
        const std::vector<float> depth = target.depth();
        glDisable(GL_DEPTH_TEST);
        EXPECT_LT(std::count(main.begin(), main.end(), 1.0f), long(main.size())) << "part " << index << " not in view";
        for (std::size_t i = 0; i < main.size(); ++i) ASSERT_NEAR(depth[i], main[i], 1e-6f) << "part " << index;
    }
}

std::string glText(GLenum name) { return reinterpret_cast<const char*>(glGetString(name)); }

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
    demo::World& world = *Programs::world;
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
