#pragma once
// Where the picture is in the piece, and the music with it, for a run whose
// clock restarts (--from, --loop, --rehearse): seeking, stepping a bar,
// pausing, resuming and the loop's wrap. Plain logic on a clock reading
// handed in, against a small interface to the music, so that it can be
// driven without a window or a sound server.

#include <cstddef>
#include <cstdint>

namespace demo {

// What the transport needs of the soundtrack's playback.
class MusicControl {
public:
    // What heard() says when no moment is heard: a stream is on its way but
    // has not reported yet, or nothing plays nor is on its way (paused, or
    // no sound server to play to).
    static constexpr double starting = -1.0;
    static constexpr double silent = -2.0;

    virtual ~MusicControl() = default;
    // Starts again at `seconds` into the soundtrack; silent while paused,
    // from there once resumed.
    virtual void seek(double seconds) = 0;
    virtual void setPaused(bool paused) = 0;
    // The moment of the soundtrack heard now, as the sound server reports
    // it, or `starting` or `silent`. A server that froze may go on
    // reporting a moment that rises while nothing plays, and once it wakes
    // report the same moment until what it plays has caught up with it.
    virtual double heard() = 0;
};

// The picture follows the music where there is music. At a restart it
// waits at the restart's moment while the music's stream is on its way,
// up to startWait (a sink woken from suspend can take seconds), then goes
// with what the music reports, never backwards. While the music is silent
// (a sound server that went away) or has stood still for stallLimit (one
// that froze), the picture runs on by the system clock; a silent music is
// asked every retryInterval to start again at the picture's moment, and a
// music that stood still or plays more than driftLimit behind the picture
// is brought to it once, until it has been with the picture again. All
// times are in seconds; `now` is any steady clock's reading.
class Transport {
public:
    static constexpr double startWait = 3.0;
    static constexpr double stallLimit = 0.2;
    static constexpr double retryInterval = 1.0;
    static constexpr double driftLimit = 0.1;

    // `music` (null: none) already plays from `from`, where the picture starts.
    Transport(MusicControl* music, double from, bool loop, double now);

    // The picture's time for a frame at `now`. Looping, it starts again
    // from 0 at the end of the piece; otherwise it runs past the end.
    float time(double now);
    // Space: freezes picture and music, or resumes both from where the
    // picture stands.
    void togglePause(double now);
    // Left (-1) and Right (+1): the first instant of the bar before or
    // after the picture's, within bars 0 to 39. Keeps the pause state.
    void step(int bars, double now);
    // Home: from 0, keeping the pause state.
    void home(double now) { seekBoth(0.0, now); }

    bool paused() const { return frozen; }
    // The time last handed out, or shown while paused.
    float shown() const { return float(last); }

private:
    void seekBoth(double target, double now);
    void restart(double target, double now);
    void restartClock(double target, double now);
    double follow(double now);
    double withoutMusic(double heard, double now);

    MusicControl* music;
    bool loop;
    bool frozen = false;
    double target = 0.0, since = 0.0; // the picture's clock last restarted: where, and when
    double last = 0.0, lastNow = 0.0; // the last time handed out, and when
    double lastTry = 0.0;             // when the music was last asked to start
    double mostHeard = -1.0, mostHeardAt = 0.0; // the furthest the music was heard since, and when
    bool mayBring = true; // the music may be brought to the picture once more
};

// One line saying where the picture stands, for the window's title and
// standard output: "bar 14 of 40, shot 7 of 15, 33.60 s, paused". Written
// into `out` without allocating; returns `out`.
const char* describePosition(char* out, std::size_t size, float t, bool paused);

} // namespace demo
