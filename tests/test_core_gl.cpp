// The rendering core against a real context: uploads, vertex layouts, moves,
// texture bindings, render targets and the shader logs.
#include "gl_context.h"
#include "model.h"
#include "part.h"
#include "render_target.h"
#include "shader.h"

#include <glm/gtc/matrix_transform.hpp>

#include <array>
#include <cstring>

namespace {

const char* const vertexSource = R"(#version 330
layout(location = 0) in vec2 position;
uniform mat4 transform;
out vec2 uv;
void main() {
    uv = position;
    gl_Position = transform * vec4(position * 2.0 - 1.0, 0.0, 1.0);
}
)";

// Samples the two textures at a coordinate that can lie outside [0, 1], so
// that the border colours can be read back.
const char* const fragmentSource = R"(#version 330
uniform sampler2D first;
uniform sampler2D second;
uniform vec2 lookup;
in vec2 uv;
out vec4 outColour;
void main() {
    outColour = vec4(texture(first, lookup).r, texture(second, lookup).rgb);
}
)";

Tovik::ShaderProgram makeProgram() {
    Tovik::Shader vertex(GL_VERTEX_SHADER, vertexSource);
    Tovik::Shader fragment(GL_FRAGMENT_SHADER, fragmentSource);
    Tovik::ShaderProgram program;
    program.attachShader(vertex).attachShader(fragment).bindFragDataLocation(0, "outColour").link();
    program.transformLocation = glGetUniformLocation(program.id, "transform");
    return program;
}

// Two vertex types of the same layout: still two layouts to the Part.
template <int Tag>
struct vertex {
    float x, y;
    static inline int initCalls = 0;
    static void initAttributes(Tovik::ShaderProgram& program) {
        ++initCalls;
        const GLint location = glGetAttribLocation(program.id, "position");
        glEnableVertexAttribArray(GLuint(location));
        glVertexAttribPointer(GLuint(location), 2, GL_FLOAT, GL_FALSE, sizeof(vertex), nullptr);
    }
};

const vertex<0> quad[] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
const std::uint32_t quadElements[] = {0, 1, 2, 2, 1, 3};

template <typename T>
std::vector<T> readBuffer(GLuint buffer, std::size_t count) {
    std::vector<T> out(count);
    glGetNamedBufferSubData(buffer, 0, GLsizeiptr(count * sizeof(T)), out.data());
    return out;
}

class CoreGl : public testgl::GlTest {
protected:
    void TearDown() override {
        Tovik::Part::directStateAccess = true;
        testgl::GlTest::TearDown();
    }
};

TEST_F(CoreGl, UploadsLandInTheBuffersWithAndWithoutDirectStateAccess) {
    Tovik::ShaderProgram program = makeProgram();
    for (bool dsa : {true, false}) {
        Tovik::Part::directStateAccess = dsa;
        Tovik::Part part(program, nullptr);
        part.setVertices(quad, 4);
        part.setElements(quadElements, 6);
        const auto vertices = readBuffer<float>(part.vertexBuffer, 8);
        EXPECT_EQ(std::memcmp(vertices.data(), quad, sizeof quad), 0) << "dsa " << dsa;
        const auto elements = readBuffer<std::uint32_t>(part.elementBuffer, 6);
        EXPECT_EQ(std::memcmp(elements.data(), quadElements, sizeof quadElements), 0);
        EXPECT_EQ(part.elementCount, 6u);
        EXPECT_EQ(part.elementType, GLenum(GL_UNSIGNED_INT));
        // The vertex array recorded the element buffer.
        GLint recorded = 0;
        glGetVertexArrayiv(part.vertexArray, GL_ELEMENT_ARRAY_BUFFER_BINDING, &recorded);
        EXPECT_EQ(GLuint(recorded), part.elementBuffer);
    }
}

TEST_F(CoreGl, AttributeLayoutIsRecordedOncePerVertexType) {
    Tovik::ShaderProgram program = makeProgram();
    Tovik::Part part(program, nullptr);
    vertex<0>::initCalls = 0;
    vertex<1>::initCalls = 0;
    part.setVertices(quad, 4);
    part.setVertices(quad, 4);
    EXPECT_EQ(vertex<0>::initCalls, 1);
    EXPECT_EQ(part.attributeInit, &vertex<0>::initAttributes);
    const vertex<1> other[] = {{0, 0}, {1, 0}, {0, 1}};
    part.setVertices(other, 3);
    EXPECT_EQ(vertex<1>::initCalls, 1);
    EXPECT_EQ(part.attributeInit, &vertex<1>::initAttributes);
    GLint enabled = 0;
    glGetVertexArrayIndexediv(part.vertexArray, 0, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
    EXPECT_EQ(enabled, 1);
}

TEST_F(CoreGl, AMovedPartHandsOverItsObjectsAndTheyAreDeletedOnce) {
    Tovik::ShaderProgram program = makeProgram();
    GLuint names[3];
    {
        std::vector<Tovik::Part> parts;
        parts.emplace_back(program, nullptr);
        parts.back().setVertices(quad, 4);
        parts.back().setElements(quadElements, 6);
        names[0] = parts[0].vertexArray;
        names[1] = parts[0].elementBuffer;
        names[2] = parts[0].vertexBuffer;
        // Growing the list moves the Part; its GL objects must survive.
        for (int i = 0; i < 8; ++i) parts.emplace_back(program, nullptr);
        EXPECT_EQ(parts[0].vertexArray, names[0]);
        EXPECT_TRUE(glIsVertexArray(names[0]));
        EXPECT_TRUE(glIsBuffer(names[1]));
        EXPECT_TRUE(glIsBuffer(names[2]));

        Tovik::Part moved(std::move(parts[0]));
        EXPECT_EQ(parts[0].vertexArray, 0u);
        EXPECT_EQ(parts[0].vertexBuffer, 0u);
        EXPECT_EQ(parts[0].elementBuffer, 0u);
        EXPECT_EQ(moved.elementCount, 6u);
    }
    EXPECT_FALSE(glIsVertexArray(names[0]));
    EXPECT_FALSE(glIsBuffer(names[1]));
    EXPECT_FALSE(glIsBuffer(names[2]));
}

TEST_F(CoreGl, BindingsLandOnTheUnitsTheyNameAndTheBordersReadAsDocumented) {
    Tovik::ShaderProgram program = makeProgram();
    Tovik::RenderTarget shadow(0, 0, 16, 16);
    Tovik::Texture depth = shadow.createShadowBuffer();
    Tovik::RenderTarget hdr(0, 0, 8, 8);
    glGenFramebuffers(1, &hdr.framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, hdr.framebuffer);
    Tovik::Texture colour = hdr.createHdrBuffer(8, 8, 0);

    Tovik::Part part(program, nullptr);
    part.setVertices(quad, 4);
    part.setElements(quadElements, 6);
    part.textureCount = 2;
    const std::array<Tovik::Texture::Binding, 2> bindings{{
        {glGetUniformLocation(program.id, "first"), &depth},
        {glGetUniformLocation(program.id, "second"), &colour},
    }};

    testgl::FloatTarget target(4, 4);
    // Outside [0, 1]: the shadow map's white border reads as depth 1, the HDR
    // texture's default border as transparent black.
    program.use();
    glUniform2f(glGetUniformLocation(program.id, "lookup"), 1.5f, -0.5f);
    part.drawImpl(glm::mat4(1.0f), bindings.data());

    GLint unit0 = 0, unit1 = 0, sampler0 = -1, sampler1 = -1;
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &unit0);
    glActiveTexture(GL_TEXTURE1);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &unit1);
    glActiveTexture(GL_TEXTURE0);
    glGetUniformiv(program.id, bindings[0].location, &sampler0);
    glGetUniformiv(program.id, bindings[1].location, &sampler1);
    EXPECT_EQ(GLuint(unit0), depth.id);
    EXPECT_EQ(GLuint(unit1), colour.id);
    EXPECT_EQ(sampler0, 0);
    EXPECT_EQ(sampler1, 1);

    const std::vector<float> pixels = target.read();
    EXPECT_FLOAT_EQ(pixels[0], 1.0f);
    EXPECT_FLOAT_EQ(pixels[1], 0.0f);
    EXPECT_FLOAT_EQ(pixels[2], 0.0f);
    EXPECT_FLOAT_EQ(pixels[3], 0.0f);
}

TEST_F(CoreGl, RenderTargetsHaveTheDocumentedAttachmentsAndFormats) {
    GLuint shadowFramebuffer = 0, shadowTexture = 0;
    {
        Tovik::RenderTarget shadow(0, 0, 64, 32);
        Tovik::Texture depth = shadow.createShadowBuffer();
        shadowFramebuffer = shadow.framebuffer;
        shadowTexture = depth.id;
        GLint bound = 0, attached = 0, drawBuffer = -1, readBuffer = -1, width = 0, height = 0;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
        EXPECT_EQ(GLuint(bound), shadow.framebuffer);
        glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT,
                                              GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &attached);
        EXPECT_EQ(GLuint(attached), depth.id);
        glGetIntegerv(GL_DRAW_BUFFER, &drawBuffer);
        glGetIntegerv(GL_READ_BUFFER, &readBuffer);
        EXPECT_EQ(drawBuffer, GL_NONE);
        EXPECT_EQ(readBuffer, GL_NONE);
        EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
        glGetTextureLevelParameteriv(depth.id, 0, GL_TEXTURE_WIDTH, &width);
        glGetTextureLevelParameteriv(depth.id, 0, GL_TEXTURE_HEIGHT, &height);
        EXPECT_EQ(width, 64);
        EXPECT_EQ(height, 32);
        GLfloat border[4] = {};
        glGetTextureParameterfv(depth.id, GL_TEXTURE_BORDER_COLOR, border);
        EXPECT_EQ(std::vector<float>(border, border + 4), std::vector<float>(4, 1.0f));
        GLint wrap = 0;
        glGetTextureParameteriv(depth.id, GL_TEXTURE_WRAP_S, &wrap);
        EXPECT_EQ(wrap, GL_CLAMP_TO_BORDER);

        Tovik::RenderTarget hdr(0, 0, 24, 12);
        glGenFramebuffers(1, &hdr.framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, hdr.framebuffer);
        Tovik::Texture first = hdr.createHdrBuffer(24, 12, 0);
        Tovik::Texture second = hdr.createHdrBuffer(24, 12, 1);
        for (auto [attachment, texture] : {std::pair{GL_COLOR_ATTACHMENT0, &first},
                                           std::pair{GL_COLOR_ATTACHMENT1, &second}}) {
            glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GLenum(attachment),
                                                  GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &attached);
            EXPECT_EQ(GLuint(attached), texture->id);
            GLint format = 0;
            glGetTextureLevelParameteriv(texture->id, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
            EXPECT_EQ(format, GL_RGBA16F);
            glGetTextureParameterfv(texture->id, GL_TEXTURE_BORDER_COLOR, border);
            EXPECT_EQ(std::vector<float>(border, border + 4), std::vector<float>(4, 0.0f));
        }
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        // The window's target owns nothing; destroying it must not touch GL.
        Tovik::RenderTarget window(10, 20, 30, 40);
    }
    EXPECT_FALSE(glIsFramebuffer(shadowFramebuffer));
    EXPECT_FALSE(glIsTexture(shadowTexture));
}

TEST_F(CoreGl, LogsArePrintedVerbatimAndABrokenShaderDrawsNothing) {
    testgl::StdoutCapture captured;
    {
        // A clean compile and link print nothing on this driver.
        Tovik::ShaderProgram good = makeProgram();
    }
    EXPECT_EQ(captured.text(), "");

    testgl::StdoutCapture broken;
    Tovik::Shader vertex(GL_VERTEX_SHADER, vertexSource);
    Tovik::Shader fragment(GL_FRAGMENT_SHADER, "#version 330\nout vec4 outColour;\nvoid main() { oops }\n");
    EXPECT_NE(fragment.id, 0u);
    GLint compiled = GL_TRUE, length = 0;
    glGetShaderiv(fragment.id, GL_COMPILE_STATUS, &compiled);
    glGetShaderiv(fragment.id, GL_INFO_LOG_LENGTH, &length);
    std::vector<char> log(std::size_t(length) + 1, '\0');
    glGetShaderInfoLog(fragment.id, length, nullptr, log.data());
    Tovik::ShaderProgram program;
    Tovik::ShaderProgram& chained = program.attachShader(vertex).attachShader(fragment);
    EXPECT_EQ(&chained, &program);
    EXPECT_EQ(&program.link(), &program);
    GLint linked = GL_TRUE;
    glGetProgramiv(program.id, GL_LINK_STATUS, &linked);
    const std::string printed = broken.text();
    EXPECT_EQ(compiled, GL_FALSE);
    EXPECT_EQ(linked, GL_FALSE);
    // The compile log comes first, exactly as the driver gave it plus "\n".
    ASSERT_GT(length, 1);
    EXPECT_EQ(printed.substr(0, std::strlen(log.data()) + 1), std::string(log.data()) + "\n");
    EXPECT_GT(printed.size(), std::strlen(log.data()) + 1) << "no link log printed";

    // Drawing with the unlinked program writes no pixel and crashes nothing.
    Tovik::Part part(program, nullptr);
    part.setVertices(quad, 4);
    part.setElements(quadElements, 6);
    testgl::FloatTarget target(4, 4);
    glClearColor(0.25f, 0.5f, 0.75f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    part.drawImpl(glm::mat4(1.0f), nullptr);
    const std::vector<float> pixels = target.read();
    EXPECT_FLOAT_EQ(pixels[0], 0.25f);
    EXPECT_FLOAT_EQ(pixels[2], 0.75f);
    testgl::takeErrors(); // the draw with an unlinked program is meant to fail
}

TEST_F(CoreGl, DepthDrawWithoutADepthProgramTouchesNothing) {
    Tovik::ShaderProgram program = makeProgram();
    Tovik::Part part(program, nullptr);
    part.setVertices(quad, 4);
    part.setElements(quadElements, 6);
    glBindVertexArray(0);
    glUseProgram(0);
    part.drawDepthImpl(glm::mat4(1.0f));
    GLint vertexArray = -1, current = -1;
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vertexArray);
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(vertexArray, 0);
    EXPECT_EQ(current, 0);
}

TEST_F(CoreGl, ModelDrawsEachInstanceWithItsWorldMatrix) {
    Tovik::ShaderProgram program = makeProgram();
    std::vector<Tovik::Part> parts;
    parts.emplace_back(program, nullptr);
    parts[0].setVertices(quad, 4);
    parts[0].setElements(quadElements, 6);
    Tovik::Model model(parts);
    // A pivot that shrinks its child to the lower-left quarter of the target.
    const glm::mat4 shrink = glm::translate(glm::mat4(1.0f), {-0.5f, -0.5f, 0}) *
                             glm::scale(glm::mat4(1.0f), {0.5f, 0.5f, 1});
    model.addPart(Tovik::Model::none, shrink, Tovik::Model::none);
    model.addPart(0, glm::mat4(1.0f), 0);
    model.addPart(1, glm::mat4(1.0f), Tovik::Model::none); // out of range: draws nothing

    testgl::FloatTarget target(8, 8);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    Tovik::RenderTarget shadow(0, 0, 4, 4);
    Tovik::Texture depth = shadow.createShadowBuffer();
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    program.use();
    glUniform2f(glGetUniformLocation(program.id, "lookup"), 2.0f, 2.0f);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, depth.id);
    model.update().draw(glm::mat4(1.0f));
    const std::vector<float> pixels = target.read();
    auto red = [&](int x, int y) { return pixels[std::size_t(y * 8 + x) * 4]; };
    EXPECT_FLOAT_EQ(red(1, 1), 1.0f);  // inside the shrunk quad
    EXPECT_FLOAT_EQ(red(6, 6), 0.0f);  // outside it
}

// The model hands each drawn Part its own slice of the bindings, in
// instance order; a hidden instance still uses up its slice, and an instance
// without a valid Part takes none.
TEST_F(CoreGl, TheBindingCursorSkipsHiddenInstancesButNotMissingParts) {
    Tovik::ShaderProgram program = makeProgram();
    std::vector<Tovik::Part> parts;
    parts.emplace_back(program, nullptr);
    parts[0].setVertices(quad, 4);
    parts[0].setElements(quadElements, 6);
    parts[0].textureCount = 1;
    Tovik::RenderTarget a(0, 0, 4, 4), b(0, 0, 4, 4);
    const Tovik::Texture first = a.createShadowBuffer();
    const Tovik::Texture second = b.createShadowBuffer();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);

    Tovik::Model model(parts);
    model.addPart(0, glm::mat4(1.0f), Tovik::Model::none);           // hidden below
    model.addPart(Tovik::Model::none, glm::mat4(1.0f), Tovik::Model::none); // takes no slice
    model.addPart(0, glm::mat4(1.0f), Tovik::Model::none);
    model.instances[0].visible = false;
    const GLint location = glGetUniformLocation(program.id, "first");
    model.bindings = {{location, &first}, {location, &second}};

    testgl::FloatTarget target(4, 4);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, 0);
    model.draw(glm::mat4(1.0f));
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(GLuint(bound), second.id);
}

} // namespace
