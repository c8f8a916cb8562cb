#include "transport.h"

#include "choreography.h"

#include <algorithm>
#include <cstdio>

namespace demo {

Transport::Transport(MusicControl* music_, double from, bool loop_, double now) : music(music_), loop(loop_) {
    // The music was started at `from` when it was made; starting it again
    // here would play its first moments twice.
    restartClock(from, now);
}

void Transport::restartClock(double t, double now) {
    target = last = t;
    since = lastNow = lastTry = now;
    mostHeard = -1.0;
    mostHeardAt = now;
}

// The music starts again at `t`, and the picture waits there for it.
void Transport::restart(double t, double now) {
    if (music) music->seek(t);
    restartClock(t, now);
}

// A key or the loop's wrap: picture and music go to `t` together.
void Transport::seekBoth(double t, double now) {
    restart(t, now);
    mayBring = true;
}

double Transport::follow(double now) {
    if (!music) return last + (now - lastNow);
    const double heard = music->heard();
    if (heard > mostHeard) mostHeard = heard, mostHeardAt = now;
    // It plays: it has passed the restart's moment, and moved lately.
    const bool playing = heard >= 0.0 && mostHeard > target && now - mostHeardAt < stallLimit;
    if (!playing) return withoutMusic(heard, now);
    // Between two reports that tell the same moment, where it would be by
    // now: the picture runs on smoothly until a stall is sure.
    const double music = mostHeard + (now - mostHeardAt);
    if (last - music <= driftLimit) {
        mayBring = true;
        return std::max(music, last);
    }
    // Behind the picture (its stream came late, or its server woke from a
    // freeze): it joins the picture, once; after that the picture waits
    // for it to catch up rather than sending it off again and again.
    if (mayBring) {
        mayBring = false;
        restart(last, now);
    }
    return last;
}

// The music does not play. A stream on its way is waited for at the
// restart's moment, up to startWait. Otherwise the picture runs on by the
// system clock from where it stands; a silent music is asked now and then
// to start again there, and one that stood still is brought there.
double Transport::withoutMusic(double heard, double now) {
    const bool moved = mostHeard > target;
    if (heard != MusicControl::silent && !moved && now - since < startWait) return last;
    const double t = last + (now - lastNow);
    if (heard == MusicControl::silent) {
        if (now - lastTry >= retryInterval) restart(t, now);
    } else if (moved && mayBring) {
        mayBring = false;
        restart(t, now);
    }
    return t;
}

float Transport::time(double now) {
    if (frozen) return float(last);
    double t = follow(now);
    if (loop && !(float(t) < pieceLength)) {
        seekBoth(0.0, now);
        t = follow(now);
    }
    last = t;
    lastNow = now;
    return float(t);
}

void Transport::togglePause(double now) {
    if (!frozen) {
        last = time(now);
        frozen = true;
        if (music) music->setPaused(true);
        return;
    }
    frozen = false;
    if (music) music->setPaused(false);
    // The music goes on from where it was paused or sought while paused;
    // the picture waits for it there.
    restartClock(last, now);
    mayBring = true;
}

void Transport::step(int bars, double now) {
    const float t = frozen ? float(last) : time(now);
    const int bar = std::clamp(int(barIndex(t)) + bars, 0, int(lastBar));
    seekBoth(barStart(std::uint32_t(bar)), now);
}

const char* describePosition(char* out, std::size_t size, float t, bool paused) {
    const std::uint32_t bar = std::min(barIndex(t), lastBar);
    std::snprintf(out, size, "bar %u of %u, shot %u of %u, %.2f s, %s", unsigned(bar + 1), unsigned(barCount),
                  unsigned(shotOf(bar) + 1), unsigned(shotCount), double(t), paused ? "paused" : "playing");
    return out;
}

} // namespace demo
