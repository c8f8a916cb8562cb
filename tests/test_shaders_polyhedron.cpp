// Pixel tests of the glitter, obsidian and polyhedron depth programs. A flat
// triangle covers the whole target; with projection x camera the identity
// the clip position is the world position, so every varying is an affine
// function of the pixel and the shading can be recomputed here per pixel,
// against a shadow map the test fills itself.
#include "assets.h"
#include "render_target.h"
#include "shader_checks.h"
#include "shaders.h"

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include <cmath>
#include <cstdint>
#include <optional>

namespace {

using shadertest::pixel;

const glm::vec3 lightDir = glm::normalize(glm::vec3(0.0f, 5.0f, 2.0f));
constexpr int size = 24;
constexpr float worldZ = -0.5f;

enum class Look { glitter, obsidian };

glm::vec2 rotated(const glm::vec2& q, float a) {
    return {q.x * std::cos(a) - q.y * std::sin(a), q.x * std::sin(a) + q.y * std::cos(a)};
}

float cyclicNoise(glm::vec4 p) {
    float sum = 0.0f, amp = 0.5f, warp = 1.1f;
    glm::vec2 q = rotated({p.x, p.w}, 1.5f);
    p.x = q.x, p.w = q.y;
    q = rotated({p.w, p.y}, 0.9f);
    p.w = q.x, p.y = q.y;
    for (int i = 0; i < 5; ++i) {
        p += glm::sin(glm::vec4(p.w, p.z, p.x, p.y) * warp);
        sum += std::sin(glm::dot(glm::cos(p), glm::sin(glm::vec4(p.y, p.z, p.w, p.x)))) * amp;
        amp *= 0.5f;
        warp *= 1.3f;
        q = rotated({p.x, p.z}, 0.9f);
        p.x = q.x, p.z = q.y;
        q = rotated({p.x, p.y}, 4.9f);
        p.x = q.x, p.y = q.y;
    }
    return sum;
}

// The shading of one fragment, given its interpolated inputs and its lit
// fraction. The glitter look is computed for colour alpha 0 only (plain
// normal); its noise is checked by properties instead.
glm::vec3 shade(Look look, glm::vec3 normal, const glm::vec4& colour, const glm::vec3& modelPos,
                const glm::vec3& eyeToFragment, float lit, float time) {
    if (look == Look::glitter) normal = glm::normalize(normal);
    const glm::vec3 diffuse = glm::vec3(0.7f) * std::max(0.0f, glm::dot(normal, lightDir));
    const glm::vec3 mirrored = glm::reflect(glm::normalize(eyeToFragment), normal);
    const glm::vec3 sparkle =
        diffuse * std::pow(std::max(0.0f, glm::dot(mirrored, lightDir)), 16.0f);
    const float t = time - 67.2f;
    const float flash = t >= 0.0f ? std::exp(-9.6f * t) : 0.0f;
    glm::vec3 base = glm::vec3(colour);
    glm::vec3 glow;
    if (look == Look::glitter) {
        glow = glm::vec3(100.0f, 90.0f, 10.0f) * flash;
    } else {
        const glm::vec3 glowColour = base * colour.a;
        base -= glowColour;
        glow = glowColour * std::max(0.0f, cyclicNoise(glm::vec4(modelPos * 5.0f, time))) +
               glm::vec3(100.0f, 10.0f, 0.0f) * flash;
    }
    return (lit * diffuse + glm::vec3(0.2f)) * base + lit * sparkle + glow;
}

struct LitCase {
    const char* name;
    Look look;
    glm::vec3 normal; // model space, before transform
    glm::vec4 colour;
    float time;
    float depth; // the fragments' depth in the shadow map
    glm::mat4 transform;
    glm::mat4 camera;
};

class LitPrograms : public testgl::GlTest {
protected:
    std::optional<Tovik::ShaderProgram> glitter, obsidian;

    void SetUp() override {
        testgl::GlTest::SetUp();
        shadertest::resetState();
        glitter.emplace(createGlitterShader());
        obsidian.emplace(createObsidianShader());
    }

    // Draws the full-target triangle with the case's uniforms.
    std::vector<float> draw(const LitCase& c, const shadertest::ShadowMap& shadow) {
        Tovik::ShaderProgram& program = c.look == Look::glitter ? *glitter : *obsidian;
        testgl::FloatTarget target(size, size);
        program.use();
        const glm::mat4 projection = glm::inverse(c.camera);
        glUniformMatrix4fv(program.transformLocation, 1, GL_FALSE, &c.transform[0][0]);
        glUniformMatrix4fv(program.cameraLocation, 1, GL_FALSE, &c.camera[0][0]);
        glUniformMatrix4fv(program.projectionLocation, 1, GL_FALSE, &projection[0][0]);
        glUniform1f(program.timeLocation, c.time);
        shadertest::setUniform(program.id, "shadowMatrix",
                               shadertest::shadowMatrixAtDepth(c.depth));
        shadertest::setUniformInt(program.id, "shadowMap", 0);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, shadow.texture.id);

        const glm::mat4 toModel = glm::inverse(c.transform);
        std::vector<float> vertices;
        for (const glm::vec2 corner : {glm::vec2(-1, -1), glm::vec2(3, -1), glm::vec2(-1, 3)}) {
            const glm::vec3 model = toModel * glm::vec4(corner, worldZ, 1.0f);
            vertices.insert(vertices.end(),
                            {model.x, model.y, model.z, c.normal.x, c.normal.y, c.normal.z,
                             c.colour.r, c.colour.g, c.colour.b, c.colour.a});
        }
        testgl::drawArrays(GL_TRIANGLES, vertices, {3, 3, 4});
        return target.read();
    }
};

glm::vec3 worldAtPixel(int x, int y) {
    return {(float(x) + 0.5f) / size * 2.0f - 1.0f, (float(y) + 0.5f) / size * 2.0f - 1.0f, worldZ};
}

// Diffuse, specular, ambient, the nine-tap shadow, the flash and the
// obsidian veins, pixel by pixel. Tolerance: 2e-4 relative plus 2e-4
// absolute, for the driver's pow/exp/sin approximations (the sine noise runs
// five rounds deep); a missing term or a shadow step of 1/9 moves a pixel by
// far more.
TEST_F(LitPrograms, ShadeMatchesTheLightingFormulaPerPixel) {
    const glm::vec3 eye = glm::vec3(0.0f, 0.0f, worldZ) + lightDir; // highlight in frame
    const glm::mat4 atEye = glm::translate(glm::mat4(1.0f), -eye);
    const glm::mat4 turnedEye =
        glm::rotate(glm::mat4(1.0f), 0.7f, glm::normalize(glm::vec3(1, 2, 0.5f))) * atEye;
    const glm::mat4 turnedModel =
        glm::scale(glm::rotate(glm::translate(glm::mat4(1.0f), glm::vec3(0.3f, -0.2f, 0.1f)), 1.1f,
                               glm::normalize(glm::vec3(-1, 1, 2))),
                   glm::vec3(1.5f));
    const glm::mat4 id(1.0f);
    const glm::vec3 upish = glm::normalize(glm::vec3(0.1f, 0.9f, 0.4f));
    const glm::vec4 warm(0.8f, 0.5f, 0.3f, 0.0f);
    const LitCase cases[] = {
        {"glitter lit", Look::glitter, upish, warm, 10.0f, 0.5f, id, atEye},
        {"glitter facing away", Look::glitter, -upish, warm, 10.0f, 0.5f, id, atEye},
        {"glitter turned", Look::glitter, upish, warm, 10.0f, 0.5f, turnedModel, turnedEye},
        {"glitter beyond far plane", Look::glitter, upish, warm, 10.0f, 1.2f, id, atEye},
        {"glitter before flash", Look::glitter, upish, warm, 67.19f, 0.5f, id, atEye},
        {"glitter flash", Look::glitter, upish, warm, 67.2f, 0.5f, id, atEye},
        {"glitter flash decayed", Look::glitter, upish, warm, 67.272f, 0.5f, id, atEye},
        {"obsidian alpha 0", Look::obsidian, upish, warm, 10.0f, 0.5f, id, atEye},
        {"obsidian unnormalised", Look::obsidian, upish, warm, 10.0f, 0.5f, turnedModel, turnedEye},
        {"obsidian veins", Look::obsidian, upish, glm::vec4(0.9f, 0.6f, 0.2f, 1.0f), 5.0f, 0.5f,
         turnedModel, atEye},
        {"obsidian half veins flash", Look::obsidian, upish, glm::vec4(0.9f, 0.6f, 0.2f, 0.5f),
         67.3f, 0.5f, id, turnedEye},
        {"obsidian facing away", Look::obsidian, -upish, glm::vec4(0.9f, 0.6f, 0.2f, 0.5f), 20.0f,
         0.5f, id, atEye},
    };
    const shadertest::ShadowMap shadow(size);
    for (const LitCase& c : cases) {
        const std::vector<float> out = draw(c, shadow);
        const glm::vec3 normal = glm::mat3(c.transform) * c.normal;
        const glm::vec3 cameraEye = glm::vec3(glm::inverse(c.camera)[3]);
        float brightest = 0.0f;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const glm::vec3 world = worldAtPixel(x, y);
                const glm::vec3 model = glm::inverse(c.transform) * glm::vec4(world, 1.0f);
                const glm::vec3 expected = shade(c.look, normal, c.colour, model, world - cameraEye,
                                                 shadow.lit(x, y, c.depth), c.time);
                const glm::vec4 got = pixel(out, size, x, y);
                for (int i = 0; i < 3; ++i)
                    ASSERT_NEAR(got[i], expected[i], 2e-4f + 2e-4f * std::abs(expected[i]))
                        << c.name << " pixel " << x << "," << y << " channel " << i;
                ASSERT_EQ(got.a, 1.0f) << c.name;
                brightest = std::max(brightest, got.r);
            }
        }
        EXPECT_GT(brightest, 0.0f) << c.name;
    }
}

// With alpha 1 the glitter normal is bent by noise: the picture changes, yet
// each channel stays between the ambient share and the most the light and
// its sparkle can add.
TEST_F(LitPrograms, GlitterNoiseBendsTheNormalWithinTheLightsRange) {
    const glm::vec3 eye = glm::vec3(0.0f, 0.0f, worldZ) + lightDir;
    const glm::mat4 atEye = glm::translate(glm::mat4(1.0f), -eye);
    const glm::vec3 upish = glm::normalize(glm::vec3(0.1f, 0.9f, 0.4f));
    const shadertest::ShadowMap shadow(size);
    LitCase plain{"plain", Look::glitter, upish,           glm::vec4(0.8f, 0.5f, 0.3f, 0.0f),
                  10.0f,   0.5f,          glm::mat4(1.0f), atEye};
    LitCase bent = plain;
    bent.colour.a = 1.0f;
    const std::vector<float> before = draw(plain, shadow), after = draw(bent, shadow);
    int changed = 0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const glm::vec4 got = pixel(after, size, x, y);
            const float s = shadow.lit(x, y, 0.5f);
            for (int i = 0; i < 3; ++i) {
                EXPECT_GE(got[i], 0.2f * bent.colour[i] - 1e-5f);
                EXPECT_LE(got[i], (0.7f * s + 0.2f) * bent.colour[i] + 0.7f * s + 1e-5f);
            }
            if (std::abs(got.g - pixel(before, size, x, y).g) > 1e-3f) ++changed;
        }
    }
    EXPECT_GT(changed, size * size / 2);
}

// The depth program draws through the vertex array the lit program set up,
// and writes the same depth for the same matrices.
TEST_F(LitPrograms, DepthProgramWritesTheLitProgramsDepth) {
    Tovik::ShaderProgram depthProgram = createPolyhedronDepthShader();
    Tovik::Part part(*glitter, &depthProgram);
    createHub(part);
    const glm::mat4 projection = glm::perspective(glm::radians(50.0f), 1.0f, 1.0f, 200.0f);
    const glm::mat4 camera =
        glm::lookAt(glm::vec3(10, 30, 50), glm::vec3(0, 5, 0), glm::vec3(0, 1, 0));
    const glm::mat4 transform = glm::rotate(glm::mat4(1.0f), 0.4f, glm::vec3(0, 1, 0));
    testgl::FloatTarget target(32, 32);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    std::vector<float> depths[2];
    for (int pass = 0; pass < 2; ++pass) {
        Tovik::ShaderProgram& program = pass == 0 ? *glitter : depthProgram;
        program.use();
        glUniformMatrix4fv(program.cameraLocation, 1, GL_FALSE, &camera[0][0]);
        glUniformMatrix4fv(program.projectionLocation, 1, GL_FALSE, &projection[0][0]);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        if (pass == 0)
            part.drawImpl(transform, nullptr);
        else
            part.drawDepthImpl(transform);
        depths[pass] = shadertest::readDepth(target);
    }
    shadertest::resetState();
    int covered = 0;
    for (std::size_t i = 0; i < depths[0].size(); ++i) {
        // Two steps of the 24-bit depth buffer: the programs multiply the
        // matrices in different orders.
        ASSERT_NEAR(depths[1][i], depths[0][i], 2.0 / (1 << 24)) << i;
        if (depths[0][i] < 1.0f) ++covered;
    }
    EXPECT_GT(covered, 100);
}

} // namespace
