// The ground grid and the screen quads, without a context.
#include "assets.h"

#include <glm/geometric.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

TEST(GroundGrid, CountsAndListedPoints) {
    const assets::GroundMesh mesh = assets::buildGroundMesh();
    ASSERT_EQ(mesh.vertices.size(), 12675u);
    ASSERT_EQ(mesh.indices.size(), 73728u);
    // Building reserves exactly, so nothing reallocates.
    EXPECT_EQ(mesh.vertices.capacity(), 12675u);
    EXPECT_EQ(mesh.indices.capacity(), 73728u);

    struct Point {
        std::size_t index;
        float x, y;
    };
    const Point points[] = {
        {0, -64.0f, 0.0f},           // patch 0 origin
        {64, 0.0f, 0.0f},            // end of patch 0's first row
        {4160, -32.0f, -55.425625f}, // patch 0, row 64, column 0
        {4225, -64.0f, 0.0f},        // patch 1 origin, stored again
        {8450, 32.0f, -55.425625f},  // patch 2 origin
        {12674, 32.0f, 55.425625f},  // patch 2, row 64, column 64
    };
    for (const Point& p : points) {
        EXPECT_NEAR(mesh.vertices[p.index].x, p.x, 1e-4f) << "vertex " << p.index;
        EXPECT_NEAR(mesh.vertices[p.index].y, p.y, 1e-4f) << "vertex " << p.index;
    }
    // Every point lies in the hexagon of circumradius 64.
    for (const glm::vec2& v : mesh.vertices) ASSERT_LE(glm::length(v), 64.0f + 1e-3f);
}

TEST(GroundGrid, IndexOrderPatchByPatch) {
    const assets::GroundMesh mesh = assets::buildGroundMesh();
    const std::vector<std::uint32_t> first(mesh.indices.begin(), mesh.indices.begin() + 6);
    EXPECT_EQ(first, (std::vector<std::uint32_t>{0, 1, 65, 1, 66, 65}));
    const std::size_t patch1 = 64 * 64 * 6;
    const std::vector<std::uint32_t> second(mesh.indices.begin() + patch1,
                                            mesh.indices.begin() + patch1 + 6);
    EXPECT_EQ(second, (std::vector<std::uint32_t>{4225, 4226, 4290, 4226, 4291, 4290}));
    EXPECT_EQ(*std::max_element(mesh.indices.begin(), mesh.indices.end()), 12674u);
    // The last row and column open no cell of their own: no triangle's first
    // corner lies on them.
    for (std::size_t i = 0; i < mesh.indices.size(); i += 6) {
        const std::uint32_t local = mesh.indices[i] % 4225;
        ASSERT_LT(local / 65, 64u);
        ASSERT_LT(local % 65, 64u);
    }
}

TEST(GroundGrid, EveryTriangleIsUnitEquilateralAndClockwise) {
    const assets::GroundMesh mesh = assets::buildGroundMesh();
    for (std::size_t i = 0; i < mesh.indices.size(); i += 3) {
        const glm::vec2 a = mesh.vertices[mesh.indices[i]];
        const glm::vec2 b = mesh.vertices[mesh.indices[i + 1]];
        const glm::vec2 c = mesh.vertices[mesh.indices[i + 2]];
        // Coordinates reach 64, so single precision leaves about 1e-5 of slack.
        ASSERT_NEAR(glm::distance(a, b), 1.0f, 2e-5f) << "triangle " << i / 3;
        ASSERT_NEAR(glm::distance(b, c), 1.0f, 2e-5f) << "triangle " << i / 3;
        ASSERT_NEAR(glm::distance(c, a), 1.0f, 2e-5f) << "triangle " << i / 3;
        const glm::vec2 e1 = b - a, e2 = c - a;
        // Negative signed area: clockwise with x right and y up.
        ASSERT_LT(e1.x * e2.y - e1.y * e2.x, 0.0f) << "triangle " << i / 3;
    }
}

TEST(GroundGrid, TheThreePatchesTileTheHexagonWithoutOverlap) {
    const assets::GroundMesh mesh = assets::buildGroundMesh();
    // 3 × 8192 unit triangles of area √3/4 fill the hexagon's 6 × 64² × √3/4.
    double area = 0;
    for (std::size_t i = 0; i < mesh.indices.size(); i += 3) {
        const glm::dvec2 a = mesh.vertices[mesh.indices[i]];
        const glm::dvec2 b = mesh.vertices[mesh.indices[i + 1]];
        const glm::dvec2 c = mesh.vertices[mesh.indices[i + 2]];
        area += std::abs((b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x)) / 2;
    }
    EXPECT_NEAR(area, 6 * 64.0 * 64.0 * std::sqrt(3.0) / 4, 0.5);
    // No cell is covered twice: triangle centroids are all distinct.
    std::vector<std::pair<long, long>> centroids;
    for (std::size_t i = 0; i < mesh.indices.size(); i += 3) {
        const glm::vec2 m = (mesh.vertices[mesh.indices[i]] + mesh.vertices[mesh.indices[i + 1]] +
                             mesh.vertices[mesh.indices[i + 2]]) / 3.0f;
        centroids.emplace_back(std::lround(m.x * 100), std::lround(m.y * 100));
    }
    std::sort(centroids.begin(), centroids.end());
    EXPECT_EQ(std::adjacent_find(centroids.begin(), centroids.end()), centroids.end());
}

} // namespace
