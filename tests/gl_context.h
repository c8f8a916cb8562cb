#pragma once
// A real GL context for tests: one hidden SFML context per test binary (under
// Xvfb with Mesa's llvmpipe in CI), entry points loaded, and every error that
// KHR_debug reports collected so that the fixture can fail the test.
#include "gl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace testgl {

// Creates the context once; safe to call again.
void ensureContext();
// Errors reported since the last call.
std::vector<std::string> takeErrors();

// A test with a current context that fails on any GL error it did not take.
class GlTest : public ::testing::Test {
protected:
    void SetUp() override { ensureContext(), takeErrors(); }
    void TearDown() override {
        for (const std::string& error : takeErrors()) ADD_FAILURE() << "GL error: " << error;
    }
};

// An off-screen framebuffer with a depth buffer, bound for drawing and
// reading, its viewport set; read() gives RGBA floats, depth() the depths,
// rows bottom-up as GL returns them.
class Target {
public:
    Target(int width, int height, GLenum format = GL_RGBA32F);
    ~Target();
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;
    std::vector<float> read(GLenum what = GL_RGBA) const;
    std::vector<float> depth() const { return read(GL_DEPTH_COMPONENT); }
    int width, height;
    GLuint framebuffer = 0, buffers[2] = {};
};

} // namespace testgl
