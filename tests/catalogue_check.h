#pragma once
// Checks the mesh that assets::buildPolytopeMesh makes of a solid against
// the solid's census and its looks: fans from each face's first corner,
// unit normals along each triangle's turn, the colours of the table's runs,
// and a closed surface whose faces look out of it.
#include "assets.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace check {

struct Expectation {
    const char* name;
    float scale;
    // Distinct corner positions (a table may number one position twice),
    // index entries of the table, then vertices and indices of the mesh.
    std::size_t points, indexEntries, vertices, indices;
    std::vector<std::pair<int, int>> sizes; // corners -> faces
    std::vector<std::pair<double, int>> radii; // unscaled radius -> points; empty: not listed
    // Star solids cross themselves: the side a face looks at need not be
    // empty space, only less covered than the side behind it.
    bool crossing = false;
    // Edges left unmatched on purpose (kites laid over notches).
    int openEdges = 0;
};

// The sixteen solids in the order of assets::solids.
const std::vector<Expectation>& expectations();

// One line for each property the solid's mesh misses.
std::vector<std::string> checkSolid(const assets::Solid& solid, const Expectation& expected);

} // namespace check
