#include "catalogue_check.h"

#include <glm/geometric.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <set>
#include <string>

namespace check {
void PrintTo(const Expectation& e, std::ostream* os) { *os << e.name; }
} // namespace check

namespace {

const assets::Solid& solidNamed(const char* name) {
    for (const assets::Solid& s : assets::solids)
        if (std::strcmp(s.name, name) == 0) return s;
    throw std::runtime_error(name);
}

class Catalogue : public ::testing::TestWithParam<check::Expectation> {};

TEST_P(Catalogue, MeetsEveryListedProperty) {
    const check::Expectation& e = GetParam();
    for (const std::string& failure : check::checkSolid(solidNamed(e.name), e)) ADD_FAILURE() << failure;
}

INSTANTIATE_TEST_SUITE_P(AllSolids, Catalogue, ::testing::ValuesIn(check::expectations()),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace

namespace {

const check::Expectation& expectationFor(const char* name) {
    for (const check::Expectation& e : check::expectations())
        if (std::strcmp(e.name, name) == 0) return e;
    throw std::runtime_error(name);
}

bool mentions(const std::vector<std::string>& failures, const std::string& text) {
    for (const std::string& f : failures)
        if (f.find(text) != std::string::npos) return true;
    return false;
}

// A solid whose tables are copies that a test may damage.
struct Damaged {
    explicit Damaged(const char* name) : solid(solidNamed(name)) {
        for (std::size_t i = 0; i < solid.table.pointCount; ++i)
            points.push_back({solid.table.points[i][0], solid.table.points[i][1], solid.table.points[i][2]});
        indices.assign(solid.table.indices, solid.table.indices + solid.table.indexCount);
        for (const assets::ColourRun* r = solid.table.colours;; ++r) {
            colours.push_back(*r);
            if (r->count == 0) break;
        }
    }
    std::vector<std::string> check() {
        solid.table = {reinterpret_cast<const float(*)[3]>(points.data()), points.size(), indices.data(), indices.size(),
                       colours.data()};
        return check::checkSolid(solid, expectationFor(solid.name));
    }
    assets::Solid solid;
    std::vector<std::array<float, 3>> points;
    std::vector<std::int16_t> indices;
    std::vector<assets::ColourRun> colours;
};

TEST(CatalogueChecker, FindsFacesTurnedInside) {
    // SCO2 is drawn as listed: a reversed face stays reversed. One reversed
    // face leaves its edges unmatched; all of them reversed keep the edges
    // matched but turn the whole surface inside out.
    Damaged one("SCO2");
    std::swap(one.indices[1], one.indices[2]);
    EXPECT_TRUE(mentions(one.check(), "edges are not matched"));
    Damaged all("SCO2");
    for (std::size_t i = 0; i < all.indices.size(); i += 4) std::swap(all.indices[i + 1], all.indices[i + 2]);
    const auto failures = all.check();
    EXPECT_FALSE(mentions(failures, "edges are not matched"));
    EXPECT_TRUE(mentions(failures, "96 faces are not wound clockwise"));
}

TEST(CatalogueChecker, FindsAPointOffItsPlanes) {
    Damaged d("SRTC35");
    d.points[d.indices[0]][0] += 0.05f;
    const auto failures = d.check();
    EXPECT_TRUE(mentions(failures, "is not flat"));
    EXPECT_TRUE(mentions(failures, "census: radii"));
}

TEST(CatalogueChecker, FindsColourRunsThatDifferFromTheList) {
    Damaged d("SRTC31");
    std::swap(d.colours[0].colour, d.colours[1].colour);
    EXPECT_TRUE(mentions(d.check(), "colour run table differs"));
    Damaged shifted("SRTC31");
    shifted.colours[0].count = 59, shifted.colours[1].count = 61;
    const auto failures = shifted.check();
    EXPECT_TRUE(mentions(failures, "run 0 has faces of another colour") || mentions(failures, "census: run 0"));
}

TEST(CatalogueChecker, FindsABrokenPentagram) {
    Damaged d("GTicosidodeca");
    std::swap(d.indices[1], d.indices[2]); // first star triangle wound the other way
    EXPECT_TRUE(mentions(d.check(), "not a pentagram"));
}

TEST(CatalogueChecker, FindsAFaceFannedOutsideItself) {
    Damaged d("TSI2");
    // Start a non-convex seven-sided face (the last faces) at another corner.
    const std::size_t end = d.indices.size() - 1, start = end - 7;
    std::rotate(d.indices.begin() + long(start), d.indices.begin() + long(start) + 2, d.indices.begin() + long(end));
    bool found = false;
    for (int turn = 0; turn < 7 && !found; ++turn) {
        found = mentions(d.check(), "fan triangle turns against");
        std::rotate(d.indices.begin() + long(start), d.indices.begin() + long(start) + 1, d.indices.begin() + long(end));
    }
    EXPECT_TRUE(found);
}

TEST(Catalogue, HubBaseIsFannedFromPoint20) {
    const assets::Solid& hub = solidNamed("Hub");
    const assets::PolytopeMesh m = assets::buildPolytopeMesh(hub.table, hub.scale, hub.outward);
    // The base is the eighth face: after seven triangles, vertices 21..27.
    for (int t = 7; t < 12; ++t) EXPECT_EQ(m.indices[3 * t], 21u);
    EXPECT_EQ(m.vertices[21].position, glm::vec3(0.86777f, -2, 1.80194f) * 5.0f);
}

TEST(Catalogue, OutwardSolidsHaveEveryNormalAwayFromTheOrigin) {
    for (const char* name : {"TSD12", "MIH", "GTI", "SRTC3", "SRTC31", "TSI2", "SCO6"}) {
        const assets::Solid& s = solidNamed(name);
        const assets::PolytopeMesh m = assets::buildPolytopeMesh(s.table, s.scale, s.outward);
        for (std::size_t t = 0; t < m.indices.size(); t += 3) {
            const assets::PolytopeVertex& first = m.vertices[m.indices[t]];
            ASSERT_GE(glm::dot(first.normal, first.position), 0.0f) << name;
        }
    }
}

// SCO6 numbers four positions twice to reach its listed point count; every
// other table numbers each corner once.
TEST(Catalogue, OnlyScoSixRepeatsPoints) {
    for (const assets::Solid& s : assets::solids) {
        std::set<std::array<float, 3>> distinct;
        for (std::size_t i = 0; i < s.table.pointCount; ++i)
            distinct.insert({s.table.points[i][0], s.table.points[i][1], s.table.points[i][2]});
        const std::size_t repeats = s.table.pointCount - distinct.size();
        const std::string name = s.name;
        EXPECT_EQ(repeats, name == "SCO6" ? 4u : 0u) << name;
    }
}

TEST(Catalogue, Sco2ColoursByPlaneFamily) {
    const assets::Solid& s = solidNamed("SCO2");
    const assets::PolytopeMesh m = assets::buildPolytopeMesh(s.table, s.scale, s.outward);
    const glm::vec4 triangle(0, float(187 / 255.0), float(51 / 255.0), 1), square(1, float(238 / 255.0), float(119 / 255.0), 0);
    ASSERT_EQ(m.vertices.size(), 288u);
    for (std::size_t v = 0; v < m.vertices.size(); ++v) {
        const glm::vec3 p = m.vertices[v].position / s.scale;
        // Triangle planes: |x| + |y| + |z| = 2√2/√3; square planes: max |coordinate| = √(2/3).
        const bool inTrianglePlane = std::fabs(std::fabs(glm::dot(glm::sign(m.vertices[v].normal), p)) - 1.6329932f) < 1e-3f;
        EXPECT_EQ(m.vertices[v].colour, v < 144 ? triangle : square) << v;
        EXPECT_EQ(inTrianglePlane, v < 144) << v;
    }
}

} // namespace
