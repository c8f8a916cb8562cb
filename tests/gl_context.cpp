#include "gl_context.h"

#include "part.h"

#include <SFML/Window/Context.hpp>

#include <memory>
#include <unistd.h>

namespace testgl {

namespace {
std::vector<std::string> errors;

void GLAPIENTRY onMessage(GLenum, GLenum type, GLuint, GLenum severity, GLsizei, const GLchar* message,
                          const void*) {
    if (type == GL_DEBUG_TYPE_ERROR || severity == GL_DEBUG_SEVERITY_HIGH) errors.push_back(message);
}

std::unique_ptr<sf::Context> context;
} // namespace

std::vector<std::string> takeErrors() {
    std::vector<std::string> out;
    out.swap(errors);
    while (glGetError() != GL_NO_ERROR) {
    }
    return out;
}

void ensureContext() {
    if (context) {
        context->setActive(true);
        return;
    }
    const sf::ContextSettings settings(24, 8, 0, 3, 0, sf::ContextSettings::Debug, false);
    context = std::make_unique<sf::Context>(settings, 64, 64);
    context->setActive(true);
    glewExperimental = GL_TRUE;
    ASSERT_EQ(glewInit(), GLEW_OK);
    Tovik::Part::directStateAccess = GLEW_VERSION_4_5 || GLEW_ARB_direct_state_access;
    glEnable(GL_DEBUG_OUTPUT);
    glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
    glDebugMessageCallback(onMessage, nullptr);
}

Target::Target(int w, int h, GLenum format) : width(w), height(h) {
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glGenRenderbuffers(1, &colour);
    glBindRenderbuffer(GL_RENDERBUFFER, colour);
    glRenderbufferStorage(GL_RENDERBUFFER, format, w, h);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
    glGenRenderbuffers(1, &depthBuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, depthBuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, w, h);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer);
    glViewport(0, 0, w, h);
}

Target::~Target() {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteRenderbuffers(1, &depthBuffer);
    glDeleteRenderbuffers(1, &colour);
    glDeleteFramebuffers(1, &framebuffer);
}

std::vector<float> Target::read() const {
    std::vector<float> pixels(std::size_t(width) * height * 4);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_FLOAT, pixels.data());
    return pixels;
}

std::vector<float> Target::depth() const {
    std::vector<float> values(std::size_t(width) * height);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    glReadPixels(0, 0, width, height, GL_DEPTH_COMPONENT, GL_FLOAT, values.data());
    return values;
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
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) out.append(buffer, n);
    std::fclose(file);
    file = nullptr;
    return out;
}

} // namespace testgl
