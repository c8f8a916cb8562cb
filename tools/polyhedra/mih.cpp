// The hexecontahedral star, built from its planes' axis points rather than
// from a cell union.
#include "custom_solids.h"

#include "arrangement.h"
#include "surface.h"

#include <algorithm>

namespace poly {
namespace {

// Points of `candidates` in the plane, in the cyclic order of the face whose
// edges each lie on another plane of the family: consecutive corners share
// a second plane.
std::vector<Vec> cornerCycle(const std::vector<Plane>& planes, std::size_t p, const std::vector<Vec>& candidates) {
    const auto on = [](const Plane& q, const Vec& x) { return std::fabs(dot(q.n, x) - q.d) < 1e-9L; };
    std::vector<Vec> corners;
    for (const Vec& c : candidates)
        if (on(planes[p], c)) corners.push_back(c);
    const auto joined = [&](const Vec& a, const Vec& b) {
        for (std::size_t q = 0; q < planes.size(); ++q)
            if (q != p && on(planes[q], a) && on(planes[q], b)) return true;
        return false;
    };
    std::vector<Vec> cycle{corners.front()};
    std::vector<bool> used(corners.size());
    used[0] = true;
    for (std::size_t step = 1; step < corners.size(); ++step)
        for (std::size_t k = 0; k < corners.size(); ++k)
            if (!used[k] && joined(cycle.back(), corners[k])) {
                cycle.push_back(corners[k]);
                used[k] = true;
                break;
            }
    // Counter-clockwise seen from beyond the plane.
    Vec newell;
    for (std::size_t k = 0; k < cycle.size(); ++k) newell = newell + cross(cycle[k], cycle[(k + 1) % cycle.size()]);
    if (dot(newell, planes[p].n) < 0) std::reverse(cycle.begin(), cycle.end());
    return cycle;
}

std::vector<Vec> sortedPoints(std::vector<Vec> v) {
    std::sort(v.begin(), v.end(), [](const Vec& a, const Vec& b) {
        return a.x != b.x ? a.x < b.x : a.y != b.y ? a.y < b.y : a.z < b.z;
    });
    return v;
}

} // namespace

// The hexecontahedral star: 60 planes at √(6/7) with normal
// (0, φ⁻², φ²)/√7, in a mirror plane, so that every plane passes through two
// 3-fold axis points at √2 and one point on each of two 5-fold axes (at
// 1.009 and 1.209); the only such direction up to symmetry. Consecutive
// corners share a second plane, which makes each plane's face a dart; it is
// stored as four triangles round its centroid (at 0.959).
SolidTable mih() {
    const auto g = groupElements(Group::Icosahedral);
    const real d = std::sqrt(6.0L / 7);
    const std::vector<Plane> planes = planeFamily(g, unit(Vec{0, 1 / (phi * phi), phi * phi}), d);
    std::vector<Vec> threeFold, near5, far5;
    for (const Vec& a : orbit(g, Vec{1, 1, 1})) threeFold.push_back(a * std::sqrt(2.0L));
    real closest = 0, farthest = 1; // cosines of the two 5-fold axes each plane meets
    for (const Vec& b : orbit(g, Vec{0, 1, phi})) {
        const real c = dot(planes[0].n, b);
        if (c > closest) farthest = closest, closest = c;
        else if (c > farthest) farthest = c;
    }
    for (const Vec& b : orbit(g, Vec{0, 1, phi})) near5.push_back(b * (d / closest)), far5.push_back(b * (d / farthest));
    SolidTable t;
    t.name = "MIH";
    std::vector<Vec> corners = sortedPoints(threeFold);
    for (const auto& group : {sortedPoints(near5), sortedPoints(far5)}) corners.insert(corners.end(), group.begin(), group.end());
    std::vector<std::vector<Vec>> cycles;
    std::vector<Vec> centres;
    for (std::size_t p = 0; p < planes.size(); ++p) {
        cycles.push_back(cornerCycle(planes, p, corners));
        Vec c;
        for (const Vec& v : cycles.back()) c = c + v * (real(1) / cycles.back().size());
        centres.push_back(c);
    }
    Surface registry;
    for (const Vec& v : corners) registry.pointIndex(v);
    for (const Vec& c : sortedPoints(centres)) registry.pointIndex(c);
    for (std::size_t p = 0; p < planes.size(); ++p) {
        const int c = registry.pointIndex(centres[p]);
        const auto& cycle = cycles[p];
        for (std::size_t k = 0; k < cycle.size(); ++k)
            t.faces.push_back({c, registry.pointIndex(cycle[(k + 1) % cycle.size()]), registry.pointIndex(cycle[k])});
    }
    t.points = registry.points;
    t.runs = {{240, 0xFF000080u}};
    return t;
}

} // namespace poly
