#pragma once
// A real GL context for tests: one hidden SFML context per test binary (under
// Xvfb with Mesa's llvmpipe in CI), entry points loaded, and every error that
// KHR_debug reports collected so that the fixture can fail the test.
#include "gl.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace testgl {

// Errors reported since the last call.
std::vector<std::string> takeErrors();

// Creates the context once; safe to call from every SetUp.
void ensureContext();

// A test with a current context that fails if GL reports an error, unless the
// test takes the errors it expects with takeErrors() before it ends.
class GlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureContext();
        takeErrors();
    }
    void TearDown() override {
        for (const std::string& error : takeErrors()) ADD_FAILURE() << "GL error: " << error;
    }
};

// An off-screen framebuffer of the given size and colour format with a depth
// buffer, bound for drawing and reading, its viewport set, while it lives.
class Target {
public:
    Target(int width, int height, GLenum format = GL_RGBA32F);
    ~Target();
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;
    // RGBA floats (or depths), rows bottom-up as GL returns them.
    std::vector<float> read() const;
    std::vector<float> depth() const;
    int width, height;
    GLuint framebuffer = 0, colour = 0, depthBuffer = 0;
};

// Collects what the process writes to standard output (file descriptor 1)
// while it lives; text() stops the capture and returns it.
class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();
    std::string text();

private:
    int saved = -1;
    std::FILE* file = nullptr;
};

} // namespace testgl
