#pragma once

#include <cstdint>

namespace demo {

// The largest centred 16:9 rectangle of a window, in window pixels with the
// origin at the bottom left.
struct Viewport {
    std::uint32_t x, y, width, height;
    bool operator==(const Viewport& o) const {
        return x == o.x && y == o.y && width == o.width && height == o.height;
    }
};
Viewport letterbox(std::uint32_t windowWidth, std::uint32_t windowHeight);

// The 2.4-second bar that time t falls in, taken on the single-precision
// quotient as the frame loop does. The demo ends once it passes 39 (96 s).
std::uint32_t barIndex(float t);
constexpr std::uint32_t lastBar = 39;

// Whether a context of this version can run the demo's programs (GLSL 3.30
// with a geometry stage needs OpenGL 3.3).
bool contextVersionSufficient(int major, int minor);

// Plays the demo: window, start-up, frame loop, tear-down. Returns the
// process's exit status.
int run();

} // namespace demo
