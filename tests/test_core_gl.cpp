// The rendering core against a real context, where the demo's own frames
// cannot show it: both upload paths, and the model's draw with bindings and
// hidden instances. (The drivers' logs show in the test of a refused
// program.) (Moves and deletes are followed in
// the checked build; targets, bindings and borders show in the golden
// frames.)
#include "assets.h"
#include "gl_context.h"
#include "model.h"
#include "part.h"
#include "render_target.h"
#include "shader.h"

#include <glm/gtc/matrix_transform.hpp>


namespace {

const char* const vertexSource = R"(#version 330
layout(location = 0) in vec2 position;
uniform mat4 transform;
void main() { gl_Position = transform * vec4(position * 2.0 - 1.0, 0.0, 1.0); }
)";

// Samples a texture at a coordinate that may lie outside [0, 1].
const char* const fragmentSource = R"(#version 330
uniform sampler2D first;
uniform vec2 lookup;
out vec4 outColour;
void main() { outColour = vec4(texture(first, lookup).r); }
)";

Tovik::ShaderProgram makeProgram(const char* fragment = fragmentSource) {
    Tovik::Shader v(GL_VERTEX_SHADER, vertexSource), f(GL_FRAGMENT_SHADER, fragment);
    Tovik::ShaderProgram program;
    program.attachShader(v).attachShader(f).bindFragDataLocation(0, "outColour").link();
    program.transformLocation = glGetUniformLocation(program.id, "transform");
    return program;
}

// Each test restores the upload path it found, so that a later test on a
// context without direct state access never calls a null entry point.
class CoreGl : public testgl::GlTest {
protected:
    void TearDown() override {
        Tovik::Part::directStateAccess = dsa;
        testgl::GlTest::TearDown();
    }
    const bool dsa = Tovik::Part::directStateAccess;
};

// Mesa keeps ARB_direct_state_access whatever it is told, so only here can
// the uploads take the plain bind-and-upload path they take on a context
// without it.
TEST_F(CoreGl, UploadsLandInTheBuffersWithAndWithoutDirectStateAccess) {
    Tovik::ShaderProgram program = makeProgram();
    for (bool direct : {true, false}) {
        Tovik::Part::directStateAccess = direct;
        Tovik::Part part(program, nullptr);
        createBloomfield(part); // the unit square in two triangles
        std::vector<float> vertices(8);
        std::vector<std::uint32_t> elements(6);
        glGetNamedBufferSubData(part.vertexBuffer, 0, 32, vertices.data());
        glGetNamedBufferSubData(part.elementBuffer, 0, 24, elements.data());
        EXPECT_EQ(vertices, (std::vector<float>{0, 0, 1, 0, 0, 1, 1, 1})) << "direct " << direct;
        EXPECT_EQ(elements, (std::vector<std::uint32_t>{0, 1, 2, 2, 1, 3})) << "direct " << direct;
        GLint recorded = 0;
        glGetVertexArrayiv(part.vertexArray, GL_ELEMENT_ARRAY_BUFFER_BINDING, &recorded);
        EXPECT_EQ(GLuint(recorded), part.elementBuffer);
    }
}

// Instances draw with their world matrix, an instance without a valid Part
// draws nothing, and each drawn instance takes its slice of the bindings in
// order: a hidden instance still uses up its slice.
TEST_F(CoreGl, TheModelDrawsInstancesWithTheirWorldAndBindings) {
    Tovik::ShaderProgram program = makeProgram();
    std::vector<Tovik::Part> parts;
    parts.emplace_back(program, nullptr);
    createBloomfield(parts[0]);
    Tovik::RenderTarget a(0, 0, 4, 4), b(0, 0, 4, 4);
    const Tovik::Texture first = a.createShadowBuffer(), second = b.createShadowBuffer();
    Tovik::Model model(parts);
    const glm::mat4 shrink = glm::translate(glm::mat4(1.0f), {-0.5f, -0.5f, 0}) *
                             glm::scale(glm::mat4(1.0f), {0.5f, 0.5f, 1});
    model.addPart(0, glm::mat4(1.0f), Tovik::Model::none);
    model.addPart(Tovik::Model::none, glm::mat4(1.0f), Tovik::Model::none);
    model.addPart(0, glm::mat4(1.0f), Tovik::Model::none);
    model.addPart(7, glm::mat4(1.0f), Tovik::Model::none);
    model.instances[0].visible = false;
    model.setTransform(1, shrink).setParent(2, 1);
    const GLint location = glGetUniformLocation(program.id, "first");
    model.bindings = {{location, &first}, {location, &second}};

    testgl::Target target(8, 8);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    program.use();
    glUniform2f(glGetUniformLocation(program.id, "lookup"), 2.0f, 2.0f);
    model.update().draw(glm::mat4(1.0f));
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(GLuint(bound), second.id);
    const std::vector<float> pixels = target.read();
    EXPECT_EQ(pixels[(1 * 8 + 1) * 4], 1.0f); // inside the shrunk quad
    EXPECT_EQ(pixels[(6 * 8 + 6) * 4], 0.0f); // outside it
}

} // namespace
