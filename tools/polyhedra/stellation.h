#pragma once
// Choosing cells of an arrangement and turning the chosen union into a table.
#include "arrangement.h"
#include "catalogue.h"
#include "surface.h"

#include <functional>
#include <map>

namespace poly {

struct OrbitInfo {
    int layer;
    std::size_t size;
    Vec centre; // the centroid of one member cell
};
OrbitInfo orbitInfo(const Arrangement& arr, int orbit);

// Orbits accepted by the predicate, as one set of cell keys.
std::set<std::uint64_t> cellsWhere(const Arrangement& arr, const std::function<bool(const OrbitInfo&)>& keep);

// Every fully supported set of orbits: with each cell, all the cells that
// share a facet with it one layer further in.
std::vector<std::vector<int>> supportedOrbitSets(const Arrangement& arr);

std::set<std::uint64_t> cellsOf(const Arrangement& arr, const std::vector<int>& orbits);

// Point radii of a finished surface, rounded to 1e-3, with their counts, and
// the face counts by corner number.
struct Census {
    std::map<long, int> radii; // radius in thousandths -> points
    std::map<std::size_t, int> sizes; // corners -> faces
};
// The census with each radius moved onto the wanted radius within 0.002 of
// it, so that radii listed to three digits compare equal.
Census alignedTo(const Census& have, const Census& want);
Census censusOf(const Surface& s);
Census census(std::initializer_list<std::pair<double, int>> radii,
              std::initializer_list<std::pair<std::size_t, int>> sizes);

// The surface of a cell union with straight corners removed.
Surface finishedSurface(const Arrangement& arr, const std::set<std::uint64_t>& cells);

// A table of one colour run from a surface.
SolidTable tableOf(const std::string& name, const Surface& s, std::uint32_t colour);

} // namespace poly
