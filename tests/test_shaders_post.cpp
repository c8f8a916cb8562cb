// Pixel tests of the blur and the tone-mapping composite: draw the screen
// quad through the real program into a float target and compare every pixel
// with the same formula evaluated here.
#include "render_target.h"
#include "shader_checks.h"
#include "shaders.h"

#include <glm/glm.hpp>

#include <cmath>
#include <cstdint>
#include <optional>
#include <set>

namespace {

using shadertest::pixel;

const std::vector<float> unitQuad = {0, 0, 1, 0, 0, 1, 0, 1, 1, 0, 1, 1};

// A half-float image as the demo makes it (transparent-black border, linear
// filtering), cleared to `fill`.
struct Image {
    Tovik::Texture texture;
    int width, height;

    Image(int w, int h, const glm::vec4& fill) : texture(create(w, h, fill)), width(w), height(h) {}

    static Tovik::Texture create(int w, int h, const glm::vec4& fill) {
        GLuint framebuffer = 0;
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        Tovik::RenderTarget maker;
        Tovik::Texture texture = maker.createHdrBuffer(unsigned(w), unsigned(h), 0);
        glViewport(0, 0, w, h);
        glClearColor(fill.r, fill.g, fill.b, fill.a);
        glClear(GL_COLOR_BUFFER_BIT);
        glClearColor(0, 0, 0, 0);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &framebuffer);
        return texture;
    }

    void put(int x, int y, int w, int h, const std::vector<float>& rgba) {
        glBindTexture(GL_TEXTURE_2D, texture.id);
        glTexSubImage2D(GL_TEXTURE_2D, 0, x, y, w, h, GL_RGBA, GL_FLOAT, rgba.data());
    }

    // The texels as stored (rounded to half precision), rows bottom-up.
    std::vector<float> stored() const {
        std::vector<float> texels(std::size_t(width) * std::size_t(height) * 4);
        glBindTexture(GL_TEXTURE_2D, texture.id);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, texels.data());
        return texels;
    }
};

// ---------------------------------------------------------------------------
// Blur.

const float weights[5] = {0.227027f, 0.1945946f, 0.1216216f, 0.054054f, 0.016216f};

class BlurProgram : public shadertest::ProgramTest<createBlurShader> {
protected:
    // Blurs `image` into `target`; the viewport has the image's size and may
    // sit off the target's origin so that any corner of the image shows.
    void blur(const Image& image, bool horizontal, float scale, int viewportX, int viewportY) {
        program->use();
        glUniform1i(glGetUniformLocation(program->id, "image"), 0);
        glUniform1f(glGetUniformLocation(program->id, "scale"), scale);
        glUniform1ui(glGetUniformLocation(program->id, "horizontal"), horizontal ? 1u : 0u);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, image.texture.id);
        glViewport(viewportX, viewportY, image.width, image.height);
        testgl::drawArrays(GL_TRIANGLES, unitQuad, {2});
    }
};

// A single bright texel comes back as the kernel itself: nine taps along the
// chosen axis, `scale` x (image size / 1280 x 720) texels apart. Every tap
// lands on a texel centre, so linear filtering adds nothing. The relative
// tolerance 1e-4 covers the reduced precision of the driver's filter weights
// (about 3e-5 measured on llvmpipe); a tap one texel off or a wrong weight is
// out by at least 0.016 of the value.
TEST_F(BlurProgram, ImpulseComesBackAsTheKernelAlongTheChosenAxis) {
    const struct {
        int width, height;
        bool horizontal;
        float scale;
        int spacing; // texels between taps
    } cases[] = {
        {1280, 720, false, 1, 1}, {1280, 720, false, 2, 2}, {1280, 720, false, 4, 4},
        {1280, 720, true, 1, 1},  {1280, 720, true, 2, 2},  {1280, 720, true, 4, 4},
        {640, 360, false, 2, 1},  {640, 360, true, 4, 2},   {1280, 720, false, 0, 0},
        {1280, 720, true, 0, 0},
    };
    const glm::vec3 value(1.0f, 2.0f, 4.0f);
    const int centre = 20, size = 41;
    for (const auto& c : cases) {
        Image image(c.width, c.height, glm::vec4(0));
        image.put(centre, centre, 1, 1, {value.r, value.g, value.b, 1.0f});
        testgl::FloatTarget target(size, size);
        blur(image, c.horizontal, c.scale, 0, 0);
        const std::vector<float> out = target.read();
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const int along = c.horizontal ? y - centre : x - centre;
                const int across = c.horizontal ? x - centre : y - centre;
                float weight = 0.0f;
                if (c.spacing == 0) {
                    if (along == 0 && across == 0) weight = 0.9999994f;
                } else if (across == 0 && along % c.spacing == 0 &&
                           std::abs(along) <= 4 * c.spacing) {
                    weight = weights[std::abs(along) / c.spacing];
                }
                const glm::vec4 got = pixel(out, size, x, y);
                for (int i = 0; i < 3; ++i)
                    ASSERT_NEAR(got[i], weight * value[i], 1e-4 * value[i])
                        << c.width << "x" << c.height << " horizontal " << c.horizontal << " scale "
                        << c.scale << " pixel " << x << "," << y << " channel " << i;
                ASSERT_EQ(got.a, 1.0f);
            }
        }
    }
}

// On a uniform image the taps past the image's edge read the transparent
// black border, so the edge pixels keep only the weights of the taps inside.
TEST_F(BlurProgram, TapsPastTheEdgeAddNothing) {
    const int width = 1280, height = 720, size = 8;
    Image image(width, height, glm::vec4(1.0f));
    const struct {
        bool horizontal;
        int viewportX, viewportY;
    } cases[] = {{false, 0, 0}, {false, size - width, 0}, {true, 0, 0}, {true, 0, size - height}};
    for (const auto& c : cases) {
        testgl::FloatTarget target(size, size);
        blur(image, c.horizontal, 1.0f, c.viewportX, c.viewportY);
        const std::vector<float> out = target.read();
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const int texel = c.horizontal ? y - c.viewportY : x - c.viewportX;
                const int extent = c.horizontal ? height : width;
                float expected = weights[0];
                for (int k = 1; k < 5; ++k)
                    expected += weights[k] * (float(texel - k >= 0) + float(texel + k < extent));
                ASSERT_NEAR(pixel(out, size, x, y).g, expected, 1e-4)
                    << "horizontal " << c.horizontal << " texel " << texel;
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Composite.

// The fitted curve as the composite applies it: the matrices act on row
// vectors, each column giving one output channel.
glm::vec3 acesFitted(const glm::vec3& colour) {
    const glm::mat3 in(0.59719f, 0.35458f, 0.04823f, 0.07600f, 0.90834f, 0.01566f, 0.02840f,
                       0.13383f, 0.83777f);
    const glm::mat3 out(1.60475f, -0.53108f, -0.07367f, -0.10208f, 1.10813f, -0.00605f, -0.00327f,
                        -0.07276f, 1.07602f);
    const glm::vec3 v = colour * in;
    const glm::vec3 curved =
        (v * (v + 0.0245786f) - 0.000090537f) / (v * (0.983729f * v + 0.4329510f) + 0.238081f);
    return glm::min(curved * out, glm::vec3(1.0f));
}

glm::vec3 composite(const glm::vec3& scene, const glm::vec3& bloomTexel, float exposure) {
    glm::vec3 hdr = scene * 0.9f;
    const glm::vec3 bloom = bloomTexel * 0.1f;
    hdr += (bloom + glm::exp(-bloom) - 1.0f) * 0.5f;
    return acesFitted(-hdr * exposure);
}

float vignette(const glm::vec2& texCoords) {
    const glm::vec2 c = (texCoords - 0.5f) * glm::vec2(1.0f, 9.0f / 16.0f);
    return std::exp(-2.0f * glm::dot(c, c));
}

// The reference curve itself against known points, so that the pixel
// comparisons below rest on a curve with the right shape.
TEST(ToneCurve, KnownGreys) {
    const struct {
        float input, output, tolerance;
    } greys[] = {{0.0f, -0.00038f, 1e-5f}, {-0.1f, 0.0364f, 1e-4f}, {-0.3f, 0.4195f, 1e-4f},
                 {-0.5f, 0.888f, 1e-3f},   {-0.5704f, 1.0f, 1e-4f}, {-3.0f, 1.0f, 0.0f},
                 {1.0f, 0.619f, 1e-3f},    {10.0f, 0.974f, 1e-3f}};
    for (const auto& g : greys) {
        const glm::vec3 out = acesFitted(glm::vec3(g.input));
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(out[i], g.output, g.tolerance) << g.input;
    }
}

class HdrProgram : public shadertest::ProgramTest<createHdrShader> {
protected:
    static constexpr int size = 17; // odd, so one pixel sits at the centre

    std::vector<float> draw(const Image& scene, const Image& bloom, float exposure, float time) {
        testgl::FloatTarget target(size, size);
        program->use();
        glUniform1i(glGetUniformLocation(program->id, "hdrBuffer"), 0);
        glUniform1i(glGetUniformLocation(program->id, "bloomBuffer"), 1);
        glUniform1f(glGetUniformLocation(program->id, "exposure"), exposure);
        glUniform1f(program->timeLocation, time);
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_2D, bloom.texture.id);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, scene.texture.id);
        testgl::drawArrays(GL_TRIANGLES, unitQuad, {2});
        return target.read();
    }

    static glm::vec2 texCoords(int x, int y) {
        return glm::vec2(float(x) + 0.5f, float(y) + 0.5f) / float(size);
    }
};

// The dither is the same in all channels and depends only on the pixel and
// the time, so a black frame drawn at the same time isolates it: the
// difference of two frames is the vignetted tone-mapped colour alone. The
// tolerance 2e-5 is float rounding through the curve and the division by a
// vignette of at least 0.5; one dither step is 1/256.
TEST_F(HdrProgram, ToneMapsTheMixOfSceneAndBloom) {
    // Greys at the listed levels first (0.9 x scene with exposure 1/0.9 gives
    // the level), then a spread of colours and bloom values.
    std::vector<float> sceneTexels, bloomTexels;
    const float greys[] = {0.1f, 0.3f, 0.5f, 0.5704f, 10.0f, -1.0f, 0.0f};
    std::uint32_t seed = 12345u;
    auto next = [&seed](float range) {
        seed = seed * 1664525u + 1013904223u;
        return float(seed >> 8) / float(1u << 24) * range;
    };
    for (int i = 0; i < size * size; ++i) {
        const bool grey = i < int(std::size(greys));
        const glm::vec3 s = grey ? glm::vec3(greys[i] / 0.9f * 0.9f)
                                 : glm::vec3(next(0.8f), next(0.8f), next(0.8f));
        const glm::vec3 b = grey ? glm::vec3(0.0f) : glm::vec3(next(30.0f), next(3.0f), 0.0f);
        sceneTexels.insert(sceneTexels.end(), {s.r, s.g, s.b, 1.0f});
        bloomTexels.insert(bloomTexels.end(), {b.r, b.g, b.b, 1.0f});
    }
    Image scene(size, size, glm::vec4(0)), bloom(size, size, glm::vec4(0));
    scene.put(0, 0, size, size, sceneTexels);
    bloom.put(0, 0, size, size, bloomTexels);
    const Image black(size, size, glm::vec4(0));
    const std::vector<float> storedScene = scene.stored(), storedBloom = bloom.stored();

    const float baseline = acesFitted(glm::vec3(0.0f)).r;
    for (const float exposure : {1.0f / 0.9f, 0.9f, 3.0f}) {
        const float time = 10.0f * exposure;
        const std::vector<float> out = draw(scene, bloom, exposure, time);
        const std::vector<float> reference = draw(black, black, exposure, time);
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const glm::vec3 s = pixel(storedScene, size, x, y);
                const glm::vec3 b = pixel(storedBloom, size, x, y);
                const glm::vec3 expected = composite(s, b, exposure);
                const float vig = vignette(texCoords(x, y));
                const glm::vec4 got = pixel(out, size, x, y);
                const glm::vec4 ref = pixel(reference, size, x, y);
                for (int i = 0; i < 3; ++i)
                    ASSERT_NEAR((got[i] - ref[i]) / vig + baseline, expected[i], 2e-5)
                        << "pixel " << x << "," << y << " channel " << i << " exposure "
                        << exposure;
                ASSERT_EQ(got.a, 1.0f);
            }
        }
    }
}

// A saturating scene maps to exactly 1 (the upper clamp), leaving the
// vignette: 1 at the centre, falling with the 16:9-squeezed distance.
TEST_F(HdrProgram, VignetteDarkensTowardsTheEdges) {
    const Image bright(size, size, glm::vec4(100.0f)), black(size, size, glm::vec4(0));
    const std::vector<float> out = draw(bright, black, 0.9f, 3.0f);
    const std::vector<float> reference = draw(black, black, 0.9f, 3.0f);
    const float baseline = acesFitted(glm::vec3(0.0f)).r;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const float measured =
                (pixel(out, size, x, y).g - pixel(reference, size, x, y).g) / (1.0f - baseline);
            ASSERT_NEAR(measured, vignette(texCoords(x, y)), 1e-5) << x << "," << y;
        }
    }
    const int mid = size / 2;
    EXPECT_NEAR((pixel(out, size, mid, mid).r - pixel(reference, size, mid, mid).r),
                1.0f - baseline, 1e-6);
    // The corner pixel centre lies half a pixel inside the corner itself.
    EXPECT_NEAR(vignette(glm::vec2(0.0f, 0.5f)), 0.607f, 1e-3);
    EXPECT_NEAR(vignette(glm::vec2(0.0f, 0.0f)), 0.518f, 1e-3);
}

// On black the output is the curve's value at 0 under the vignette plus the
// dither, which stays within [0, 1/256), varies from pixel to pixel and
// changes with time.
TEST_F(HdrProgram, DitherStaysBelowOneStepAndMovesWithTime) {
    const Image black(size, size, glm::vec4(0));
    const glm::vec3 baseline = acesFitted(glm::vec3(0.0f));
    std::vector<float> previous;
    for (const float time : {0.0f, 1.0f, 37.5f}) {
        const std::vector<float> out = draw(black, black, 0.9f, time);
        std::set<float> values;
        int changed = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const glm::vec4 got = pixel(out, size, x, y);
                const glm::vec3 dithers = glm::vec3(got) - baseline * vignette(texCoords(x, y));
                const float dither = dithers.r;
                ASSERT_GE(dither, -1e-6f);
                ASSERT_LT(dither, 1.0f / 256.0f + 1e-6f);
                // One dither value for all three channels.
                ASSERT_NEAR(dithers.g, dither, 1e-7f);
                ASSERT_NEAR(dithers.b, dither, 1e-7f);
                values.insert(dither);
                if (!previous.empty() && got.r != pixel(previous, size, x, y).r) ++changed;
            }
        }
        EXPECT_GT(values.size(), std::size_t(size * size / 2)) << time;
        if (!previous.empty()) {
            EXPECT_GT(changed, size * size / 2) << time;
        }
        previous = out;
    }
}

} // namespace
