#pragma once
// Runs the built demo as a child process under the test's X server, and
// looks at and talks to its window the way a window manager would.

#include <string>
#include <vector>

struct _XDisplay;

namespace testdemo {

// An X window id, without pulling Xlib's macros into the tests.
using Window = unsigned long;

class DemoProcess {
public:
    // Starts `binary` in `workdir` with its output sent to files; `display`
    // replaces DISPLAY (nullptr removes it); `environment` adds NAME=VALUE
    // entries.
    DemoProcess(const std::string& binary, const std::string& workdir, const char* display,
                const std::vector<std::string>& environment = {});
    ~DemoProcess();
    DemoProcess(const DemoProcess&) = delete;
    DemoProcess& operator=(const DemoProcess&) = delete;

    // Waits for the exit; returns the status, or -1 if it is still running
    // after the timeout (then it is killed).
    int wait(double timeoutSeconds);
    bool running();
    std::string out() const;
    std::string err() const;

private:
    int pid = -1;
    int status = -1;
    std::string outPath, errPath;
};

// A bare Xvfb of our own, with no client but the ones a test makes.
class PrivateXServer {
public:
    PrivateXServer(int width, int height);
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;
    std::string display; // empty if it did not start
private:
    int pid = -1;
};

// A connection to the test's X server (or to the one named).
class Screen {
public:
    explicit Screen(const char* name = nullptr);
    ~Screen();
    bool open() const { return display != nullptr; }
    // The demo's window (title "OpenGL"), or 0 if none appears in time.
    Window waitForWindow(double timeoutSeconds);
    // The whole screen as 8-bit RGB, rows top-down.
    std::vector<unsigned char> grab(int& width, int& height);
    // What a window manager sends when the user closes the window.
    void sendClose(Window window);
    _XDisplay* display = nullptr;
};

// Holds a key down through the XTEST extension (xdotool) until release().
void pressKey(const char* key);
void releaseKey(const char* key);

} // namespace testdemo
