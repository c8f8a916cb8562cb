#pragma once
#include "model.h"

#include <glm/mat4x4.hpp>

#include <cstddef>
#include <cstdint>

namespace demo {

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
