#include "demo.h"

#include "frame.h"
#include "gl.h"
#include "music.h"

#include <SFML/System/Clock.hpp>
#include <SFML/System/Err.hpp>
#include <SFML/Window.hpp>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <streambuf>
#include <string>

namespace demo {

namespace {

// SFML aborts the process with a terse message when it cannot reach the X
// server, so ask first and say what to do instead. The probe's connection is
// kept until the window exists: an X server whose last client disconnects
// resets itself and refuses the next connection for a moment (a bare Xvfb
// does exactly that), which would make SFML abort after all.
struct DisplayProbe {
    Display* display = XOpenDisplay(nullptr);
    ~DisplayProbe() {
        if (display != nullptr) XCloseDisplay(display);
    }
    DisplayProbe() = default;
    DisplayProbe(const DisplayProbe&) = delete;
    DisplayProbe& operator=(const DisplayProbe&) = delete;
};

void reportNoDisplay() {
    const char* name = std::getenv("DISPLAY");
    std::fprintf(stderr,
                 "demo: no display found (DISPLAY is %s%s%s). The demo needs an X11 desktop; "
                 "on a machine without one, run it under a virtual X server: "
                 "xvfb-run -s '-screen 0 1280x720x24' ./demo\n"
                 "Or render it to a video file instead: "
                 "xvfb-run ./capture --size 1280x720 --fps 30 demo.mp4\n",
                 name ? "\"" : "", name ? name : "not set", name ? "\"" : "");
}

// SFML writes its complaints to sf::err() a line at a time. On software GLX
// (Xvfb, remote X) it reports that it cannot sync to the display, even while
// the window is being made; the loop then just runs free, which is fine, so
// that one notice is dropped. Every other line reaches standard error.
class VsyncNoticeFilter : public std::streambuf {
public:
    explicit VsyncNoticeFilter(std::streambuf* target) : target(target) {}
    ~VsyncNoticeFilter() override { flushLine(); }

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        line += traits_type::to_char_type(c);
        if (c == '\n') flushLine();
        return c;
    }

private:
    void flushLine() {
        if (line.find("vertical sync") == std::string::npos && target != nullptr)
            target->sputn(line.data(), std::streamsize(line.size()));
        line.clear();
    }
    std::streambuf* target;
    std::string line;
};

} // namespace

int run(Observer* observer) {
    auto probe = std::make_unique<DisplayProbe>();
    if (probe->display == nullptr) {
        reportNoDisplay();
        return 1;
    }

    // The window: full screen at the desktop's mode, asking for a 3.0
    // context with the default attributes, which keeps the fixed-function
    // matrix stack the projection is made with. Vertical sync paces the loop.
    const sf::ContextSettings settings(24, 8, 0, 3, 0, sf::ContextSettings::Default, false);
    sf::Window window;
    {
        VsyncNoticeFilter filter(sf::err().rdbuf());
        std::streambuf* const previous = sf::err().rdbuf(&filter);
        window.create(sf::VideoMode::getDesktopMode(), "OpenGL", sf::Style::Fullscreen, settings);
        window.setVerticalSyncEnabled(true);
        sf::err().rdbuf(previous);
    }
    probe.reset();
    window.setMouseCursorVisible(false);

    // The GL entry points, and a context able to run the programs.
    if (!prepareContext("demo")) return 1;
    if (observer) observer->contextReady();

    // The letterbox viewport, fixed for the whole run.
    const sf::Vector2u size = window.getSize();
    const Viewport view = letterbox(size.x, size.y);
    glViewport(GLint(view.x), GLint(view.y), GLsizei(view.width), GLsizei(view.height));

    // The eight programs, the meshes, the model with its instances and the
    // shadow map.
    World world;
    // The camera projection, the GL state every pass relies on.
    const glm::mat4 projection = cameraProjection();
    setGlobalState();
    // The soundtrack starts now; the clock starts a moment later.
    Music music;
    // The frame's off-screen images and the bindings that read them, made
    // after the music has started.
    FrameTargets targets(world, view);

    // Time zero of the choreography.
    if (observer) observer->started();
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
        const Pose pose = choreograph(t);
        if (pose.ended) break;
        renderFrame(world, targets, projection, pose, t);
        window.display();
        if (observer) observer->frameDrawn(t);
    }
    if (observer) observer->stopped();

    // The window leaves the screen at once, but stays open (with its context
    // current) until everything else is destroyed: closing it first would
    // destroy the context and turn every GL delete of the tear-down into a
    // no-op. The window itself goes last, closing as it is destroyed.
    window.setVisible(false);
    return 0;
}

} // namespace demo
