#pragma once
// Small helpers shared by the pixel tests of the GPU programs.
#include "gl_context.h"

#include <glm/mat4x4.hpp>
#include <glm/vec4.hpp>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace shadertest {

// Runs fn and returns what it wrote to standard output (file descriptor 1),
// which is where the GL compile and link logs go.
template <typename F>
std::string stdoutOf(F fn) {
    std::fflush(stdout);
    FILE* file = std::tmpfile();
    const int saved = dup(1);
    dup2(fileno(file), 1);
    fn();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::string text;
    std::rewind(file);
    char buffer[512];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    std::fclose(file);
    return text;
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

} // namespace shadertest
