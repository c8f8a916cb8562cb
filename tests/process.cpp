#include "process.h"

// gtest before Xlib, whose macros (None, Bool) it would trip over.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <signal.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testproc {

namespace {
void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string slurp(const std::string& path) {
    std::ostringstream s;
    s << std::ifstream(path).rdbuf();
    return s.str();
}

} // namespace

Result shell(const std::string& command) {
    Result r;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) r.output.append(buffer, n);
        const int rc = pclose(pipe);
        r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }
    return r;
}

std::string scratchDir() {
    char dir[] = "/tmp/demo-test-XXXXXX";
    return mkdtemp(dir);
}

Process::Process(const std::string& binary, const std::vector<std::string>& args, const std::string& workdir,
                 const char* display, const std::vector<std::string>& environment) {
    char outName[] = "/tmp/demo-out-XXXXXX", errName[] = "/tmp/demo-err-XXXXXX";
    const int outFd = mkstemp(outName), errFd = mkstemp(errName);
    outPath = outName, errPath = errName;
    std::vector<char*> argv{const_cast<char*>(binary.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid = fork();
    if (pid == 0) {
        dup2(outFd, 1), dup2(errFd, 2), dup2(open("/dev/null", O_RDONLY), 0);
        if (chdir(workdir.c_str()) != 0) _exit(126);
        display ? setenv("DISPLAY", display, 1) : unsetenv("DISPLAY");
        for (const std::string& entry : environment) putenv(const_cast<char*>(entry.c_str()));
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    close(outFd), close(errFd);
}

// Asked to end first, so that a server of ours cleans up its socket.
Process::~Process() {
    if (running()) kill(pid, SIGTERM), wait(2);
    unlink(outPath.c_str()), unlink(errPath.c_str());
}

bool Process::running() {
    int raw = 0;
    if (pid <= 0 || status != -1) return false;
    if (waitpid(pid, &raw, WNOHANG) != pid) return true;
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return false;
}

int Process::wait(double timeoutSeconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    while (running()) {
        if (std::chrono::steady_clock::now() > end) {
            kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
            status = -2;
            return -1;
        }
        sleepMs(20);
    }
    return status;
}

double Process::cpuSeconds() const {
    // Fields 14 and 15 of /proc/PID/stat, after the parenthesised name.
    const std::string stat = slurp("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string skip;
    double user = 0, system = 0;
    for (int i = 3; i < 14; ++i) fields >> skip;
    fields >> user >> system;
    return (user + system) / double(sysconf(_SC_CLK_TCK));
}

std::string Process::out() const { return slurp(outPath); }
std::string Process::err() const { return slurp(errPath); }

// A window that goes away under a test must fail that test, not end the
// whole test program the way Xlib's default error handler does.
Screen::Screen(const char* display_) : display(XOpenDisplay(display_)), name(display_ ? display_ : std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "") {
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
}
Screen::~Screen() {
    if (display) XCloseDisplay(display);
}

Window Screen::waitForWindow(double timeoutSeconds) {
    return std::strtoul(shell("DISPLAY=" + name + " timeout " + std::to_string(timeoutSeconds) +
                              " xdotool search --sync --name '^OpenGL$' | head -n 1").output.c_str(), nullptr, 10);
}

void Screen::geometry(Window window, int& x, int& y, int& width, int& height) {
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, window, &attributes);
    Window child;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
    width = attributes.width, height = attributes.height;
}

std::vector<unsigned char> Screen::grab(int& width, int& height, Window window) {
    // What of the window (or the screen) lies on the screen, read from the
    // root window: a GL window's own visual may not be readable. A rootless
    // server (Xwayland) has nothing to read there; its windows have.
    int x = 0, y = 0;
    geometry(window ? window : DefaultRootWindow(display), x, y, width, height);
    width = std::min(width, DisplayWidth(display, 0) - x), height = std::min(height, DisplayHeight(display, 0) - y);
    XImage* image = width > 0 && height > 0 ? XGetImage(display, DefaultRootWindow(display), x, y, unsigned(width),
                                                        unsigned(height), AllPlanes, ZPixmap) : nullptr;
    if (!image && window) image = XGetImage(display, window, 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    std::vector<unsigned char> rgb;
    for (int row = 0; image && row < height; ++row)
        for (int column = 0; column < width; ++column) {
            const unsigned long pixel = XGetPixel(image, column, row);
            rgb.insert(rgb.end(), {(unsigned char)(pixel >> 16), (unsigned char)(pixel >> 8), (unsigned char)pixel});
        }
    if (image) XDestroyImage(image);
    return rgb;
}

void Screen::sendClose(Window window, const char* protocol) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, protocol, False));
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}

// The answer comes back to the root window, where a window manager looks.
bool Screen::answersPing(Window window) {
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    sendClose(window, "_NET_WM_PING");
    XEvent event{};
    for (int i = 0; i < 100 && event.xclient.data.l[0] != long(XInternAtom(display, "_NET_WM_PING", False)); ++i)
        if (!XCheckTypedWindowEvent(display, DefaultRootWindow(display), ClientMessage, &event)) sleepMs(20);
    XSelectInput(display, DefaultRootWindow(display), NoEventMask);
    return event.xclient.data.l[0] == long(XInternAtom(display, "_NET_WM_PING", False));
}

// No window at all: focused on the root, keys would go to the window under
// the pointer, which may be the demo's.
void Screen::focusElsewhere() { focus(None); }

void Screen::focus(Window window) {
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    XSync(display, False);
    sleepMs(200);
}

bool Screen::pointerHiddenOver(Window window) {
    int x = 0, y = 0, width = 0, height = 0;
    geometry(window, x, y, width, height);
    XWarpPointer(display, None, window, 0, 0, 0, 0, width / 2, height / 2);
    XSync(display, False);
    XFixesCursorImage* cursor = XFixesGetCursorImage(display);
    bool hidden = cursor != nullptr;
    for (int i = 0; cursor && i < cursor->width * cursor->height; ++i) hidden = hidden && (cursor->pixels[i] >> 24) == 0;
    if (cursor) XFree(cursor);
    return hidden;
}

std::vector<unsigned> framesPerBarOfCleanRun(const std::string& report) {
    for (const char* line : {"gl errors: 0\n", "frame loop allocations: 0 ", "frame loop gl objects: 0\n",
                             "gl objects left after tear-down: 0\n", "gl deletes of dead names: 0\n",
                             "gl deletes without a context: 0\n"})
        EXPECT_NE(report.find(line), std::string::npos) << line << report;
    const std::size_t at = report.find("frames per bar:");
    std::istringstream counts(at == std::string::npos ? "" : report.substr(at + 15));
    std::vector<unsigned> bars;
    for (unsigned n; counts >> n;) bars.push_back(n);
    return bars;
}

void key(const char* action, const char* name) {
    if (std::system((std::string("xdotool ") + action + " " + name).c_str()) != 0) std::fprintf(stderr, "xdotool failed\n");
}

} // namespace testproc
