// The three solids built straight from points rather than from cell unions:
// the great icosidodecahedron and the dodecadodecahedron from the 30
// icosidodecahedron points, and the stellation whose every face is a hexagon
// winding twice round its plane's centre.
#include "stars.h"

#include <algorithm>
#include <numeric>

namespace poly {
namespace {

// Points of `points` at height h (relative to their radius) on the axis a,
// counter-clockwise seen from outside along a.
std::vector<int> ringAt(const std::vector<Vec>& points, const Vec& a, real h) {
    std::vector<int> ring;
    for (std::size_t i = 0; i < points.size(); ++i)
        if (std::fabs(dot(points[i], a) / norm(points[i]) - h) < 1e-6L) ring.push_back(int(i));
    const Vec u = unit(cross(std::fabs(a.x) < 0.9L ? Vec{1, 0, 0} : Vec{0, 1, 0}, a)), v = cross(a, u);
    std::sort(ring.begin(), ring.end(), [&](int p, int q) {
        return std::atan2(dot(points[p], v), dot(points[p], u)) < std::atan2(dot(points[q], v), dot(points[q], u));
    });
    return ring;
}

// A pentagram of the ring (star order: every second corner) as five
// triangles round its centre, each clockwise seen from outside.
void addPentagram(SolidTable& t, const std::vector<int>& ring, int centre) {
    std::vector<int> star;
    for (int i = 0; i < 5; ++i) star.push_back(ring[(2 * i) % 5]);
    for (int i = 0; i < 5; ++i) t.faces.push_back({centre, star[(i + 1) % 5], star[i]});
}

struct StarFrame {
    std::vector<Vec> vertices, fiveFold, threeFold;
};

StarFrame icosidodecahedron(real radius) {
    const auto g = groupElements(Group::Icosahedral);
    StarFrame f;
    for (const Vec& a : orbit(g, Vec{0, 0, 1})) f.vertices.push_back(a * radius);
    f.fiveFold = orbit(g, Vec{0, 1, phi});
    f.threeFold = orbit(g, Vec{1, 1, 1});
    return f;
}

// Pentagrams first (vertices 0..29, centres 30..41), then the faces `rest`
// adds.
SolidTable pentagramSolid(const std::string& name, real radius, real starHeight, real centreRadius,
                          std::uint32_t starColour) {
    const StarFrame f = icosidodecahedron(radius);
    SolidTable t;
    t.name = name;
    t.points = f.vertices;
    for (const Vec& a : f.fiveFold) {
        t.points.push_back(a * centreRadius);
        addPentagram(t, ringAt(f.vertices, a, starHeight), int(t.points.size() - 1));
    }
    t.runs.push_back({60, starColour});
    return t;
}

// One face per axis through the ring of points at that height, clockwise
// seen from outside, as one colour run.
void addRingFaces(SolidTable& t, const std::vector<Vec>& vertices, const std::vector<Vec>& axes, real height,
                  std::uint32_t colour) {
    for (const Vec& a : axes) {
        std::vector<int> ring = ringAt(vertices, a, height);
        std::reverse(ring.begin(), ring.end());
        t.faces.push_back(ring);
    }
    t.runs.push_back({int(axes.size()), colour});
}

} // namespace

SolidTable greatIcosidodecahedron() {
    // Pentagram planes at 2/√5 cut the second ring of points round each 5-fold
    // axis; the radius puts them there.
    const real lowRing = 1 / std::sqrt(1 + phi * phi), radius = 2 / std::sqrt(5.0L) / lowRing;
    SolidTable t = pentagramSolid("GTicosidodeca", radius, lowRing, 2 / std::sqrt(5.0L), 0xFFFF0000u);
    const StarFrame f = icosidodecahedron(radius);
    addRingFaces(t, f.vertices, f.threeFold, (std::sqrt(5.0L) - 1) / (2 * std::sqrt(3.0L)), 0x00FFEE77u);
    return t;
}

SolidTable dodecadodecahedron() {
    // The top ring round a 5-fold axis makes the pentagram, the second ring
    // the pentagon.
    const real radius = 2 / std::sqrt(3.0L), lowRing = 1 / std::sqrt(1 + phi * phi), topRing = phi * lowRing;
    SolidTable t = pentagramSolid("Dodecadodeca", radius, topRing, radius * topRing, 0xFFFFCC77u);
    const StarFrame f = icosidodecahedron(radius);
    addRingFaces(t, f.vertices, f.fiveFold, lowRing, 0x20333333u);
    return t;
}

SolidTable hexagonStellation() {
    const auto g = groupElements(Group::Icosahedral);
    const real d = std::sqrt(2.0L / 3);
    const std::vector<Vec> threeFold = orbit(g, Vec{1, 1, 1}), fiveFold = orbit(g, Vec{0, 1, phi});
    SolidTable t;
    t.name = "GTI";
    // Near corners on the 3-fold axes, far corners on the 5-fold axes: the
    // ones that lie in a plane make its hexagon.
    const real nearDot = std::sqrt(5.0L) / 3, farDot = dot(unit(Vec{1, 1, 1}), unit(Vec{0, 1, -phi}));
    for (const Vec& a : threeFold) t.points.push_back(a * d);
    for (const Vec& a : threeFold) t.points.push_back(a * (d / nearDot));
    for (const Vec& a : fiveFold) t.points.push_back(a * (d / std::fabs(farDot)));
    for (std::size_t p = 0; p < threeFold.size(); ++p) {
        const Vec& n = threeFold[p];
        std::vector<int> nearCorners, farCorners;
        for (std::size_t i = 20; i < t.points.size(); ++i)
            if (std::fabs(dot(t.points[i], n) - d) < 1e-9L) (i < 40 ? nearCorners : farCorners).push_back(int(i));
        // Far corners in turn, each followed by the near corner that keeps every
        // fan triangle turning the same way: the loop then winds twice.
        const Vec c = t.points[p];
        const auto turn = [&](int a, int b) { return dot(cross(t.points[a] - c, t.points[b] - c), n); };
        std::sort(farCorners.begin(), farCorners.end());
        if (turn(farCorners[0], farCorners[1]) < 0) std::swap(farCorners[1], farCorners[2]);
        std::vector<int> best;
        std::sort(nearCorners.begin(), nearCorners.end());
        do {
            std::vector<int> loop;
            for (int i = 0; i < 3; ++i) loop.insert(loop.end(), {farCorners[i], nearCorners[i]});
            bool sameWay = true;
            for (int i = 0; i < 6; ++i) sameWay = sameWay && turn(loop[i], loop[(i + 1) % 6]) < 0;
            if (sameWay && best.empty()) best = loop;
        } while (std::next_permutation(nearCorners.begin(), nearCorners.end()));
        for (int i = 0; i < 6; ++i) t.faces.push_back({int(p), best[i], best[(i + 1) % 6]});
    }
    t.runs.push_back({120, 0xCC77EEFFu});
    return t;
}

} // namespace poly
