#pragma once
#include "gl.h"

#include <type_traits>

namespace Tovik {

// One compiled shader stage. Owns its GL shader object. The compile log, when
// the driver gives one, goes to standard output; the status is not consulted,
// so a failed stage still yields a valid object that the link then rejects.
class Shader {
public:
    GLuint id = 0;

    Shader(GLenum type, const char* source);
    ~Shader();
    Shader(const Shader&) = delete;
    Shader& operator=(const Shader&) = delete;
    Shader(Shader&& other) noexcept : id(other.id) { other.id = 0; }
    Shader& operator=(Shader&&) = delete;
};

// A linked program with the four uniform locations that are set on nearly
// every draw looked up once. Locations a factory does not fill stay 0.
class ShaderProgram {
public:
    GLuint id = 0;
    GLint transformLocation = 0;
    GLint cameraLocation = 0;
    GLint projectionLocation = 0;
    GLint timeLocation = 0;

    ShaderProgram();
    ~ShaderProgram();
    ShaderProgram(const ShaderProgram&) = delete;
    ShaderProgram& operator=(const ShaderProgram&) = delete;
    // Factories return programs by value; the move leaves the source owning
    // nothing so that only one destructor deletes the GL program.
    ShaderProgram(ShaderProgram&& other) noexcept
        : id(other.id), transformLocation(other.transformLocation),
          cameraLocation(other.cameraLocation), projectionLocation(other.projectionLocation),
          timeLocation(other.timeLocation) {
        other.id = 0;
    }
    ShaderProgram& operator=(ShaderProgram&&) = delete;

    ShaderProgram& attachShader(const Shader& shader);
    ShaderProgram& bindFragDataLocation(int colourNumber, const char* name);
    ShaderProgram& link();
    ShaderProgram& use();
};

static_assert(!std::is_copy_constructible_v<Shader> && std::is_nothrow_move_constructible_v<Shader>);
static_assert(!std::is_copy_constructible_v<ShaderProgram> &&
              std::is_nothrow_move_constructible_v<ShaderProgram>);

} // namespace Tovik
