// The five solids that the plain cell-union builder cannot make: their point
// counts break the full symmetry of their planes, or their faces are not
// simply the joined visible regions of a cell union.
#include "custom_solids.h"

#include "stellation.h"
#include "search.h"
#include "stellations.h"

#include <algorithm>
#include <climits>

namespace poly {
namespace {

std::vector<Plane> icosahedron() {
    return planeFamily(groupElements(Group::Icosahedral), unit(Vec{0, phi, 1 / phi}), phi / std::sqrt(3.0L));
}

// The icosahedron's arrangement under the twelve rotations that keep the
// coordinate axes: its point counts (12 at one radius out of an orbit of 24
// under the full pyritohedral group) need the chiral group.
Arrangement chiralIcosahedronArrangement() {
    return buildArrangement(icosahedron(), groupElements(Group::TetrahedralRotations));
}

struct Wanted {
    const char* name;
    bool outward;
    Census census;
    std::map<int, int> facesPerPlane; // faces -> planes; empty: any
};

Wanted wantedTsi(int which) {
    switch (which) {
    case 0:
        return {"TSI2", true,
                census({{1.618, 12}, {1.706, 24}, {1.914, 36}, {2.802, 20}, {4.980, 12}, {9.827, 12}},
                       {{3, 120}, {4, 24}, {7, 12}}),
                {{6, 8}, {9, 12}}};
    case 1:
        return {"TSI22", false,
                census({{1.618, 12}, {1.706, 24}, {1.914, 12}, {2.802, 20}, {4.980, 12}, {9.827, 24}},
                       {{3, 96}, {5, 12}, {8, 12}}),
                {}};
    default:
        return {"TSI28", false,
                census({{1.618, 24}, {1.706, 36}, {1.914, 24}, {2.802, 20}, {4.980, 12}}, {{3, 72}, {4, 12}, {5, 12}, {6, 12}}),
                {}};
    }
}

std::map<int, int> facesPerPlane(const Surface& s) {
    std::map<int, int> perPlane, histogram;
    for (const Face& f : s.faces) perPlane[f.plane]++;
    for (const auto& e : perPlane) histogram[e.second]++;
    return histogram;
}

// The orbit sets that searchTsi chooses, kept so that generating stays fast
// (polyhedra --search repeats the search: 38, 10 and 2 orbit sets meet the
// radii and face sizes of TSI2, TSI22 and TSI28; neither of TSI28's can fan
// its twelve hexagons from a corner).
//
// TSI28 therefore uses a hollow shell without the core, found by a wider
// search that --search does not repeat (the same pruning, then each set's
// faces cut through diagonals and corners of neighbouring faces on their
// edges; some 15 minutes): its corners have exactly the wanted radii, every
// face fans from a corner, and cutting its four cavity hexagons into three
// quadrilaterals each (tsiTable) gives exactly the wanted face sizes.
const std::vector<int> tsiOrbits[3] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 22, 23, 24, 25, 26, 27, 30, 31, 32, 33, 34, 37, 39, 40, 42, 43},
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15, 16, 17, 19, 20, 22, 23, 24, 25, 26, 28, 30, 34, 35, 36, 39, 40, 42, 43},
    {8, 9, 10, 11, 12, 13, 15, 16, 17, 18, 23, 24, 25, 26, 27, 31, 33, 34},
};

// Cuts a face that no corner fans inside into two that can be, along the
// first diagonal that allows it.
Vec newell(const std::vector<Vec>& points, const std::vector<int>& face) {
    Vec n;
    for (std::size_t i = 0; i < face.size(); ++i) n = n + cross(points[face[i]], points[face[(i + 1) % face.size()]]);
    return n;
}

std::vector<std::vector<int>> fannablePieces(const std::vector<Vec>& points, const std::vector<int>& face) {
    if (fannable(points, face)) return {face};
    const Vec n = newell(points, face);
    // A piece turning the other way would mean the diagonal leaves the face.
    const auto fits = [&](const std::vector<int>& piece) {
        return fannable(points, piece) && dot(newell(points, piece), n) > 0;
    };
    const std::size_t k = face.size();
    for (std::size_t i = 0; i < k; ++i)
        for (std::size_t j = i + 2; j < k && !(i == 0 && j == k - 1); ++j) {
            std::vector<int> a(face.begin() + long(i), face.begin() + long(j) + 1), b(face.begin() + long(j), face.end());
            b.insert(b.end(), face.begin(), face.begin() + long(i) + 1);
            if (fits(a) && fits(b)) return {a, b};
        }
    return {face};
}

// The corners of other faces that lie inside the edge from a to b, in order.
std::vector<int> cornersInside(const SolidTable& t, const std::vector<bool>& used, int a, int b) {
    std::vector<std::pair<real, int>> inside;
    const Vec d = t.points[b] - t.points[a];
    for (std::size_t p = 0; p < t.points.size(); ++p) {
        if (!used[p]) continue;
        const real along = dot(t.points[p] - t.points[a], d) / dot(d, d);
        if (along > 1e-6L && along < 1 - 1e-6L && near(t.points[a] + d * along, t.points[p], 1e-7L)) inside.push_back({along, int(p)});
    }
    std::sort(inside.begin(), inside.end());
    std::vector<int> out;
    for (const auto& e : inside) out.push_back(e.second);
    return out;
}

// Cuts a convex face into three quadrilaterals that each fan from a corner,
// through two corners of neighbouring faces on its edges; the face itself
// when no such cut exists.
std::vector<std::vector<int>> threeQuads(const SolidTable& t, const std::vector<int>& face, const std::vector<bool>& used) {
    std::vector<int> cycle;
    std::vector<std::size_t> extra; // positions in cycle of the edge points
    for (std::size_t i = 0; i < face.size(); ++i) {
        cycle.push_back(face[i]);
        for (int p : cornersInside(t, used, face[i], face[(i + 1) % face.size()])) extra.push_back(cycle.size()), cycle.push_back(p);
    }
    const Vec n = newell(t.points, face);
    const auto fits = [&](const std::vector<int>& q) { return fannable(t.points, q) && dot(newell(t.points, q), n) > 0; };
    for (std::size_t i = 0; i < extra.size(); ++i)
        for (std::size_t j = i + 1; j < extra.size(); ++j) {
            std::vector<int> q;
            for (std::size_t k = 0; k < cycle.size(); ++k)
                if (std::find(extra.begin(), extra.end(), k) == extra.end() || k == extra[i] || k == extra[j]) q.push_back(cycle[k]);
            if (q.size() != 8) continue;
            const auto at = [&](std::size_t k) { return q[k % 8]; };
            // One quadrilateral cut off at a, the hexagon left cut in two.
            for (std::size_t a = 0; a < 8; ++a) {
                const std::vector<int> first{at(a), at(a + 1), at(a + 2), at(a + 3)};
                const auto rest = [&](std::size_t k) { return at(a + 3 + k % 6); };
                for (std::size_t c = 0; c < 3; ++c) {
                    const std::vector<int> second{rest(c), rest(c + 1), rest(c + 2), rest(c + 3)};
                    const std::vector<int> third{rest(c + 3), rest(c + 4), rest(c + 5), rest(c)};
                    if (fits(first) && fits(second) && fits(third)) return {first, second, third};
                }
            }
        }
    return {face};
}

SolidTable tsiTable(int which) {
    const Wanted want = wantedTsi(which);
    const Arrangement arr = chiralIcosahedronArrangement();
    const Surface s = finishedSurface(arr, cellsOf(arr, tsiOrbits[which]));
    SolidTable t = tableOf(want.name, s, 0);
    std::vector<std::vector<int>> faces;
    for (const auto& f : t.faces)
        for (const auto& piece : fannablePieces(t.points, f)) faces.push_back(piece);
    if (faces.size() != t.faces.size())
        t.notes.push_back(std::to_string(faces.size() - t.faces.size()) + " faces that no corner fans inside are cut in two");
    t.faces = faces;
    // TSI28's cells leave four hexagons, round the cavities that face the
    // origin, where quadrilaterals are wanted: each is cut into three.
    if (which == 2 && t.faces.size() == s.faces.size()) {
        std::vector<bool> used(t.points.size());
        for (const auto& f : t.faces)
            for (int i : f) used[i] = true;
        faces.clear();
        for (std::size_t f = 0; f < t.faces.size(); ++f) {
            if (s.faces[f].solidBelow || t.faces[f].size() != 6) faces.push_back(t.faces[f]);
            else
                for (const auto& piece : threeQuads(t, t.faces[f], used)) faces.push_back(piece);
        }
        t.faces = faces;
    }
    if (!want.facesPerPlane.empty() && facesPerPlane(s) != want.facesPerPlane) t.notes.push_back("faces per plane differ");
    return t;
}

// The radii of the points the faces use and the face sizes, repeated
// point numbers counted apart.
Census tableCensus(const SolidTable& t) {
    Census c;
    std::vector<bool> used(t.points.size());
    for (const auto& f : t.faces) {
        c.sizes[f.size()]++;
        for (int i : f) used[i] = true;
    }
    for (std::size_t i = 0; i < used.size(); ++i)
        if (used[i]) c.radii[std::lround(norm(t.points[i]) * 1000)]++;
    return c;
}

void checkCensus(SolidTable& t, int which) {
    const Census want = wantedTsi(which).census;
    const Census have = alignedTo(tableCensus(t), want);
    if (have.radii != want.radii || have.sizes != want.sizes) t.notes.push_back("census differs");
}

// Sorts faces by corner count, then by the distance of their centre from
// the origin, so that faces of one symmetry class stay together.
void sortByClass(SolidTable& t) {
    const auto centre = [&](const std::vector<int>& f) {
        Vec c;
        for (int i : f) c = c + t.points[i] * (real(1) / f.size());
        return std::lround(norm(c) * 1e6L);
    };
    std::stable_sort(t.faces.begin(), t.faces.end(), [&](const auto& a, const auto& b) {
        return a.size() != b.size() ? a.size() < b.size() : centre(a) < centre(b);
    });
}

// The faces of one colour run: how many of each corner count.
using RunFaces = std::map<std::size_t, int>;

// Gives each run, in order, the faces its composition names, taken in face
// order (so classes of faces stay together); faces left over follow.
void assignRuns(SolidTable& t, const std::vector<ColourRun>& runs, const std::vector<RunFaces>& compositions) {
    std::vector<std::vector<int>> faces;
    std::vector<bool> taken(t.faces.size());
    for (std::size_t r = 0; r < runs.size(); ++r) {
        for (const auto& part : compositions[r]) {
            int left = part.second;
            for (std::size_t i = 0; i < t.faces.size() && left > 0; ++i)
                if (!taken[i] && t.faces[i].size() == part.first) taken[i] = true, faces.push_back(t.faces[i]), --left;
            if (left > 0)
                t.notes.push_back("run " + std::to_string(r) + " short of " + std::to_string(left) + " faces of " +
                                  std::to_string(part.first) + " corners");
        }
    }
    std::size_t beyond = 0;
    for (std::size_t i = 0; i < t.faces.size(); ++i)
        if (!taken[i]) faces.push_back(t.faces[i]), ++beyond;
    if (beyond) t.notes.push_back(std::to_string(beyond) + " faces beyond the runs");
    t.faces = faces;
    t.runs = runs;
}

// Gives `count` points at each radius a second number: the last face (in
// table order) that uses such a point takes the new number instead.
void repeatPoints(SolidTable& t, std::initializer_list<std::pair<real, int>> radii) {
    for (const auto& want : radii) {
        int left = want.second;
        for (std::size_t p = 0; p < t.points.size() && left > 0; ++p) {
            if (std::fabs(norm(t.points[p]) - want.first) > 2e-3L) continue;
            for (auto f = t.faces.rbegin(); f != t.faces.rend(); ++f) {
                auto corner = std::find(f->begin(), f->end(), int(p));
                if (corner == f->end()) continue;
                *corner = int(t.points.size());
                t.points.push_back(t.points[p]);
                --left;
                break;
            }
        }
    }
}

} // namespace

std::string searchTsi(int only) {
    const Arrangement arr = chiralIcosahedronArrangement();
    std::string out;
    for (int which = 0; which < 3; ++which) {
        if (only >= 0 && which != only) continue;
        const Wanted want = wantedTsi(which);
        const SearchResult r = searchOrbitSets(arr, want.census, 1000);
        out += std::string(want.name) + ": " + std::to_string(r.visited) + " partial sets visited, " +
               std::to_string(r.matches.size()) + " with the wanted radii and faces; chosen:";
        // The first with the core, the faces per plane where listed, every
        // face fannable from a corner and, for outward tables, looking away
        // from the origin; failing that, the first with the core.
        std::vector<int> chosen;
        for (const std::vector<int>& m : r.matches)
            if (chosen.empty() && !m.empty() && m.front() == 0) chosen = m;
        for (const std::vector<int>& m : r.matches) {
            if (m.empty() || m.front() != 0) continue;
            const Surface s = finishedSurface(arr, cellsOf(arr, m));
            if (!want.facesPerPlane.empty() && facesPerPlane(s) != want.facesPerPlane) continue;
            // A table drawn with outward orientation cannot hold a face that
            // looks towards the origin.
            bool away = true;
            for (const Face& f : s.faces) away = away && f.solidBelow;
            if (want.outward && !away) continue;
            bool fans = true;
            for (const Face& f : s.faces) fans = fans && fannable(s.points, f.corners);
            if (!fans) continue;
            chosen = m;
            out += " (meets every test)";
            break;
        }
        for (int o : chosen) out += " " + std::to_string(o) + ",";
        out += "\n";
    }
    return out;
}

SolidTable tsi2() {
    SolidTable t = tsiTable(0);
    sortByClass(t);
    assignRuns(t, {{144, 0x00888866u}, {12, 0xFFFF8822u}}, {{{3, 120}, {4, 24}}, {{7, 12}}});
    checkCensus(t, 0);
    return t;
}

SolidTable tsi22() {
    SolidTable t = tsiTable(1);
    sortByClass(t);
    assignRuns(t, {{24, 0x00C440AEu}, {96, 0x00D6C782u}}, {{{5, 12}, {8, 12}}, {{3, 96}}});
    checkCensus(t, 1);
    return t;
}

SolidTable tsi28() {
    SolidTable t = tsiTable(2);
    sortByClass(t);
    assignRuns(t, {{36, 0x004020AAu}, {60, 0xFF908060u}, {12, 0xFF33AAFFu}},
               {{{4, 12}, {3, 24}}, {{6, 12}, {5, 12}, {3, 36}}, {{3, 12}}});
    checkCensus(t, 2);
    return t;
}

// The complete stellation, each visible region of the arrangement a face of
// its own: nine on every triangle plane and twelve on every square plane.
// Its corners are the 98 points of the arrangement at the six radii; the
// four more points the table holds (one at 1.155, three at 2.000) repeat
// arrangement points under new numbers, each then used by one face.
SolidTable sco6() {
    const Arrangement arr = buildArrangement(cuboctahedron(), groupElements(Group::Octahedral));
    Surface s = surfaceOf(arr, cellsWhere(arr, [](const OrbitInfo&) { return true; }), false);
    SolidTable t = tableOf("SCO6", s, 0);
    sortByClass(t);
    assignRuns(t, {{24, 0xFFFF66FFu}, {72, 0x00556666u}, {48, 0xCC555522u}}, {{{4, 24}}, {{4, 24}, {3, 48}}, {{3, 48}}});
    repeatPoints(t, {{1.155L, 1}, {2.000L, 3}});
    return t;
}


} // namespace poly
