#include "catalogue_check.h"

#include <glm/geometric.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>
#include <tuple>

namespace check {
namespace {

using dvec3 = glm::dvec3;

// The mesh read back as faces: each fan of triangles sharing a first vertex
// is one face whose corners are that fan's vertices in order.
struct Reading {
    float scale = 1;
    assets::PolytopeMesh mesh;
    std::vector<std::pair<std::uint32_t, int>> faces; // first vertex, corners
    std::vector<int> pointOf; // vertex -> point number (same position)
    std::vector<dvec3> points; // unscaled
    dvec3 corner(std::size_t face, int i) const { return points[pointOf[faces[face].first + i]]; }
    int point(std::size_t face, int i) const { return pointOf[faces[face].first + i]; }
};

template <typename... T>
std::string line(const char* tag, const T&... parts) {
    std::ostringstream out;
    out << tag;
    (out << ... << parts);
    return out.str();
}

// Splits the triangles into fans (a new fan starts where the first index
// changes; it must start at the vertex after the last fan's k corners) and
// numbers the distinct positions.
bool readFaces(Reading& r, std::vector<std::string>& out) {
    const auto& idx = r.mesh.indices;
    std::uint32_t nextFirst = 0;
    for (std::size_t t = 0; t + 2 < idx.size(); t += 3) {
        if (!r.faces.empty() && idx[t] == r.faces.back().first) {
            ++r.faces.back().second;
        } else if (idx[t] != nextFirst) {
            out.push_back(line("shape: triangle ", t / 3, " does not start where the last fan ended"));
            return false;
        } else {
            r.faces.push_back({idx[t], 3});
        }
        nextFirst = r.faces.back().first + std::uint32_t(r.faces.back().second);
    }
    if (nextFirst != r.mesh.vertices.size()) out.push_back("shape: vertices left over after the last fan");
    std::map<std::tuple<float, float, float>, int> seen;
    for (const assets::PolytopeVertex& v : r.mesh.vertices) {
        const auto key = std::make_tuple(v.position.x, v.position.y, v.position.z);
        auto found = seen.find(key);
        if (found == seen.end()) {
            found = seen.emplace(key, int(r.points.size())).first;
            r.points.push_back(dvec3(v.position) / double(r.scale));
        }
        r.pointOf.push_back(found->second);
    }
    return true;
}

template <typename Map>
std::string histogram(const Map& m) {
    std::ostringstream out;
    for (const auto& e : m) out << e.second << " x " << e.first << "  ";
    return out.str();
}

// Point numbers the faces use, as the table lists them.
std::size_t pointsUsed(const assets::PolytopeTable& table) {
    std::vector<bool> used(table.pointCount);
    for (std::size_t i = 0; i < table.indexCount; ++i)
        if (table.indices[i] >= 0 && std::size_t(table.indices[i]) < used.size()) used[table.indices[i]] = true;
    return std::size_t(std::count(used.begin(), used.end(), true));
}

// Every mesh vertex is its table point times the scale, in the listed order,
// so the table's points speak for the mesh.
void checkVerticesAreTablePoints(const assets::Solid& solid, const Reading& r, std::vector<std::string>& out) {
    std::size_t v = 0;
    for (std::size_t i = 0; i < solid.table.indexCount && v < r.mesh.vertices.size(); ++i) {
        if (solid.table.indices[i] < 0) continue;
        const float* p = solid.table.points[solid.table.indices[i]];
        if (r.mesh.vertices[v++].position != glm::vec3(p[0], p[1], p[2]) * solid.scale) {
            out.push_back(line("shape: vertex ", v - 1, " is not its table point times the scale"));
            return;
        }
    }
}

void checkCounts(const assets::Solid& solid, const Reading& r, const Expectation& e, std::vector<std::string>& out) {
    const std::size_t used = pointsUsed(solid.table);
    if (solid.table.pointCount != e.points || used != e.points)
        out.push_back(line("census: points ", solid.table.pointCount, " in the table, ", used, " used, want ", e.points));
    if (solid.table.indexCount != e.indexEntries)
        out.push_back(line("census: index entries ", solid.table.indexCount, ", want ", e.indexEntries));
    if (r.mesh.vertices.size() != e.vertices)
        out.push_back(line("census: vertices made ", r.mesh.vertices.size(), ", want ", e.vertices));
    if (r.mesh.indices.size() != e.indices)
        out.push_back(line("census: indices made ", r.mesh.indices.size(), ", want ", e.indices));
    std::map<int, int> sizes, want(e.sizes.begin(), e.sizes.end());
    for (const auto& f : r.faces) sizes[f.second]++;
    if (sizes != want) out.push_back(line("census: faces ", histogram(sizes), "want ", histogram(want)));
}

// Radii of the table's points, each numbered point counted once.
void checkRadii(const assets::PolytopeTable& table, const Expectation& e, std::vector<std::string>& out) {
    if (e.radii.empty()) return;
    std::map<double, int> have;
    for (std::size_t i = 0; i < table.pointCount; ++i) {
        const double radius = glm::length(dvec3(table.points[i][0], table.points[i][1], table.points[i][2]));
        double key = std::round(radius * 1000) / 1000;
        for (const auto& w : e.radii)
            if (std::fabs(w.first - radius) < 2e-3) key = w.first;
        have[key]++;
    }
    const std::map<double, int> want(e.radii.begin(), e.radii.end());
    if (have != want) out.push_back(line("census: radii ", histogram(have), "want ", histogram(want)));
}

// Orthogonal generators of each symmetry group; a set of normals is closed
// under the group when it is closed under its generators.
std::vector<glm::dmat3> generators(Symmetry s) {
    const double phi = (1 + std::sqrt(5.0)) / 2;
    const glm::dmat3 cycle(0, 0, 1, 1, 0, 0, 0, 1, 0); // (x, y, z) -> (y, z, x), column-major
    const glm::dmat3 mirrorX(-1, 0, 0, 0, 1, 0, 0, 0, 1);
    const glm::dmat3 halfTurnZ(-1, 0, 0, 0, -1, 0, 0, 0, 1);
    const glm::dmat3 swapXY(0, 1, 0, 1, 0, 0, 0, 0, 1);
    const glm::dmat3 fiveFold(glm::rotate(glm::dmat4(1), 2 * M_PI / 5, glm::normalize(dvec3(0, 1, phi))));
    switch (s) {
    case Symmetry::Icosahedral: return {cycle, mirrorX, fiveFold};
    case Symmetry::IcosahedralRotations: return {cycle, halfTurnZ, fiveFold};
    case Symmetry::Octahedral: return {cycle, mirrorX, swapXY};
    }
    return {};
}

// Unit normal (away from the origin) and distance of a face's plane, by
// Newell's sum over its corners.
std::pair<dvec3, double> planeOf(const Reading& r, std::size_t f) {
    dvec3 n(0), centre(0);
    const int k = r.faces[f].second;
    for (int i = 0; i < k; ++i) {
        n += glm::cross(r.corner(f, i), r.corner(f, (i + 1) % k));
        centre += r.corner(f, i) / double(k);
    }
    n = glm::normalize(n);
    double d = glm::dot(n, centre);
    if (d < 0) n = -n, d = -d;
    return {n, d};
}

struct FamilyPlanes {
    std::vector<dvec3> normals;
    std::vector<int> faces;
};

int findNormal(const std::vector<dvec3>& normals, const dvec3& n) {
    for (std::size_t i = 0; i < normals.size(); ++i)
        if (glm::length(normals[i] - n) < 1e-3) return int(i);
    return -1;
}

// Face -> family, or -1 (reported).
std::vector<int> checkPlanes(const Reading& r, const Expectation& e, std::vector<std::string>& out) {
    std::vector<int> familyOf(r.faces.size(), -1);
    if (e.families.empty()) return familyOf;
    std::vector<FamilyPlanes> found(e.families.size());
    for (std::size_t f = 0; f < r.faces.size(); ++f) {
        const auto plane = planeOf(r, f);
        for (int i = 0; i < r.faces[f].second; ++i)
            if (std::fabs(glm::dot(plane.first, r.corner(f, i)) - plane.second) > 1e-3) {
                out.push_back(line("shape: face ", f, " is not flat"));
                break;
            }
        for (std::size_t k = 0; k < e.families.size(); ++k)
            if (std::fabs(plane.second - e.families[k].distance) < 2e-3) familyOf[f] = int(k);
        if (familyOf[f] < 0) {
            out.push_back(line("shape: face ", f, " lies at distance ", plane.second, ", on no listed plane"));
            continue;
        }
        FamilyPlanes& fp = found[familyOf[f]];
        int at = findNormal(fp.normals, plane.first);
        if (at < 0) {
            at = int(fp.normals.size());
            fp.normals.push_back(plane.first);
            fp.faces.push_back(0);
        }
        fp.faces[at]++;
    }
    for (std::size_t k = 0; k < e.families.size(); ++k) {
        const PlaneFamily& want = e.families[k];
        if (int(found[k].normals.size()) != want.planes)
            out.push_back(line("shape: ", found[k].normals.size(), " planes at distance ", want.distance, ", want ", want.planes));
        bool closed = true;
        for (const glm::dmat3& g : generators(want.symmetry))
            for (const dvec3& n : found[k].normals) closed = closed && findNormal(found[k].normals, g * n) >= 0;
        if (!closed) out.push_back(line("shape: the planes at distance ", want.distance, " lack the symmetry"));
        std::map<int, int> perPlane;
        for (int count : found[k].faces) perPlane[count]++;
        const std::map<int, int> wantPerPlane(want.facesPerPlane.begin(), want.facesPerPlane.end());
        if (!wantPerPlane.empty() && perPlane != wantPerPlane)
            out.push_back(line("census: faces per plane at distance ", want.distance, ": ", histogram(perPlane), "want ",
                               histogram(wantPerPlane)));
    }
    return familyOf;
}

void checkRuns(const assets::Solid& solid, const Reading& r, const Expectation& e, const std::vector<int>& familyOf,
               std::vector<std::string>& out) {
    std::vector<std::pair<int, std::uint32_t>> table, want;
    for (const assets::ColourRun* run = solid.table.colours; run->count != 0; ++run) table.push_back({run->count, run->colour});
    for (const Run& run : e.runs) want.push_back({run.count, run.colour});
    if (table != want) out.push_back("shape: the colour run table differs from the listed runs");
    std::size_t f = 0;
    for (std::size_t k = 0; k < e.runs.size(); ++k) {
        const Run& run = e.runs[k];
        const glm::vec4 colour = assets::colourOf(run.colour);
        std::map<int, int> sizes;
        bool rightColour = true, rightFamily = true;
        for (int i = 0; i < run.count && f < r.faces.size(); ++i, ++f) {
            sizes[r.faces[f].second]++;
            for (int c = 0; c < r.faces[f].second; ++c) rightColour = rightColour && r.mesh.vertices[r.faces[f].first + c].colour == colour;
            rightFamily = rightFamily && (run.family < 0 || familyOf[f] == run.family);
        }
        const std::map<int, int> wantSizes(run.sizes.begin(), run.sizes.end());
        if (!rightColour) out.push_back(line("shape: run ", k, " has faces of another colour"));
        if (!rightFamily) out.push_back(line("shape: run ", k, " has faces off its planes"));
        if (sizes != wantSizes) out.push_back(line("census: run ", k, " covers ", histogram(sizes), "want ", histogram(wantSizes)));
    }
    if (f != r.faces.size()) out.push_back(line("census: ", r.faces.size() - f, " faces beyond the runs"));
}

void checkPentagrams(const Reading& r, const Expectation& e, std::vector<std::string>& out) {
    for (int g = 0; g < e.pentagrams; ++g) {
        const std::size_t f0 = std::size_t(g) * 5;
        bool fan = f0 + 5 <= r.faces.size();
        dvec3 mean(0);
        for (std::size_t j = 0; fan && j < 5; ++j) {
            const std::size_t f = f0 + j, next = f0 + (j + 1) % 5;
            fan = r.faces[f].second == 3 && r.point(f, 0) == r.point(f0, 0) && r.point(next, 2) == r.point(f, 1);
            // Neighbouring star corners seen from the centre are 144° apart.
            const dvec3 a = r.corner(f, 2) - r.corner(f, 0), b = r.corner(f, 1) - r.corner(f, 0);
            fan = fan && std::fabs(glm::dot(a, b) / glm::length(a) / glm::length(b) - std::cos(0.8 * M_PI)) < 1e-3;
            mean += r.corner(f, 2) / 5.0;
        }
        if (!fan || glm::length(mean - r.corner(f0, 0)) > 1e-3)
            out.push_back(line("shape: faces ", f0, " to ", f0 + 4, " are not a pentagram round its centre"));
    }
}

// Every emitted triangle must run counter-clockwise seen from the side its
// stored normal points to, which also proves that a non-convex face's fan
// stays inside the face.
void checkFans(const Reading& r, std::vector<std::string>& out) {
    const auto& v = r.mesh.vertices;
    const auto& idx = r.mesh.indices;
    std::size_t face = 0, reported = SIZE_MAX;
    for (std::size_t t = 0; t + 2 < idx.size(); t += 3) {
        while (face + 1 < r.faces.size() && idx[t] >= r.faces[face + 1].first) ++face;
        const glm::vec3& a = v[idx[t]].position;
        const glm::vec3 n = glm::cross(v[idx[t + 1]].position - a, v[idx[t + 2]].position - a);
        if (glm::dot(n, v[idx[t]].normal) <= 0 && reported != face) {
            out.push_back(line("shape: face ", face, ": a fan triangle turns against the face"));
            reported = face;
        }
    }
}

// Points lying inside the segment a-b, in order from a: where a longer edge
// of one face meets the shorter edges of its neighbours.
std::vector<int> pointsAlong(const Reading& r, int a, int b) {
    std::vector<std::pair<double, int>> inside;
    const dvec3 pa = r.points[a], d = r.points[b] - pa;
    const double len2 = glm::dot(d, d);
    for (std::size_t i = 0; i < r.points.size(); ++i) {
        const double t = glm::dot(r.points[i] - pa, d) / len2;
        if (t > 1e-6 && t < 1 - 1e-6 && glm::length(pa + d * t - r.points[i]) < 1e-4) inside.push_back({t, int(i)});
    }
    std::sort(inside.begin(), inside.end());
    std::vector<int> out{a};
    for (const auto& p : inside) out.push_back(p.second);
    out.push_back(b);
    return out;
}

// Every edge between two points, cut where other points lie on it, is
// crossed as often one way as the other.
void checkClosed(const Reading& r, const Expectation& e, std::vector<std::string>& out) {
    std::map<std::pair<int, int>, int> balance;
    const auto& idx = r.mesh.indices;
    for (std::size_t t = 0; t + 2 < idx.size(); t += 3)
        for (int i = 0; i < 3; ++i) {
            const std::vector<int> chain = pointsAlong(r, r.pointOf[idx[t + i]], r.pointOf[idx[t + (i + 1) % 3]]);
            for (std::size_t k = 0; k + 1 < chain.size(); ++k) {
                const int a = chain[k], b = chain[k + 1];
                balance[{std::min(a, b), std::max(a, b)}] += a < b ? 1 : -1;
            }
        }
    int open = 0;
    for (const auto& e : balance) open += e.second != 0;
    if (open != e.openEdges)
        out.push_back(line("shape: ", open, " edges are not matched by an edge the other way, want ", e.openEdges));
}

// The side a face looks at must be less covered by the solid than the side
// behind it, and uncovered unless faces cross.
void checkWinding(const Reading& r, const Expectation& e, std::vector<std::string>& out) {
    int wrong = 0;
    std::ostringstream which;
    for (std::size_t f = 0; f < r.faces.size(); ++f) {
        const auto& v = r.mesh.vertices;
        const std::uint32_t b = r.faces[f].first;
        const glm::vec3 q = (v[b].position + v[b + 1].position + v[b + 2].position) / 3.0f;
        const glm::vec3 step = v[b].normal * (1e-3f * r.scale);
        const double front = windingNumber(v, r.mesh.indices, q + step);
        const double back = windingNumber(v, r.mesh.indices, q - step);
        const bool ok = back > 0.5 && front > -0.5 && back - front > 0.5 && (e.crossing || std::fabs(front) < 0.5);
        if (!ok && ++wrong <= 4) which << " " << f << " (" << r.faces[f].second << " corners, winding " << front << " in front, " << back << " behind)";
    }
    if (wrong) out.push_back(line("shape: ", wrong, " faces are not wound clockwise seen from outside:", which.str()));
}

// Solids built with outward turned on must end with every face looking away
// from the centre; their winding is not checked otherwise.
void checkOutward(const Reading& r, std::vector<std::string>& out) {
    for (const auto& face : r.faces) {
        const assets::PolytopeVertex& v = r.mesh.vertices[face.first];
        if (glm::dot(v.normal, v.position) < 0) {
            out.push_back(line("shape: a face at vertex ", face.first, " looks towards the centre"));
            return;
        }
    }
}

} // namespace

double windingNumber(const std::vector<assets::PolytopeVertex>& vertices, const std::vector<std::uint32_t>& indices,
                     const glm::vec3& q) {
    double sum = 0;
    for (std::size_t t = 0; t + 2 < indices.size(); t += 3) {
        const dvec3 a = dvec3(vertices[indices[t]].position - q), b = dvec3(vertices[indices[t + 1]].position - q),
                    c = dvec3(vertices[indices[t + 2]].position - q);
        const double la = glm::length(a), lb = glm::length(b), lc = glm::length(c);
        const double num = glm::dot(a, glm::cross(b, c));
        const double den = la * lb * lc + glm::dot(a, b) * lc + glm::dot(a, c) * lb + glm::dot(b, c) * la;
        sum += 2 * std::atan2(num, den);
    }
    return sum / (4 * M_PI);
}

std::vector<std::string> checkSolid(const assets::Solid& solid, const Expectation& e) {
    std::vector<std::string> out;
    Reading r;
    r.scale = solid.scale;
    r.mesh = assets::buildPolytopeMesh(solid.table, solid.scale, solid.outward);
    if (!readFaces(r, out)) return out;
    checkVerticesAreTablePoints(solid, r, out);
    checkCounts(solid, r, e, out);
    checkRadii(solid.table, e, out);
    const std::vector<int> familyOf = checkPlanes(r, e, out);
    checkRuns(solid, r, e, familyOf, out);
    checkPentagrams(r, e, out);
    checkFans(r, out);
    checkClosed(r, e, out);
    if (solid.outward == 0) checkWinding(r, e, out);
    else checkOutward(r, out);
    return out;
}

} // namespace check
