// The stellations: each a union of cells of its planes' arrangement, chosen
// by layer and orbit, or found among the fully supported stellations by its
// point radii and face counts.
#include "stellations.h"

#include "stellation.h"

#include <algorithm>

namespace poly {
namespace {

std::vector<Plane> rhombicTriacontahedron() {
    return planeFamily(groupElements(Group::Icosahedral), Vec{1, 0, 0}, phi * phi);
}

Arrangement rtcArrangement() { return buildArrangement(rhombicTriacontahedron(), groupElements(Group::Icosahedral)); }

// The fully supported stellation with exactly this census, less the orbits
// that `leaveOut` names.
Surface searchSupported(const Arrangement& arr, const Census& want, const std::function<bool(const OrbitInfo&)>& leaveOut,
                        std::vector<std::string>& notes) {
    for (std::vector<int> orbits : supportedOrbitSets(arr)) {
        orbits.erase(std::remove_if(orbits.begin(), orbits.end(), [&](int o) { return leaveOut(orbitInfo(arr, o)); }),
                     orbits.end());
        Surface s = finishedSurface(arr, cellsOf(arr, orbits));
        if (alignedTo(censusOf(s), want).radii == want.radii) return s;
    }
    notes.push_back("no fully supported cell set has the wanted radii");
    return {};
}

bool onAxis(const Vec& p, const Vec& axisSample, Group g) {
    for (const Vec& a : orbit(groupElements(g), axisSample))
        if (norm(cross(unit(p), a)) < 1e-6L) return true;
    return false;
}

real areaOf(const Surface& s, const std::vector<int>& loop) {
    Vec n;
    for (std::size_t i = 0; i < loop.size(); ++i) n = n + cross(s.points[loop[i]], s.points[loop[(i + 1) % loop.size()]]);
    return norm(n) / 2;
}

// Replaces each six-cornered face by the smallest convex quadrilateral that
// one of the given points closes in its plane: the two edges next to the
// face's reflex corner extended to that point.
void closeKites(Surface& s, const std::vector<int>& apexes) {
    for (Face& f : s.faces) {
        if (f.corners.size() != 6) continue;
        const Vec n = unit(cross(s.points[f.corners[1]] - s.points[f.corners[0]], s.points[f.corners[2]] - s.points[f.corners[0]]));
        std::vector<int> best;
        for (int apex : apexes) {
            if (std::fabs(dot(s.points[apex] - s.points[f.corners[0]], n)) > 1e-9L) continue;
            std::vector<int> pts = f.corners;
            pts.push_back(apex);
            const std::vector<int> hull = convexHullInPlane(s, pts, f.corners);
            if (hull.size() == 4 && (best.empty() || areaOf(s, hull) < areaOf(s, best))) best = hull;
        }
        if (!best.empty()) f.corners = best;
    }
}

} // namespace

std::vector<int> convexHullInPlane(const Surface& s, const std::vector<int>& pts, const std::vector<int>& like) {
    // Orientation of `like`: its normal by Newell's sum.
    Vec n;
    for (std::size_t i = 0; i < like.size(); ++i)
        n = n + cross(s.points[like[i]], s.points[like[(i + 1) % like.size()]]);
    n = unit(n);
    // Gift wrapping, keeping every hull edge with all points on its left about n.
    // Start at the point farthest along a direction in general position.
    const Vec w = cross(n, Vec{0.3L, 0.5L, 0.7L});
    int start = pts[0];
    for (int p : pts)
        if (dot(s.points[p], w) > dot(s.points[start], w)) start = p;
    std::vector<int> hull;
    int at = start;
    do {
        hull.push_back(at);
        int next = pts[0] == at ? pts[1] : pts[0];
        for (int p : pts) {
            if (p == at) continue;
            const real turn = dot(cross(s.points[next] - s.points[at], s.points[p] - s.points[at]), n);
            const bool farther = norm(s.points[p] - s.points[at]) > norm(s.points[next] - s.points[at]);
            if (turn < -1e-9L || (std::fabs(turn) < 1e-9L && farther)) next = p;
        }
        at = next;
    } while (at != start && hull.size() <= pts.size());
    return hull;
}

SolidTable srtc3() {
    const Arrangement arr = rtcArrangement();
    SolidTable t;
    const Surface s = searchSupported(arr, census({{4.535, 20}, {4.980, 12}, {8.472, 30}}, {}),
                                      [](const OrbitInfo&) { return false; }, t.notes);
    t = tableOf("SRTC3", s, 0x00000055u);
    return t;
}

SolidTable srtc31() {
    const Arrangement arr = rtcArrangement();
    const Surface s = finishedSurface(arr, cellsWhere(arr, [](const OrbitInfo& o) {
        return o.layer <= 2 || ((o.layer == 3 || o.layer == 4) && o.size == 60);
    }));
    SolidTable t = tableOf("SRTC31", s, 0);
    // Triangles, then pentagons.
    std::stable_sort(t.faces.begin(), t.faces.end(), [](const auto& a, const auto& b) { return a.size() < b.size(); });
    t.runs = {{60, 0xCCFF2211u}, {60, 0x007777CCu}};
    return t;
}

SolidTable srtc35() {
    const Arrangement arr = rtcArrangement();
    const Surface s = finishedSurface(arr, cellsWhere(arr, [](const OrbitInfo& o) {
        return o.layer <= 5 && !(o.layer == 5 && o.size == 60);
    }));
    return tableOf("SRTC35", s, 0xFFDD8585u);
}

// The cells on the 5-fold axes are left out, which seals twelve cavities; the
// cavity walls are not drawn, and the hexagon above each cavity is closed
// into a kite over the core's 5-fold vertex.
SolidTable srtc15() {
    const Arrangement arr = rtcArrangement();
    const auto onFiveFold = [](const OrbitInfo& o) { return o.size == 12 && onAxis(o.centre, Vec{0, 1, phi}, Group::Icosahedral); };
    std::vector<std::string> notes;
    Surface s = searchSupported(arr,
                                census({{3.078, 12}, {3.754, 60}, {4.466, 60}, {4.980, 12}, {5.236, 30}, {7.337, 20}}, {}),
                                onFiveFold, notes);
    std::set<std::uint64_t> cavities;
    for (std::size_t o = 0; o < arr.orbits.size(); ++o)
        if (onFiveFold(orbitInfo(arr, int(o)))) cavities.insert(arr.orbits[o].begin(), arr.orbits[o].end());
    s.faces.erase(std::remove_if(s.faces.begin(), s.faces.end(),
                                 [&](const Face& f) { return cavities.count(f.outsideCells.front()) != 0; }),
                  s.faces.end());
    std::vector<int> apexes;
    for (const Vec& v : arr.cells.at(0).vertices)
        if (onAxis(v, Vec{0, 1, phi}, Group::Icosahedral)) apexes.push_back(s.pointIndex(v));
    closeKites(s, apexes);
    SolidTable t = tableOf("SRTC15", s, 0x0073DDDDu);
    t.notes.insert(t.notes.end(), notes.begin(), notes.end());
    return t;
}

// The great stellated dodecahedron less the spikes on a tetrahedral set of
// its 3-fold axes.
SolidTable tsd12() {
    const auto g = groupElements(Group::Icosahedral);
    const Arrangement arr =
        buildArrangement(planeFamily(g, unit(Vec{0, 1, phi}), std::sqrt((5 + std::sqrt(5.0L)) / 10)), g);
    std::set<std::uint64_t> cells;
    for (const auto& entry : arr.cells) {
        const Cell& c = entry.second;
        if (!c.bounded) continue;
        Vec m;
        for (const Vec& v : c.vertices) m = m + v * (real(1) / c.vertices.size());
        const bool onCubeDiagonal = std::fabs(std::fabs(m.x) - std::fabs(m.y)) < 1e-9L && std::fabs(std::fabs(m.y) - std::fabs(m.z)) < 1e-9L;
        const bool tetrahedralSpike = c.layer == 3 && onCubeDiagonal && m.x * m.y * m.z > 0;
        if (!tetrahedralSpike) cells.insert(c.key);
    }
    return tableOf("TSD12", finishedSurface(arr, cells), 0x5088FF55u);
}

std::vector<Plane> cuboctahedron() {
    const auto g = groupElements(Group::Octahedral);
    std::vector<Plane> planes = planeFamily(g, Vec{1, 1, 1}, 2 * std::sqrt(2.0L) / 3);
    const std::vector<Plane> squares = planeFamily(g, Vec{1, 0, 0}, std::sqrt(2.0L / 3));
    planes.insert(planes.end(), squares.begin(), squares.end());
    return planes;
}

// The core, its square and triangle pyramids and the 24 cells of the second
// layer; triangle-plane faces first.
SolidTable sco2() {
    const Arrangement arr = buildArrangement(cuboctahedron(), groupElements(Group::Octahedral));
    const Surface s = finishedSurface(arr, cellsWhere(arr, [](const OrbitInfo& o) { return o.layer <= 2; }));
    SolidTable t = tableOf("SCO2", s, 0);
    std::vector<std::vector<int>> faces;
    for (bool triangles : {true, false})
        for (const Face& f : s.faces)
            if ((f.plane < 8) == triangles) faces.push_back(f.corners);
    t.faces = faces;
    t.runs = {{48, 0xFF00BB33u}, {48, 0x00FFEE77u}};
    return t;
}

} // namespace poly
