#pragma once
// The surface of a union of cells: on every plane, the regions with the solid
// on exactly one side, joined into one face per connected piece.
#include "arrangement.h"

#include <set>
#include <string>

namespace poly {

struct Face {
    int plane = 0;
    bool solidBelow = true; // the solid lies on the origin's side of the plane
    std::vector<int> corners; // clockwise seen from outside the solid
    std::vector<std::uint64_t> outsideCells; // the empty cells it faces
};

struct Surface {
    std::vector<Vec> points;
    std::vector<Face> faces;
    std::vector<std::string> problems; // holes or pinches that a face loop cannot express
    int pointIndex(const Vec& p);
};

// join: one face per connected piece of a plane; otherwise one face per
// region of the arrangement.
Surface surfaceOf(const Arrangement& arr, const std::set<std::uint64_t>& cells, bool join = true);

// Removes corners where the boundary runs straight on.
void dropStraightCorners(Surface& s);

} // namespace poly
