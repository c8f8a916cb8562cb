// The five solids whose point counts break the full symmetry of their planes.
#include "hard.h"

#include "stellation.h"
#include "stellations.h"

#include <algorithm>
#include <climits>

namespace poly {
namespace {

int distance(const Census& have, const Census& want) {
    int d = 0;
    std::map<long, int> radii = want.radii;
    for (const auto& r : have.radii) radii[r.first] -= r.second;
    for (const auto& r : radii) d += std::abs(r.second);
    std::map<std::size_t, int> sizes = want.sizes;
    for (const auto& z : have.sizes) sizes[z.first] -= z.second;
    for (const auto& z : sizes) d += std::abs(z.second);
    return d;
}

// The fully supported stellation nearest the wanted census (exact when one
// exists), searched over the orbits of the given group.
Surface closestSupported(const Arrangement& arr, const Census& want, std::vector<std::string>& notes) {
    Surface best;
    int bestDistance = INT_MAX;
    for (const std::vector<int>& orbits : supportedOrbitSets(arr)) {
        Surface s = finishedSurface(arr, cellsOf(arr, orbits));
        if (!s.problems.empty()) continue;
        const int d = distance(alignedTo(censusOf(s), want), want);
        if (d < bestDistance) {
            bestDistance = d;
            best = std::move(s);
        }
    }
    if (bestDistance != 0) notes.push_back("census off by " + std::to_string(bestDistance) + " points and faces");
    return best;
}

std::vector<Plane> icosahedron() {
    return planeFamily(groupElements(Group::Icosahedral), unit(Vec{0, phi, 1 / phi}), phi / std::sqrt(3.0L));
}

SolidTable icosahedronStellation(const std::string& name, const Census& want) {
    const Arrangement arr = buildArrangement(icosahedron(), groupElements(Group::Pyritohedral));
    std::vector<std::string> notes;
    const Surface s = closestSupported(arr, want, notes);
    SolidTable t = tableOf(name, s, 0);
    t.notes.insert(t.notes.end(), notes.begin(), notes.end());
    return t;
}

// Assigns the faces to runs in order: each run takes the faces the
// predicate gives it, as many as its count, in face order.
void assignRuns(SolidTable& t, const std::vector<ColourRun>& runs,
                const std::vector<std::function<bool(const std::vector<int>&)>>& takes) {
    std::vector<std::vector<int>> faces;
    std::vector<bool> taken(t.faces.size());
    for (std::size_t r = 0; r < runs.size(); ++r) {
        int left = runs[r].count;
        for (std::size_t i = 0; i < t.faces.size() && left > 0; ++i)
            if (!taken[i] && takes[r](t.faces[i])) taken[i] = true, faces.push_back(t.faces[i]), --left;
        if (left > 0) t.notes.push_back("run " + std::to_string(r) + " short of " + std::to_string(left) + " faces");
    }
    std::size_t beyond = 0;
    for (std::size_t i = 0; i < t.faces.size(); ++i)
        if (!taken[i]) faces.push_back(t.faces[i]), ++beyond;
    if (beyond) t.notes.push_back(std::to_string(beyond) + " faces beyond the runs");
    t.faces = faces;
    t.runs = runs;
}

using FaceTest = std::function<bool(const std::vector<int>&)>;
FaceTest sized(std::initializer_list<std::size_t> sizes) {
    const std::vector<std::size_t> allowed(sizes);
    return [allowed](const std::vector<int>& f) {
        return std::find(allowed.begin(), allowed.end(), f.size()) != allowed.end();
    };
}

} // namespace

SolidTable tsi2() {
    SolidTable t = icosahedronStellation(
        "TSI2", census({{1.618, 12}, {1.706, 24}, {1.914, 36}, {2.802, 20}, {4.980, 12}, {9.827, 12}}, {{3, 120}, {4, 24}, {7, 12}}));
    assignRuns(t, {{144, 0x00888866u}, {12, 0xFFFF8822u}}, {sized({3, 4}), sized({7})});
    return t;
}

SolidTable tsi22() {
    SolidTable t = icosahedronStellation(
        "TSI22", census({{1.618, 12}, {1.706, 24}, {1.914, 12}, {2.802, 20}, {4.980, 12}, {9.827, 24}}, {{3, 96}, {5, 12}, {8, 12}}));
    assignRuns(t, {{24, 0x00C440AEu}, {96, 0x00D6C782u}}, {sized({5, 8}), sized({3})});
    return t;
}

SolidTable tsi28() {
    SolidTable t = icosahedronStellation(
        "TSI28", census({{1.618, 24}, {1.706, 36}, {1.914, 24}, {2.802, 20}, {4.980, 12}}, {{3, 72}, {4, 12}, {5, 12}, {6, 12}}));
    assignRuns(t, {{36, 0x004020AAu}, {60, 0xFF908060u}, {12, 0xFF33AAFFu}},
               {sized({3, 4}), sized({3, 5, 6}), sized({3})});
    return t;
}

SolidTable sco6() {
    const Arrangement arr = buildArrangement(cuboctahedron(), groupElements(Group::Octahedral));
    std::vector<std::string> notes;
    const Surface s = closestSupported(
        arr, census({{1.155, 13}, {1.633, 6}, {2.000, 27}, {2.582, 24}, {2.828, 8}, {3.464, 24}}, {{3, 96}, {4, 48}}), notes);
    SolidTable t = tableOf("SCO6", s, 0);
    t.notes.insert(t.notes.end(), notes.begin(), notes.end());
    assignRuns(t, {{24, 0xFFFF66FFu}, {72, 0x00556666u}, {48, 0xCC555522u}}, {sized({4}), sized({3, 4}), sized({3})});
    return t;
}

SolidTable mih() {
    // Placeholder direction until the plane normal is solved for.
    const auto g = groupElements(Group::IcosahedralRotations);
    const Arrangement arr = buildArrangement(planeFamily(g, unit(Vec{1, 0.2L, 0.5L}), std::sqrt(6.0L / 7)), g);
    const Surface s = finishedSurface(arr, cellsWhere(arr, [](const OrbitInfo& o) { return o.layer == 0; }));
    SolidTable t = tableOf("MIH", s, 0xFF000080u);
    t.runs = {{240, 0xFF000080u}};
    t.notes.push_back("plane direction not yet solved");
    return t;
}

} // namespace poly
