#include "choreography.h"

#include "model.h"

#include <glm/gtc/matrix_transform.hpp>

#include <algorithm>
#include <cassert>
#include <cmath>

namespace demo {

namespace {

using glm::mat4;
using glm::vec3;

const mat4 identity(1.0f);
const vec3 xAxis(1.0f, 0.0f, 0.0f);
const vec3 yAxis(0.0f, 1.0f, 0.0f);

// One turn per 16.8 s: a seventh of a revolution per 2.4 s bar.
constexpr float omega = 0.37399912f;

// Each factor multiplies from the right, as a chain of glm calls does, so a
// product reads left to right in the order the factors are written.
mat4 T(const mat4& m, float x, float y, float z) { return glm::translate(m, vec3(x, y, z)); }
mat4 Rx(const mat4& m, float angle) { return glm::rotate(m, angle, xAxis); }
mat4 Ry(const mat4& m, float angle) { return glm::rotate(m, angle, yAxis); }

float clamp01(float v) { return std::min(std::max(v, 0.0f), 1.0f); }

// Steps a seventh of a revolution per bar from 67.2 s: eases in, overshoots
// by about a tenth of a step and settles exactly on each seventh at the bar
// line, where q is flat (dq/dp = 1 - cos 7p = 0) and g crosses zero.
float stepAngle(float t) {
    const float p = omega * std::max(0.0f, t - 67.2f);
    const float q = p - std::sin(7.0f * p) / 7.0f;
    const float g = 2.0f * std::sin(7.0f * q);
    return q - std::min(0.0f, g) / 7.0f;
}

// Breathes between 22 and 38 with a period of 4.8 s once e reaches 1.
float breathingRadius(float t, float e, float phase) {
    return 20.0f + e * (10.0f + 8.0f * std::sin(2.0f * std::sin(1.3089969f * t + phase)));
}

} // namespace

Curves curvesAt(float t) {
    Curves c;
    c.A = std::max(0.0f, t - 48.0f);
    const float fall = std::max(0.0f, 19.2f - t);
    c.H = std::max(c.A, 20.0f * fall * fall - c.A + 28.8f);
    c.theta = stepAngle(t);
    c.e = clamp01(t / barLength - 27.0f);
    c.h = clamp01(4.0f - t / 4.8f);
    c.w = clamp01(t / 9.6f - 2.0f) * clamp01(12.0f - t / 4.8f);
    c.d = std::min(std::max(10.0f * (t - 52.8f), 0.0f), 10.0f);
    c.R1 = breathingRadius(t, c.e, 5.105088f);
    c.R3 = breathingRadius(t, c.e, 1.9634955f); // half a turn of phase from R1
    return c;
}

namespace {

// Ring-1 member k: hops in place, then jitters, then rises to H and breathes.
// The jitter is evaluated in double precision: its arguments reach several
// thousand radians, where single precision would make it visibly coarse.
vec3 ring1Position(std::uint32_t k, float sinA, float cosA, float t, const Curves& c) {
    const double phase = double(165.7f * float(k));
    const double jitter = 0.2 * double(c.w);
    const double td = double(t);

    const float f = std::fmod((3.0f * float(k) + 7.5f * t) / 7.0f, 1.0f);
    const float hop = -20.0f * ((0.5f - f) * (0.5f - f)) * c.h;

    const double x = double(c.R1 * sinA) + jitter * std::sin(56.2 * td + phase);
    const double y = double(hop) + jitter * std::sin(72.0 * td + phase) + double(c.e * c.H);
    const double z = double(c.R1 * cosA) + jitter * std::sin(86.2 * td + phase);
    return vec3(float(x), float(y), float(z));
}

void poseInstances(float t, const Curves& c, mat4* local) {
    local[instance::hub] = Ry(T(identity, 0.0f, c.A, 0.0f), -omega * t);
    local[instance::ring1Pivot] = Ry(identity, -c.theta);
    local[instance::ring2Pivot] = Ry(T(identity, 0.0f, c.H, 0.0f), omega * t);
    local[instance::ring3Pivot] = Ry(identity, c.theta);

    const mat4 spin1 = Rx(Ry(identity, 0.5f * t), 0.8f * t);
    const mat4 spin3 = Rx(Ry(identity, 0.5f * t), -0.8f * t);
    for (std::uint32_t k = 0; k < ringSize; ++k) {
        const float a = ringAngle(k);
        const float sinA = std::sin(a);
        const float cosA = std::cos(a);
        const vec3 p1 = ring1Position(k, sinA, cosA, t, c);
        local[instance::ring1First + k] = T(identity, p1.x, p1.y, p1.z) * spin1;
        local[instance::ring3First + k] =
            T(identity, c.R3 * sinA, c.H, c.R3 * cosA) * spin3;
        local[instance::ring2First + k] = Ry(T(identity, c.d * sinA, 0.0f, c.d * cosA), a);
    }
}

// Circles the vertical axis while tilting down and drawing back; used twice,
// the second time continuing the tilt and distance where the first stopped.
mat4 risingOrbit(float t, float u) {
    return Ry(T(Rx(identity, 0.7f - 0.04f * u), 0.0f, -8.0f - 3.0f * u, -32.0f - u), -0.1f * t);
}

// The view matrix of the shot that covers bar b, with the exposure of the
// tone mapping. Times inside a shot are measured from fixed references, not
// always from the shot's first bar.
void shot(std::uint32_t b, float t, float H, mat4& camera, float& exposure) {
    exposure = 0.9f;
    switch (shotOf(b)) {
    case 0: camera = T(Rx(identity, 0.5f + 0.02f * t), 0.0f, -20.0f, 2.0f * t - 48.0f); break;
    case 1: camera = T(Rx(identity, 1.5707964f), 0.0f, -60.0f, 0.0f); break;
    case 2: camera = risingOrbit(t, t - 4.8f); break;
    case 3: camera = T(Ry(Rx(identity, 0.8f - 0.09f * (t - 7.2f)), 0.9424779f), 20.0f, 0.0f, -24.0f); break;
    case 4: {
        const float u = t - 14.4f;
        camera = T(Ry(Rx(identity, -0.5f - 0.2f * u), 0.4f * u - 0.2f), 12.0f, 5.0f, 0.0f);
        break;
    }
    case 5: camera = Ry(T(Rx(identity, -0.2f - 0.1f * (t - 19.2f)), 0.0f, 0.0f, -40.0f), -0.2f * t); break;
    case 6: camera = Ry(T(Rx(identity, 0.3f), 0.0f, -30.0f, -60.0f), -0.2f * t); break;
    case 7: camera = risingOrbit(t, t - 28.8f); break;
    case 8: camera = Ry(T(identity, 0.0f, -20.0f, -80.0f), -0.2f * t); break;
    case 9: camera = T(identity, 0.0f, -20.0f, -100.0f); break;
    case 10: camera = T(identity, 0.0f, -20.0f, -160.0f); break;
    case 11: camera = Ry(T(Rx(identity, 0.5f - 0.1f * (t - 48.0f)), 0.0f, -4.0f, -48.0f), -0.2f * t); break;
    case 12: camera = T(identity, 0.0f, -H, -64.0f); break;
    case 13: {
        const float u = t - 62.4f;
        camera = Ry(T(Rx(identity, 0.1f + 0.014f * u), 0.0f, -H - u - 2.0f, -48.0f - u), -0.2f * t);
        break;
    }
    default: {
        // The fade-out: a little brighter at the cut, then to black by 96 s.
        const float u = t - 86.4f;
        camera = T(Ry(Rx(identity, -0.9f - 0.03f * u), pi), 0.0f, 0.0f, 32.0f);
        exposure = std::exp(-0.9f * u);
        break;
    }
    }
}

// Seven consecutive meshes on a circle of the rest radius around a pivot.
void addCircle(Tovik::Model& model, std::uint64_t firstMesh, std::uint64_t pivot) {
    for (std::uint32_t i = 0; i < ringSize; ++i) {
        const float a = ringAngle(i);
        model.addPart(firstMesh + i,
                      T(identity, ringRadius * std::sin(a), 0.0f, ringRadius * std::cos(a)), pivot);
    }
}

} // namespace

Viewport letterbox(std::uint32_t w, std::uint32_t h) {
    std::uint32_t vw = w;
    std::uint32_t vh = (9 * w) >> 4;
    if (vh > h) {
        vw = (h << 4) / 9;
        vh = h;
    }
    return {(w - vw) >> 1, (h - vh) >> 1, vw, vh};
}

std::uint32_t barIndex(float t) { return std::uint32_t(t / barLength); }

float barStart(std::uint32_t k) {
    // float(k) * barLength lies within an ulp or two of the line; walk to it.
    float t = float(k) * barLength;
    while (t > 0.0f && barIndex(std::nextafter(t, 0.0f)) >= k) t = std::nextafter(t, 0.0f);
    while (barIndex(t) < k) t = std::nextafter(t, INFINITY);
    return t;
}

std::uint32_t shotOf(std::uint32_t bar) {
    std::uint32_t shot = 0;
    while (shot + 1 < shotCount && shotStarts[shot + 1] <= bar) ++shot;
    return shot;
}

void addInstances(Tovik::Model& model) {
    // Parents are addressed by their fixed numbers, which hold only when the
    // scene is the Model's first content.
    assert(model.instances.empty());
    const std::uint64_t none = Tovik::Model::none;
    model.addPart(mesh::ground, identity, none);
    model.addPart(mesh::hub, identity, none);
    model.addPart(none, identity, none);
    addCircle(model, mesh::firstGlitter, instance::ring1Pivot);
    model.addPart(none, identity, none);
    for (std::uint32_t j = 0; j < ringSize; ++j) {
        model.addPart(mesh::rivalHub, Ry(identity, ringAngle(j)), instance::ring2Pivot);
    }
    model.addPart(none, identity, none);
    addCircle(model, mesh::firstObsidian, instance::ring3Pivot);
}

Pose choreograph(float t) {
    Pose pose;
    for (mat4& m : pose.local) m = identity;
    pose.camera = identity;
    pose.exposure = 0.0f;

    // The bar is the truncated single-precision quotient. Testing the
    // quotient first keeps the float-to-integer conversion defined for any
    // input (NaN, infinities, times beyond the range of the bar counter).
    const float quotient = t / barLength;
    pose.ended = !(quotient < float(lastBar + 1));
    if (pose.ended) {
        pose.bar = lastBar + 1;
        return pose;
    }
    pose.bar = quotient > 0.0f ? barIndex(t) : 0;

    const Curves curves = curvesAt(t);
    poseInstances(t, curves, pose.local);
    shot(pose.bar, t, curves.H, pose.camera, pose.exposure);
    return pose;
}

void applyPose(const Pose& pose, Tovik::Model& model) {
    model.setTransform(instance::hub, pose.local[instance::hub]);
    for (std::uint64_t pivot : {instance::ring1Pivot, instance::ring2Pivot, instance::ring3Pivot}) {
        model.setTransform(pivot, pose.local[pivot]);
    }
    for (std::uint64_t first : {instance::ring1First, instance::ring3First, instance::ring2First}) {
        for (std::uint64_t k = 0; k < ringSize; ++k) {
            model.setTransform(first + k, pose.local[first + k]);
        }
    }
}

} // namespace demo
