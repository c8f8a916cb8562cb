#include "choreography.h"
#include "demo.h"

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <type_traits>

// Every allocation of this test program is counted, so that a test can show
// that choreograph() never reaches the heap. Plain malloc/free underneath
// keeps the pairs consistent for AddressSanitizer.
namespace {
std::atomic<long> allocations{0};
void* countedAlloc(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}
} // namespace

void* operator new(std::size_t size) {
    if (void* p = countedAlloc(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* p = countedAlloc(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return countedAlloc(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return countedAlloc(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

using demo::choreograph;
using demo::Pose;
namespace inst = demo::instance;
using glm::mat4;
using glm::vec3;

constexpr std::uint64_t none = Tovik::Model::none;

// Tolerances. Reference values below were worked out independently in double
// precision and printed to 5 decimals; the demo computes in single
// precision, whose chained products and angles up to ~10 rad stay within a
// few 1e-6 relative. So "tight" is 2e-5 relative to max(1, |expected|).
// Values quoted to 2 or 3 decimals get half a unit of their last place.
float tight(float expected) { return 2e-5f * std::max(1.0f, std::fabs(expected)); }

vec3 translation(const mat4& m) { return vec3(m[3]); }

::testing::AssertionResult near3(vec3 got, vec3 want, float tol) {
    for (int i = 0; i < 3; ++i) {
        if (!(std::fabs(got[i] - want[i]) <= tol)) {
            return ::testing::AssertionFailure()
                   << "got (" << got.x << ", " << got.y << ", " << got.z << "), want (" << want.x
                   << ", " << want.y << ", " << want.z << ") within " << tol;
        }
    }
    return ::testing::AssertionSuccess();
}
::testing::AssertionResult nearTight(vec3 got, vec3 want) {
    return near3(got, want, tight(std::max({std::fabs(want.x), std::fabs(want.y), std::fabs(want.z)})));
}

float maxAbsDiff(const mat4& a, const mat4& b) {
    float d = 0.0f;
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) d = std::max(d, std::fabs(a[c][r] - b[c][r]));
    return d;
}

mat4 Ry(float angle) { return glm::rotate(mat4(1.0f), angle, vec3(0, 1, 0)); }

// Rotation angle of a matrix that turns about +y only, in (-pi, pi].
float yAngle(const mat4& m) { return std::atan2(m[2][0], m[2][2]); }
float wrappedDiff(float a, float b) {
    const double twoPi = 2.0 * 3.14159265358979323846;
    double d = std::fmod(double(a) - double(b), twoPi);
    if (d > twoPi / 2) d -= twoPi;
    if (d < -twoPi / 2) d += twoPi;
    return float(d);
}

// The first float whose quotient by 2.4 reaches bar b.
float firstTimeOfBar(std::uint32_t b) {
    float t = float(b) * 2.4f;
    while (demo::barIndex(t) >= b) t = std::nextafter(t, 0.0f);
    while (demo::barIndex(t) < b) t = std::nextafter(t, 1000.0f);
    return t;
}

TEST(SceneInstances, MeshesParentsAndRestPlacement) {
    std::vector<Tovik::Part> parts; // never drawn: the hierarchy is pure data
    Tovik::Model model(parts);
    demo::addInstances(model);
    ASSERT_EQ(model.instances.size(), 26u);

    struct Row { std::uint64_t part, parent; };
    const Row expected[26] = {
        {0, none}, {1, none}, {none, none},
        {2, 2}, {3, 2}, {4, 2}, {5, 2}, {6, 2}, {7, 2}, {8, 2},
        {none, none},
        {9, 10}, {9, 10}, {9, 10}, {9, 10}, {9, 10}, {9, 10}, {9, 10},
        {none, none},
        {10, 18}, {11, 18}, {12, 18}, {13, 18}, {14, 18}, {15, 18}, {16, 18},
    };
    int uses[17] = {};
    for (std::size_t i = 0; i < 26; ++i) {
        const auto& in = model.instances[i];
        EXPECT_EQ(in.part, expected[i].part) << "instance " << i;
        EXPECT_EQ(in.parent, expected[i].parent) << "instance " << i;
        EXPECT_TRUE(in.visible);
        if (in.part < 17) ++uses[in.part];
    }
    for (int m = 0; m < 17; ++m) EXPECT_EQ(uses[m], m == 9 ? 7 : 1) << "mesh " << m;
    for (std::uint64_t i : {inst::ground, inst::hub, inst::ring1Pivot, inst::ring2Pivot,
                            inst::ring3Pivot}) {
        EXPECT_EQ(model.instances[i].world, mat4(1.0f)) << "instance " << i;
    }

    // Rings 1 and 3 sit on a circle of radius 20, member 0 on +z, the angle
    // growing towards +x; the ring-2 copies all sit at their pivot, turned.
    const vec3 ring[7] = {{0, 0, 20},           {15.63663f, 0, 12.46980f}, {19.49856f, 0, -4.45042f},
                          {8.67768f, 0, -18.01938f}, {-8.67768f, 0, -18.01938f},
                          {-19.49856f, 0, -4.45041f}, {-15.63663f, 0, 12.46979f}};
    EXPECT_EQ(translation(model.instances[inst::ring1First].world), vec3(0, 0, 20));
    EXPECT_TRUE(near3(translation(model.instances[inst::ring1First + 1].world), {15.64f, 0, 12.47f}, 0.005f));
    for (std::uint32_t k = 0; k < 7; ++k) {
        EXPECT_NEAR(demo::ringAngle(k), 2.0 * 3.14159265358979 * k / 7.0, 1e-6) << k;
        EXPECT_TRUE(nearTight(translation(model.instances[inst::ring1First + k].world), ring[k])) << k;
        EXPECT_TRUE(nearTight(translation(model.instances[inst::ring3First + k].world), ring[k])) << k;
        const mat4& turned = model.instances[inst::ring2First + k].world;
        EXPECT_EQ(translation(turned), vec3(0.0f)) << k;
        EXPECT_TRUE(nearTight(vec3(turned * glm::vec4(0, 0, 20, 0)), ring[k])) << k;
    }
}

// One moment inside every camera shot (and two in the fade-out), with the
// whole view matrix, column-major.
struct ShotCase {
    float t;
    std::uint32_t bar;
    float m[16];
    float exposure;
};
const ShotCase shotCases[] = {
    {1.20f, 0, {1, 0, 0, 0, 0, 0.86582f, 0.50035f, 0, 0, -0.50035f, 0.86582f, 0, 0, 5.49935f, -49.48856f, 1}, 0.9f},
    {3.60f, 1, {1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, -60, 1}, 0.9f},
    {7.20f, 2, {0.75181f, -0.37449f, 0.54272f, 0, 0, 0.82307f, 0.56794f, 0, -0.65938f, -0.42698f, 0.61879f, 0, 0, 7.02644f, -36.94630f, 1}, 0.9f},
    {12.00f, 5, {0.58779f, 0.29104f, -0.75485f, 0, 0, 0.93305f, 0.35975f, 0, 0.80902f, -0.21146f, 0.54843f, 0, -7.66071f, 10.89582f, -28.25942f, 1}, 0.9f},
    {16.80f, 6, {0.72484f, -0.57215f, -0.38374f, 0, 0, 0.55702f, -0.83050f, 0, 0.68892f, 0.60197f, 0.40375f, 0, 8.69803f, -4.08066f, -8.75742f, 1}, 0.9f},
    {24.00f, 10, {0.08750f, -0.62638f, -0.77459f, 0, 0, 0.77757f, -0.62879f, 0, 0.99616f, 0.05502f, 0.06804f, 0, 0, -25.15172f, -31.10291f, 1}, 0.9f},
    {31.20f, 13, {0.99907f, 0.01276f, -0.04124f, 0, 0, 0.95534f, 0.29552f, 0, 0.04317f, -0.29524f, 0.95445f, 0, 0, -10.92888f, -66.18580f, 1}, 0.9f},
    {36.00f, 14, {-0.89676f, 0.17720f, -0.40549f, 0, 0, 0.91632f, 0.40044f, 0, 0.44252f, 0.35910f, -0.82172f, 0, 0, -11.42577f, -47.77292f, 1}, 0.9f},
    {40.80f, 16, {-0.30126f, 0, 0.95354f, 0, 0, 1, 0, 0, -0.95354f, 0, -0.30126f, 0, 0, -20, -80, 1}, 0.9f},
    {44.40f, 18, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -20, -100, 1}, 0.9f},
    {46.80f, 19, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -20, -160, 1}, 0.9f},
    {52.80f, 21, {-0.42193f, 0.01813f, -0.90645f, 0, 0, 0.99980f, 0.02000f, 0, 0.90663f, 0.00844f, -0.42185f, 0, 0, -3.03926f, -48.07040f, 1}, 0.9f},
    {60.00f, 24, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -16.8f, -64, 1}, 0.9f},
    {74.40f, 31, {-0.67638f, -0.19504f, 0.71026f, 0, 0, 0.96430f, 0.26480f, 0, -0.73655f, 0.17911f, -0.65223f, 0, 0, -23.06962f, -68.55620f, 1}, 0.9f},
    {91.20f, 37, {-1, 0, 0, 0, 0, 0.50277f, -0.86442f, 0, 0, -0.86442f, -0.50277f, 0, 0, -27.66151f, -16.08854f, 1}, 0.01329994f},
    {95.99f, 39, {-1, 0, 0, 0, 0, 0.37379f, -0.92751f, 0, 0, -0.92751f, -0.37379f, 0, 0, -29.68037f, -11.96142f, 1}, 0.0001784867f},
};

TEST(Choreography, CameraOfEveryShot) {
    for (const ShotCase& c : shotCases) {
        const Pose pose = choreograph(c.t);
        ASSERT_FALSE(pose.ended) << c.t;
        EXPECT_EQ(pose.bar, c.bar) << c.t;
        for (int i = 0; i < 16; ++i) {
            EXPECT_NEAR(pose.camera[i / 4][i % 4], c.m[i], tight(c.m[i])) << "t " << c.t << " element " << i;
        }
        EXPECT_NEAR(pose.exposure, c.exposure, 1e-5f * c.exposure) << c.t;
    }
}

TEST(Choreography, QuotedMoments) {
    const Pose at1 = choreograph(1.0f);
    EXPECT_TRUE(near3(translation(at1.camera), {0, 5.5f, -49.86f}, 0.005f));
    const mat4 tilt = glm::rotate(mat4(1.0f), 0.52f, vec3(1, 0, 0));
    EXPECT_LT(maxAbsDiff(mat4(glm::mat3(at1.camera)), tilt), 1e-6f);

    const Pose at3 = choreograph(3.0f);
    EXPECT_TRUE(near3(translation(at3.camera), {0, 0, -60}, 1e-5f));
    EXPECT_TRUE(near3(at3.camera * glm::vec4(0, 1, 0, 0), {0, 0, 1}, 1e-6f)); // looks straight down

    const Pose at10 = choreograph(10.0f);
    EXPECT_LT(maxAbsDiff(at10.local[inst::hub], Ry(-3.7399912f)), 1e-6f);
    EXPECT_NEAR(translation(at10.local[inst::ring2Pivot]).y, 1721.6f, tight(1721.6f));
    for (std::uint32_t k = 0; k < 7; ++k) {
        const vec3 p = translation(at10.local[inst::ring3First + k]);
        EXPECT_NEAR(p.y, 1721.6f, tight(1721.6f));
        EXPECT_NEAR(std::hypot(p.x, p.z), 20.0f, tight(20.0f));
    }
    EXPECT_TRUE(near3(translation(at10.local[inst::ring1First]), {0, -0.918f, 20}, 0.0005f));

    const Pose at55 = choreograph(55.0f);
    for (std::uint32_t k = 0; k < 7; ++k) {
        const float a = demo::ringAngle(k);
        EXPECT_TRUE(nearTight(translation(at55.local[inst::ring2First + k]),
                              {10 * std::sin(a), 0, 10 * std::cos(a)}));
        // Each copy keeps its seventh of a turn while it spreads.
        EXPECT_LT(maxAbsDiff(mat4(glm::mat3(at55.local[inst::ring2First + k])), Ry(a)), 1e-6f) << k;
    }
    EXPECT_TRUE(nearTight(translation(at55.local[inst::hub]), {0, 7, 0}));
    EXPECT_TRUE(nearTight(translation(at55.local[inst::ring2Pivot]), {0, 21.8f, 0}));

    const Pose at75 = choreograph(75.0f);
    EXPECT_NEAR(translation(at75.local[inst::ring2Pivot]).y, 27.0f, tight(27));
    EXPECT_TRUE(near3(translation(at75.local[inst::ring1First]), {0, 27, 35.54f}, 0.005f));
    EXPECT_TRUE(near3(translation(at75.local[inst::ring3First]), {0, 27, 24.46f}, 0.005f));
    EXPECT_LT(maxAbsDiff(at75.local[inst::ring1Pivot], Ry(-2.774337f)), 2e-6f);
    EXPECT_LT(maxAbsDiff(at75.local[inst::ring3Pivot], Ry(2.774337f)), 2e-6f);
}

// Local positions of ring members at moments of each phase: hopping (1, 10),
// jittering (21, 40, 55), lifted and breathing (75, 90).
struct MemberCase {
    float t;
    std::uint64_t instance;
    vec3 position;
};
const MemberCase memberCases[] = {
    {1, inst::ring1First, {0, -3.67347f, 20}},
    {1, inst::ring1First + 3, {8.67768f, -0.40816f, -18.01938f}},
    {1, inst::ring3First + 2, {19.49856f, 6653.60056f, -4.45042f}},
    {10, inst::ring1First + 3, {8.67768f, -5.0f, -18.01938f}},
    {10, inst::ring1First + 5, {-19.49856f, -2.55102f, -4.45041f}},
    {21, inst::ring1First, {-0.03232f, -0.02923f, 20.02247f}},
    {21, inst::ring1First + 4, {-8.64401f, 0.02736f, -18.03950f}},
    {40, inst::ring1First + 1, {15.80010f, -0.19945f, 12.62246f}},
    {40, inst::ring1First + 5, {-19.65281f, 0.19775f, -4.59282f}},
    {40, inst::ring3First + 5, {-19.49856f, 28.8f, -4.45041f}},
    {55, inst::ring1First + 6, {-15.53868f, 0.00992f, 12.36413f}},
    {75, inst::ring1First + 2, {34.65131f, 27, -7.90894f}},
    {75, inst::ring3First + 2, {23.84437f, 27, -5.44232f}},
    {90, inst::ring1First + 1, {19.12173f, 42, 15.24907f}},
    {90, inst::ring3First + 1, {27.78816f, 42, 22.16032f}},
    {90, inst::hub, {0, 42, 0}},
};

TEST(Choreography, RingMemberPositions) {
    for (const MemberCase& c : memberCases) {
        EXPECT_TRUE(nearTight(translation(choreograph(c.t).local[c.instance]), c.position))
            << "t " << c.t << " instance " << c.instance;
    }
}

TEST(Choreography, MembersTumbleInOppositeSensesOnRings1And3) {
    const Pose pose = choreograph(10.0f);
    // Ry(5)·Rx(8) and Ry(5)·Rx(-8), columns 0..2.
    const float ring1[9] = {0.28366f, 0, 0.95892f, -0.94872f, -0.14550f, 0.28064f, 0.13952f, -0.98936f, -0.04127f};
    const float ring3[9] = {0.28366f, 0, 0.95892f, 0.94872f, -0.14550f, -0.28064f, 0.13952f, 0.98936f, -0.04127f};
    for (std::uint32_t k = 0; k < 7; ++k) {
        for (int i = 0; i < 9; ++i) {
            EXPECT_NEAR(pose.local[inst::ring1First + k][i / 3][i % 3], ring1[i], 2e-5f) << k << "/" << i;
            EXPECT_NEAR(pose.local[inst::ring3First + k][i / 3][i % 3], ring3[i], 2e-5f) << k << "/" << i;
        }
    }
}

TEST(Choreography, HeightCurveH) {
    const struct { float t, H; } cases[] = {{0, 7401.6f}, {19.2f, 28.8f}, {30, 28.8f}, {48, 28.8f},
                                           {55.2f, 21.6f}, {62.4f, 14.4f}, {80, 32}};
    for (const auto& c : cases) {
        const mat4 pivot = choreograph(c.t).local[inst::ring2Pivot];
        EXPECT_NEAR(translation(pivot).y, c.H, tight(c.H)) << c.t;
        EXPECT_NEAR(translation(choreograph(c.t).local[inst::ring3First + 3]).y, c.H, tight(c.H)) << c.t;
    }
}

TEST(Choreography, PivotsStepBySeventhsFromBar28) {
    const float seventh = float(2.0 * 3.14159265358979 / 7.0);
    for (float t : {0.0f, 20.0f, 66.0f, std::nextafter(67.2f, 0.0f)}) {
        EXPECT_EQ(choreograph(t).local[inst::ring1Pivot], mat4(1.0f)) << t;
        EXPECT_EQ(choreograph(t).local[inst::ring3Pivot], mat4(1.0f)) << t;
    }
    for (int k = 0; k <= 11; ++k) {
        const float t = 67.2f + 2.4f * float(k);
        const Pose pose = choreograph(t);
        ASSERT_FALSE(pose.ended);
        EXPECT_NEAR(wrappedDiff(yAngle(pose.local[inst::ring3Pivot]), k * seventh), 0.0f, 4e-6f) << k;
        EXPECT_NEAR(wrappedDiff(yAngle(pose.local[inst::ring1Pivot]), -k * seventh), 0.0f, 4e-6f) << k;
        // Overshoots the next seventh by about a tenth of a step mid-bar.
        float over = -1.0f;
        for (int i = 1; i < 240; ++i) {
            const float angle = yAngle(choreograph(t + 0.01f * float(i)).local[inst::ring3Pivot]);
            over = std::max(over, wrappedDiff(angle, (k + 1) * seventh));
        }
        EXPECT_NEAR(over / seventh, 0.109f, 0.002f) << k;
    }
}

TEST(Choreography, ExposureHoldsThenFades) {
    for (float t = 0.0f; t < 86.3f; t += 0.1f) ASSERT_EQ(choreograph(t).exposure, 0.9f) << t;
    EXPECT_EQ(choreograph(std::nextafter(86.4f, 0.0f)).exposure, 0.9f);
    EXPECT_EQ(choreograph(86.4f).exposure, 1.0f);
    float previous = 1.0f;
    for (float t = 86.5f; t < 96.0f; t += 0.5f) {
        const float e = choreograph(t).exposure;
        EXPECT_LT(e, previous) << t;
        previous = e;
    }
    EXPECT_NEAR(choreograph(std::nextafter(96.0f, 0.0f)).exposure, 0.000177f, 0.000001f);
}

TEST(Choreography, TheLastBarRendersAndTheEndIsReachedOnTheFloatQuotient) {
    EXPECT_FALSE(choreograph(95.99f).ended);
    EXPECT_EQ(choreograph(95.99f).bar, 39u);
    // 96 / 2.4f is just below 40 exactly, but rounds to 40 in single precision.
    EXPECT_TRUE(choreograph(96.0f).ended);
    for (float t : {96.0f, 120.0f, 1e12f, INFINITY, NAN}) {
        const Pose pose = choreograph(t);
        EXPECT_TRUE(pose.ended) << t;
        EXPECT_GT(pose.bar, demo::lastBar) << t;
    }
}

// Cuts change the camera at the first float of the new shot's first bar;
// bars inside a shot continue the same move.
TEST(Choreography, ShotsCutExactlyAtTheirFirstBar) {
    const std::uint32_t cuts[] = {1, 2, 4, 6, 8, 12, 14, 16, 18, 19, 20, 24, 26, 36};
    for (std::uint32_t b = 1; b <= 39; ++b) {
        const float t = firstTimeOfBar(b);
        const Pose before = choreograph(std::nextafter(t, 0.0f));
        const Pose after = choreograph(t);
        EXPECT_EQ(before.bar, b - 1);
        EXPECT_EQ(after.bar, b);
        const float jump =
            std::max(maxAbsDiff(before.camera, after.camera), std::fabs(before.exposure - after.exposure));
        if (std::find(std::begin(cuts), std::end(cuts), b) != std::end(cuts)) {
            EXPECT_GT(jump, 0.05f) << "no cut at bar " << b;
        } else {
            EXPECT_LT(jump, 1e-3f) << "unexpected cut at bar " << b;
        }
    }
}

TEST(Choreography, Bars14To15ContinueTheMoveOfBars2To3) {
    const float end = std::nextafter(9.6f, 0.0f);
    const float start = firstTimeOfBar(14);
    // Same tilt and distance; only the orbit angle -0.1 t has moved on.
    const mat4 expected = choreograph(end).camera * Ry(-0.1f * (start - end));
    EXPECT_LT(maxAbsDiff(choreograph(start).camera, expected), 1e-3f);
}

TEST(Choreography, InstancesMoveContinuouslyThroughPhaseChanges) {
    for (float t : {14.4f, 19.2f, 28.8f, 48.0f, 52.8f, 53.8f, 57.6f, 62.4f, 64.8f, 67.2f}) {
        const Pose a = choreograph(t - 1e-4f);
        const Pose b = choreograph(t + 1e-4f);
        for (std::uint64_t i = 0; i < inst::count; ++i) {
            EXPECT_LT(maxAbsDiff(a.local[i], b.local[i]), 0.05f) << "t " << t << " instance " << i;
        }
    }
}

TEST(Choreography, WorldPositionsAfterApplyAndUpdate) {
    std::vector<Tovik::Part> parts;
    Tovik::Model model(parts);
    demo::addInstances(model);
    const mat4 groundMark = glm::translate(mat4(1.0f), vec3(1, 2, 3));
    model.setTransform(inst::ground, groundMark);
    const Pose pose = choreograph(75.0f);
    demo::applyPose(pose, model);
    model.update();
    EXPECT_EQ(model.instances[inst::ground].local, groundMark) << "the ground is not animated";
    for (std::uint64_t i = 1; i < inst::count; ++i) EXPECT_EQ(model.instances[i].local, pose.local[i]) << i;

    const MemberCase world[] = {
        {75, inst::hub, {0, 27, 0}},
        {75, inst::ring1First, {-12.76170f, 27, -33.17233f}},
        {75, inst::ring1First + 3, {-2.89504f, 27, 35.42433f}},
        {75, inst::ring3First, {8.78162f, 27, -22.82665f}},
        {75, inst::ring3First + 4, {1.99215f, 27, 24.37630f}},
        {75, inst::ring2First + 1, {-6.23489f, 27, -7.81832f}},
        {75, inst::ring2First + 5, {9.00969f, 27, 4.33884f}},
    };
    for (const MemberCase& c : world) {
        EXPECT_TRUE(nearTight(translation(model.instances[c.instance].world), c.position)) << c.instance;
    }
}

TEST(Choreography, DeterministicAndFreeOfAllocation) {
    static_assert(std::is_trivially_copyable<Pose>::value, "a Pose is plain data");
    const long before = allocations.load();
    float checksum[2] = {0.0f, 0.0f};
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 1000; ++i) {
            const Pose pose = choreograph(0.096f * float(i));
            for (const mat4& m : pose.local) checksum[pass] += m[3][0] + m[3][1] + m[3][2] + m[0][0];
            checksum[pass] += pose.camera[3][2] + pose.exposure;
        }
    }
    EXPECT_EQ(allocations.load() - before, 0);
    EXPECT_EQ(checksum[0], checksum[1]);
    const Pose a = choreograph(42.0f), b = choreograph(42.0f);
    for (std::uint64_t i = 0; i < inst::count; ++i) EXPECT_EQ(a.local[i], b.local[i]);
    EXPECT_EQ(a.camera, b.camera);
    EXPECT_EQ(a.exposure, b.exposure);
}

} // namespace
