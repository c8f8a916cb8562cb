#include "search.h"

#include <algorithm>

namespace poly {
namespace {

struct PointInfo {
    int radius = -1; // index into the wanted radii, -1: not wanted
    std::vector<int> regions; // regions with this corner
    int decidedAt = -1; // the last orbit (in search order) of a cell round it
};

struct Problem {
    const Arrangement* arr;
    std::vector<int> orbitOf; // region -> {below orbit, above orbit} packed below*2, above*2+1
    std::vector<PointInfo> points;
    std::vector<std::vector<int>> pointsDecidedAt; // orbit -> points
    std::vector<int> wantCount;
    std::vector<int> count;
    std::vector<char> chosen;
    std::vector<int> order; // search position -> orbit
    std::vector<char> allowed; // orbit may be chosen
    const Census* want;
    SearchResult result;
    std::size_t maxMatches;
    int slack = 0, excess = 0;
};

int orbitOfKey(const Arrangement& arr, std::uint64_t key) {
    const auto found = arr.cells.find(key);
    return found == arr.cells.end() || !found->second.bounded ? -1 : found->second.orbit;
}

bool inSolid(const Problem& p, int orbit) { return orbit >= 0 && p.chosen[orbit]; }

bool visible(const Problem& p, int region) {
    return inSolid(p, p.orbitOf[2 * region]) != inSolid(p, p.orbitOf[2 * region + 1]);
}

// A point is a corner of the surface when the visible regions round it lie
// in planes that share no common line.
bool isCorner(const Problem& p, const PointInfo& info) {
    std::vector<Vec> normals;
    for (int r : info.regions)
        if (visible(p, r)) normals.push_back(p.arr->planes[p.arr->regions[r].plane].n);
    for (std::size_t i = 0; i < normals.size(); ++i)
        for (std::size_t j = i + 1; j < normals.size(); ++j) {
            const Vec line = cross(normals[i], normals[j]);
            if (norm(line) < 1e-9L) continue;
            for (const Vec& n : normals)
                if (std::fabs(dot(n, line)) > 1e-9L) return true;
        }
    return false;
}

void buildPoints(Problem& p) {
    const Arrangement& arr = *p.arr;
    std::vector<int> position(arr.orbits.size());
    for (std::size_t i = 0; i < p.order.size(); ++i) position[p.order[i]] = int(i);
    const auto positionOf = [&](int orbit) { return orbit < 0 ? -1 : position[orbit]; };
    Surface registry;
    for (std::size_t r = 0; r < arr.regions.size(); ++r) {
        const Region& region = arr.regions[r];
        p.orbitOf.push_back(orbitOfKey(arr, region.below));
        p.orbitOf.push_back(orbitOfKey(arr, region.above));
        for (const Vec& c : region.corners) {
            const int id = registry.pointIndex(c);
            if (id >= int(p.points.size())) p.points.resize(id + 1);
            p.points[id].regions.push_back(int(r));
            p.points[id].decidedAt =
                std::max({p.points[id].decidedAt, positionOf(p.orbitOf[2 * r]), positionOf(p.orbitOf[2 * r + 1])});
        }
    }
    std::vector<long> wanted;
    for (const auto& w : p.want->radii) wanted.push_back(w.first), p.wantCount.push_back(w.second);
    p.count.assign(wanted.size(), 0);
    p.pointsDecidedAt.assign(arr.orbits.size(), {});
    for (std::size_t i = 0; i < p.points.size(); ++i) {
        const long r = std::lround(norm(registry.points[i]) * 1000);
        for (std::size_t k = 0; k < wanted.size(); ++k)
            if (std::abs(wanted[k] - r) <= 2) p.points[i].radius = int(k);
        if (p.points[i].decidedAt >= 0) p.pointsDecidedAt[p.points[i].decidedAt].push_back(int(i));
    }
}

// Counts the corners decided by orbit o; false when one is unwanted or a
// radius has too many.
bool settle(Problem& p, int o, std::vector<int>& counted) {
    for (int i : p.pointsDecidedAt[o]) {
        const PointInfo& info = p.points[i];
        if (!isCorner(p, info)) continue;
        counted.push_back(info.radius);
        if (info.radius < 0 || ++p.count[info.radius] > p.wantCount[info.radius]) ++p.excess;
        if (p.excess > p.slack) return false;
    }
    return true;
}

void undo(Problem& p, const std::vector<int>& counted) {
    for (int k : counted) {
        if (k < 0 || p.count[k]-- > p.wantCount[k]) --p.excess;
    }
}

void leaf(Problem& p) {
    std::vector<int> orbits;
    for (std::size_t i = 0; i < p.chosen.size(); ++i)
        if (p.chosen[i]) orbits.push_back(int(i));
    int missing = 0;
    for (std::size_t k = 0; k < p.count.size(); ++k) missing += std::max(0, p.wantCount[k] - p.count[k]);
    const int distance = p.excess + missing;
    if (distance == 0) {
        const Census c = alignedTo(censusOf(finishedSurface(*p.arr, cellsOf(*p.arr, orbits))), *p.want);
        if (c.sizes == p.want->sizes) p.result.matches.push_back(orbits);
    }
    if (distance < p.result.nearestDistance) p.result.nearest.clear(), p.result.nearestDistance = distance;
    if (distance == p.result.nearestDistance && p.result.nearest.size() < 20) p.result.nearest.push_back(orbits);
}

void extend(Problem& p, int at) {
    if (p.result.matches.size() >= p.maxMatches) return;
    ++p.result.visited;
    if (at == int(p.order.size())) return leaf(p);
    const int o = p.order[at];
    for (char take : {0, 1}) {
        if (take && !p.allowed[o]) break;
        p.chosen[o] = take;
        std::vector<int> counted;
        if (settle(p, at, counted)) extend(p, at + 1);
        undo(p, counted);
    }
    p.chosen[o] = 0;
}

} // namespace

SearchResult searchOrbitSets(const Arrangement& arr, const Census& want, std::size_t maxMatches, int slack) {
    Problem p;
    p.slack = slack;
    p.arr = &arr;
    p.want = &want;
    p.maxMatches = maxMatches;
    p.chosen.assign(arr.orbits.size(), 0);
    // Inner layers first, so that the points near the core are settled early;
    // an orbit reaching beyond the outermost wanted radius would put a corner
    // there, so it stays out.
    const real outermost = (want.radii.empty() ? 0 : want.radii.rbegin()->first + 2) / 1000.0L;
    for (std::size_t o = 0; o < arr.orbits.size(); ++o) {
        p.order.push_back(int(o));
        bool inside = true;
        for (const Vec& v : arr.cells.at(arr.orbits[o].front()).vertices) inside = inside && norm(v) <= outermost;
        p.allowed.push_back(inside);
    }
    std::stable_sort(p.order.begin(), p.order.end(), [&](int a, int b) {
        return arr.cells.at(arr.orbits[a].front()).layer < arr.cells.at(arr.orbits[b].front()).layer;
    });
    buildPoints(p);
    extend(p, 0);
    return p.result;
}

} // namespace poly
