#include "assets.h"

#include "catalogue_tables.h"

#include <glm/geometric.hpp>

#include <cmath>

namespace {

// The record the polyhedron meshes are uploaded as; its initAttributes is the
// identity of the layout that a Part's vertex array records.
struct vertex {
    assets::PolytopeVertex v;

    static void initAttributes(Tovik::ShaderProgram& program) {
        const GLsizei stride = sizeof(assets::PolytopeVertex);
        attribute(program, "position", 3, stride, 0);
        attribute(program, "normal", 3, stride, 12);
        attribute(program, "colour", 4, stride, 24);
    }

    static void attribute(Tovik::ShaderProgram& program, const char* name, GLint size,
                          GLsizei stride, std::size_t offset) {
        // A name the program does not use gives -1, which GL rejects; nothing
        // else happens.
        const GLint location = glGetAttribLocation(program.id, name);
        glEnableVertexAttribArray(GLuint(location));
        glVertexAttribPointer(GLuint(location), size, GL_FLOAT, GL_FALSE, stride,
                              reinterpret_cast<const void*>(offset));
    }
};
static_assert(sizeof(vertex) == 40);

using polytope = assets::PolytopeTable;

void createPolytope(Tovik::Part& part, const polytope& shape, float scale, float outward) {
    const assets::PolytopeMesh mesh = assets::buildPolytopeMesh(shape, scale, outward);
    part.setVertices(reinterpret_cast<const vertex*>(mesh.vertices.data()), mesh.vertices.size());
    part.setElements(mesh.indices.data(), mesh.indices.size());
}

template <std::size_t P, std::size_t I, std::size_t C>
constexpr polytope tableOf(const float (&points)[P][3], const std::int16_t (&indices)[I],
                           const assets::ColourRun (&colours)[C]) {
    return polytope{points, P, indices, I, colours};
}

// A two-float position record, shared in layout but not in identity by the
// ground, the sky and the screen quads.
template <int Tag>
struct flatVertex {
    float x, y;
    static void initAttributes(Tovik::ShaderProgram& program) {
        const GLint location = glGetAttribLocation(program.id, "position");
        glEnableVertexAttribArray(GLuint(location));
        glVertexAttribPointer(GLuint(location), 2, GL_FLOAT, GL_FALSE, sizeof(flatVertex), nullptr);
    }
};

// The central seven-fold spindle along y: an upper ring at y = 2, a waist
// ring of radius 1 at y = 0, a lower ring at y = -2 and an apex.
namespace hub {
constexpr float points[][3] = {
    {0, 2, -2},           {1.56366f, 2, -1.24698f},   {1.94986f, 2, 0.44504f},
    {0.86777f, 2, 1.80194f}, {-0.86777f, 2, 1.80194f}, {-1.94986f, 2, 0.44504f},
    {-1.56366f, 2, -1.24698f}, {0.78183f, 0, 0.62349f}, {0, 0, 1},
    {-0.78183f, 0, 0.62349f}, {-0.97493f, 0, -0.22252f}, {-0.43388f, 0, -0.90097f},
    {0.43388f, 0, -0.90097f}, {0.97493f, 0, -0.22252f}, {-0.86777f, -2, 1.80194f},
    {-1.94986f, -2, 0.44504f}, {-1.56366f, -2, -1.24698f}, {0, -2, -2},
    {1.56366f, -2, -1.24698f}, {1.94986f, -2, 0.44504f}, {0.86777f, -2, 1.80194f},
    {0, 4, 0}};
constexpr std::int16_t indices[] = {
    0, 1, 21, -1,  1, 2, 21, -1,  2, 3, 21, -1,  3, 4, 21, -1,  4, 5, 21, -1,  5, 6, 21, -1,
    6, 0, 21, -1,  20, 19, 18, 17, 16, 15, 14, -1,
    0, 7, 1, -1,   7, 14, 15, -1, 1, 8, 2, -1,   8, 15, 16, -1, 2, 9, 3, -1,   9, 16, 17, -1,
    3, 10, 4, -1,  10, 17, 18, -1, 4, 11, 5, -1, 11, 18, 19, -1, 5, 12, 6, -1, 12, 19, 20, -1,
    6, 13, 0, -1,  13, 20, 14, -1, 0, 13, 7, -1, 13, 14, 7, -1,  1, 7, 8, -1,   7, 15, 8, -1,
    2, 8, 9, -1,   8, 16, 9, -1,  3, 9, 10, -1,  9, 17, 10, -1,  4, 10, 11, -1, 10, 18, 11, -1,
    5, 11, 12, -1, 11, 19, 12, -1, 6, 12, 13, -1, 12, 20, 13, -1};
constexpr assets::ColourRun colours[] = {
    {22, 0xFFCCCCCCu}, {2, 0x00FF9999u}, {2, 0x00FFCC99u}, {2, 0x00FFFF99u}, {2, 0x0099FF99u},
    {2, 0x0099CCFFu}, {2, 0x009999FFu}, {2, 0x00CC99FFu}, {0, 0}};
} // namespace hub

// One seventh of a ring: a wedge spanning ±π/7 about +z with a vertex at the
// origin; the scene turns seven copies of it into a seven-fold figure.
namespace rivalHub {
constexpr float points[][3] = {
    {0, 2, 0},   {0, 0, 0},   {1.30164f, 3, 2.70291f},   {0.21694f, 1.6f, 0.450485f},
    {0.21694f, 0.6f, 0.450485f},   {1.041324f, -2, 2.162328f},   {-1.30164f, 3, 2.70291f},
    {-0.21694f, 1.6f, 0.450485f},  {-0.21694f, 0.6f, 0.450485f}, {-1.041324f, -2, 2.162328f}};
constexpr std::int16_t indices[] = {
    0, 2, 6, -1, 1, 9, 5, -1, 2, 0, 3, -1, 3, 0, 1, -1, 3, 1, 4, -1, 4, 1, 5, -1,
    6, 7, 0, -1, 7, 1, 0, -1, 7, 8, 1, -1, 8, 9, 1, -1, 6, 2, 3, -1, 6, 3, 7, -1,
    7, 3, 4, -1, 7, 4, 8, -1, 8, 4, 5, -1, 8, 5, 9, -1};
constexpr assets::ColourRun colours[] = {
    {2, 0x00444444u}, {8, 0xAAFF55FFu}, {6, 0x00444444u}, {0, 0}};
} // namespace rivalHub

#define TABLE(ns) tableOf(ns::points, ns::indices, ns::colours)

} // namespace

namespace assets {

glm::vec4 colourOf(std::uint32_t word) {
    auto channel = [word](int shift) { return float(double((word >> shift) & 0xFFu) / 255.0); };
    return {channel(16), channel(8), channel(0), channel(24)};
}

PolytopeMesh buildPolytopeMesh(const PolytopeTable& table, float scale, float outward) {
    PolytopeMesh mesh;
    // indexCount bounds the corner count, so the vertex list never grows.
    mesh.vertices.reserve(table.indexCount);
    mesh.indices.reserve(table.indexCount);

    const ColourRun* run = table.colours;
    std::int32_t remaining = run->count;
    glm::vec4 colour = colourOf(run->colour);

    std::size_t start = 0;
    while (start < table.indexCount) {
        std::size_t end = start;
        while (table.indices[end] >= 0) ++end;
        const std::size_t k = end - start;
        const glm::vec3 p0(table.points[table.indices[start]][0], table.points[table.indices[start]][1],
                           table.points[table.indices[start]][2]);
        const auto point = [&](std::size_t i) {
            const float* p = table.points[table.indices[start + i]];
            return glm::vec3(p[0], p[1], p[2]);
        };
        glm::vec3 n = glm::cross(point(2) - p0, point(1) - p0);
        n *= 1.0f / glm::length(n);

        bool reversed = table.indices[end] == -2;
        if (outward != 0.0f && glm::dot(n, p0) < 0.0f) reversed = !reversed;

        const auto b = std::uint32_t(mesh.vertices.size());
        for (std::uint32_t i = 1; i + 1 < k; ++i) {
            if (reversed)
                mesh.indices.insert(mesh.indices.end(), {b, b + i, b + i + 1});
            else
                mesh.indices.insert(mesh.indices.end(), {b, b + i + 1, b + i});
        }
        if (reversed) n = -n;
        for (std::size_t i = 0; i < k; ++i) mesh.vertices.push_back({point(i) * scale, n, colour});

        if (--remaining == 0) {
            ++run;
            if (run->count == 0) run = table.colours;
            remaining = run->count;
            colour = colourOf(run->colour);
        }
        start = end + 1;
    }
    return mesh;
}

GroundMesh buildGroundMesh() {
    constexpr float s = 0.8660254f;
    constexpr float h = 55.425625f;
    // Each patch is an origin plus c column steps plus r row steps; together
    // the three rhombi tile the hexagon of circumradius 64.
    struct Patch {
        glm::vec2 origin, column, row;
    };
    const Patch patches[3] = {{{-64, 0}, {1, 0}, {0.5f, -s}},
                              {{-64, 0}, {0.5f, s}, {1, 0}},
                              {{32, -h}, {-0.5f, s}, {0.5f, s}}};
    GroundMesh mesh;
    mesh.vertices.reserve(3 * 65 * 65);
    mesh.indices.reserve(3 * 64 * 64 * 6);
    for (const Patch& p : patches) {
        for (std::uint32_t r = 0; r <= 64; ++r) {
            for (std::uint32_t c = 0; c <= 64; ++c) {
                const float fr = float(r), fc = float(c);
                mesh.vertices.push_back({(p.row.x * fr + p.origin.x) + p.column.x * fc,
                                         (p.row.y * fr + p.origin.y) + p.column.y * fc});
                if (r < 64 && c < 64) {
                    const auto b = std::uint32_t(mesh.vertices.size() - 1);
                    mesh.indices.insert(mesh.indices.end(),
                                        {b, b + 1, b + 65, b + 1, b + 66, b + 65});
                }
            }
        }
    }
    return mesh;
}

const Solid solids[16] = {
    {"Hub", TABLE(hub), 5.0f, 0.0f, createHub},
    {"RivalHub", TABLE(rivalHub), 5.0f, 0.0f, createRivalHub},
    {"SRTC3", TABLE(catalogue::SRTC3), 0.6f, 1.0f, createSRTC3},
    {"SRTC31", TABLE(catalogue::SRTC31), 1.2f, 1.0f, createSRTC31},
    {"TSI2", TABLE(catalogue::TSI2), 0.6f, 1.0f, createTSI2},
    {"TSD12", TABLE(catalogue::TSD12), 1.0f, 1.0f, createTSD12},
    {"SCO6", TABLE(catalogue::SCO6), 1.0f, 1.0f, createSCO6},
    {"MIH", TABLE(catalogue::MIH), 3.0f, 1.0f, createMIH},
    {"GTI", TABLE(catalogue::GTI), 1.0f, 1.0f, createGTI},
    {"TSI22", TABLE(catalogue::TSI22), 0.5f, 0.0f, createTSI22},
    {"TSI28", TABLE(catalogue::TSI28), 1.0f, 0.0f, createTSI28},
    {"SRTC15", TABLE(catalogue::SRTC15), 0.618f, 0.0f, createSRTC15},
    {"SRTC35", TABLE(catalogue::SRTC35), 0.8f, 0.0f, createSRTC35},
    {"GTicosidodeca", TABLE(catalogue::GTicosidodeca), 2.618f, 0.0f, createGTicosidodeca},
    {"Dodecadodeca", TABLE(catalogue::Dodecadodeca), 4.0f, 0.0f, createDodecadodeca},
    {"SCO2", TABLE(catalogue::SCO2), 2.236f, 0.0f, createSCO2},
};

} // namespace assets

namespace {
Tovik::Part& createSolid(Tovik::Part& part, int index) {
    const assets::Solid& solid = assets::solids[index];
    createPolytope(part, solid.table, solid.scale, solid.outward);
    return part;
}
} // namespace

Tovik::Part& createHub(Tovik::Part& part) { return createSolid(part, 0); }
Tovik::Part& createRivalHub(Tovik::Part& part) { return createSolid(part, 1); }
Tovik::Part& createSRTC3(Tovik::Part& part) { return createSolid(part, 2); }
Tovik::Part& createSRTC31(Tovik::Part& part) { return createSolid(part, 3); }
Tovik::Part& createTSI2(Tovik::Part& part) { return createSolid(part, 4); }
Tovik::Part& createTSD12(Tovik::Part& part) { return createSolid(part, 5); }
Tovik::Part& createSCO6(Tovik::Part& part) { return createSolid(part, 6); }
Tovik::Part& createMIH(Tovik::Part& part) { return createSolid(part, 7); }
Tovik::Part& createGTI(Tovik::Part& part) { return createSolid(part, 8); }
Tovik::Part& createTSI22(Tovik::Part& part) { return createSolid(part, 9); }
Tovik::Part& createTSI28(Tovik::Part& part) { return createSolid(part, 10); }
Tovik::Part& createSRTC15(Tovik::Part& part) { return createSolid(part, 11); }
Tovik::Part& createSRTC35(Tovik::Part& part) { return createSolid(part, 12); }
Tovik::Part& createGTicosidodeca(Tovik::Part& part) { return createSolid(part, 13); }
Tovik::Part& createDodecadodeca(Tovik::Part& part) { return createSolid(part, 14); }
Tovik::Part& createSCO2(Tovik::Part& part) { return createSolid(part, 15); }

Tovik::Part& createGround(Tovik::Part& part) {
    using vertex = flatVertex<0>;
    const assets::GroundMesh mesh = assets::buildGroundMesh();
    part.setVertices(reinterpret_cast<const vertex*>(mesh.vertices.data()), mesh.vertices.size());
    part.setElements(mesh.indices.data(), mesh.indices.size());
    return part;
}

Tovik::Part& createSky(Tovik::Part& part) {
    using vertex = flatVertex<1>;
    // Corners already in clip space: the quad covers the viewport directly.
    static const vertex vertices[] = {{-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
    static const std::uint32_t elements[] = {0, 1, 2, 2, 1, 3};
    part.setVertices(vertices, 4);
    part.setElements(elements, 6);
    return part;
}

Tovik::Part& createBloomfield(Tovik::Part& part) {
    using vertex = flatVertex<2>;
    // The unit square; the screen-quad vertex stage maps it to clip space and
    // uses it as the texture coordinate.
    static const vertex vertices[] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    static const std::uint32_t elements[] = {0, 1, 2, 2, 1, 3};
    part.setVertices(vertices, 4);
    part.setElements(elements, 6);
    part.textureCount = 1;
    return part;
}

Tovik::Part& createViewfield(Tovik::Part& part) {
    createBloomfield(part);
    part.textureCount = 2;
    return part;
}
