// Mesh building without a context: the face-table routine, every solid of
// the catalogue, and the ground grid.
#include "assets.h"
#include "catalogue_check.h"

#include <glm/geometric.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

// A square in z = 1 and, after it, a triangle in the plane x = -2 whose
// listed order makes its normal (1, 0, 0) point at the origin's side. The
// terminator -2 reverses a face, outward turns faces that look inwards, and
// the two together cancel.
TEST(Polytope, TerminatorAndOutwardTurnFaces) {
    constexpr float points[][3] = {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}, {-2, 0, 0}, {-2, 0, 1}, {-2, 1, 0}};
    constexpr assets::ColourRun runs[] = {{1, 0x40FF0080u}, {0, 0}};
    const struct { std::int16_t terminator; float outward; std::uint32_t b, c; float nx; } cases[] = {
        {-1, 0, 6, 5, 1}, {-1, 1, 5, 6, -1}, {-2, 1, 6, 5, 1}, {-2, 0, 5, 6, -1}, {-7, 0, 6, 5, 1},
    };
    for (const auto& c : cases) {
        const std::int16_t indices[] = {0, 1, 2, 3, -1, 4, 5, 6, c.terminator};
        const assets::PolytopeMesh m = assets::buildPolytopeMesh({points, 7, indices, 9, runs}, 2.0f, c.outward);
        ASSERT_EQ(m.vertices.size(), 7u);
        // The square fans from its first corner; the faces share no vertex.
        EXPECT_EQ(m.indices, (std::vector<std::uint32_t>{0, c.outward ? 1u : 2u, c.outward ? 2u : 1u, 0,
                                                         c.outward ? 2u : 3u, c.outward ? 3u : 2u, 4, c.b, c.c}))
            << c.terminator << " " << c.outward;
        EXPECT_EQ(m.vertices[5].normal, glm::vec3(c.nx, 0, 0));
        EXPECT_EQ(m.vertices[5].position, glm::vec3(-4, 0, 2));
        // More faces than the runs cover: the runs start again. Colour words
        // are 0xAARRGGBB.
        EXPECT_EQ(m.vertices[6].colour, glm::vec4(1, 0, float(128 / 255.0), float(64 / 255.0)));
    }
}

TEST(Catalogue, EverySolidMeetsItsCensusAndLooks) {
    ASSERT_EQ(check::expectations().size(), std::size(assets::solids));
    for (std::size_t i = 0; i < std::size(assets::solids); ++i) {
        ASSERT_STREQ(assets::solids[i].name, check::expectations()[i].name);
        for (const std::string& failure : check::checkSolid(assets::solids[i], check::expectations()[i]))
            ADD_FAILURE() << assets::solids[i].name << ": " << failure;
    }
}

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
    std::vector<std::pair<long, long>> centroids;
    for (std::size_t i = 0; i < mesh.indices.size(); i += 3) {
        const glm::vec2 a = mesh.vertices[mesh.indices[i]], b = mesh.vertices[mesh.indices[i + 1]],
                        c = mesh.vertices[mesh.indices[i + 2]], m = (a + b + c) / 3.0f;
        // Coordinates reach 64, so single precision leaves about 1e-5 of slack.
        for (const float side : {glm::distance(a, b), glm::distance(b, c), glm::distance(c, a)})
            ASSERT_NEAR(side, 1.0f, 2e-5f) << i / 3;
        ASSERT_LT((b - a).x * (c - a).y - (b - a).y * (c - a).x, 0.0f) << "counter-clockwise " << i / 3;
        ASSERT_LE(glm::length(m), 64.0f) << i / 3;
        centroids.emplace_back(std::lround(m.x * 100), std::lround(m.y * 100));
    }
    // 3 x 8192 distinct unit triangles fill the hexagon's 6 x 64² x √3/4.
    std::sort(centroids.begin(), centroids.end());
    EXPECT_EQ(std::adjacent_find(centroids.begin(), centroids.end()), centroids.end());
}

} // namespace
