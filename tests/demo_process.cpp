#include "demo_process.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <signal.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testdemo {

namespace {
std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

Window findByName(Display* display, Window window, const char* name) {
    char* title = nullptr;
    if (XFetchName(display, window, &title) && title != nullptr) {
        const bool match = std::strcmp(title, name) == 0;
        XFree(title);
        if (match) return window;
    }
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count && found == 0; ++i)
            found = findByName(display, children[i], name);
        if (children) XFree(children);
    }
    return found;
}
} // namespace

DemoProcess::DemoProcess(const std::string& binary, const std::string& workdir,
                         const char* display, const std::vector<std::string>& environment) {
    char outTemplate[] = "/tmp/demo-out-XXXXXX";
    char errTemplate[] = "/tmp/demo-err-XXXXXX";
    const int outFd = mkstemp(outTemplate);
    const int errFd = mkstemp(errTemplate);
    outPath = outTemplate;
    errPath = errTemplate;
    pid = fork();
    if (pid == 0) {
        dup2(outFd, 1);
        dup2(errFd, 2);
        const int nullFd = open("/dev/null", O_RDONLY);
        dup2(nullFd, 0);
        if (chdir(workdir.c_str()) != 0) _exit(126);
        if (display) setenv("DISPLAY", display, 1);
        else unsetenv("DISPLAY");
        for (const std::string& entry : environment) putenv(const_cast<char*>(entry.c_str()));
        execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(outFd);
    close(errFd);
}

DemoProcess::~DemoProcess() {
    if (running()) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    unlink(outPath.c_str());
    unlink(errPath.c_str());
}

bool DemoProcess::running() {
    if (pid <= 0 || status != -1) return false;
    int raw = 0;
    if (waitpid(pid, &raw, WNOHANG) == pid) {
        status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        return false;
    }
    return true;
}

int DemoProcess::wait(double timeoutSeconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    while (running()) {
        if (std::chrono::steady_clock::now() > end) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            status = -2;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return status;
}

std::string DemoProcess::out() const { return slurp(outPath); }
std::string DemoProcess::err() const { return slurp(errPath); }

PrivateXServer::PrivateXServer(int width, int height) {
    int fds[2];
    if (pipe(fds) != 0) return;
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const int nullFd = open("/dev/null", O_WRONLY);
        dup2(nullFd, 1);
        dup2(nullFd, 2);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
               "-nolisten", "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    // Xvfb writes its display number and a newline once it accepts
    // connections, in separate writes; closing the pipe before the newline
    // arrives would make its second write fail and the server quit.
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (!number.empty()) display = ":" + number;
}

PrivateXServer::~PrivateXServer() {
    if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
}

Screen::Screen(const char* name) { display = XOpenDisplay(name); }
Screen::~Screen() {
    if (display) XCloseDisplay(display);
}

Window Screen::waitForWindow(double timeoutSeconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    while (std::chrono::steady_clock::now() < end) {
        const Window window = findByName(display, DefaultRootWindow(display), "OpenGL");
        if (window != 0) return window;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
}

std::vector<unsigned char> Screen::grab(int& width, int& height) {
    const Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, root, &attributes);
    width = attributes.width;
    height = attributes.height;
    XImage* image = XGetImage(display, root, 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    std::vector<unsigned char> rgb(std::size_t(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            unsigned char* out = &rgb[(std::size_t(y) * width + x) * 3];
            out[0] = (pixel >> 16) & 0xFF;
            out[1] = (pixel >> 8) & 0xFF;
            out[2] = pixel & 0xFF;
        }
    }
    XDestroyImage(image);
    return rgb;
}

void Screen::sendClose(Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}

void pressKey(const char* key) {
    const std::string command = std::string("xdotool keydown ") + key;
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "xdotool failed\n");
}

void releaseKey(const char* key) {
    const std::string command = std::string("xdotool keyup ") + key;
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "xdotool failed\n");
}

} // namespace testdemo
