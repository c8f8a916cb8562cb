#include "stellation.h"

#include <algorithm>

namespace poly {

OrbitInfo orbitInfo(const Arrangement& arr, int orbit) {
    const Cell& c = arr.cells.at(arr.orbits[orbit].front());
    OrbitInfo info{c.layer, arr.orbits[orbit].size(), Vec{}};
    for (const Vec& v : c.vertices) info.centre = info.centre + v * (real(1) / c.vertices.size());
    return info;
}

std::set<std::uint64_t> cellsOf(const Arrangement& arr, const std::vector<int>& orbits) {
    std::set<std::uint64_t> cells;
    for (int o : orbits) cells.insert(arr.orbits[o].begin(), arr.orbits[o].end());
    return cells;
}

std::set<std::uint64_t> cellsWhere(const Arrangement& arr, const std::function<bool(const OrbitInfo&)>& keep) {
    std::vector<int> chosen;
    for (std::size_t o = 0; o < arr.orbits.size(); ++o)
        if (keep(orbitInfo(arr, int(o)))) chosen.push_back(int(o));
    return cellsOf(arr, chosen);
}

namespace {

// For each orbit, the orbits of its bounded neighbours one layer further in.
std::vector<std::set<int>> supports(const Arrangement& arr) {
    std::vector<std::set<int>> req(arr.orbits.size());
    for (std::size_t o = 0; o < arr.orbits.size(); ++o) {
        const Cell& c = arr.cells.at(arr.orbits[o].front());
        for (int f : c.facets) {
            const Region& r = arr.regions[f];
            const Cell& other = arr.cells.at(r.below == c.key ? r.above : r.below);
            if (other.bounded && other.layer < c.layer) req[o].insert(other.orbit);
        }
    }
    return req;
}

} // namespace

std::vector<std::vector<int>> supportedOrbitSets(const Arrangement& arr) {
    const std::vector<std::set<int>> req = supports(arr);
    std::vector<int> order(arr.orbits.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = int(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return orbitInfo(arr, a).layer < orbitInfo(arr, b).layer; });
    std::vector<std::vector<int>> out;
    std::vector<int> chosen;
    std::function<void(std::size_t)> extend = [&](std::size_t at) {
        if (at == order.size()) {
            out.push_back(chosen);
            std::sort(out.back().begin(), out.back().end());
            return;
        }
        extend(at + 1);
        const int o = order[at];
        for (int r : req[o])
            if (std::find(chosen.begin(), chosen.end(), r) == chosen.end()) return;
        chosen.push_back(o);
        extend(at + 1);
        chosen.pop_back();
    };
    extend(0);
    return out;
}

Census censusOf(const Surface& s) {
    Census c;
    std::vector<bool> used(s.points.size());
    for (const Face& f : s.faces) {
        c.sizes[f.corners.size()]++;
        for (int i : f.corners) used[i] = true;
    }
    for (std::size_t i = 0; i < used.size(); ++i)
        if (used[i]) c.radii[std::lround(norm(s.points[i]) * 1000)]++;
    return c;
}

Census alignedTo(const Census& have, const Census& want) {
    Census out;
    out.sizes = have.sizes;
    for (const auto& r : have.radii) {
        long key = r.first;
        for (const auto& w : want.radii)
            if (std::abs(w.first - r.first) <= 2) key = w.first;
        out.radii[key] += r.second;
    }
    return out;
}

Census census(std::initializer_list<std::pair<double, int>> radii,
              std::initializer_list<std::pair<std::size_t, int>> sizes) {
    Census c;
    for (const auto& r : radii) c.radii[std::lround(r.first * 1000)] += r.second;
    for (const auto& z : sizes) c.sizes[z.first] += z.second;
    return c;
}

Surface finishedSurface(const Arrangement& arr, const std::set<std::uint64_t>& cells) {
    Surface s = surfaceOf(arr, cells);
    dropStraightCorners(s);
    return s;
}

SolidTable tableOf(const std::string& name, const Surface& s, std::uint32_t colour) {
    SolidTable t;
    t.name = name;
    t.points = s.points;
    for (const Face& f : s.faces) t.faces.push_back(f.corners);
    t.runs.push_back({int(t.faces.size()), colour});
    t.notes = s.problems;
    return t;
}

} // namespace poly
