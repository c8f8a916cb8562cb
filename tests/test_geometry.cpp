// Mesh building without a context: the face-table routine, every solid of
// the catalogue, and the ground grid.
#include "assets.h"

#include <glm/geometric.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <map>
#include <tuple>

namespace {

// The solids whose faces cross each other: the side a face looks at need
// not be empty space there, only less covered than the side behind it.
// SRTC15 leaves 120 edges unmatched on purpose: each kite covers its
// hexagon's notch, and the two triangles that met the hexagon there keep an
// edge inside the kite. (The tables themselves are pinned byte for byte by
// their generator; what is checked here is the mesh built from them.)
bool crossing(const std::string& name) {
    return name == "MIH" || name == "GTI" || name == "SRTC15" || name == "GTicosidodeca" || name == "Dodecadodeca";
}

using dvec3 = glm::dvec3;

// Generalised winding number of the mesh about q: 1 inside a closed surface
// wound outwards, 0 outside.
double windingNumber(const assets::PolytopeMesh& m, const dvec3& q) {
    double sum = 0;
    for (std::size_t t = 0; t + 2 < m.indices.size(); t += 3) {
        const dvec3 a = dvec3(m.vertices[m.indices[t]].position) - q, b = dvec3(m.vertices[m.indices[t + 1]].position) - q,
                    c = dvec3(m.vertices[m.indices[t + 2]].position) - q;
        const double la = glm::length(a), lb = glm::length(b), lc = glm::length(c);
        sum += 2 * std::atan2(glm::dot(a, glm::cross(b, c)),
                              la * lb * lc + glm::dot(a, b) * lc + glm::dot(a, c) * lb + glm::dot(b, c) * la);
    }
    return sum / (4 * M_PI);
}

// The solid's mesh has fans from each face's first corner, unit normals
// along each triangle's turn, the colours of the table's runs, and a closed
// surface whose faces look out.
void expectSolid(const assets::Solid& solid) {
    const assets::PolytopeMesh m = assets::buildPolytopeMesh(solid.table, solid.scale, solid.outward);
    const auto& v = m.vertices;
    const auto& idx = m.indices;
    // A face is a fan of triangles from its first corner; the next face's
    // corners follow its last.
    std::vector<std::pair<std::uint32_t, int>> faces; // first vertex, corners
    std::uint32_t next = 0;
    for (std::size_t t = 0; t + 2 < idx.size(); t += 3) {
        if (!faces.empty() && idx[t] == faces.back().first) ++faces.back().second;
        else if (idx[t] == next) faces.push_back({idx[t], 3});
        else return ADD_FAILURE() << "triangle " << t / 3 << " does not start where the last fan ended";
        next = faces.back().first + std::uint32_t(faces.back().second);
    }

    // Distinct positions, unscaled, numbered for the edge count below.
    std::map<std::tuple<float, float, float>, int> ids;
    std::vector<dvec3> points;
    std::vector<int> pointOf;
    for (const auto& vertex : v) {
        const auto key = std::make_tuple(vertex.position.x, vertex.position.y, vertex.position.z);
        if (ids.emplace(key, int(points.size())).second) points.push_back(dvec3(vertex.position) / double(solid.scale));
        pointOf.push_back(ids[key]);
    }
    EXPECT_EQ(next, v.size()) << "vertices after the last fan";

    // Each triangle turns counter-clockwise about its corners' unit normal;
    // a fan over three corners in a line adds a triangle with no turn at all.
    int unturned = 0, offColour = 0;
    for (std::size_t t = 0; t + 2 < idx.size(); t += 3) {
        const glm::vec3 ab = v[idx[t + 1]].position - v[idx[t]].position, ac = v[idx[t + 2]].position - v[idx[t]].position;
        const glm::vec3 n = glm::cross(ab, ac) / (glm::length(ab) * glm::length(ac));
        for (int j = 0; j < 3 && glm::length(n) > 1e-4f; ++j)
            unturned += !(glm::distance(v[idx[t + j]].normal, glm::normalize(n)) < 1e-3f);
    }
    std::vector<std::uint32_t> colours; // each face's, from the table's runs
    for (const assets::ColourRun* run = solid.table.colours; run->count != 0; ++run)
        colours.insert(colours.end(), std::size_t(run->count), run->colour);
    for (std::size_t f = 0; f < faces.size() && f < colours.size(); ++f)
        for (int c = 0; c < faces[f].second; ++c) offColour += v[faces[f].first + c].colour != assets::colourOf(colours[f]);
    EXPECT_EQ(std::make_tuple(unturned, offColour, colours.size()), std::make_tuple(0, 0, faces.size()))
        << "corners not turned about, off their run's colour, faces in the runs";

    // Closed: every edge, cut where other points lie on it, is crossed as
    // often one way as the other.
    std::map<std::pair<int, int>, int> balance;
    for (std::size_t t = 0; t + 2 < idx.size(); t += 3)
        for (int i = 0; i < 3; ++i) {
            const int a = pointOf[idx[t + i]], b = pointOf[idx[t + (i + 1) % 3]];
            const dvec3 d = points[b] - points[a];
            std::vector<std::pair<double, int>> chain{{0, a}, {1, b}};
            for (std::size_t p = 0; p < points.size(); ++p) {
                const double s = glm::dot(points[p] - points[a], d) / glm::dot(d, d);
                if (s > 1e-6 && s < 1 - 1e-6 && glm::length(points[a] + d * s - points[p]) < 1e-4) chain.push_back({s, int(p)});
            }
            std::sort(chain.begin(), chain.end());
            for (std::size_t k = 0; k + 1 < chain.size(); ++k) {
                const int p = chain[k].second, q = chain[k + 1].second;
                balance[std::minmax(p, q)] += p < q ? 1 : -1;
            }
        }
    const int open = int(std::count_if(balance.begin(), balance.end(), [](const auto& b) { return b.second != 0; }));
    EXPECT_EQ(open, solid.name == std::string("SRTC15") ? 120 : 0) << "edges not matched by one the other way";

    // Just behind each face the solid is, just in front of it it is not (or,
    // where faces cross, less so).
    int wrong = 0;
    for (const auto& face : faces) {
        const auto& c = v[face.first];
        const dvec3 q = dvec3(c.position + v[face.first + 1].position + v[face.first + 2].position) / 3.0;
        const dvec3 step = dvec3(c.normal) * (1e-3 * solid.scale);
        const double front = windingNumber(m, q + step), back = windingNumber(m, q - step);
        wrong += !(back > 0.5 && front > -0.5 && back - front > 0.5 && (crossing(solid.name) || std::fabs(front) < 0.5));
    }
    EXPECT_EQ(wrong, 0) << "faces that do not look out of the solid";
}

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

TEST(Catalogue, EverySolidIsAClosedSurfaceLookingOut) {
    for (const assets::Solid& solid : assets::solids) {
        SCOPED_TRACE(solid.name);
        expectSolid(solid);
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
