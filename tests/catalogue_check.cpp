#include "catalogue_check.h"

#include <glm/geometric.hpp>

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>
#include <tuple>

namespace check {
namespace {

using dvec3 = glm::dvec3;

template <typename... T>
std::string line(const T&... parts) {
    std::ostringstream out;
    (out << ... << parts);
    return out.str();
}

template <typename Pairs>
std::string listed(const Pairs& pairs) {
    std::ostringstream out;
    for (const auto& p : pairs) out << p.second << " x " << p.first << "  ";
    return out.str();
}

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

} // namespace

std::vector<std::string> checkSolid(const assets::Solid& solid, const Expectation& e) {
    std::vector<std::string> out;
    const assets::PolytopeMesh m = assets::buildPolytopeMesh(solid.table, solid.scale, solid.outward);
    const auto& v = m.vertices;
    const auto& idx = m.indices;
    // A face is a fan of triangles from its first corner; the next face's
    // corners follow its last (the census counts what is left over).
    std::vector<std::pair<std::uint32_t, int>> faces; // first vertex, corners
    std::uint32_t next = 0;
    for (std::size_t t = 0; t + 2 < idx.size(); t += 3) {
        if (!faces.empty() && idx[t] == faces.back().first) ++faces.back().second;
        else if (idx[t] == next) faces.push_back({idx[t], 3});
        else return {line("triangle ", t / 3, " does not start where the last fan ended")};
        next = faces.back().first + std::uint32_t(faces.back().second);
    }

    // Distinct positions, unscaled, numbered for the edge count below.
    std::map<std::tuple<float, float, float>, int> ids;
    std::vector<dvec3> points;
    std::vector<int> pointOf;
    for (const auto& vertex : v) {
        const auto key = std::make_tuple(vertex.position.x, vertex.position.y, vertex.position.z);
        if (ids.emplace(key, int(points.size())).second) points.push_back(dvec3(vertex.position) / double(e.scale));
        pointOf.push_back(ids[key]);
    }
    std::map<int, int> sizes, wantSizes(e.sizes.begin(), e.sizes.end());
    for (const auto& f : faces) sizes[f.second]++;
    if (points.size() != e.points || solid.table.indexCount != e.indexEntries || v.size() != e.vertices ||
        idx.size() != e.indices || sizes != wantSizes)
        out.push_back(line("census: ", points.size(), " points, ", solid.table.indexCount, " index entries, ", v.size(),
                           " vertices, ", idx.size(), " indices, faces ", listed(sizes)));
    std::map<double, int> radii, wantRadii(e.radii.begin(), e.radii.end());
    for (const dvec3& p : points) {
        double key = std::round(glm::length(p) * 1000) / 1000;
        for (const auto& w : e.radii) key = std::fabs(w.first - glm::length(p)) < 2e-3 ? w.first : key;
        radii[key]++;
    }
    if (!e.radii.empty() && radii != wantRadii) out.push_back(line("radii ", listed(radii)));

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
    if (unturned || offColour || colours.size() != faces.size())
        out.push_back(line(unturned, " corners not turned about, ", offColour, " off their run's colour, ", colours.size(),
                           " faces in the runs"));

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
    if (open != e.openEdges) out.push_back(line(open, " edges are not matched by one the other way"));

    // Just behind each face the solid is, just in front of it it is not (or,
    // where faces cross, less so).
    int wrong = 0;
    for (const auto& face : faces) {
        const auto& c = v[face.first];
        const dvec3 q = dvec3(c.position + v[face.first + 1].position + v[face.first + 2].position) / 3.0;
        const dvec3 step = dvec3(c.normal) * (1e-3 * e.scale);
        const double front = windingNumber(m, q + step), back = windingNumber(m, q - step);
        wrong += !(back > 0.5 && front > -0.5 && back - front > 0.5 && (e.crossing || std::fabs(front) < 0.5));
    }
    if (wrong) out.push_back(line(wrong, " faces do not look out of the solid"));
    return out;
}

} // namespace check
