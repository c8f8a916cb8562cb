#pragma once
#include "gl.h"
#include "render_target.h"
#include "shader.h"

#include <glm/mat4x4.hpp>

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace Tovik {

// One indexed triangle mesh on the GPU with the programs that draw it: a main
// program for the colour passes and, optionally, a depth program for the
// shadow pass. Owns its vertex array and its two buffers; move-only, and a
// moved-from Part owns nothing (the Part list grows by moving its elements).
class Part {
public:
    using AttributeInit = void (*)(ShaderProgram&);

    ShaderProgram& program;
    ShaderProgram* depthProgram;
    GLuint vertexBuffer = 0;
    GLuint elementBuffer = 0;
    std::uint64_t elementCount = 0;
    std::uint64_t textureCount = 0;
    GLenum elementType = 0;
    GLuint vertexArray = 0;
    // The initAttributes of the vertex type whose layout vertexArray records;
    // its address identifies the layout.
    AttributeInit attributeInit = nullptr;

    // Whether glNamedBufferData may be called. Set once at start-up from the
    // context (GL 4.5 or ARB_direct_state_access); without it the uploads go
    // through the buffer the Part has just bound, which stores the same data.
    static inline bool directStateAccess = false;

    Part(ShaderProgram& mainProgram, ShaderProgram* depth)
        : program(mainProgram), depthProgram(depth) {
        glGenBuffers(1, &vertexBuffer);
        glGenBuffers(1, &elementBuffer);
        glGenVertexArrays(1, &vertexArray);
    }

    Part(Part&& o) noexcept
        : program(o.program), depthProgram(o.depthProgram), vertexBuffer(o.vertexBuffer),
          elementBuffer(o.elementBuffer), elementCount(o.elementCount),
          textureCount(o.textureCount), elementType(o.elementType), vertexArray(o.vertexArray),
          attributeInit(o.attributeInit) {
        o.vertexBuffer = 0;
        o.elementBuffer = 0;
        o.vertexArray = 0;
    }

    ~Part() {
        if (vertexArray != 0) glDeleteVertexArrays(1, &vertexArray);
        if (elementBuffer != 0) glDeleteBuffers(1, &elementBuffer);
        if (vertexBuffer != 0) glDeleteBuffers(1, &vertexBuffer);
    }

    Part(const Part&) = delete;
    Part& operator=(const Part&) = delete;
    Part& operator=(Part&&) = delete;

    // Uploads vertex records of type V. The attribute layout is recorded in
    // the vertex array the first time V is seen, against the main program.
    template <typename V>
    void setVertices(const V* vertices, std::size_t count) {
        glBindVertexArray(vertexArray);
        // The first bind also creates the buffer object behind the name.
        glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
        if (attributeInit != &V::initAttributes) {
            V::initAttributes(program);
            attributeInit = &V::initAttributes;
        }
        upload(GL_ARRAY_BUFFER, vertexBuffer, count * sizeof(V), vertices);
    }

    // Uploads 32-bit indices; the vertex array still bound from setVertices
    // records the element buffer.
    void setElements(const std::uint32_t* elements, std::size_t count) {
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, elementBuffer);
        elementCount = count;
        upload(GL_ELEMENT_ARRAY_BUFFER, elementBuffer, count * sizeof(std::uint32_t), elements);
        elementType = GL_UNSIGNED_INT;
    }

    // Draws with whatever program is current. Binding i goes to texture unit i.
    void drawImpl(const Texture::Binding* bindings) const {
        bindMesh();
        if (bindings != nullptr) {
            for (std::uint64_t i = 0; i < textureCount; ++i) {
                glActiveTexture(GLenum(GL_TEXTURE0 + i));
                glUniform1i(bindings[i].location, GLint(i));
                glBindTexture(bindings[i].texture->target, bindings[i].texture->id);
            }
        }
        glDrawElements(GL_TRIANGLES, GLsizei(elementCount), elementType, nullptr);
    }

    // Makes the main program current, sets its transform and draws.
    void drawImpl(const glm::mat4& transform, const Texture::Binding* bindings) const {
        program.use();
        glUniformMatrix4fv(program.transformLocation, 1, GL_FALSE, &transform[0][0]);
        drawImpl(bindings);
    }

    // Draws into the shadow map with the depth program; a Part without one
    // makes no GL call at all.
    void drawDepthImpl(const glm::mat4& transform) const {
        if (depthProgram == nullptr) return;
        bindMesh();
        depthProgram->use();
        glUniformMatrix4fv(depthProgram->transformLocation, 1, GL_FALSE, &transform[0][0]);
        glDrawElements(GL_TRIANGLES, GLsizei(elementCount), elementType, nullptr);
    }

private:
    void bindMesh() const {
        glBindVertexArray(vertexArray);
        glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, elementBuffer);
    }

    static void upload(GLenum target, GLuint buffer, std::size_t bytes, const void* data) {
        if (directStateAccess)
            glNamedBufferData(buffer, GLsizeiptr(bytes), data, GL_STATIC_DRAW);
        else
            glBufferData(target, GLsizeiptr(bytes), data, GL_STATIC_DRAW);
    }
};

static_assert(!std::is_copy_constructible_v<Part> && std::is_nothrow_move_constructible_v<Part>);

} // namespace Tovik
