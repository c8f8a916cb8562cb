#pragma once
// Checks a polyhedron builder's mesh against the properties its catalogue
// entry lists: face planes and their symmetry, point radii, faces by size and
// per plane, the counts the mesh is made of, colour runs, pentagram fans, the
// winding and a closed surface. Faces, colours, normals and winding are read
// back from the mesh that assets::buildPolytopeMesh makes, the same one the
// builder uploads; point counts and radii come from the table's numbered
// points, which the mesh's vertices are checked to be (a table may number
// one position twice, which the mesh cannot show).
#include "assets.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace check {

enum class Symmetry { Icosahedral, IcosahedralRotations, Octahedral };

struct PlaneFamily {
    int planes;
    double distance;
    Symmetry symmetry;
    // Faces per plane -> number of planes holding that many; empty: not listed.
    std::vector<std::pair<int, int>> facesPerPlane;
};

struct Run {
    int count;
    std::uint32_t colour;
    std::vector<std::pair<int, int>> sizes; // corners -> faces of this run
    int family = -1; // when set, every face of the run lies in this family
};

struct Expectation {
    const char* name;
    std::vector<PlaneFamily> families; // empty: no plane test (hub, rival hub)
    std::vector<std::pair<double, int>> radii; // empty: not listed
    std::vector<std::pair<int, int>> sizes; // corners -> faces
    std::size_t points, indexEntries, vertices, indices;
    std::vector<Run> runs;
    int pentagrams = 0; // centre-point pentagram fans at the head of the list
    // Faces may cross other faces (star solids, kites over notches): the side
    // a face looks at need not be empty space, only less covered than the
    // side behind it.
    bool crossing = false;
    // Edge pieces left unmatched on purpose: the kites of one stellation end
    // where the triangles beside their notches do not.
    int openEdges = 0;
};

// The catalogue's listed properties of all sixteen solids, in the order of
// assets::solids.
const std::vector<Expectation>& expectations();

// Every listed property the solid misses, one line each, tagged "census:"
// (counts and radii) or "shape:" (planes, runs, fans, winding, closure).
std::vector<std::string> checkSolid(const assets::Solid& solid, const Expectation& expected);

// Generalised winding number of a closed triangle mesh about q.
double windingNumber(const std::vector<assets::PolytopeVertex>& vertices, const std::vector<std::uint32_t>& indices,
                     const glm::vec3& q);

} // namespace check
