#pragma once
// The arrangement that a family of planes cuts space into: the regions into
// which the other planes cut each plane, and the cells those regions bound.
// A cell is named by its key: bit j set when the cell lies on the far side
// (n·x > d) of plane j.
#include "geometry.h"

#include <map>
#include <vector>

namespace poly {

struct Plane {
    Vec n; // unit normal
    real d; // distance from the origin
};

struct Region {
    int plane = 0;
    std::vector<Vec> corners; // counter-clockwise seen from the normal's side
    bool bounded = true;
    Vec centroid;
    std::uint64_t below = 0, above = 0; // the cells on either side
};

struct Cell {
    std::uint64_t key = 0;
    bool bounded = true;
    std::vector<int> facets; // region numbers
    std::vector<Vec> vertices;
    int layer = 0; // planes separating the cell from the core
    int orbit = -1;
};

struct Arrangement {
    std::vector<Plane> planes;
    std::vector<Region> regions;
    std::map<std::uint64_t, Cell> cells;
    // Orbits of the bounded cells under the group: their cell keys.
    std::vector<std::vector<std::uint64_t>> orbits;
};

// Planes at distance d whose normals are the orbit of `axis`.
std::vector<Plane> planeFamily(const std::vector<Mat>& group, const Vec& axis, real d);

Arrangement buildArrangement(const std::vector<Plane>& planes, const std::vector<Mat>& group);

// Key of the cell containing a point that lies on no plane.
std::uint64_t keyOf(const std::vector<Plane>& planes, const Vec& p);

} // namespace poly
