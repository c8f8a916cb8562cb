#pragma once
// The timeline: the scene's instance layout, the pure function from time to
// the frame's transforms, camera and exposure, the bar arithmetic and the
// letterbox. Nothing here touches GL; only addInstances and applyPose fill a
// Model.

#include <glm/mat4x4.hpp>

#include <cstddef>
#include <cstdint>

namespace Tovik {
class Model;
}

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

// The piece is 40 bars of 2.4 s (100 beats a minute, four to the bar).
constexpr float barLength = 2.4f; // seconds
constexpr std::uint32_t barCount = 40;
constexpr std::uint32_t lastBar = barCount - 1;
// Seconds; from this moment on (bar 40) nothing is drawn.
constexpr float pieceLength = float(barCount) * barLength;
static_assert(pieceLength == 96.0f);
// Whether a moment typed in seconds lies inside the piece as the frame loop
// will see it: in single precision, where a time a few microseconds short
// of the end rounds up onto it and would end the piece before a frame.
constexpr bool insidePiece(double t) { return t >= 0.0 && float(t) < pieceLength; }

// The bar that time t falls in, taken on the single-precision quotient
// t / barLength as the frame loop does. The demo ends once it passes 39.
std::uint32_t barIndex(float t);
// The first instant of bar k (0 to 40): the smallest single-precision time
// whose bar is k. 2.4 * k itself may fall a hair short, into bar k - 1.
float barStart(std::uint32_t k);

// The camera shots: the first bar of each, in order. A shot lasts until the
// next one's first bar; the last ends with the piece.
constexpr std::uint32_t shotStarts[] = {0, 1, 2, 4, 6, 8, 12, 14, 16, 18, 19, 20, 24, 26, 36};
constexpr std::uint32_t shotCount = sizeof shotStarts / sizeof shotStarts[0];
// The shot that covers bar b (0 to 39).
std::uint32_t shotOf(std::uint32_t bar);

// Indices into the list of meshes built at start-up.
namespace mesh {
constexpr std::uint64_t ground = 0;
constexpr std::uint64_t hub = 1;
constexpr std::uint64_t firstGlitter = 2;   // ring 1 shows meshes 2..8
constexpr std::uint64_t rivalHub = 9;       // every ring-2 copy shows this one
constexpr std::uint64_t firstObsidian = 10; // ring 3 shows meshes 10..16
constexpr std::uint64_t count = 17;
} // namespace mesh

// Instance numbers of the scene's Model: they are handed out in this order by
// addInstances() and never change afterwards.
namespace instance {
constexpr std::uint64_t ground = 0;
constexpr std::uint64_t hub = 1;
constexpr std::uint64_t ring1Pivot = 2;
constexpr std::uint64_t ring1First = 3;
constexpr std::uint64_t ring2Pivot = 10;
constexpr std::uint64_t ring2First = 11;
constexpr std::uint64_t ring3Pivot = 18;
constexpr std::uint64_t ring3First = 19;
constexpr std::uint64_t count = 26;
} // namespace instance

constexpr std::uint32_t ringSize = 7;
constexpr float pi = 3.1415927f;
// Radius of rings 1 and 3 while they rest.
constexpr float ringRadius = 20.0f;

// Angle of ring member k (0..6): sevenths of a revolution from +z towards +x.
// Evaluated in this order in single precision, as the scene was tuned with it.
inline float ringAngle(std::uint32_t k) { return ((float(k) * pi) * 2.0f) / 7.0f; }

// The functions of time that several instances share, each a closed form of
// t alone (seconds since the frame loop began).
struct Curves {
    float A;      // hub rise (and late camera height), 1 unit per second from 48 s
    float H;      // height of rings 2 and 3 (and of ring 1 from 64.8 s)
    float e;      // ring-1 lift and breathing: 0 until 64.8 s, 1 from 67.2 s
    float h;      // ring-1 hop strength: 1 until 14.4 s, 0 from 19.2 s
    float w;      // ring-1 jitter strength: up from 19.2 s, down from 52.8 s
    float d;      // ring-2 spread radius: 0 until 52.8 s, 10 from 53.8 s
    float theta;  // step angle of the ring-1 and ring-3 pivots, from 67.2 s
    float R1, R3; // radii of rings 1 and 3
};
Curves curvesAt(float t);

// Appends the 26 instances of the scene (ground, hub, three rings with their
// pivots) to an empty Model, with their meshes, parents and rest transforms.
void addInstances(Tovik::Model& model);

// Everything the choreography decides for one moment: the local transforms of
// the instances (index = instance number; the ground's stays the identity),
// the view matrix and the exposure of the tone mapping. Plain data, so it can
// be made every frame without touching the heap.
struct Pose {
    glm::mat4 local[instance::count];
    glm::mat4 camera;
    float exposure;
    std::uint32_t bar;
    // The timeline is over (past bar 39): the frame must not be drawn, and
    // camera and exposure keep their defaults (identity, 0).
    bool ended;
};

// The scene at time t (seconds since the frame loop began). A pure function of
// t: no state, no GL, no allocation, so any moment can be rendered directly.
Pose choreograph(float t);

// Hands the animated local transforms to the Model (before its update()).
void applyPose(const Pose& pose, Tovik::Model& model);

} // namespace demo
