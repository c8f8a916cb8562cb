#include "demo.h"

#include "frame.h"
#include "gl.h"
#include "music.h"
#include "player.h"

#include <SFML/System/Clock.hpp>
#include <SFML/System/Err.hpp>
#include <SFML/Window.hpp>
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
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

// Where the picture is in the piece, and the music with it, for a run whose
// clock restarts (--from, --loop, --rehearse). A seek restarts both; the
// picture then follows the music as the sound server plays it.
class Transport {
public:
    Transport(std::optional<Music>& music, double from) : music(music) { seek(from); }

    double now() const { return std::chrono::duration<double>(Clock::now() - origin).count(); }
    // The picture's time, given the music's heard time read just before.
    float time(double heard) { return float(clock.time(now(), heard)); }
    float time() { return time(music ? music->heard() : -1.0); }

    void seek(double target) {
        const bool paused = clock.paused();
        if (music) music->seek(target);
        clock.restart(target, now(), music.has_value());
        if (paused) clock.pause(target);
    }
    void togglePause() {
        const float t = time();
        if (music) music->setPaused(!clock.paused());
        if (clock.paused()) clock.restart(t, now(), music.has_value());
        else clock.pause(t);
    }
    // Left and Right step to the start of the bar before or after the
    // current one, within bars 0 to 39.
    void step(int bars) {
        const int bar = int(barIndex(time())) + bars;
        seek(2.4 * std::clamp(bar, 0, int(lastBar)));
    }

private:
    using Clock = std::chrono::steady_clock;
    std::optional<Music>& music;
    PictureClock clock;
    const Clock::time_point origin = Clock::now();
};

// What the keys ask of the frame loop: the rehearsal keys act on the
// transport; Escape read from the window's events (when windowed) ends it.
bool handleKey(sf::Keyboard::Key key, const PlayerOptions& options, Transport* transport) {
    if (key == sf::Keyboard::Escape) return options.windowed;
    if (!options.rehearse || !transport) return false;
    if (key == sf::Keyboard::Space) transport->togglePause();
    else if (key == sf::Keyboard::Left) transport->step(-1);
    else if (key == sf::Keyboard::Right) transport->step(1);
    else if (key == sf::Keyboard::Home) transport->seek(0.0);
    return false;
}

const std::chrono::steady_clock::time_point processStart = std::chrono::steady_clock::now();

} // namespace

int run(const PlayerOptions& options, Observer* observer) {
    auto probe = std::make_unique<DisplayProbe>();
    if (probe->display == nullptr) {
        reportNoDisplay();
        return 1;
    }
    const sf::VideoMode desktop = sf::VideoMode::getDesktopMode();
    if (options.windowed && (options.width > desktop.width || options.height > desktop.height)) {
        std::fprintf(stderr, "demo: --window %ux%u is larger than the screen, %ux%u\n", options.width,
                     options.height, desktop.width, desktop.height);
        return 2;
    }

    // The window: full screen at the desktop's mode (or a fixed-size window),
    // asking for a 3.0 context with the default attributes, which keeps the
    // fixed-function matrix stack the projection is made with. Vertical sync
    // paces the loop, except when a benchmark wants every frame it can get.
    const sf::ContextSettings settings(24, 8, 0, 3, 0, sf::ContextSettings::Default, false);
    sf::Window window;
    {
        VsyncNoticeFilter filter(sf::err().rdbuf());
        std::streambuf* const previous = sf::err().rdbuf(&filter);
        if (options.windowed)
            window.create(sf::VideoMode(options.width, options.height), "OpenGL",
                          sf::Style::Titlebar | sf::Style::Close, settings);
        else
            window.create(desktop, "OpenGL", sf::Style::Fullscreen, settings);
        window.setVerticalSyncEnabled(!options.benchmark);
        sf::err().rdbuf(previous);
    }
    probe.reset();
    window.setMouseCursorVisible(false);
    if (options.rehearse) window.setKeyRepeatEnabled(false); // a held arrow steps once

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
    // The soundtrack starts now; the clock starts a moment later. A run that
    // restarts its clock starts the music where the picture starts, and
    // cuts it at the end of the piece when it loops.
    std::optional<Music> music;
    if (!options.mute) {
        if (options.restarts()) music.emplace(options.from, options.loop ? 96.0 : 0.0);
        else music.emplace();
    }
    // The frame's off-screen images and the bindings that read them, made
    // after the music has started.
    FrameTargets targets(world, view, 0, options.scale);
    // Room for every frame of a long benchmark (about an hour at 60 fps).
    FrameTimes times(options.benchmark ? std::size_t(1) << 18 : 0);

    // Time zero of the choreography.
    if (observer) observer->started();
    sf::Clock clock;
    std::optional<Transport> transport;
    if (options.restarts()) transport.emplace(music, options.from);
    std::chrono::steady_clock::time_point lastFrame{}, firstFrame{};
    for (;;) {
        sf::Event event;
        bool quit = false;
        if (observer) observer->handlingEvents(true);
        while (!quit && window.pollEvent(event)) {
            if (event.type == sf::Event::Closed) quit = true;
            else if (event.type == sf::Event::KeyPressed)
                quit = handleKey(event.key.code, options, transport ? &*transport : nullptr);
        }
        if (observer) observer->handlingEvents(false);
        if (quit) break;
        if (!options.windowed && sf::Keyboard::isKeyPressed(sf::Keyboard::Escape)) break;
        // The music's heard time is read only where the picture follows it
        // or a test build watches how far apart the two are.
        double heard = music && (transport || observer) ? music->heard() : -1.0;
        float t = transport ? transport->time(heard) : clock.getElapsedTime().asSeconds();
        Pose pose = choreograph(t);
        if (pose.ended) {
            if (!options.loop) break;
            transport->seek(0.0);
            heard = music ? music->heard() : -1.0;
            t = transport->time(heard);
            pose = choreograph(t);
        }
        renderFrame(world, targets, projection, pose, t);
        window.display();
        if (options.benchmark) {
            const auto now = std::chrono::steady_clock::now();
            if (lastFrame.time_since_epoch().count() != 0)
                times.record(shotOf(pose.bar), std::chrono::duration<double, std::milli>(now - lastFrame).count());
            else
                firstFrame = now;
            lastFrame = now;
        }
        if (observer) observer->frameDrawn(t, heard);
    }
    if (observer) observer->stopped();
    if (options.benchmark) {
        std::printf("start-up to first frame: %.0f ms\n%s",
                    std::chrono::duration<double, std::milli>(firstFrame - processStart).count(),
                    times.table().c_str());
        std::fflush(stdout);
    }

    // The window leaves the screen at once, but stays open (with its context
    // current) until everything else is destroyed: closing it first would
    // destroy the context and turn every GL delete of the tear-down into a
    // no-op. The window itself goes last, closing as it is destroyed.
    window.setVisible(false);
    return 0;
}

int run(Observer* observer) { return run(PlayerOptions{}, observer); }

} // namespace demo
