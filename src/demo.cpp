#include "demo.h"

#include "frame.h"
#include "gl.h"
#include "music.h"
#include "player.h"
#include "transport.h"

#include <SFML/System/Clock.hpp>
#include <SFML/System/Err.hpp>
#include <SFML/Window.hpp>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <streambuf>
#include <string>
#include <thread>

namespace demo {

namespace {

// SFML aborts the process with a terse message when it cannot reach the X
// server, so ask first and say what to do instead. The probe's connection is
// kept at least until the window exists: an X server whose last client
// disconnects resets itself and refuses the next connection for a moment (a
// bare Xvfb does exactly that), which would make SFML abort after all.
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

// SFML takes a display without OpenGL for one with it and crashes making
// its first window; some remote and virtual X servers have no GLX. Says so
// instead: true when it had to.
bool reportedNoGlx(Display* display) {
    int errorBase = 0, eventBase = 0;
    if (glXQueryExtension(display, &errorBase, &eventBase)) return false;
    std::fprintf(stderr,
                 "demo: the X server on DISPLAY \"%s\" offers no OpenGL (it lacks the GLX extension); the demo "
                 "needs one that does. Or render it to a video file, which needs no X server: "
                 "./capture --headless --size 1280x720 --fps 30 demo.mp4\n",
                 DisplayString(display));
    return true;
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

// The transport's way to the soundtrack, whose words for no moment heard
// are the transport's.
static_assert(Music::starting == MusicControl::starting && Music::silent == MusicControl::silent);
class Soundtrack final : public MusicControl {
public:
    explicit Soundtrack(Music& music) : music(music) {}
    void seek(double seconds) override { music.seek(seconds); }
    void setPaused(bool paused) override { music.setPaused(paused); }
    double heard() override { return music.heard(); }

private:
    Music& music;
};

// The rehearsal keys of one frame, gathered while SFML hands out events and
// acted on afterwards, so that what they cost is the demo's own.
struct Keys {
    sf::Keyboard::Key pressed[16];
    int count = 0;
    void add(sf::Keyboard::Key key) {
        if (count < 16) pressed[count++] = key;
    }
};

// Says where the rehearsal stands, in the window's title and on standard
// output. The title goes through a connection of our own: SFML's setTitle
// makes strings, and this runs in the frame loop.
class PositionReport {
public:
    PositionReport(Display* display, ::Window window) : display(display), window(window) {
        utf8 = XInternAtom(display, "UTF8_STRING", False);
        netWmName = XInternAtom(display, "_NET_WM_NAME", False);
    }
    void show(float t, bool paused) {
        describePosition(line, sizeof line, t, paused);
        std::snprintf(title, sizeof title, "OpenGL: %s", line);
        XStoreName(display, window, title);
        XChangeProperty(display, window, netWmName, utf8, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(title), int(std::strlen(title)));
        XFlush(display);
        std::printf("%s\n", line);
    }

private:
    Display* display;
    ::Window window;
    Atom utf8 = 0, netWmName = 0;
    char line[96] = {}, title[128] = {};
};

// The window manager speaks to a window through the connection that made
// it: for a window of the demo's own making, the probe's, which SFML does
// not read. A request to close ends the demo as SFML's Closed event does;
// a ping (does the program still answer?) is answered.
class WindowManagerMessages {
public:
    WindowManagerMessages(Display* display, ::Window window)
        : display(display), window(window), protocols(XInternAtom(display, "WM_PROTOCOLS", False)),
          close(XInternAtom(display, "WM_DELETE_WINDOW", False)), ping(XInternAtom(display, "_NET_WM_PING", False)) {}
    bool closeAsked() {
        XEvent event;
        while (XCheckTypedWindowEvent(display, window, ClientMessage, &event)) {
            if (event.xclient.message_type != protocols) continue;
            if (Atom(event.xclient.data.l[0]) == close) return true;
            if (Atom(event.xclient.data.l[0]) != ping) continue;
            event.xclient.window = DefaultRootWindow(display);
            XSendEvent(display, event.xclient.window, False, SubstructureNotifyMask | SubstructureRedirectMask, &event);
        }
        return false;
    }

private:
    Display* display;
    ::Window window;
    Atom protocols, close, ping;
};

// Acts on the rehearsal keys, saying where each leaves the picture; true
// when any of them moved it.
bool act(const Keys& keys, Transport& transport, PositionReport& report, double now) {
    bool moved = false;
    for (int i = 0; i < keys.count; ++i) {
        const sf::Keyboard::Key key = keys.pressed[i];
        if (key == sf::Keyboard::Space) transport.togglePause(now);
        else if (key == sf::Keyboard::Left) transport.step(-1, now);
        else if (key == sf::Keyboard::Right) transport.step(1, now);
        else if (key == sf::Keyboard::Home) transport.home(now);
        else continue;
        report.show(transport.paused() ? transport.shown() : transport.time(now), transport.paused());
        moved = true;
    }
    return moved;
}

// Ctrl-C and SIGTERM end a benchmark the way Escape does, so that its table
// is printed; the exit status still tells which signal it was.
volatile std::sig_atomic_t stopSignal = 0;
void onStopSignal(int signal) { stopSignal = signal; }

const std::chrono::steady_clock::time_point processStart = std::chrono::steady_clock::now();

double secondsSinceStart() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - processStart).count();
}

// A window of the demo's own making, for SFML to draw in, centred from the
// start. SFML 2.5 maps its windows where it puts them (the height centred
// on the screen's width: partly off a wide screen), and a move once mapped
// is only a request to the window manager, which Weston's refuses: there an
// X11 window stays where it was first mapped. 0 if the display offers no
// visual for the context, which SFML then reports in its own words.
::Window makeCentredWindow(Display* display, unsigned width, unsigned height, const sf::VideoMode& desktop) {
    int wanted[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8,
                    GLX_DEPTH_SIZE, 24, GLX_STENCIL_SIZE, 8, None};
    XVisualInfo* visual = glXChooseVisual(display, DefaultScreen(display), wanted);
    if (visual == nullptr) return 0;
    const ::Window root = RootWindow(display, visual->screen);
    XSetWindowAttributes attributes{};
    attributes.colormap = XCreateColormap(display, root, visual->visual, AllocNone);
    XSizeHints hints{};
    hints.flags = USPosition | PPosition | PMinSize | PMaxSize; // placed by the program, of a fixed size
    hints.x = (int(desktop.width) - int(width)) / 2, hints.y = (int(desktop.height) - int(height)) / 2;
    hints.min_width = hints.max_width = int(width), hints.min_height = hints.max_height = int(height);
    const ::Window window = XCreateWindow(display, root, hints.x, hints.y, width, height, 0, visual->depth,
                                          InputOutput, visual->visual, CWColormap | CWBorderPixel, &attributes);
    XFree(visual);
    XSetWMNormalHints(display, window, &hints);
    XStoreName(display, window, "OpenGL");
    // SFML takes it over through a connection of its own.
    XSync(display, False);
    return window;
}

// The window: full screen at the desktop's mode (or a fixed-size window),
// asking for a 3.0 context with the default attributes, which keeps the
// fixed-function matrix stack the projection is made with. Vertical sync
// paces the loop, except when a benchmark wants every frame it can get.
void openWindow(sf::Window& window, Display* display, const PlayerOptions& options, const sf::VideoMode& desktop) {
    const sf::ContextSettings settings(24, 8, 0, 3, 0, sf::ContextSettings::Default, false);
    VsyncNoticeFilter filter(sf::err().rdbuf());
    std::streambuf* const previous = sf::err().rdbuf(&filter);
    if (!options.windowed)
        window.create(desktop, "OpenGL", sf::Style::Fullscreen, settings);
    else if (const ::Window own = makeCentredWindow(display, options.width, options.height, desktop))
        window.create(own, settings);
    else
        window.create(sf::VideoMode(options.width, options.height), "OpenGL", sf::Style::Titlebar | sf::Style::Close,
                      settings);
    window.setVerticalSyncEnabled(!options.benchmark);
    sf::err().rdbuf(previous);
    window.setMouseCursorVisible(false);
    if (options.rehearse) window.setKeyRepeatEnabled(false); // a held arrow steps once
}

// Drains the window's events: true when the demo is to end (closed, or
// Escape in a window; full screen, Escape is polled instead). Gathers the
// rehearsal keys, and notes when the screen may have lost the picture.
bool drainEvents(sf::Window& window, const PlayerOptions& options, Keys& keys, bool& drawn) {
    sf::Event event;
    while (window.pollEvent(event)) {
        if (event.type == sf::Event::Closed) return true;
        if (event.type == sf::Event::KeyPressed && event.key.code == sf::Keyboard::Escape) {
            if (options.windowed) return true;
        } else if (event.type == sf::Event::KeyPressed && options.rehearse) {
            keys.add(event.key.code);
        } else if (event.type == sf::Event::GainedFocus) {
            drawn = false;
        }
    }
    return false;
}

// A benchmark's frame times, in storage made before the frame loop: room
// for every frame of a long run (about an hour at 60 fps).
class Stopwatch {
public:
    explicit Stopwatch(bool on) : times(on ? std::size_t(1) << 18 : 0), on(on) {}
    void frameDrawn(std::uint32_t bar) {
        if (!on) return;
        const auto now = std::chrono::steady_clock::now();
        if (last.time_since_epoch().count() != 0)
            times.record(shotOf(bar), std::chrono::duration<double, std::milli>(now - last).count());
        if (first < 0.0) first = std::chrono::duration<double, std::milli>(now - processStart).count();
        last = now;
    }
    // A pause is no frame's time.
    void idle() { last = {}; }
    // What the frames were drawn at, for the report's first line.
    void setUp(const World& world, const FrameTargets& targets) {
        std::snprintf(setup, sizeof setup, "scene and bloom images %ux%u, shadow map %ux%u\n", targets.image.width,
                      targets.image.height, world.shadowTarget.width, world.shadowTarget.height);
    }
    void print() const {
        if (!on) return;
        std::printf("%s%s", setup, times.report(first).c_str());
        std::fflush(stdout);
    }

private:
    FrameTimes times;
    bool on;
    std::chrono::steady_clock::time_point last{};
    double first = -1.0; // ms from the process's start to the first frame
    char setup[96] = {};
};

} // namespace

int run(const PlayerOptions& options, Observer* observer) {
    // A rehearsal's lines go out as they are made, from a buffer of its own:
    // set before anything is written, and never made in the frame loop.
    static char lines[BUFSIZ];
    if (options.rehearse) std::setvbuf(stdout, lines, _IOLBF, sizeof lines);
    if (options.benchmark) {
        std::signal(SIGINT, onStopSignal);
        std::signal(SIGTERM, onStopSignal);
    }
    // Held until the end: its connection also sets the rehearsal's title.
    const DisplayProbe probe;
    if (probe.display == nullptr) {
        reportNoDisplay();
        return 1;
    }
    if (reportedNoGlx(probe.display)) return 1;
    const sf::VideoMode desktop = sf::VideoMode::getDesktopMode();
    const std::string tooLarge = windowTooLarge(options, desktop.width, desktop.height);
    if (!tooLarge.empty()) {
        std::fprintf(stderr, "demo: %s\n%s", tooLarge.c_str(), usage(options.program).c_str());
        return 2;
    }

    sf::Window window;
    openWindow(window, probe.display, options, desktop);

    // The GL entry points, and a context able to run the programs.
    if (!prepareContext("demo")) return 1;
    if (observer) observer->contextReady();

    // The letterbox viewport, fixed for the whole run.
    const sf::Vector2u size = window.getSize();
    const Viewport view = letterbox(size.x, size.y);
    glViewport(GLint(view.x), GLint(view.y), GLsizei(view.width), GLsizei(view.height));

    // The eight programs, the meshes, the model with its instances and the
    // shadow map; a program the driver refused ends the demo before the
    // music starts.
    World world(shadowMapSizeFor(options.scale));
    if (const std::string fault = checkWorld(world); !fault.empty()) {
        std::fprintf(stderr, "demo: %s\n", fault.c_str());
        return 1;
    }
    // The camera projection, the GL state every pass relies on.
    const glm::mat4 projection = cameraProjection();
    setGlobalState();
    // The soundtrack starts now; the clock starts a moment later. A run that
    // restarts its clock starts the music where the picture starts, and
    // cuts it at the end of the piece when it loops.
    std::optional<Music> music;
    if (!options.mute) {
        if (options.restarts()) music.emplace(options.from, options.loop ? double(pieceLength) : 0.0);
        else music.emplace();
    }
    // The frame's off-screen images and the bindings that read them, made
    // after the music has started.
    FrameTargets targets(world, view, 0, options.scale);
    if (const std::string fault = checkTargets(targets); !fault.empty()) {
        std::fprintf(stderr, "demo: %s\n", fault.c_str());
        return 1;
    }
    Stopwatch stopwatch(options.benchmark);
    stopwatch.setUp(world, targets);
    std::optional<Soundtrack> soundtrack;
    if (music) soundtrack.emplace(*music);
    std::optional<PositionReport> report;
    if (options.rehearse) report.emplace(probe.display, window.getSystemHandle());
    WindowManagerMessages messages(probe.display, window.getSystemHandle());

    // Time zero of the choreography.
    if (observer) observer->started();
    sf::Clock clock;
    std::optional<Transport> transport;
    if (options.restarts())
        transport.emplace(soundtrack ? &*soundtrack : nullptr, options.from, options.loop, secondsSinceStart());
    bool drawn = false; // the paused picture is on the screen
    for (;;) {
        Keys keys;
        if (observer) observer->handlingEvents(true);
        const bool quit = drainEvents(window, options, keys, drawn) || messages.closeAsked();
        if (observer) observer->handlingEvents(false);
        if (quit || stopSignal) break;
        if (!options.windowed && sf::Keyboard::isKeyPressed(sf::Keyboard::Escape)) break;
        if (report && act(keys, *transport, *report, secondsSinceStart())) drawn = false;
        // Paused, the picture stands: it is drawn once, then the loop only
        // looks at the keys, often enough to answer within a frame.
        if (transport && transport->paused() && drawn) {
            stopwatch.idle();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        const float t = transport ? transport->time(secondsSinceStart()) : clock.getElapsedTime().asSeconds();
        // The music's heard time, for a test build that watches how far the
        // picture is from it.
        const double heard = music && observer ? music->heard() : -1.0;
        const Pose pose = choreograph(t);
        if (pose.ended) break; // a looping transport never gets here
        renderFrame(world, targets, projection, pose, t);
        window.display();
        drawn = true;
        stopwatch.frameDrawn(pose.bar);
        if (observer) observer->frameDrawn(t, heard);
    }
    if (observer) observer->stopped();
    stopwatch.print();

    // The window leaves the screen at once, but stays open (with its context
    // current) until everything else is destroyed: closing it first would
    // destroy the context and turn every GL delete of the tear-down into a
    // no-op. The window itself goes last, closing as it is destroyed.
    window.setVisible(false);
    return stopSignal ? 128 + stopSignal : 0;
}

int run(Observer* observer) { return run(PlayerOptions{}, observer); }

} // namespace demo
