// Mesh building without a context: the face-table routine, every solid of
// the catalogue against its listed properties, and the ground grid.
#include "assets.h"
#include "catalogue_check.h"

#include <glm/geometric.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace check {
void PrintTo(const Expectation& e, std::ostream* os) { *os << e.name; }
} // namespace check

namespace {

// A square in z = 1 and, after it, a triangle in the plane x = -2 whose
// listed order makes its normal (1, 0, 0) point at the origin's side. The
// terminator -2 reverses a face, outward turns faces that look inwards, and
// the two together cancel.
TEST(Polytope, TerminatorAndOutwardTurnFaces) {
    constexpr float points[][3] = {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}, {-2, 0, 0}, {-2, 0, 1}, {-2, 1, 0}};
    constexpr assets::ColourRun runs[] = {{1, 0xFF000080u}, {0, 0}};
    const struct { std::int16_t terminator; float outward; std::uint32_t b, c; float nx; } cases[] = {
        {-1, 0, 6, 5, 1}, {-1, 1, 5, 6, -1}, {-2, 1, 6, 5, 1}, {-2, 0, 5, 6, -1}, {-7, 0, 6, 5, 1},
    };
    for (const auto& c : cases) {
        const std::int16_t indices[] = {0, 1, 2, 3, -1, 4, 5, 6, c.terminator};
        const assets::PolytopeMesh m = assets::buildPolytopeMesh({points, 7, indices, 9, runs}, 2.0f, c.outward);
        ASSERT_EQ(m.vertices.size(), 7u);
        // The square fans from its first corner; the faces share no vertex.
        EXPECT_EQ(std::vector<std::uint32_t>(m.indices.begin(), m.indices.begin() + 6),
                  (c.outward ? std::vector<std::uint32_t>{0, 1, 2, 0, 2, 3} : std::vector<std::uint32_t>{0, 2, 1, 0, 3, 2}));
        EXPECT_EQ(std::vector<std::uint32_t>(m.indices.end() - 3, m.indices.end()),
                  (std::vector<std::uint32_t>{4, c.b, c.c})) << c.terminator << " " << c.outward;
        EXPECT_EQ(m.vertices[5].normal, glm::vec3(c.nx, 0, 0));
        EXPECT_EQ(m.vertices[5].position, glm::vec3(-4, 0, 2));
        // More faces than the runs cover: the runs start again.
        EXPECT_EQ(m.vertices[6].colour, glm::vec4(0, 0, float(128 / 255.0), 1));
    }
}

class Catalogue : public ::testing::TestWithParam<check::Expectation> {};

TEST_P(Catalogue, MeetsEveryListedProperty) {
    const check::Expectation& e = GetParam();
    const assets::Solid* solid = std::find_if(std::begin(assets::solids), std::end(assets::solids),
                                              [&](const assets::Solid& s) { return std::strcmp(s.name, e.name) == 0; });
    ASSERT_NE(solid, std::end(assets::solids));
    for (const std::string& failure : check::checkSolid(*solid, e)) ADD_FAILURE() << failure;
}

INSTANTIATE_TEST_SUITE_P(AllSolids, Catalogue, ::testing::ValuesIn(check::expectations()),
                         [](const auto& info) { return std::string(info.param.name); });

// Three rhombic patches of 64 x 64 cells, two unit equilateral triangles
// each, clockwise seen from above, tiling the hexagon of circumradius 64.
TEST(GroundGrid, UnitTrianglesTileTheHexagon) {
    const assets::GroundMesh mesh = assets::buildGroundMesh();
    ASSERT_EQ(mesh.vertices.size(), 12675u);
    ASSERT_EQ(mesh.indices.size(), 73728u);
    const struct { std::size_t index; float x, y; } points[] = {
        {0, -64, 0}, {64, 0, 0}, {4160, -32, -55.425625f}, {4225, -64, 0}, {8450, 32, -55.425625f}, {12674, 32, 55.425625f},
    };
    for (const auto& p : points) EXPECT_LT(glm::distance(mesh.vertices[p.index], glm::vec2(p.x, p.y)), 1e-4f) << p.index;
    EXPECT_EQ(std::vector<std::uint32_t>(mesh.indices.begin(), mesh.indices.begin() + 6),
              (std::vector<std::uint32_t>{0, 1, 65, 1, 66, 65}));
    std::vector<std::pair<long, long>> centroids;
    for (std::size_t i = 0; i < mesh.indices.size(); i += 3) {
        const glm::vec2 a = mesh.vertices[mesh.indices[i]], b = mesh.vertices[mesh.indices[i + 1]],
                        c = mesh.vertices[mesh.indices[i + 2]];
        // Coordinates reach 64, so single precision leaves about 1e-5 of slack.
        ASSERT_NEAR(glm::distance(a, b), 1.0f, 2e-5f) << i / 3;
        ASSERT_NEAR(glm::distance(b, c), 1.0f, 2e-5f) << i / 3;
        ASSERT_NEAR(glm::distance(c, a), 1.0f, 2e-5f) << i / 3;
        ASSERT_LT((b - a).x * (c - a).y - (b - a).y * (c - a).x, 0.0f) << "counter-clockwise " << i / 3;
        const glm::vec2 m = (a + b + c) / 3.0f;
        ASSERT_LE(glm::length(m), 64.0f) << i / 3;
        centroids.emplace_back(std::lround(m.x * 100), std::lround(m.y * 100));
    }
    // 3 x 8192 distinct unit triangles fill the hexagon's 6 x 64² x √3/4.
    std::sort(centroids.begin(), centroids.end());
    EXPECT_EQ(std::adjacent_find(centroids.begin(), centroids.end()), centroids.end());
}

} // namespace
