// Every polyhedron builder uploads a mesh that a program with position,
// normal and colour at locations 0, 1 and 2 draws without a GL error.
#include "assets.h"
#include "gl_context.h"
#include "part.h"
#include "shader.h"

#include <glm/geometric.hpp>

namespace {

const char* const vertexSource = R"(#version 330
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec4 colour;
uniform float fit;
out vec3 shade;
void main() {
    shade = colour.rgb * 0.5 + abs(normal) * 0.5;
    gl_Position = vec4(position * fit, 1.0);
}
)";

const char* const fragmentSource = R"(#version 330
in vec3 shade;
out vec4 result;
void main() { result = vec4(shade, 1.0); }
)";

class SolidsGl : public testgl::GlTest {};

TEST_F(SolidsGl, EverySolidDrawsPixels) {
    Tovik::ShaderProgram program;
    const Tovik::Shader vs(GL_VERTEX_SHADER, vertexSource), fs(GL_FRAGMENT_SHADER, fragmentSource);
    program.attachShader(vs).attachShader(fs).bindFragDataLocation(0, "result").link();
    testgl::FloatTarget target(64, 64);
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    for (const assets::Solid& solid : assets::solids) {
        Tovik::Part part(program, nullptr);
        solid.create(part);
        const assets::PolytopeMesh mesh = assets::buildPolytopeMesh(solid.table, solid.scale, solid.outward);
        EXPECT_EQ(part.elementCount, mesh.indices.size()) << solid.name;
        EXPECT_EQ(part.elementType, GLenum(GL_UNSIGNED_INT)) << solid.name;
        float radius = 0;
        for (const auto& v : mesh.vertices) radius = std::max(radius, glm::length(v.position));
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        program.use();
        glUniform1f(glGetUniformLocation(program.id, "fit"), 0.9f / radius);
        part.drawImpl(nullptr);
        int written = 0;
        const std::vector<float> pixels = target.read();
        for (std::size_t i = 3; i < pixels.size(); i += 4) written += pixels[i] > 0.5f;
        EXPECT_GT(written, 100) << solid.name; // the thin wedge covers the fewest, about 260
    }
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
}

} // namespace
