#include "demo.h"

#include "gl.h"
#include "part.h"

#include <GL/glu.h>
#include <SFML/System/Clock.hpp>
#include <SFML/Window.hpp>
#include <X11/Xlib.h>

#include <glm/mat4x4.hpp>

#include <cstdio>
#include <cstdlib>

namespace demo {

Viewport letterbox(std::uint32_t w, std::uint32_t h) {
    std::uint32_t vw = w;
    std::uint32_t vh = (9 * w) >> 4;
    if (vh > h) {
        vw = (h << 4) / 9;
        vh = h;
    }
    return {(w - vw) >> 1, (h - vh) >> 1, vw, vh};
}

std::uint32_t barIndex(float t) { return std::uint32_t(t / 2.4f); }

bool contextVersionSufficient(int major, int minor) {
    return major > 3 || (major == 3 && minor >= 3);
}

namespace {

// SFML aborts the process with a terse message when it cannot reach the X
// server, so ask first and say what to do instead.
bool displayReachable() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    XCloseDisplay(display);
    return true;
}

void reportNoDisplay() {
    const char* name = std::getenv("DISPLAY");
    std::fprintf(stderr,
                 "demo: no display found (DISPLAY is %s%s%s). The demo needs an X11 desktop; "
                 "on a machine without one, run it under a virtual X server: "
                 "xvfb-run -s '-screen 0 1280x720x24' ./demo\n",
                 name ? "\"" : "", name ? name : "not set", name ? "\"" : "");
}

// SFML may quietly hand out an older context than the one asked for, so the
// version is read back from the context itself.
bool contextUsable() {
    GLint major = 0, minor = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    glGetIntegerv(GL_MINOR_VERSION, &minor);
    if (glGetError() != GL_NO_ERROR) {
        // Contexts before 3.0 know neither query.
        major = 0;
        minor = 0;
    }
    if (contextVersionSufficient(major, minor)) return true;
    const GLubyte* version = glGetString(GL_VERSION);
    const GLubyte* renderer = glGetString(GL_RENDERER);
    std::fprintf(stderr,
                 "demo: OpenGL 3.3 or later is required (GLSL 3.30 with geometry shaders), "
                 "but this context offers OpenGL %s on %s\n",
                 version ? reinterpret_cast<const char*>(version) : "(unknown)",
                 renderer ? reinterpret_cast<const char*>(renderer) : "(unknown renderer)");
    return false;
}

} // namespace

int run() {
    if (!displayReachable()) {
        reportNoDisplay();
        return 1;
    }

    // 1-2. The window: full screen at the desktop's mode, vsync paces the loop.
    const sf::ContextSettings settings(24, 8, 0, 3, 0, sf::ContextSettings::Default, false);
    sf::Window window(sf::VideoMode::getDesktopMode(), "OpenGL", sf::Style::Fullscreen, settings);
    window.setVerticalSyncEnabled(true);
    window.setMouseCursorVisible(false);

    // 3. Entry points.
    glewExperimental = GL_TRUE;
    glewInit();
    if (!contextUsable()) return 1;
    // glNamedBufferData is a null pointer without GL 4.5 or the extension.
    Tovik::Part::directStateAccess = GLEW_VERSION_4_5 || GLEW_ARB_direct_state_access;

    // 4. The letterbox viewport, fixed for the whole run.
    const sf::Vector2u size = window.getSize();
    const Viewport view = letterbox(size.x, size.y);
    glViewport(GLint(view.x), GLint(view.y), GLsizei(view.width), GLsizei(view.height));

    // 9. The camera projection: 50° vertical field of view, 16:9. The aspect
    // and near plane are single-precision constants widened to double.
    glm::mat4 projection(1.0f);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(50.0, double(16.0f / 9.0f), double(0.1f), 1000.0);
    glGetFloatv(GL_PROJECTION_MATRIX, &projection[0][0]);

    // 10. Global GL state.
    glEnable(GL_TEXTURE_2D);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearDepthf(1.0f);
    glDepthRangef(0.0f, 1.0f);
    glDepthFunc(GL_LESS);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);

    // 11.
    glm::mat4 camera(1.0f);
    (void)projection;
    (void)camera;

    // 15. Time zero of the choreography.
    sf::Clock clock;
    for (;;) {
        sf::Event event;
        bool closed = false;
        while (window.pollEvent(event)) {
            if (event.type == sf::Event::Closed) {
                closed = true;
                break;
            }
        }
        if (closed) break;
        if (sf::Keyboard::isKeyPressed(sf::Keyboard::Escape)) break;
        const float t = clock.getElapsedTime().asSeconds();
        if (barIndex(t) > lastBar) break;

        // Only the letterbox rectangle is written; the bars stay as they are.
        glEnable(GL_SCISSOR_TEST);
        glScissor(GLint(view.x), GLint(view.y), GLsizei(view.width), GLsizei(view.height));
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);
        window.display();
    }

    window.close();
    return 0;
}

} // namespace demo
