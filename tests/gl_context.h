#pragma once
// A real GL context for tests: one hidden SFML context per test binary (under
// Xvfb with Mesa's llvmpipe in CI), entry points loaded, and every error that
// KHR_debug reports collected so that the fixture can fail the test.
#include "gl.h"

#include <SFML/Window/Context.hpp>
#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace testgl {

// Errors reported since the last call to takeErrors().
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

// An offscreen RGBA32F framebuffer of the given size, bound for drawing and
// reading while it lives.
class FloatTarget {
public:
    FloatTarget(int width, int height);
    ~FloatTarget();
    FloatTarget(const FloatTarget&) = delete;
    FloatTarget& operator=(const FloatTarget&) = delete;
    // RGBA floats, rows bottom-up as GL returns them.
    std::vector<float> read() const;
    int width, height;
    GLuint framebuffer = 0, texture = 0, depth = 0;
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

// Draws non-indexed primitives with the current program from interleaved
// float vertices: attribute i has sizes[i] components and sits at location i.
// The vertex array and buffer live only for the draw.
void drawArrays(GLenum mode, const std::vector<float>& interleaved, std::initializer_list<int> sizes);

// Runs a command in the shell and returns its standard output (and exit
// status in *status when given).
std::string capture(const std::string& command, int* status = nullptr);

} // namespace testgl
