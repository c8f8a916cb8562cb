#include "gl_context.h"

#include "part.h"

#include <cstdio>
#include <unistd.h>

namespace testgl {

namespace {
std::vector<std::string>& errors() {
    static std::vector<std::string> list;
    return list;
}

void GLAPIENTRY onMessage(GLenum, GLenum type, GLuint, GLenum severity, GLsizei,
                          const GLchar* message, const void*) {
    if (type == GL_DEBUG_TYPE_ERROR || severity == GL_DEBUG_SEVERITY_HIGH)
        errors().push_back(message);
}

std::unique_ptr<sf::Context>& context() {
    static std::unique_ptr<sf::Context> instance;
    return instance;
}
} // namespace

std::vector<std::string> takeErrors() {
    std::vector<std::string> out;
    out.swap(errors());
    while (glGetError() != GL_NO_ERROR) {
    }
    return out;
}

void ensureContext() {
    if (context()) {
        context()->setActive(true);
        return;
    }
    const sf::ContextSettings settings(24, 8, 0, 3, 0, sf::ContextSettings::Debug, false);
    context() = std::make_unique<sf::Context>(settings, 64, 64);
    context()->setActive(true);
    glewExperimental = GL_TRUE;
    ASSERT_EQ(glewInit(), GLEW_OK);
    Tovik::Part::directStateAccess = GLEW_VERSION_4_5 || GLEW_ARB_direct_state_access;
    glEnable(GL_DEBUG_OUTPUT);
    glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
    glDebugMessageCallback(onMessage, nullptr);
}

FloatTarget::FloatTarget(int w, int h) : width(w), height(h) {
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, w, h, 0, GL_RGBA, GL_FLOAT, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    glGenRenderbuffers(1, &depth);
    glBindRenderbuffer(GL_RENDERBUFFER, depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, w, h);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
    glViewport(0, 0, w, h);
}

FloatTarget::~FloatTarget() {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteRenderbuffers(1, &depth);
    glDeleteTextures(1, &texture);
    glDeleteFramebuffers(1, &framebuffer);
}

std::vector<float> FloatTarget::read() const {
    std::vector<float> pixels(std::size_t(width) * height * 4);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_FLOAT, pixels.data());
    return pixels;
}

StdoutCapture::StdoutCapture() {
    std::fflush(stdout);
    saved = dup(1);
    file = std::tmpfile();
    dup2(fileno(file), 1);
}

StdoutCapture::~StdoutCapture() { text(); }

std::string StdoutCapture::text() {
    std::string out;
    if (file == nullptr) return out;
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::rewind(file);
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) out.append(buffer, n);
    std::fclose(file);
    file = nullptr;
    return out;
}

void drawArrays(GLenum mode, const std::vector<float>& interleaved, std::initializer_list<int> sizes) {
    GLsizei stride = 0;
    for (int size : sizes) stride += size;
    GLuint vertexArray = 0, buffer = 0;
    glGenVertexArrays(1, &vertexArray);
    glBindVertexArray(vertexArray);
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(interleaved.size() * sizeof(float)), interleaved.data(),
                 GL_STREAM_DRAW);
    GLuint location = 0;
    std::size_t offset = 0;
    for (int size : sizes) {
        glEnableVertexAttribArray(location);
        glVertexAttribPointer(location++, size, GL_FLOAT, GL_FALSE, GLsizei(stride * sizeof(float)),
                              reinterpret_cast<const void*>(offset * sizeof(float)));
        offset += std::size_t(size);
    }
    glDrawArrays(mode, 0, GLsizei(interleaved.size() / std::size_t(stride)));
    glBindVertexArray(0);
    glDeleteBuffers(1, &buffer);
    glDeleteVertexArrays(1, &vertexArray);
}

std::string capture(const std::string& command, int* status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        if (status) *status = -1;
        return out;
    }
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    const int rc = pclose(pipe);
    if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

} // namespace testgl
