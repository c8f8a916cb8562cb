#pragma once
#include "part.h"

#include <glm/vec2.hpp>
#include <glm/vec3.hpp>
#include <glm/vec4.hpp>

#include <cstddef>
#include <cstdint>
#include <vector>

// Procedural geometry: polyhedron face tables and the meshes made from them,
// the ground grid, the sky quad and the two screen quads. Mesh building is
// plain C++ (no GL) so that tests can check it without a context; the create*
// builders add the upload into a Tovik::Part.

namespace assets {

// One run of faces sharing a colour word 0xAARRGGBB; a run with count 0 ends
// the list.
struct ColourRun {
    std::int32_t count;
    std::uint32_t colour;
};

// A read-only view of one polyhedron's constant tables. Faces are runs of
// point numbers each ended by a negative terminator (-2: reverse the face).
struct PolytopeTable {
    const float (*points)[3];
    std::size_t pointCount;
    const std::int16_t* indices;
    std::size_t indexCount;
    const ColourRun* colours;
};

// The flat-shaded vertex every polyhedron mesh is made of (40 bytes).
struct PolytopeVertex {
    glm::vec3 position;
    glm::vec3 normal;
    glm::vec4 colour;
};
static_assert(sizeof(PolytopeVertex) == 40);

struct PolytopeMesh {
    std::vector<PolytopeVertex> vertices;
    std::vector<std::uint32_t> indices;
};

// Turns a face table into a flat-shaded mesh: every face gets its own corner
// vertices with the face's normal and colour, cut into a fan from its first
// corner. With outward non-zero, faces whose normal points at the origin are
// turned round.
PolytopeMesh buildPolytopeMesh(const PolytopeTable& table, float scale, float outward);

// The sixteen solids of the scene, with the scale and orientation switch their
// builders pass.
struct Solid {
    const char* name;
    PolytopeTable table;
    float scale;
    float outward;
    Tovik::Part& (*create)(Tovik::Part&);
};
extern const Solid solids[16];

// Converts a colour word to floats, each byte / 255.
glm::vec4 colourOf(std::uint32_t word);

// The ground grid (three rhombic patches, 12675 points, 73728 indices).
struct GroundMesh {
    std::vector<glm::vec2> vertices;
    std::vector<std::uint32_t> indices;
};
GroundMesh buildGroundMesh();

} // namespace assets

// Builders: each fills the Part it is given and returns it.
Tovik::Part& createHub(Tovik::Part& part);
Tovik::Part& createRivalHub(Tovik::Part& part);
Tovik::Part& createSRTC3(Tovik::Part& part);
Tovik::Part& createSRTC31(Tovik::Part& part);
Tovik::Part& createSRTC15(Tovik::Part& part);
Tovik::Part& createSRTC35(Tovik::Part& part);
Tovik::Part& createTSI2(Tovik::Part& part);
Tovik::Part& createTSI22(Tovik::Part& part);
Tovik::Part& createTSI28(Tovik::Part& part);
Tovik::Part& createGTI(Tovik::Part& part);
Tovik::Part& createTSD12(Tovik::Part& part);
Tovik::Part& createSCO2(Tovik::Part& part);
Tovik::Part& createSCO6(Tovik::Part& part);
Tovik::Part& createMIH(Tovik::Part& part);
Tovik::Part& createGTicosidodeca(Tovik::Part& part);
Tovik::Part& createDodecadodeca(Tovik::Part& part);

Tovik::Part& createGround(Tovik::Part& part);
Tovik::Part& createSky(Tovik::Part& part);
Tovik::Part& createBloomfield(Tovik::Part& part);
Tovik::Part& createViewfield(Tovik::Part& part);
