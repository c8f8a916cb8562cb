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
    reported = false;
}

void Transport::restart(double t, double now) {
    if (music) music->seek(t);
    restartClock(t, now);
}

double Transport::follow(double now) {
    if (!music) return target + (now - since);
    const double heard = music->heard();
    if (heard >= 0.0) {
        reported = true;
        if (last - heard > driftLimit) {
            // The music fell behind: its server stalled and has come back.
            // It joins the picture rather than the picture jumping back.
            restart(last, now);
            return last;
        }
        return std::max(heard, last);
    }
    // Nothing heard yet: hold at the restart's moment for the first report.
    if (!reported && now - since < firstReportWait) return target;
    // None came, or the reports stopped: on by the system clock, counted
    // from the end of the wait, and ask the music now and then to start
    // again where the picture is.
    const double from = reported ? lastNow : std::max(lastNow, since + firstReportWait);
    const double t = last + (now - from);
    if (now - lastTry >= retryInterval) {
        music->seek(t);
        lastTry = now;
    }
    return t;
}

float Transport::time(double now) {
    if (frozen) return float(last);
    double t = follow(now);
    if (loop && !(float(t) < pieceLength)) {
        restart(0.0, now);
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
}

void Transport::step(int bars, double now) {
    const float t = frozen ? float(last) : time(now);
    const int bar = std::clamp(int(barIndex(t)) + bars, 0, int(lastBar));
    restart(barStart(std::uint32_t(bar)), now);
}

const char* describePosition(char* out, std::size_t size, float t, bool paused) {
    const std::uint32_t bar = std::min(barIndex(t), lastBar);
    std::snprintf(out, size, "bar %u of %u, shot %u of %u, %.2f s, %s", unsigned(bar + 1), unsigned(barCount),
                  unsigned(shotOf(bar) + 1), unsigned(shotCount), double(t), paused ? "paused" : "playing");
    return out;
}

} // namespace demo
