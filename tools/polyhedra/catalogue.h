#pragma once
// The fourteen star and stellation solids as tables of points, faces and
// colour runs, ready to be written out as constant source tables.
#include "geometry.h"

#include <cstdint>
#include <string>
#include <vector>

namespace poly {

struct ColourRun {
    int count;
    std::uint32_t colour;
};

struct SolidTable {
    std::string name;
    std::vector<Vec> points;
    // Each face clockwise seen from outside; faces of one colour run together.
    std::vector<std::vector<int>> faces;
    std::vector<ColourRun> runs;
    std::vector<std::string> notes; // what the construction could not meet
};

std::vector<SolidTable> buildCatalogue();

// Rounds to the six significant digits the tables store, sorts the points
// (x, then y, then z) and renumbers the faces; a face then starts at its
// lowest point number when that corner fans it inside the face.
void normalise(SolidTable& table, bool sortPoints);

// Whether fanning the face from its corner `first` keeps every triangle
// turning the same way as the face, so that the fan stays inside it; and
// whether some corner does.
bool fansInside(const std::vector<Vec>& points, const std::vector<int>& face, std::size_t first);
bool fannable(const std::vector<Vec>& points, const std::vector<int>& face);

// The C++ source of the generated header.
std::string emitHeader(const std::vector<SolidTable>& tables);

} // namespace poly
