// The timeline without a context: the letterbox, the bars, the scene's
// instances and the choreography, against reference values worked out
// independently in double precision (at the single-precision value of each
// time) from the timeline's formulas.
#include "choreography.h"

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include <cmath>

namespace {

using demo::choreograph;
using glm::mat4;
using glm::vec3;
namespace inst = demo::instance;

// Single precision through chained products and angles of up to a few
// thousand radians stays within this of the double-precision references.
float tolerance(float expected) { return 1e-5f + 2e-5f * std::fabs(expected); }

mat4 Ry(float angle) { return glm::rotate(mat4(1.0f), angle, vec3(0, 1, 0)); }
mat4 Rx(float angle) { return glm::rotate(mat4(1.0f), angle, vec3(1, 0, 0)); }

TEST(Letterbox, LargestCentredSixteenByNineRectangle) {
    const struct { std::uint32_t w, h; demo::Viewport view; } cases[] = {
        {1920, 1080, {0, 0, 1920, 1080}}, {1920, 1200, {0, 60, 1920, 1080}},
        {2560, 1600, {0, 80, 2560, 1440}}, {1280, 1024, {0, 152, 1280, 720}},
        {3440, 1440, {440, 0, 2560, 1440}}, {1366, 768, {0, 0, 1366, 768}},
        {1360, 768, {0, 1, 1360, 765}},    {640, 480, {0, 60, 640, 360}},
    };
    for (const auto& c : cases) EXPECT_EQ(demo::letterbox(c.w, c.h), c.view) << c.w << "x" << c.h;
}

// Bars are 2.4 s on the single-precision quotient, which reaches 40 at
// exactly 96 s; from there the timeline is over, and any time beyond it (or
// no time at all) stays over.
TEST(Bars, EndAfterBarThirtyNine) {
    EXPECT_EQ(choreograph(std::nextafter(96.0f, 0.0f)).bar, 39u);
    for (float t : {96.0f, 120.0f, 1e12f, INFINITY, NAN}) EXPECT_TRUE(choreograph(t).ended) << t;
    // The first instant of every bar is in it, the instant before is in the
    // bar before, and the piece ends on the 40th.
    for (std::uint32_t k = 1; k <= demo::barCount; ++k)
        EXPECT_EQ(demo::barIndex(demo::barStart(k)) * 100 + demo::barIndex(std::nextafter(demo::barStart(k), 0.0f)),
                  k * 100 + k - 1) << k;
    EXPECT_EQ(demo::barStart(demo::barCount), demo::pieceLength);
}

// Every curve at and between its turning points, so that none of them can
// start, stop or turn a bar early or late unnoticed.
TEST(Choreography, CurvesAtTheirTurningPoints) {
    const struct { float t, A, H, e, h, w, d, theta, R1, R3; } cases[] = {
        {0.0f, 0, 7401.6f, 0, 1, 0, 0, 0, 20, 20},
        {16.8f, 0, 144, 0, 0.5f, 0, 0, 0, 20, 20},
        {19.2f, 0, 28.8f, 0, 0, 0, 0, 0, 20, 20},
        {24.0f, 0, 28.8f, 0, 0, 0.5f, 0, 0, 20, 20},
        {28.8f, 0, 28.8f, 0, 0, 1, 0, 0, 20, 20},
        {48.0f, 0, 28.8f, 0, 0, 1, 0, 0, 20, 20},
        {52.8f, 4.8f, 24, 0, 0, 1, 0, 0, 20, 20},
        {53.3f, 5.3f, 23.5f, 0, 0, 0.895833f, 5, 0, 20, 20},
        {53.8f, 5.8f, 23, 0, 0, 0.791667f, 10, 0, 20, 20},
        {55.2f, 7.2f, 21.6f, 0, 0, 0.5f, 10, 0, 20, 20},
        {57.6f, 9.6f, 19.2f, 0, 0, 0, 10, 0, 20, 20},
        {62.4f, 14.4f, 14.4f, 0, 0, 0, 10, 0, 20, 20},
        {66.0f, 18, 18, 0.5f, 0, 0, 10, 0, 22.2288f, 27.7712f},
        {67.2f, 19.2f, 19.2f, 1, 0, 0, 10, 0, 22.3049f, 37.6951f},
        {68.4f, 20.4f, 20.4f, 1, 0, 0, 10, 0.448802f, 35.5424f, 24.4576f},
        {69.0f, 21, 21, 1, 0, 0, 10, 0.970428f, 37.6951f, 22.3049f}, // past 2π/7
        {69.6f, 21.6f, 21.6f, 1, 0, 0, 10, 0.897598f, 37.6951f, 22.3049f}, // 2π/7
        {95.99f, 47.99f, 47.99f, 1, 0, 0, 10, 10.7712f, 22.3268f, 37.6732f},
    };
    for (const auto& c : cases) {
        const demo::Curves got = demo::curvesAt(c.t);
        const float want[] = {c.A, c.H, c.e, c.h, c.w, c.d, c.theta, c.R1, c.R3};
        const float have[] = {got.A, got.H, got.e, got.h, got.w, got.d, got.theta, got.R1, got.R3};
        const char* const names[] = {"A", "H", "e", "h", "w", "d", "theta", "R1", "R3"};
        for (int i = 0; i < 9; ++i)
            EXPECT_NEAR(have[i], want[i], tolerance(want[i])) << "t " << c.t << ", " << names[i];
    }
}

// The camera in the middle of the first and the last bar of every shot: each
// shot's formula and where it cuts. Columns 0 to 3 of the view matrix, rows
// 0 to 2.
TEST(Choreography, CameraAndExposureOfEveryShot) {
    const struct { float t; float m[12]; float exposure; } cases[] = {
        {1.2f, {1, 0, 0, 0, 0.865825, 0.500347, 0, -0.500347, 0.865825, 0, 5.49935, -49.4886}, 0.9f},
        {3.6f, {1, 0, 0, 0, 0, 1, 0, -1, 0, 0, 4.39231e-06, -60}, 0.9f},
        {6.0f, {0.825336, -0.342612, 0.448818, 0, 0.794872, 0.606777, -0.564642, -0.500795, 0.656036, 0, 10.9245, -33.4284}, 0.9f},
        {8.4f, {0.667463, -0.393017, 0.63248, 0, 0.849373, 0.527793, -0.744643, -0.352282, 0.566925, 0, 2.82122, -40.1602}, 0.9f},
        {10.8f, {0.587785, 0.370714, -0.719083, 0, 0.888835, 0.458227, 0.809017, -0.269339, 0.522444, -7.66071, 13.8784, -26.9203}, 0.9f},
        {13.2f, {0.587785, 0.207983, -0.781826, 0, 0.96639, 0.257081, 0.809017, -0.151108, 0.56803, -7.66071, 7.78625, -29.2692}, 0.9f},
        {15.6f, {0.961055, -0.186343, -0.20408, 0, 0.738469, -0.674288, 0.276356, 0.648028, 0.709709, 11.5327, 1.45622, -5.8204}, 0.9f},
        {18.0f, {0.324796, -0.888185, -0.325015, 0, 0.343646, -0.939099, 0.945784, 0.305016, 0.111615, 3.89756, -8.93999, -8.59567}, 0.9f},
        {20.4f, {-0.591073, -0.253735, -0.76567, 0, 0.949235, -0.314567, 0.806618, -0.185932, -0.561068, 0, -12.5827, -37.9694}, 0.9f},
        {27.6f, {0.722638, -0.596117, -0.349913, 0, 0.50622, -0.862404, 0.691227, 0.623206, 0.365814, 0, -34.4962, -20.2488}, 0.9f},
        {30.0f, {0.96017, 0.0825729, -0.266936, 0, 0.955336, 0.29552, 0.279415, -0.28375, 0.917286, 0, -10.9289, -66.1858}, 0.9f},
        {32.4f, {0.980694, -0.057788, 0.186813, 0, 0.955336, 0.29552, -0.195547, -0.289815, 0.936893, 0, -10.9289, -66.1858}, 0.9f},
        {34.8f, {-0.943285, 0.147384, -0.297476, 0, 0.896052, 0.443948, 0.331985, 0.418769, -0.845233, 0, -6.42733, -45.5926}, 0.9f},
        {37.2f, {-0.837334, 0.19463, -0.510872, 0, 0.93448, 0.356015, 0.546691, 0.298104, -0.782472, 0, -16.6417, -49.5727}, 0.9f},
        {39.6f, {-0.0659701, 0, 0.997822, 0, 1, 0, -0.997822, 0, -0.0659701, 0, -20, -80}, 0.9f},
        {42.0f, {-0.519289, 0, 0.854599, 0, 1, 0, -0.854599, 0, -0.519289, 0, -20, -80}, 0.9f},
        {44.4f, {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, -20, -100}, 0.9f},
        {46.8f, {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, -20, -160}, 0.9f},
        {49.2f, {-0.915027, 0.149627, -0.374617, 0, 0.928665, 0.37092, 0.403393, 0.339402, -0.849753, 0, 14.0895, -46.0596}, 0.9f},
        {56.4f, {0.280607, -0.320089, -0.904877, 0, 0.942755, -0.333487, 0.959823, 0.0935787, 0.264543, 0, -19.7784, -43.9183}, 0.9f},
        {58.8f, {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, -18, -64}, 0.9f},
        {61.2f, {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, -15.6, -64}, 0.9f},
        {63.6f, {0.988222, -0.0178328, 0.151983, 0, 0.993187, 0.116535, -0.153025, -0.115162, 0.981489, 0, -12.9384, -51.0556}, 0.9f},
        {85.2f, {-0.236498, 0.395483, -0.887503, 0, 0.913415, 0.40703, 0.971632, 0.0962618, -0.216021, 0, -27.814, -89.9056}, 0.9f},
        {87.6f, {-1, 0, 0, 0, 0.593014, -0.805192, 0, -0.805192, -0.593014, -1.48513e-06, -25.7662, -18.9764}, 0.339596f},
        {94.8f, {-1, 0, 0, 0, 0.406661, -0.913579, 0, -0.913579, -0.406661, -1.48513e-06, -29.2345, -13.0132}, 0.000520874f},
    };
    for (const auto& c : cases) {
        const demo::Pose pose = choreograph(c.t);
        const std::uint32_t b = pose.bar;
        for (int i = 0; i < 12; ++i)
            EXPECT_NEAR(pose.camera[i / 3][i % 3], c.m[i], tolerance(c.m[i]))
                << "bar " << b << ", column " << i / 3 << ", row " << i % 3;
        EXPECT_NEAR(pose.exposure, c.exposure, 1e-4f * c.exposure) << "bar " << b;
    }
    // The fade starts a little brighter, exactly at its bar line.
    EXPECT_EQ(choreograph(std::nextafter(86.4f, 0.0f)).exposure, 0.9f);
    EXPECT_EQ(choreograph(86.4f).exposure, 1.0f);
}

// The instances' local transforms at moments of each phase (hopping,
// jittering, spreading, lifted and breathing, stepping): a translation, then
// turns about y and about x. Rings 1 and 3 tumble in opposite senses; each
// ring-2 copy keeps its seventh of a turn while it spreads.
TEST(Choreography, InstanceTransforms) {
    const struct { float t; std::uint64_t instance; vec3 position; float ry, rx; } cases[] = {
        {1.0f, inst::ring1First + 0, {0.0f, -3.6734694f, 20.0f}, 0.5f, 0.8f},
        {1.0f, inst::ring3First + 2, {19.498558f, 6653.6f, -4.450419f}, 0.5f, -0.8f},
        {10.0f, inst::ring1First + 3, {8.6776765f, -5.0f, -18.019377f}, 5.0f, 8.0f},
        {16.8f, inst::ring1First + 2, {19.498558f, -1.2755048f, -4.450419f}, 8.4f, 13.44f},
        {21.0f, inst::ring1First + 0, {-0.032318073f, -0.02923281f, 20.022474f}, 10.5f, 16.8f},
        {24.0f, inst::ring1First + 4, {-8.5945872f, -0.0047960006f, -18.119366f}, 12.0f, 19.2f},
        {40.0f, inst::ring1First + 1, {15.800105f, -0.19945146f, 12.622461f}, 20.0f, 32.0f},
        {40.0f, inst::ring3First + 5, {-19.49856f, 28.8f, -4.4504109f}, 20.0f, -32.0f},
        {53.3f, inst::ring2First + 2, {4.8746321f, 0.0f, -1.112603f}, 1.7951958f, 0.0f},
        {55.2f, inst::ring1First + 6, {-15.656188f, -0.098537656f, 12.45151f}, 27.6f, 44.16f},
        {66.0f, inst::ring1First + 1, {17.379182f, 9.0f, 13.859435f}, 33.0f, 52.8f},
        {66.0f, inst::ring3First + 1, {21.712393f, 18.0f, 17.315056f}, 33.0f, -52.8f},
        {75.0f, inst::ring1First + 2, {34.651321f, 27.0f, -7.9089385f}, 37.5f, 60.0f},
        {10.0f, inst::hub, {0.0f, 0.0f, 0.0f}, -3.7399912f, 0.0f},
        {90.0f, inst::hub, {0.0f, 42.0f, 0.0f}, -33.65992f, 0.0f},
        {10.0f, inst::ring2Pivot, {0.0f, 1721.6f, 0.0f}, 3.7399912f, 0.0f},
        {55.0f, inst::ring2Pivot, {0.0f, 21.8f, 0.0f}, 20.569952f, 0.0f},
        {75.0f, inst::ring1Pivot, {0.0f, 0.0f, 0.0f}, -2.774336f, 0.0f},
        {75.0f, inst::ring3Pivot, {0.0f, 0.0f, 0.0f}, 2.774336f, 0.0f},
    };
    for (const auto& c : cases) {
        const mat4 got = choreograph(c.t).local[c.instance];
        const mat4 want = glm::translate(mat4(1.0f), c.position) * Ry(c.ry) * Rx(c.rx);
        for (int i = 0; i < 12; ++i)
            EXPECT_NEAR(got[i / 3][i % 3], want[i / 3][i % 3], tolerance(want[i / 3][i % 3]) + 2e-5f)
                << "t " << c.t << ", instance " << c.instance << ", element " << i;
    }
}

} // namespace
