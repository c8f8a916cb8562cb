#include "surface.h"

#include <algorithm>
#include <numeric>

namespace poly {
namespace {

int findRoot(std::vector<int>& parent, int i) {
    while (parent[i] != i) i = parent[i] = parent[parent[i]];
    return i;
}

struct Piece {
    int plane;
    bool solidBelow;
    std::vector<int> regions;
};

// Visible regions grouped by plane and side, then joined across shared edges.
std::vector<Piece> visiblePieces(const Arrangement& arr, const std::set<std::uint64_t>& cells, bool join,
                                 Surface& s, std::vector<std::vector<int>>& cornerIds) {
    std::vector<int> visible;
    cornerIds.assign(arr.regions.size(), {});
    for (std::size_t i = 0; i < arr.regions.size(); ++i) {
        const Region& r = arr.regions[i];
        if (cells.count(r.below) == cells.count(r.above)) continue;
        visible.push_back(int(i));
        for (const Vec& q : r.corners) cornerIds[i].push_back(s.pointIndex(q));
    }
    std::vector<int> parent(arr.regions.size());
    std::iota(parent.begin(), parent.end(), 0);
    std::map<std::pair<int, int>, int> edgeOwner; // undirected edge + plane/side -> region
    for (int i : visible) {
        const Region& r = arr.regions[i];
        const bool below = cells.count(r.below) != 0;
        const auto& ids = cornerIds[i];
        for (std::size_t k = 0; k < ids.size(); ++k) {
            const int a = ids[k], b = ids[(k + 1) % ids.size()];
            const int tag = r.plane * 2 + (below ? 1 : 0);
            const auto key = std::make_pair(std::min(a, b) * 4096 + std::max(a, b), tag);
            auto found = edgeOwner.find(key);
            if (found == edgeOwner.end()) edgeOwner[key] = i;
            else if (join) parent[findRoot(parent, i)] = findRoot(parent, found->second);
        }
    }
    std::map<int, Piece> byRoot;
    for (int i : visible) {
        Piece& p = byRoot[findRoot(parent, i)];
        p.plane = arr.regions[i].plane;
        p.solidBelow = cells.count(arr.regions[i].below) != 0;
        p.regions.push_back(i);
    }
    std::vector<Piece> out;
    for (auto& entry : byRoot) out.push_back(std::move(entry.second));
    return out;
}

// The outer loop of a piece, counter-clockwise about the plane normal.
std::vector<int> boundaryLoop(const Piece& piece, const std::vector<std::vector<int>>& cornerIds,
                              Surface& s) {
    std::multiset<std::pair<int, int>> edges;
    for (int i : piece.regions) {
        const auto& ids = cornerIds[i];
        for (std::size_t k = 0; k < ids.size(); ++k) edges.insert({ids[k], ids[(k + 1) % ids.size()]});
    }
    std::map<int, std::vector<int>> next;
    for (const auto& e : edges) {
        if (edges.count({e.second, e.first})) continue;
        next[e.first].push_back(e.second);
    }
    std::vector<int> loop;
    int at = next.empty() ? 0 : next.begin()->first;
    std::size_t used = 0, total = 0;
    for (const auto& n : next) total += n.second.size();
    for (const auto& n : next)
        if (n.second.size() > 1) s.problems.push_back("pinched face on plane " + std::to_string(piece.plane));
    if (next.empty()) return loop;
    do {
        loop.push_back(at);
        const auto found = next.find(at);
        if (found == next.end()) break;
        at = found->second.front();
        ++used;
    } while (at != loop.front() && used <= total);
    if (used != total) s.problems.push_back("face with a hole on plane " + std::to_string(piece.plane));
    return loop;
}

} // namespace

int Surface::pointIndex(const Vec& p) {
    for (std::size_t i = 0; i < points.size(); ++i)
        if (near(points[i], p)) return int(i);
    points.push_back(p);
    return int(points.size() - 1);
}

Surface surfaceOf(const Arrangement& arr, const std::set<std::uint64_t>& cells, bool join) {
    Surface s;
    std::vector<std::vector<int>> cornerIds;
    for (const Piece& piece : visiblePieces(arr, cells, join, s, cornerIds)) {
        Face f;
        f.plane = piece.plane;
        f.solidBelow = piece.solidBelow;
        f.corners = boundaryLoop(piece, cornerIds, s);
        for (int i : piece.regions) {
            const Region& r = arr.regions[i];
            f.outsideCells.push_back(piece.solidBelow ? r.above : r.below);
        }
        // Counter-clockwise about the normal is clockwise seen from outside
        // when the outside lies beyond the plane.
        if (f.solidBelow) std::reverse(f.corners.begin(), f.corners.end());
        s.faces.push_back(std::move(f));
    }
    return s;
}

void dropStraightCorners(Surface& s) {
    for (Face& f : s.faces) {
        std::vector<int> kept;
        const std::size_t k = f.corners.size();
        for (std::size_t i = 0; i < k; ++i) {
            const Vec& a = s.points[f.corners[(i + k - 1) % k]];
            const Vec& b = s.points[f.corners[i]];
            const Vec& c = s.points[f.corners[(i + 1) % k]];
            if (norm(cross(unit(b - a), unit(c - b))) > 1e-7L) kept.push_back(f.corners[i]);
        }
        f.corners = kept;
    }
}

} // namespace poly
