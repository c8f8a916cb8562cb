#include "shader.h"

#include <cstdio>
#include <vector>

namespace Tovik {

namespace {
// Prints a compile or link log whenever the driver supplies one, success or
// not. A length of 1 (just the terminating NUL) prints an empty line.
template <typename GetLog>
void printLog(GLint length, GetLog getLog) {
    if (length <= 0) return;
    std::vector<char> buffer(std::size_t(length) + 1, '\0');
    getLog(length, buffer.data());
    std::printf("%s\n", buffer.data());
    std::fflush(stdout);
}
} // namespace

Shader::Shader(GLenum type, const char* source) {
    id = glCreateShader(type);
    glShaderSource(id, 1, &source, nullptr);
    glCompileShader(id);
    GLint length = 0;
    glGetShaderiv(id, GL_INFO_LOG_LENGTH, &length);
    printLog(length, [this](GLint n, char* buffer) { glGetShaderInfoLog(id, n, nullptr, buffer); });
}

Shader::~Shader() {
    if (id != 0) glDeleteShader(id);
}

ShaderProgram::ShaderProgram() { id = glCreateProgram(); }

ShaderProgram::~ShaderProgram() {
    if (id != 0) glDeleteProgram(id);
}

ShaderProgram& ShaderProgram::attachShader(const Shader& shader) {
    glAttachShader(id, shader.id);
    return *this;
}

ShaderProgram& ShaderProgram::bindFragDataLocation(int colourNumber, const char* name) {
    glBindFragDataLocation(id, GLuint(colourNumber), name);
    return *this;
}

ShaderProgram& ShaderProgram::link() {
    glLinkProgram(id);
    GLint length = 0;
    glGetProgramiv(id, GL_INFO_LOG_LENGTH, &length);
    printLog(length, [this](GLint n, char* buffer) { glGetProgramInfoLog(id, n, nullptr, buffer); });
    return *this;
}

ShaderProgram& ShaderProgram::use() {
    glUseProgram(id);
    return *this;
}

} // namespace Tovik
