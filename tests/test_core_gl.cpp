// The rendering core against a real context: uploads, moves, bindings and
// borders, render targets, the model's draw and the shader logs.
#include "gl_context.h"
#include "model.h"
#include "part.h"
#include "render_target.h"
#include "shader.h"

#include <glm/gtc/matrix_transform.hpp>

#include <cstring>

namespace {

const char* const vertexSource = R"(#version 330
layout(location = 0) in vec2 position;
uniform mat4 transform;
void main() { gl_Position = transform * vec4(position * 2.0 - 1.0, 0.0, 1.0); }
)";

// Samples two textures at a coordinate that may lie outside [0, 1], so that
// their border colours can be read back.
const char* const fragmentSource = R"(#version 330
uniform sampler2D first;
uniform sampler2D second;
uniform vec2 lookup;
out vec4 outColour;
void main() { outColour = vec4(texture(first, lookup).r, texture(second, lookup).rgb); }
)";

Tovik::ShaderProgram makeProgram(const char* fragment = fragmentSource) {
    Tovik::Shader v(GL_VERTEX_SHADER, vertexSource), f(GL_FRAGMENT_SHADER, fragment);
    Tovik::ShaderProgram program;
    program.attachShader(v).attachShader(f).bindFragDataLocation(0, "outColour").link();
    program.transformLocation = glGetUniformLocation(program.id, "transform");
    return program;
}

struct vertex {
    float x, y;
    static void initAttributes(Tovik::ShaderProgram&) {
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(vertex), nullptr);
    }
};
const vertex quad[] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
const std::uint32_t quadElements[] = {0, 1, 2, 2, 1, 3};

void fill(Tovik::Part& part) {
    part.setVertices(quad, 4);
    part.setElements(quadElements, 6);
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

TEST_F(CoreGl, UploadsLandInTheBuffersWithAndWithoutDirectStateAccess) {
    Tovik::ShaderProgram program = makeProgram();
    for (bool direct : {true, false}) {
        Tovik::Part::directStateAccess = direct;
        Tovik::Part part(program, nullptr);
        fill(part);
        float vertices[8] = {};
        std::uint32_t elements[6] = {};
        glGetNamedBufferSubData(part.vertexBuffer, 0, sizeof vertices, vertices);
        glGetNamedBufferSubData(part.elementBuffer, 0, sizeof elements, elements);
        EXPECT_EQ(std::memcmp(vertices, quad, sizeof quad), 0) << "direct " << direct;
        EXPECT_EQ(std::memcmp(elements, quadElements, sizeof elements), 0) << "direct " << direct;
        GLint recorded = 0;
        glGetVertexArrayiv(part.vertexArray, GL_ELEMENT_ARRAY_BUFFER_BINDING, &recorded);
        EXPECT_EQ(GLuint(recorded), part.elementBuffer);
    }
}

// The Part list grows by moving its elements: the GL objects go with the
// move, the moved-from Part owns nothing, and each is deleted once.
TEST_F(CoreGl, AMovedPartHandsOverItsObjects) {
    Tovik::ShaderProgram program = makeProgram();
    GLuint names[3];
    {
        std::vector<Tovik::Part> parts;
        parts.emplace_back(program, nullptr);
        fill(parts[0]);
        names[0] = parts[0].vertexArray, names[1] = parts[0].vertexBuffer, names[2] = parts[0].elementBuffer;
        for (int i = 0; i < 8; ++i) parts.emplace_back(program, nullptr);
        EXPECT_EQ(parts[0].vertexArray, names[0]);
        Tovik::Part moved(std::move(parts[0]));
        EXPECT_EQ(parts[0].vertexArray | parts[0].vertexBuffer | parts[0].elementBuffer, 0u);
        EXPECT_TRUE(glIsVertexArray(names[0]) && glIsBuffer(names[1]) && glIsBuffer(names[2]));
    }
    EXPECT_FALSE(glIsVertexArray(names[0]) || glIsBuffer(names[1]) || glIsBuffer(names[2]));
}

// Binding i lands on texture unit i. Outside [0, 1] the shadow map's white
// border reads as depth 1 (lit), the HDR image's as transparent black.
TEST_F(CoreGl, BindingsLandOnTheirUnitsAndBordersReadAsMeant) {
    Tovik::ShaderProgram program = makeProgram();
    Tovik::RenderTarget shadow(0, 0, 16, 16);
    Tovik::Texture depth = shadow.createShadowBuffer();
    Tovik::RenderTarget hdr(0, 0, 8, 8);
    glGenFramebuffers(1, &hdr.framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, hdr.framebuffer);
    Tovik::Texture colour = hdr.createHdrBuffer(8, 8, 0);
    glClearColor(0.5f, 0.5f, 0.5f, 0.5f);
    glClear(GL_COLOR_BUFFER_BIT);
    Tovik::Part part(program, nullptr);
    fill(part);
    part.textureCount = 2;
    const Tovik::Texture::Binding bindings[2] = {{glGetUniformLocation(program.id, "first"), &depth},
                                                 {glGetUniformLocation(program.id, "second"), &colour}};
    testgl::Target target(4, 4);
    program.use();
    glUniform2f(glGetUniformLocation(program.id, "lookup"), 1.5f, -0.5f);
    part.drawImpl(glm::mat4(1.0f), bindings);
    GLint unit1 = 0;
    glActiveTexture(GL_TEXTURE1);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &unit1);
    glActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(GLuint(unit1), colour.id);
    EXPECT_EQ(target.read()[0], 1.0f);
    EXPECT_EQ(target.read()[1] + target.read()[2] + target.read()[3], 0.0f);
}

TEST_F(CoreGl, RenderTargetsHaveTheirAttachmentsAndFormats) {
    GLuint framebuffer = 0, texture = 0;
    {
        Tovik::RenderTarget shadow(0, 0, 64, 32);
        Tovik::Texture depth = shadow.createShadowBuffer();
        framebuffer = shadow.framebuffer, texture = depth.id;
        GLint attached = 0, drawBuffer = -1, width = 0;
        glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT,
                                              GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &attached);
        glGetIntegerv(GL_DRAW_BUFFER, &drawBuffer);
        glGetTextureLevelParameteriv(depth.id, 0, GL_TEXTURE_WIDTH, &width);
        EXPECT_EQ(GLuint(attached), depth.id);
        EXPECT_EQ(drawBuffer, GL_NONE);
        EXPECT_EQ(width, 64);
        EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));

        Tovik::RenderTarget hdr(0, 0, 24, 12);
        glGenFramebuffers(1, &hdr.framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, hdr.framebuffer);
        Tovik::Texture second = hdr.createHdrBuffer(24, 12, 1);
        GLint format = 0;
        glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT1,
                                              GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &attached);
        glGetTextureLevelParameteriv(second.id, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
        EXPECT_EQ(GLuint(attached), second.id);
        EXPECT_EQ(format, GL_RGBA16F);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    }
    EXPECT_FALSE(glIsFramebuffer(framebuffer) || glIsTexture(texture));
}

// Instances draw with their world matrix, an instance without a valid Part
// draws nothing, and each drawn instance takes its slice of the bindings in
// order: a hidden instance still uses up its slice.
TEST_F(CoreGl, TheModelDrawsInstancesWithTheirWorldAndBindings) {
    Tovik::ShaderProgram program = makeProgram();
    std::vector<Tovik::Part> parts;
    parts.emplace_back(program, nullptr);
    fill(parts[0]);
    parts[0].textureCount = 1;
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

// The driver's logs reach standard output verbatim, each with an end of
// line, and nothing when there is nothing to say.
TEST_F(CoreGl, LogsArePrintedVerbatim) {
    testgl::StdoutCapture clean;
    makeProgram();
    EXPECT_EQ(clean.text(), "");

    testgl::StdoutCapture broken;
    Tovik::ShaderProgram program = makeProgram("#version 330\nout vec4 outColour;\nvoid main() { oops }\n");
    const std::string printed = broken.text();
    char log[4096] = {};
    glGetProgramInfoLog(program.id, sizeof log, nullptr, log);
    ASSERT_GT(std::strlen(log), 0u);
    EXPECT_NE(printed.find("error"), std::string::npos) << printed; // the compile log comes first
    EXPECT_EQ(printed.substr(printed.size() - std::strlen(log) - 1), std::string(log) + "\n");
    testgl::takeErrors();
}

} // namespace
