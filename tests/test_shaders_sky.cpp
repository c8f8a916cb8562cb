// Pixel tests of the sky program. Its stars and nebula are hashed noise that
// no CPU evaluation reproduces bit for bit, but neither depends on time: two
// frames of the same view differ only by the blend of the two sky colours,
// scaled by the nebula. Differences of frames therefore expose the blend
// factor, the sky colours and, after removing the nebula, the sun glow and
// the star colour, each of which is compared with the formula here.
#include "shader_checks.h"
#include "shaders.h"

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include <cmath>
#include <optional>

namespace {

using shadertest::pixel;

const glm::vec3 lightDir = glm::normalize(glm::vec3(0.0f, 5.0f, 2.0f));
const glm::vec3 early(0.4f, 1.0f, 2.0f), late(1.0f, 0.3f, 0.1f), starColour(0.6f, 0.8f, 1.0f);

float smoothstep(float edge0, float edge1, float x) {
    const float t = glm::clamp((x - edge0) / (edge1 - edge0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

// Normalised ray at NDC (x, y) for the view matrix: minus the direction the
// eye looks in, in world axes.
glm::vec3 rayAt(const glm::mat4& view, float x, float y) {
    return glm::normalize(glm::vec3(-x * 16.0f / 9.0f, -y, 2.1445f) * glm::mat3(view));
}

float blendFactor(const glm::vec3& ray, float time) {
    return smoothstep(28.8f, 38.4f, time - ray.y * 10.0f) *
           smoothstep(-72.0f, -67.2f, ray.y * 10.0f - time);
}

float sunGlow(const glm::vec3& ray) {
    return 20.0f * std::pow(std::max(0.0f, glm::dot(-lightDir, ray)), 10.0f);
}

// A view whose eye at the origin looks along `direction`.
glm::mat4 lookingAlong(const glm::vec3& direction) {
    const glm::vec3 up = std::abs(direction.x) < 0.9f ? glm::vec3(1, 0, 0) : glm::vec3(0, 0, 1);
    return glm::lookAt(glm::vec3(0.0f), direction, up);
}

class SkyProgram : public shadertest::ProgramTest<createSkyShader> {
protected:
    std::vector<float> draw(int width, int height, const glm::mat4& view, float time) {
        testgl::FloatTarget target(width, height);
        program->use();
        glUniformMatrix4fv(program->transformLocation, 1, GL_FALSE, &view[0][0]);
        glUniform1f(program->timeLocation, time);
        testgl::drawArrays(GL_TRIANGLES, {-1, -1, 1, -1, -1, 1, -1, 1, 1, -1, 1, 1}, {2});
        return target.read();
    }

    static glm::vec2 ndc(int x, int y, int width, int height) {
        return {(float(x) + 0.5f) / float(width) * 2.0f - 1.0f,
                (float(y) + 0.5f) / float(height) * 2.0f - 1.0f};
    }
};

// The blend factor, measured per pixel as (frame(t) - frame(10 s)) over
// (frame(50 s) - frame(10 s)) in blue, against smoothstep windows on
// t - 10 ray.y, for a level view and views pitched up and down. Pixels
// where the nebula is too faint to measure are skipped. Tolerance 2e-3:
// float rounding of the frame differences over a difference of at least 0.1.
TEST_F(SkyProgram, BlendFactorFollowsTimeAndElevation) {
    const int width = 32, height = 18;
    const struct {
        const char* name;
        glm::mat4 view;
    } views[] = {
        {"level", glm::mat4(1.0f)},
        {"up", glm::rotate(glm::mat4(1.0f), glm::radians(70.0f), glm::vec3(1, 0, 0))},
        {"down", glm::rotate(glm::mat4(1.0f), glm::radians(-70.0f), glm::vec3(1, 0, 0))},
        {"turned", lookingAlong(glm::normalize(glm::vec3(1, 0.3f, 1)))},
    };
    float lowest = 1.0f, highest = -1.0f;
    for (const auto& v : views) {
        const std::vector<float> before = draw(width, height, v.view, 10.0f);
        const std::vector<float> after = draw(width, height, v.view, 50.0f);
        int measured = 0;
        for (const float time : {18.7f, 30.0f, 33.6f, 36.0f, 48.4f, 57.2f, 68.0f, 70.5f, 82.0f}) {
            const std::vector<float> now = draw(width, height, v.view, time);
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    const glm::vec3 c0 = pixel(before, width, x, y);
                    const glm::vec3 full = glm::vec3(pixel(after, width, x, y)) - c0;
                    if (full.b > -0.1f) continue;
                    // The whole change runs along late - early.
                    ASSERT_NEAR(full.r / full.b, (late - early).r / (late - early).b, 1e-3);
                    ASSERT_NEAR(full.g / full.b, (late - early).g / (late - early).b, 1e-3);
                    const float k = (pixel(now, width, x, y).b - c0.b) / full.b;
                    const glm::vec2 p = ndc(x, y, width, height);
                    const glm::vec3 ray = rayAt(v.view, p.x, p.y);
                    ASSERT_NEAR(k, blendFactor(ray, time), 2e-3)
                        << v.name << " t " << time << " pixel " << x << "," << y;
                    lowest = std::min(lowest, ray.y);
                    highest = std::max(highest, ray.y);
                    ++measured;
                }
            }
        }
        EXPECT_GT(measured, width * height) << v.name;
    }
    // The views reach close to the zenith and the nadir.
    EXPECT_LT(lowest, -0.9f);
    EXPECT_GT(highest, 0.9f);
}

// At 33.6 s the blend is one half at the horizon, full straight up and none
// straight down (the ray points back at the eye, so looking up is ray.y < 0).
TEST(SkyBlend, ListedElevations) {
    EXPECT_NEAR(blendFactor({0, 0, 1}, 33.6f), 0.5f, 1e-6);
    EXPECT_EQ(blendFactor({0, -1, 0}, 33.6f), 1.0f);
    EXPECT_EQ(blendFactor({0, 1, 0}, 33.6f), 0.0f);
    EXPECT_EQ(blendFactor({0, -1, 0}, 18.7f), 0.0f);
    EXPECT_EQ(blendFactor({0, 1, 0}, 48.4f), 1.0f);
    EXPECT_EQ(blendFactor({0, -1, 0}, 57.2f), 1.0f);
    EXPECT_EQ(blendFactor({0, 1, 0}, 82.0f), 0.0f);
}

// Take away the nebula (known from the frame difference) and what is left
// of the early sky is the sun glow in grey plus stars in their blue-white,
// never negative and never above the brightest star the noise allows.
// Tolerance 1e-4 plus 1e-5 of the pixel: float rounding of the frame
// differences, with star pixels in the hundreds.
TEST_F(SkyProgram, SunGlowAndStarsRemainAfterTheNebula) {
    const int width = 128, height = 72;
    const glm::mat4 view = lookingAlong(glm::normalize(lightDir + glm::vec3(0.2f, -0.1f, 0.0f)));
    const std::vector<float> before = draw(width, height, view, 10.0f);
    const std::vector<float> after = draw(width, height, view, 50.0f);
    int starry = 0;
    float strongestGlow = 0.0f;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const glm::vec3 c0 = pixel(before, width, x, y);
            const float nebula = (pixel(after, width, x, y).b - c0.b) / (late - early).b;
            const glm::vec2 p = ndc(x, y, width, height);
            const float glow = sunGlow(rayAt(view, p.x, p.y));
            const glm::vec3 star = c0 - early * nebula - glm::vec3(glow);
            const float tolerance = 1e-4f + 1e-5f * c0.b;
            ASSERT_NEAR(star.r, starColour.r * star.b, tolerance) << x << "," << y;
            ASSERT_NEAR(star.g, starColour.g * star.b, tolerance) << x << "," << y;
            ASSERT_GE(star.b, -tolerance);
            ASSERT_LE(star.b, (0.5357f * 11.0f - 4.0f) * 1000.0f);
            if (star.b > 1e-2f) ++starry;
            strongestGlow = std::max(strongestGlow, glow);
        }
    }
    // Stars are sparse: a handful in this frame (5 on llvmpipe), enough to
    // see their colour.
    EXPECT_GT(starry, 0);
    EXPECT_LT(starry, width * height / 50);
    EXPECT_GT(strongestGlow, 10.0f);
}

// Looking straight into the sun and 10, 45 and 100 degrees away from it.
TEST_F(SkyProgram, SunGlowFallsOffWithTheAngle) {
    const glm::vec3 axis = glm::normalize(glm::cross(lightDir, glm::vec3(1, 0, 0)));
    const struct {
        float degrees, glow;
    } angles[] = {{0.0f, 20.0f}, {10.0f, 17.161f}, {45.0f, 0.625f}, {100.0f, 0.0f}};
    for (const auto& a : angles) {
        const glm::vec3 direction =
            glm::mat3(glm::rotate(glm::mat4(1.0f), glm::radians(a.degrees), axis)) * lightDir;
        const glm::mat4 view = lookingAlong(direction);
        const glm::vec3 c0 = pixel(draw(1, 1, view, 10.0f), 1, 0, 0);
        const glm::vec3 c1 = pixel(draw(1, 1, view, 50.0f), 1, 0, 0);
        const float nebula = (c1.b - c0.b) / (late - early).b;
        const glm::vec3 rest = c0 - early * nebula;
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(rest[i], a.glow, 2e-3) << a.degrees;
        EXPECT_NEAR(sunGlow(-direction), a.glow, 1e-3) << a.degrees;
    }
}

} // namespace
