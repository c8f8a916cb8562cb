#pragma once
// Small helpers shared by the pixel tests of the GPU programs.
#include "gl_context.h"
#include "render_target.h"
#include "shader.h"

#include <glm/mat4x4.hpp>
#include <glm/vec4.hpp>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace shadertest {

// Runs fn and returns what it wrote to standard output (file descriptor 1),
// which is where the GL compile and link logs go.
template <typename F>
std::string stdoutOf(F fn) {
    testgl::StdoutCapture capture;
    fn();
    return capture.text();
}

inline void setUniform(GLuint program, const char* name, float value) {
    glUseProgram(program);
    glUniform1f(glGetUniformLocation(program, name), value);
}
inline void setUniform(GLuint program, const char* name, const glm::mat4& value) {
    glUseProgram(program);
    glUniformMatrix4fv(glGetUniformLocation(program, name), 1, GL_FALSE, &value[0][0]);
}
inline void setUniformInt(GLuint program, const char* name, int value) {
    glUseProgram(program);
    glUniform1i(glGetUniformLocation(program, name), value);
}

// RGBA of pixel (x, y) (y counted from the bottom) of a FloatTarget read-back.
inline glm::vec4 pixel(const std::vector<float>& pixels, int width, int x, int y) {
    const float* p = &pixels[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * 4];
    return {p[0], p[1], p[2], p[3]};
}

// Depth buffer of the bound read framebuffer, as floats in 0..1.
inline std::vector<float> readDepth(const testgl::FloatTarget& target) {
    std::vector<float> depth(std::size_t(target.width) * std::size_t(target.height));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, target.framebuffer);
    glReadPixels(0, 0, target.width, target.height, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
    return depth;
}

// GL state every pixel test starts from: no depth test, no culling, no
// blending, nothing bound on unit 0.
inline void resetState() {
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_BLEND);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, 0);
}

// A test with a fresh program from `factory` on a context in the state
// above. The program is made in SetUp, once the context exists.
template <Tovik::ShaderProgram (*factory)()>
class ProgramTest : public testgl::GlTest {
protected:
    std::optional<Tovik::ShaderProgram> program;

    void SetUp() override {
        testgl::GlTest::SetUp();
        resetState();
        program.emplace(factory());
    }
};

// A square shadow map made as the demo makes it, holding depth 0.75 (lit for
// a fragment at depth 0.5) or 0.25 (shadowed) per texel in a fixed scatter.
struct ShadowMap {
    int size;
    Tovik::RenderTarget target;
    Tovik::Texture texture;
    std::vector<float> depths;

    explicit ShadowMap(int size_)
        : size(size_), target(0, 0, unsigned(size_), unsigned(size_)),
          texture(target.createShadowBuffer()), depths(std::size_t(size_) * std::size_t(size_)) {
        std::uint32_t seed = 7u;
        for (float& depth : depths) {
            seed = seed * 1664525u + 1013904223u;
            depth = (seed >> 29) < 3 ? 0.25f : 0.75f;
        }
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, size, size, GL_DEPTH_COMPONENT, GL_FLOAT,
                        depths.data());
    }

    // Lit fraction at texel (x, y) for a fragment at depth d: nine taps, the
    // ones outside the map reading the white border.
    float lit(int x, int y, float d) const {
        int count = 0;
        for (int dx = -1; dx <= 1; ++dx) {
            for (int dy = -1; dy <= 1; ++dy) {
                const int tx = x + dx, ty = y + dy;
                const bool inside = tx >= 0 && ty >= 0 && tx < size && ty < size;
                const float stored =
                    inside ? depths[std::size_t(ty) * std::size_t(size) + std::size_t(tx)] : 1.0f;
                count += d > stored ? 0 : 1;
            }
        }
        return float(count) / 9.0f;
    }
};

// World -> light clip space that puts a fragment on the shadow texel under
// its own pixel (toClip: world to the target's clip space, affine), at the
// constant depth d.
inline glm::mat4 shadowMatrixAtDepth(float d, const glm::mat4& toClip = glm::mat4(1.0f)) {
    glm::mat4 flatten(1.0f);
    flatten[2][2] = 0.0f;
    flatten[3][2] = 2.0f * d - 1.0f;
    return flatten * toClip;
}

} // namespace shadertest
