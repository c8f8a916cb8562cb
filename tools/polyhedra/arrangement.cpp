#include "arrangement.h"

#include <algorithm>
#include <set>
#include <string>

namespace poly {
namespace {

// A line a·x + b·y = c in a plane's own (u, v) coordinates, (a, b) a unit
// vector.
struct Line {
    real a, b, c;
    bool box;
};

struct Point2 {
    real x, y;
};

constexpr real boxSize = 200;

void inPlaneBasis(const Vec& n, Vec& u, Vec& v) {
    const Vec seed = std::fabs(n.x) < 0.9L ? Vec{1, 0, 0} : Vec{0, 1, 0};
    u = unit(cross(seed, n));
    v = cross(n, u);
}

std::vector<Line> linesIn(const std::vector<Plane>& planes, int p, const Vec& u, const Vec& v) {
    const Vec o = planes[p].n * planes[p].d;
    std::vector<Line> lines;
    for (std::size_t j = 0; j < planes.size(); ++j) {
        if (int(j) == p) continue;
        real a = dot(planes[j].n, u), b = dot(planes[j].n, v);
        real c = planes[j].d - dot(planes[j].n, o);
        const real len = std::sqrt(a * a + b * b);
        if (len < 1e-12L) continue; // parallel plane
        a /= len, b /= len, c /= len;
        bool known = false;
        for (const Line& l : lines) {
            known = known || (std::fabs(l.a - a) < eps && std::fabs(l.b - b) < eps && std::fabs(l.c - c) < eps) ||
                    (std::fabs(l.a + a) < eps && std::fabs(l.b + b) < eps && std::fabs(l.c + c) < eps);
        }
        if (!known) lines.push_back({a, b, c, false});
    }
    lines.push_back({1, 0, boxSize, true});
    lines.push_back({-1, 0, boxSize, true});
    lines.push_back({0, 1, boxSize, true});
    lines.push_back({0, -1, boxSize, true});
    return lines;
}

real side(const Line& l, const Point2& p) { return l.a * p.x + l.b * p.y - l.c; }

std::vector<Point2> vertices2(const std::vector<Line>& lines) {
    std::vector<Point2> out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        for (std::size_t j = i + 1; j < lines.size(); ++j) {
            const real det = lines[i].a * lines[j].b - lines[i].b * lines[j].a;
            if (std::fabs(det) < 1e-12L) continue;
            const Point2 p{(lines[i].c * lines[j].b - lines[i].b * lines[j].c) / det,
                           (lines[i].a * lines[j].c - lines[i].c * lines[j].a) / det};
            if (std::fabs(p.x) > boxSize + eps || std::fabs(p.y) > boxSize + eps) continue;
            bool known = false;
            for (const Point2& q : out) known = known || (std::fabs(p.x - q.x) < eps && std::fabs(p.y - q.y) < eps);
            if (!known) out.push_back(p);
        }
    }
    return out;
}

struct Region2 {
    std::vector<Point2> corners;
    bool touchesBox = false;
};

// Keeps the part of a convex polygon where side(l) has the given sign.
std::vector<Point2> clip(const std::vector<Point2>& poly, const Line& l, bool positive) {
    std::vector<Point2> out;
    const auto inside = [&](const Point2& p) { return positive ? side(l, p) >= -eps : side(l, p) <= eps; };
    for (std::size_t i = 0; i < poly.size(); ++i) {
        const Point2& a = poly[i];
        const Point2& b = poly[(i + 1) % poly.size()];
        if (inside(a)) out.push_back(a);
        const real sa = side(l, a), sb = side(l, b);
        if ((sa > eps && sb < -eps) || (sa < -eps && sb > eps)) {
            const real t = sa / (sa - sb);
            out.push_back({a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t});
        }
    }
    std::vector<Point2> kept;
    for (const Point2& p : out) {
        if (!kept.empty() && std::fabs(p.x - kept.back().x) < eps && std::fabs(p.y - kept.back().y) < eps) continue;
        kept.push_back(p);
    }
    while (kept.size() > 1 && std::fabs(kept.front().x - kept.back().x) < eps &&
           std::fabs(kept.front().y - kept.back().y) < eps)
        kept.pop_back();
    return kept;
}

real area(const std::vector<Point2>& poly) {
    real a = 0;
    for (std::size_t i = 0; i < poly.size(); ++i) {
        const Point2& p = poly[i];
        const Point2& q = poly[(i + 1) % poly.size()];
        a += p.x * q.y - q.x * p.y;
    }
    return a / 2;
}

// The sign vectors of all regions inside the box, found from the angular
// sectors at the arrangement's vertices: lines through a vertex are judged by
// the sector's bisector, the others by the vertex.
std::set<std::string> regionKeys(const std::vector<Line>& lines) {
    std::set<std::string> keys;
    for (const Point2& p : vertices2(lines)) {
        std::vector<real> angles;
        std::vector<bool> through(lines.size());
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (std::fabs(side(lines[i], p)) > eps) continue;
            through[i] = true;
            for (int s : {1, -1}) angles.push_back(std::atan2(lines[i].a * s, -lines[i].b * s));
        }
        std::sort(angles.begin(), angles.end());
        for (std::size_t k = 0; k < angles.size(); ++k) {
            const real a1 = k + 1 < angles.size() ? angles[k + 1] : angles[0] + 2 * M_PIl;
            const real mid = (angles[k] + a1) / 2;
            const Point2 dir{std::cos(mid), std::sin(mid)};
            std::string key(lines.size(), '-');
            for (std::size_t i = 0; i < lines.size(); ++i) {
                const real s = through[i] ? lines[i].a * dir.x + lines[i].b * dir.y : side(lines[i], p);
                if (s > 0) key[i] = '+';
            }
            keys.insert(key);
        }
    }
    return keys;
}

// Every region inside the box, each cut out of the box by its own sign
// vector, so a corner missed by the vertex search cannot deform it.
std::vector<Region2> regions2(const std::vector<Line>& lines) {
    std::vector<Region2> out;
    const std::vector<Point2> box{{-boxSize, -boxSize}, {boxSize, -boxSize}, {boxSize, boxSize}, {-boxSize, boxSize}};
    for (const std::string& key : regionKeys(lines)) {
        bool outsideBox = false;
        for (std::size_t i = 0; i < lines.size(); ++i) outsideBox = outsideBox || (lines[i].box && key[i] == '+');
        if (outsideBox) continue;
        std::vector<Point2> poly = box;
        for (std::size_t i = 0; i < lines.size() && poly.size() >= 3; ++i)
            if (!lines[i].box) poly = clip(poly, lines[i], key[i] == '+');
        if (poly.size() < 3 || area(poly) < 1e-12L) continue;
        Region2 r;
        r.corners = poly;
        for (const Point2& q : poly)
            r.touchesBox = r.touchesBox || std::fabs(std::fabs(q.x) - boxSize) < eps || std::fabs(std::fabs(q.y) - boxSize) < eps;
        out.push_back(std::move(r));
    }
    return out;
}

void addRegions(Arrangement& arr, int p) {
    Vec u, v;
    inPlaneBasis(arr.planes[p].n, u, v);
    const Vec o = arr.planes[p].n * arr.planes[p].d;
    for (const Region2& r2 : regions2(linesIn(arr.planes, p, u, v))) {
        Region r;
        r.plane = p;
        r.bounded = !r2.touchesBox;
        for (const Point2& q : r2.corners) r.corners.push_back(o + u * q.x + v * q.y);
        for (const Vec& q : r.corners) r.centroid = r.centroid + q * (real(1) / r.corners.size());
        r.below = keyOf(arr.planes, r.centroid) & ~(std::uint64_t(1) << p);
        r.above = r.below | (std::uint64_t(1) << p);
        arr.regions.push_back(std::move(r));
    }
}

void addCells(Arrangement& arr) {
    for (std::size_t i = 0; i < arr.regions.size(); ++i) {
        const Region& r = arr.regions[i];
        for (std::uint64_t key : {r.below, r.above}) {
            Cell& c = arr.cells[key];
            c.key = key;
            c.bounded = c.bounded && r.bounded;
            c.facets.push_back(int(i));
            for (const Vec& q : r.corners) {
                bool known = false;
                for (const Vec& w : c.vertices) known = known || near(w, q);
                if (!known) c.vertices.push_back(q);
            }
            c.layer = __builtin_popcountll(key);
        }
    }
}

std::uint64_t permuteKey(std::uint64_t key, const std::vector<int>& perm) {
    std::uint64_t out = 0;
    for (std::size_t j = 0; j < perm.size(); ++j)
        if (key >> j & 1) out |= std::uint64_t(1) << perm[j];
    return out;
}

void addOrbits(Arrangement& arr, const std::vector<Mat>& group) {
    std::vector<std::vector<int>> perms;
    for (const Mat& g : group) {
        std::vector<int> perm(arr.planes.size(), -1);
        for (std::size_t j = 0; j < arr.planes.size(); ++j) {
            const Vec m = transform(g, arr.planes[j].n);
            for (std::size_t k = 0; k < arr.planes.size(); ++k)
                if (near(m, arr.planes[k].n)) perm[j] = int(k);
        }
        perms.push_back(perm);
    }
    for (auto& entry : arr.cells) {
        Cell& c = entry.second;
        if (!c.bounded || c.orbit >= 0) continue;
        std::vector<std::uint64_t> members;
        for (const auto& perm : perms) {
            const std::uint64_t k = permuteKey(c.key, perm);
            if (std::find(members.begin(), members.end(), k) == members.end()) members.push_back(k);
        }
        std::sort(members.begin(), members.end());
        for (std::uint64_t k : members) arr.cells.at(k).orbit = int(arr.orbits.size());
        arr.orbits.push_back(members);
    }
}

} // namespace

std::vector<Plane> planeFamily(const std::vector<Mat>& group, const Vec& axis, real d) {
    std::vector<Plane> out;
    for (const Vec& n : orbit(group, axis)) out.push_back({n, d});
    return out;
}

std::uint64_t keyOf(const std::vector<Plane>& planes, const Vec& p) {
    std::uint64_t key = 0;
    for (std::size_t j = 0; j < planes.size(); ++j)
        if (dot(planes[j].n, p) > planes[j].d) key |= std::uint64_t(1) << j;
    return key;
}

Arrangement buildArrangement(const std::vector<Plane>& planes, const std::vector<Mat>& group) {
    Arrangement arr;
    arr.planes = planes;
    for (std::size_t p = 0; p < planes.size(); ++p) addRegions(arr, int(p));
    addCells(arr);
    addOrbits(arr, group);
    return arr;
}

} // namespace poly
