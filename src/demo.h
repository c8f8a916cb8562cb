#pragma once
// The demo program: the window, start-up, the frame loop and the tear-down.

#include "player.h"

namespace demo {

// Lets a test build watch a run without changing it: called once the
// context's entry points are loaded, once start-up is done, around the
// window's event handling in each frame, after every frame drawn (with the
// picture's time and the music's heard time, negative when unknown), and
// when the frame loop has ended (before the tear-down).
class Observer {
public:
    virtual ~Observer() = default;
    virtual void contextReady() {}
    virtual void started() {}
    virtual void handlingEvents(bool handling) { (void)handling; }
    virtual void frameDrawn(float t, double heard) { (void)t, (void)heard; }
    virtual void stopped() {}
};

// Plays the demo: window, start-up, frame loop, tear-down. Returns the
// process's exit status. Without options it is the plain demo.
int run(const PlayerOptions& options, Observer* observer = nullptr);
int run(Observer* observer = nullptr);

} // namespace demo
