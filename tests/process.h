#pragma once
// Runs the built programs as child processes under the test's X server, and
// looks at and talks to their windows the way a window manager would.

#include <string>
#include <vector>

struct _XDisplay;

namespace testproc {

// An X window id, without pulling Xlib's macros into the tests.
using Window = unsigned long;

// A shell command's exit status and its standard output (and error, when
// the command says 2>&1).
struct Result {
    int status = -1;
    std::string output;
};
Result shell(const std::string& command);

// A fresh directory under /tmp.
std::string scratchDir();

class Process {
public:
    // Starts `binary` with `args` in `workdir`, its output sent to files;
    // `display` replaces DISPLAY (nullptr removes it); `environment` adds
    // NAME=VALUE entries.
    Process(const std::string& binary, const std::vector<std::string>& args, const std::string& workdir,
            const char* display, const std::vector<std::string>& environment = {});
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Waits for the exit; returns the status, or -1 if it is still running
    // after the timeout (then it is killed).
    int wait(double timeoutSeconds);
    bool running();
    int id() const { return pid; }
    // Seconds of CPU the process has used so far.
    double cpuSeconds() const;
    std::string out() const;
    std::string err() const;

private:
    int pid = -1;
    int status = -1;
    std::string outPath, errPath;
};

// A connection to the test's X server (or to the one named).
class Screen {
public:
    explicit Screen(const char* name = nullptr);
    ~Screen();
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;
    bool open() const { return display != nullptr; }
    // The demo's window (title "OpenGL"), or 0 if none appears in time.
    Window waitForWindow(double timeoutSeconds);
    // The whole screen, or what of one window lies on it, as 8-bit RGB, rows
    // top-down.
    std::vector<unsigned char> grab(int& width, int& height, Window window = 0);
    void geometry(Window window, int& x, int& y, int& width, int& height);
    // What a window manager sends when the user closes the window (or
    // another of its protocol messages).
    void sendClose(Window window, const char* protocol = "WM_DELETE_WINDOW");
    // Whether the program answers a window manager's ping, as a desktop
    // asks before it offers to force a silent program to quit.
    bool answersPing(Window window);
    // Takes the keyboard focus away from every window, as when the user
    // switches to another program.
    void focusElsewhere();
    void focus(Window window);
    // Whether the pointer, moved over the middle of the window, shows nothing.
    bool pointerHiddenOver(Window window);
    _XDisplay* display = nullptr;
    std::string name;
};

// The checked build's report of a run: expects it clean (no GL error, no
// allocation or GL object made by the frame loop, every object deleted once
// with its context) and returns its frames per bar.
std::vector<unsigned> framesPerBarOfCleanRun(const std::string& report);

// Presses or releases a key through the XTEST extension (xdotool): the
// event goes to the window that has the focus.
void key(const char* action, const char* name);

} // namespace testproc
