#include "gl_context.h"

#include "part.h"

#include <SFML/Window/Context.hpp>

#include <memory>

namespace testgl {

namespace {
std::vector<std::string> errors;
std::unique_ptr<sf::Context> context;
} // namespace

std::vector<std::string> takeErrors() {
    std::vector<std::string> out;
    out.swap(errors);
    while (glGetError() != GL_NO_ERROR) continue;
    return out;
}

void ensureContext() {
    if (context) return (void)context->setActive(true);
    context = std::make_unique<sf::Context>(sf::ContextSettings(24, 8, 0, 3, 0, sf::ContextSettings::Debug), 64, 64);
    context->setActive(true);
    glewExperimental = GL_TRUE;
    ASSERT_EQ(glewInit(), GLEW_OK);
    Tovik::Part::directStateAccess = GLEW_VERSION_4_5 || GLEW_ARB_direct_state_access;
    glEnable(GL_DEBUG_OUTPUT);
    glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
    glDebugMessageCallback([](GLenum, GLenum type, GLuint, GLenum severity, GLsizei, const GLchar* message,
                              const void*) {
        if (type == GL_DEBUG_TYPE_ERROR || severity == GL_DEBUG_SEVERITY_HIGH) errors.push_back(message);
    }, nullptr);
}

Target::Target(int w, int h, GLenum format) : width(w), height(h) {
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glGenRenderbuffers(2, buffers);
    for (GLuint i : {0, 1}) {
        glBindRenderbuffer(GL_RENDERBUFFER, buffers[i]);
        glRenderbufferStorage(GL_RENDERBUFFER, i ? GL_DEPTH_COMPONENT24 : format, w, h);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, i ? GL_DEPTH_ATTACHMENT : GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                  buffers[i]);
    }
    glViewport(0, 0, w, h);
}

Target::~Target() {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteRenderbuffers(2, buffers);
    glDeleteFramebuffers(1, &framebuffer);
}

std::vector<float> Target::read(GLenum what) const {
    std::vector<float> values(std::size_t(width) * height * (what == GL_RGBA ? 4 : 1));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    glReadPixels(0, 0, width, height, what, GL_FLOAT, values.data());
    return values;
}

} // namespace testgl
