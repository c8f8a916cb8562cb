#pragma once
// The demo program: the window, start-up, the frame loop and the tear-down.

namespace demo {

// Lets a test build watch a run without changing it: called once the
// context's entry points are loaded, once start-up is done, after every frame
// drawn, and when the frame loop has ended (before the tear-down).
class Observer {
public:
    virtual ~Observer() = default;
    virtual void contextReady() {}
    virtual void started() {}
    virtual void frameDrawn(float t) { (void)t; }
    virtual void stopped() {}
};

// Plays the demo: window, start-up, frame loop, tear-down. Returns the
// process's exit status.
int run(Observer* observer = nullptr);

} // namespace demo
