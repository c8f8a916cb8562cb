// The player's plain logic: its command line, the benchmark's table, and
// the transport that steps, pauses and loops picture and music together,
// driven here against a fake of the music on a clock of the test's own.
#include "choreography.h"
#include "player.h"
#include "transport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

using demo::barStart;

TEST(PlayerOptions, CommandLinesAndTheirOutcomes) {
    using V = std::vector<std::string>;
    const struct { V args; bool windowed; std::uint32_t width, height; double from; float scale; } good[] = {
        {{}, false, 0, 0, 0.0, 1.0f},
        {{"--window", "640x360", "--from", "67.2"}, true, 640, 360, 67.2, 1.0f},
        {{"--scale", "0.25", "--from", "95.999992"}, false, 0, 0, 95.999992, 0.25f}, // the last float before 96
        {{"--window", "99999x16", "--from", "1e-400"}, true, 99999, 16, 0.0, 1.0f},
    };
    for (const auto& c : good) {
        const demo::ParsedOptions p = demo::parseOptions(c.args);
        ASSERT_TRUE(p.ok()) << p.error;
        const demo::PlayerOptions& o = p.options;
        EXPECT_EQ(std::make_tuple(o.windowed, o.width, o.height, o.from, o.scale),
                  std::make_tuple(c.windowed, c.width, c.height, c.from, c.scale));
        EXPECT_FALSE(o.loop || o.mute || o.benchmark || o.rehearse || o.help);
    }
    const demo::PlayerOptions flags = demo::parseOptions({"--loop", "--mute", "--benchmark", "--rehearse"}).options;
    EXPECT_TRUE(flags.loop && flags.mute && flags.benchmark && flags.rehearse && flags.restarts());
    EXPECT_TRUE(demo::parseOptions({"--help", "--bogus"}).options.help);

    const struct { V args; const char* says; } bad[] = {
        {{"--frob"}, "unknown option --frob"},
        {{"extra"}, "unexpected argument \"extra\""},
        {{"--window"}, "--window needs a value"},
        {{"--window", "640"}, "WIDTHxHEIGHT"},
        {{"--window", "-640x360"}, "WIDTHxHEIGHT"},
        {{"--window", "640x360x2"}, "WIDTHxHEIGHT"},
        {{"--window", "640x8"}, "too small"},
        {{"--window", "100000x720"}, "--window 100000x720 is too large: at most 99999x99999"},
        {{"--window", "4294967936x360"}, "too large"}, // 2^32 + 640: wraps round to 640 in 32 bits
        {{"--window", "640x123456789012345678901"}, "too large"}, // beyond 64 bits
        {{"--from", "96"}, "--from 96 is outside the demo"},
        {{"--from", "95.999999"}, "--from 95.999999 is outside the demo"}, // 96 in single precision
        {{"--from", "-0.5"}, "--from -0.5 is outside the demo"},
        {{"--from", "1e400"}, "--from 1e400 is out of range"},
        {{"--from", "1e1x"}, "--from takes a number, not \"1e1x\""},
        {{"--from", " 5"}, "takes a number"},
        {{"--from", "nan"}, "takes a number"},
        {{"--scale", "0.2"}, "--scale 0.2 is out of range"},
        {{"--scale", "1.01"}, "out of range"},
    };
    for (const auto& c : bad) {
        const demo::ParsedOptions p = demo::parseOptions(c.args);
        EXPECT_NE(p.error.find(c.says), std::string::npos) << c.args[0] << ": " << p.error;
    }

    demo::PlayerOptions window = demo::parseOptions({"--window", "2560x1000"}).options;
    EXPECT_EQ(demo::windowTooLarge(window, 2560, 1000), "");
    EXPECT_EQ(demo::windowTooLarge(window, 1920, 1080),
              "--window 2560x1000 is larger than the screen, 1920x1080; the largest window that fits is 1920x1000");
}

// A hand-worked set: shot 1 takes 1 to 19 ms, shot 5 one frame of 20 ms.
// Nearest rank: the median of 20 is the 10th value, the 95th percentile the
// 19th; of 19, the 10th and the 19th.
TEST(FrameTimes, TableOfAHandWorkedSet) {
    demo::FrameTimes times(64);
    for (int ms = 19; ms >= 1; --ms) times.record(0, ms);
    times.record(4, 20.0);
    EXPECT_EQ(times.report(445.4),
              "start-up to first frame: 445 ms\n"
              "frame times (ms)        frames     mean   median      p95\n"
              "whole run                   20    10.50    10.00    19.00\n"
              "shot 1 (bar 0)              19    10.00    10.00    19.00\n"
              "shot 5 (bars 6-7)            1    20.00    20.00    20.00\n");
    EXPECT_EQ(demo::FrameTimes(0).report(-1.0).rfind("start-up to first frame: none, no frame was drawn\n", 0), 0u);
}

// The music as the transport meets it on a real sound server. A new stream
// plays, and reports, `delay` after it is asked for, from the moment asked;
// a corked one goes on at once. A server asleep (a stopped process) plays
// nothing, and what is asked of it waits until it wakes; meanwhile the
// client's clock of a playing stream runs on, and once awake it reports
// that moment again until what it plays has caught up (as both PulseAudio
// and PipeWire do, see the music tests). A server gone drops its stream and
// what is asked of it until it is back.
struct FakeMusic : demo::MusicControl {
    double now = 0.0, delay;
    double sleepFrom = -1.0, sleepTo = -1.0, goneUntil = -1.0;
    bool paused = false, stream = true;
    int starts = 1; // the first was made before the transport
    double position, readyAt, most = -1.0;
    FakeMusic(double from, double delay) : delay(delay), position(from), readyAt(delay) {}

    void start() {
        stream = !(now < goneUntil);
        starts += stream;
        readyAt = std::max(now, sleepTo) + delay, most = -1.0;
    }
    void seek(double seconds) override {
        position = seconds, stream = false;
        if (!paused) start();
    }
    void setPaused(bool p) override {
        if (p && stream && now >= readyAt) position += played(), readyAt = now; // corked where it stands
        else if (p) stream = false; // a stream not yet made is dropped
        if (!p && paused && stream) readyAt = now, most = -1.0;
        else if (!p && paused) start();
        paused = p;
    }
    double played() const { return now - readyAt - std::max(0.0, std::min(now, sleepTo) - std::max(readyAt, sleepFrom)); }
    double heard() override {
        if (!stream || now < goneUntil) return silent;
        if (now < readyAt) return starting;
        if (paused) return position;
        const bool asleep = sleepFrom <= now && now < sleepTo;
        return most = std::max(most, position + played() + (asleep ? now - std::max(sleepFrom, readyAt) : 0.0));
    }
    void sleep(double seconds, bool lost) {
        if (lost) goneUntil = now + seconds, stream = false;
        else if (sleepFrom = now, sleepTo = now + seconds; readyAt > now) readyAt += seconds;
    }
};

// Runs keys and frames: 'S'pace, 'L'eft, 'R'ight, 'H'ome act at once; 'f'
// is a frame 50 ms on; 'w' a second of frames; 'z' puts the server to sleep
// for 3 s, 'x' takes it away for 2.5 s, 'X' for good. The picture never
// moves back but for a key or the loop's wrap, and while paused it stands.
struct Rig {
    FakeMusic music;
    demo::Transport transport;
    float picture;
    Rig(double from, bool loop, double delay) : music(from, delay), transport(&music, from, loop, 0.0), picture(float(from)) {}

    void run(const std::string& script) {
        for (char c : script) {
            if (c == 'w') run(std::string(20, 'f'));
            else if (c == 'z' || c == 'x' || c == 'X') music.sleep(c == 'z' ? 3.0 : c == 'x' ? 2.5 : 1e9, c != 'z');
            else if (c == 'S') transport.togglePause(music.now);
            else if (c == 'L' || c == 'R') step(c == 'L' ? -1 : 1);
            else if (c == 'H') transport.home(music.now);
            else if (c == 'f') frame();
            // A key may move a paused picture; frames may not.
            if (transport.paused()) picture = transport.shown();
        }
    }
    // A step lands on the first instant of the bar it names, within bars 0
    // to 39, and sends the music there.
    void step(int bars) {
        const int from = int(demo::barIndex(transport.paused() ? transport.shown() : transport.time(music.now)));
        transport.step(bars, music.now);
        const float start = barStart(std::uint32_t(std::clamp(from + bars, 0, int(demo::lastBar))));
        EXPECT_EQ(transport.shown(), start) << "from bar " << from;
        EXPECT_EQ(music.position, double(start));
        picture = start;
    }
    void frame() {
        music.now += 0.05;
        const float before = picture;
        picture = transport.time(music.now);
        if (transport.paused()) EXPECT_EQ(picture, before) << "the picture moves while paused";
        else EXPECT_TRUE(picture >= before || (before > 95.9f && picture < 0.1f)) << before << " to " << picture;
    }
};

// A crew's sequences, each checked at its end: the picture's time and bar,
// whether picture and music are paused, the music silent while paused and
// otherwise heard at the picture's moment, and the streams it took: one per
// start, key and wrap, and one more to bring back a music that fell behind.
// A stream's first report may come late (a sink woken from suspend): the
// picture waits for it at the restart's moment, up to 3 s.
TEST(Transport, RehearsalSequences) {
    const struct { const char* name; double from; bool loop; double delay; const char* script; float picture; bool paused; int starts; } cases[] = {
        {"a paused step stays paused and silent", 30.0, false, 0.02, "ffSRw", barStart(13), true, 1},
        {"resumed 10 s after a paused step", 30.0, false, 0.02, "ffSRwwwwwwwwwwSw", barStart(13) + 0.98f, false, 2},
        {"Home while paused", 50.0, false, 0.02, "ffSHw", 0.0f, true, 1},
        {"Home while paused, resumed", 50.0, false, 0.02, "ffSHwSw", 0.98f, false, 2},
        {"paused, then resumed where it stood", 10.0, false, 0.02, "wSwwSf", 11.03f, false, 1},
        {"Right in the last bar", 95.0, false, 0.02, "fRf", barStart(39) + 0.03f, false, 2},
        {"Left in the first bar", 1.0, false, 0.02, "fLf", 0.03f, false, 2},
        {"a burst of steps from bar 4", 10.8, false, 0.02, "fLLRRRf", barStart(5) + 0.03f, false, 6},
        {"the loop's wrap", 95.93, true, 0.02, "fffw", 1.03f, false, 2},
        // The picture runs on with the client's clock through the freeze;
        // once the server wakes, the music stands still, and within 0.2 s
        // it is brought to the picture, which never stops for it.
        {"a server asleep for 3 s", 20.0, false, 0.02, "fzwwwww", 25.01f, false, 2},
        // Asked again every second at the picture's moment; back after 2.5 s,
        // it takes the third request.
        {"a server gone for 2.5 s", 20.0, false, 0.02, "fxwwwww", 24.98f, false, 2},
        {"no server from the start", 20.0, false, 0.02, "Xwwwww", 25.0f, false, 1},
        // A stream that never reports is waited for 3 s, then the picture
        // runs on from where it waited, without a jump.
        {"a stream that never reports", 30.0, false, 1e9, "wwwww", 32.0f, false, 1},
        {"first report 0.3 s late at the start", 30.0, false, 0.3, "wwwww", 34.7f, false, 1},
        {"first report 1 s late at the start", 30.0, false, 1.0, "wwwww", 34.0f, false, 1},
        {"first report 2.5 s late at the start", 30.0, false, 2.5, "wwwww", 32.5f, false, 1},
        // Later than the wait: the picture has run on, so the music is
        // brought to it once, and the picture then waits for that stream.
        {"first report 3.5 s late at the start", 30.0, false, 3.5, "wwwwwwwwww", 33.5f, false, 2},
        {"first report 0.3 s late after a step", 30.0, false, 0.3, "wRwwww", barStart(13) + 3.7f, false, 2},
        {"first report 1 s late after a step", 30.0, false, 1.0, "wRwwww", barStart(13) + 3.0f, false, 2},
        {"first report 2.5 s late after a step", 30.0, false, 2.5, "wRwwww", barStart(13) + 1.5f, false, 2},
        {"first report 0.3 s late after a paused step", 30.0, false, 0.3, "wSRwSwwww", barStart(13) + 3.7f, false, 2},
        {"first report 1 s late after a paused step", 30.0, false, 1.0, "wSRwSwwww", barStart(13) + 3.0f, false, 2},
        {"first report 2.5 s late after a paused step", 30.0, false, 2.5, "wSRwSwwww", barStart(13) + 1.5f, false, 2},
        {"first report 0.3 s late at the wrap", 95.0, true, 0.3, "wwwwwwww", 6.4f, false, 2},
        {"first report 1 s late at the wrap", 95.0, true, 1.0, "wwwwwwww", 5.0f, false, 2},
        {"first report 2.5 s late at the wrap", 95.0, true, 2.5, "wwwwwwww", 2.0f, false, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.from, c.loop, c.delay);
        rig.run(c.script);
        EXPECT_NEAR(rig.picture, c.picture, 0.051f);
        EXPECT_EQ(demo::barIndex(rig.picture), demo::barIndex(c.picture));
        EXPECT_EQ(rig.transport.paused(), c.paused);
        EXPECT_EQ(rig.music.paused, c.paused);
        EXPECT_EQ(rig.music.starts, c.starts);
        // Silent while paused, else heard at the picture's moment (or, with
        // a stream that never reports, still starting).
        const double heard = rig.music.heard();
        if (c.paused || c.delay > 100.0 || c.script[0] == 'X') EXPECT_LT(heard, 0.0);
        else EXPECT_NEAR(heard, rig.picture, 2e-3);
    }
}

// Paused, Right walks every bar line to the last and no further, Left
// walks back to the first, and the music stays silent. Where a step leaves
// the picture is told in bars and shots counted from 1.
TEST(Transport, PausedStepsLandOnEveryBarLine) {
    Rig rig(0.0, false, 0.02);
    rig.run("fS" + std::string(41, 'R') + std::string(41, 'L') + "f");
    EXPECT_EQ(rig.picture, 0.0f);
    EXPECT_LT(rig.music.heard(), 0.0);
    char line[96];
    EXPECT_STREQ(demo::describePosition(line, sizeof line, barStart(14), true),
                 "bar 15 of 40, shot 8 of 15, 33.60 s, paused");
}

} // namespace
