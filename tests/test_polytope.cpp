// The face-table routine: fans, winding for -1, -2 and outward, normals,
// colour runs and their wrap, and the counts a table of k-gons makes.
#include "assets.h"

#include <glm/geometric.hpp>
#include <gtest/gtest.h>

namespace {

using assets::ColourRun;
using assets::PolytopeTable;

// Points of a unit square in z = 1 and a triangle in the plane x = -2 whose
// listed order makes its normal point at the origin.
constexpr float points[][3] = {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1},
                               {-2, 0, 0}, {-2, 0, 1}, {-2, 1, 0}};
constexpr ColourRun grey[] = {{2, 0xFF808080u}, {0, 0}};

PolytopeTable table(const std::int16_t* indices, std::size_t count, const ColourRun* colours = grey) {
    return {points, 7, indices, count, colours};
}

std::vector<std::uint32_t> lastTriangle(const assets::PolytopeMesh& m) {
    return {m.indices.end() - 3, m.indices.end()};
}

// After a square (b = 4 vertices), the triangle 4, 5, 6 (normal (p6 - p4) x
// (p5 - p4) = (0,1,0) x (0,0,1) = (1, 0, 0), pointing away from the origin
// side the triangle's plane lies on: n · p4 = -2).
struct WindingCase {
    std::int16_t terminator;
    float outward;
    std::vector<std::uint32_t> triangle;
    glm::vec3 normal;
};

class Winding : public ::testing::TestWithParam<WindingCase> {};

TEST_P(Winding, TurnsTheFaceAsTheTerminatorAndOutwardSay) {
    const WindingCase& c = GetParam();
    const std::int16_t indices[] = {0, 1, 2, 3, -1, 4, 5, 6, c.terminator};
    const assets::PolytopeMesh m = assets::buildPolytopeMesh(table(indices, 9), 1.0f, c.outward);
    ASSERT_EQ(m.vertices.size(), 7u);
    EXPECT_EQ(lastTriangle(m), c.triangle);
    for (int i = 4; i < 7; ++i) {
        EXPECT_EQ(m.vertices[i].position, glm::vec3(points[i][0], points[i][1], points[i][2]));
        EXPECT_EQ(m.vertices[i].normal, c.normal);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Polytope, Winding,
    ::testing::Values(WindingCase{-1, 0.0f, {4, 6, 5}, {1, 0, 0}},   // as listed
                      WindingCase{-1, 1.0f, {4, 5, 6}, {-1, 0, 0}},  // turned to face away from the origin
                      WindingCase{-2, 1.0f, {4, 6, 5}, {1, 0, 0}},   // the two turns cancel
                      WindingCase{-2, 0.0f, {4, 5, 6}, {-1, 0, 0}},  // reversed by its terminator
                      WindingCase{-7, 0.0f, {4, 6, 5}, {1, 0, 0}})); // any other negative ends a plain face

TEST(Polytope, OutwardLeavesFacesThatAlreadyFaceAway) {
    // The square's listed order gives n = (p2 - p0) x (p1 - p0) = (0, 0, -1):
    // towards the origin, so outward turns it to (0, 0, 1).
    const std::int16_t indices[] = {0, 1, 2, 3, -1};
    const assets::PolytopeMesh in = assets::buildPolytopeMesh(table(indices, 5), 1.0f, 0.0f);
    const assets::PolytopeMesh out = assets::buildPolytopeMesh(table(indices, 5), 1.0f, 1.0f);
    EXPECT_EQ(in.vertices[0].normal, glm::vec3(0, 0, -1));
    EXPECT_EQ(in.indices, (std::vector<std::uint32_t>{0, 2, 1, 0, 3, 2}));
    EXPECT_EQ(out.vertices[0].normal, glm::vec3(0, 0, 1));
    EXPECT_EQ(out.indices, (std::vector<std::uint32_t>{0, 1, 2, 0, 2, 3}));
}

TEST(Polytope, NormalIsUnitAndFromTheFirstThreeCornersOnly) {
    // A non-planar fourth corner must not tilt the normal; positions scale,
    // normals do not.
    constexpr float skew[][3] = {{0, 0, 0}, {0, 4, 0}, {4, 0, 0}, {9, 9, 9}};
    const std::int16_t indices[] = {0, 1, 2, 3, -1};
    const PolytopeTable t{skew, 4, indices, 5, grey};
    const assets::PolytopeMesh m = assets::buildPolytopeMesh(t, 2.5f, 0.0f);
    for (const auto& v : m.vertices) EXPECT_EQ(v.normal, glm::vec3(0, 0, 1)); // (4,0,0) x (0,4,0) / 16
    EXPECT_EQ(m.vertices[3].position, glm::vec3(22.5f, 22.5f, 22.5f));
}

TEST(Polytope, SharedPointsGetTheirOwnVertexPerFace) {
    const std::int16_t indices[] = {0, 1, 2, -1, 0, 2, 3, -1};
    const assets::PolytopeMesh m = assets::buildPolytopeMesh(table(indices, 8), 1.0f, 0.0f);
    ASSERT_EQ(m.vertices.size(), 6u);
    EXPECT_EQ(m.vertices[0].position, m.vertices[3].position);
    EXPECT_EQ(m.indices, (std::vector<std::uint32_t>{0, 2, 1, 3, 5, 4}));
}

TEST(Polytope, ColourRunsStartAgainWhenFacesOutnumberThem) {
    constexpr ColourRun runs[] = {{1, 0xFF000080u}, {2, 0x00FF0000u}, {0, 0x12345678u}};
    const std::int16_t indices[] = {0, 1, 2, -1, 0, 2, 3, -1, 4, 5, 6, -1, 0, 1, 3, -1, 1, 2, 3, -1};
    const assets::PolytopeMesh m = assets::buildPolytopeMesh(table(indices, 20, runs), 1.0f, 0.0f);
    const glm::vec4 blue(0, 0, float(128 / 255.0), 1), red(1, 0, 0, 0);
    const glm::vec4 want[] = {blue, red, red, blue, red};
    ASSERT_EQ(m.vertices.size(), 15u);
    for (int face = 0; face < 5; ++face)
        for (int corner = 0; corner < 3; ++corner) EXPECT_EQ(m.vertices[face * 3 + corner].colour, want[face]) << face;
}

TEST(Polytope, ColourWordBytesBecomeFloats) {
    EXPECT_EQ(assets::colourOf(0xFF000080u), glm::vec4(0, 0, float(128 / 255.0), 1));
    EXPECT_EQ(assets::colourOf(0xCCFF2211u), glm::vec4(1, float(34 / 255.0), float(17 / 255.0), float(204 / 255.0)));
}

TEST(Polytope, KGonsMakeKVerticesAndAFanOfKMinus2Triangles) {
    // One face of each size 3 to 8 over the points of a regular octagon.
    constexpr float ring[][3] = {{1, 0, 1},  {0.7f, 0.7f, 1},  {0, 1, 1},  {-0.7f, 0.7f, 1},
                                 {-1, 0, 1}, {-0.7f, -0.7f, 1}, {0, -1, 1}, {0.7f, -0.7f, 1}};
    std::vector<std::int16_t> indices;
    for (int k = 3; k <= 8; ++k) {
        for (int i = 0; i < k; ++i) indices.push_back(std::int16_t(i));
        indices.push_back(-1);
    }
    const PolytopeTable t{ring, 8, indices.data(), indices.size(), grey};
    const assets::PolytopeMesh m = assets::buildPolytopeMesh(t, 1.0f, 0.0f);
    EXPECT_EQ(m.vertices.size(), 3u + 4 + 5 + 6 + 7 + 8);
    EXPECT_EQ(m.indices.size(), 3u * (1 + 2 + 3 + 4 + 5 + 6));
    // The octagon (first vertex 25) is a fan round its first corner.
    const std::vector<std::uint32_t> octagon(m.indices.end() - 18, m.indices.end());
    for (std::uint32_t i = 0; i < 6; ++i) {
        EXPECT_EQ(octagon[3 * i], 25u);
        EXPECT_EQ(octagon[3 * i + 1], 25u + i + 2);
        EXPECT_EQ(octagon[3 * i + 2], 25u + i + 1);
    }
}

TEST(Polytope, EmptyTableMakesAnEmptyMesh) {
    const PolytopeTable t{points, 7, nullptr, 0, grey};
    const assets::PolytopeMesh m = assets::buildPolytopeMesh(t, 1.0f, 1.0f);
    EXPECT_TRUE(m.vertices.empty());
    EXPECT_TRUE(m.indices.empty());
}

} // namespace
