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
        {{"--scale", "0.25", "--from", "95.99"}, false, 0, 0, 95.99, 0.25f},
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
        {{"--window", "8x8"}, "too small"},
        {{"--window", "100000x720"}, "--window 100000x720 is too large: at most 99999x99999"},
        {{"--window", "4294967936x360"}, "too large"}, // 2^32 + 640: wraps round to 640 in 32 bits
        {{"--from", "96"}, "--from 96 is outside the demo"},
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

// The music as the transport sees it: it plays from a seek's moment once
// `delay` has passed, or from a resume; paused it is silent. A server asleep
// answers nothing and its stream stands still; what was asked of it
// meanwhile starts when it wakes. A server gone loses its stream and what
// is asked of it until it is back.
struct FakeMusic : demo::MusicControl {
    double now = 0.0, delay = 0.02, awake = 0.0; // awake: the server answers from then on
    bool paused = false, gone = false;
    double position, since; // heard from `position` at `since`; NaN: not playing
    explicit FakeMusic(double from) : position(from), since(0.0) {}

    void seek(double seconds) override {
        position = seconds;
        since = paused || (gone && now < awake) ? NAN : std::max(now, awake) + delay;
    }
    void setPaused(bool p) override {
        if (p && !paused) position = std::max(heard(), position), since = NAN;
        if (!p && paused) since = std::max(now, awake) + delay;
        paused = p;
    }
    double heard() override {
        return now < awake || std::isnan(since) || now < since ? -1.0 : position + (now - since);
    }
    void sleep(double seconds, bool lost) {
        if (now >= since) position += now - since, since = now + seconds;
        if ((gone = lost)) since = NAN;
        awake = now + seconds;
    }
};

// Runs keys and frames: 'S'pace, 'L'eft, 'R'ight, 'H'ome act at once; 'f'
// is a frame 50 ms on; 'w' a second of frames; 'z' puts the server to sleep
// for 2.5 s, 'x' takes it away for as long. The picture never runs ahead of
// what the music has played, and while paused it stands.
struct Rig {
    FakeMusic music;
    demo::Transport transport;
    float picture;
    Rig(double from, bool loop) : music(from), transport(&music, from, loop, 0.0), picture(float(from)) {}

    void run(const std::string& script) {
        for (char c : script) {
            if (c == 'w') run(std::string(20, 'f'));
            else if (c == 'z' || c == 'x') music.sleep(2.5, c == 'x');
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
    }
    void frame() {
        music.now += 0.05;
        const float before = picture;
        picture = transport.time(music.now);
        EXPECT_TRUE(!transport.paused() || picture == before) << "the picture moves while paused";
        EXPECT_TRUE(music.heard() < 0.0 || double(picture) <= music.heard() + 1e-4) << "ahead of the music";
    }
};

// A crew's sequences, each checked at its end: the picture's time and bar,
// whether picture and music are paused, and that the music is silent while
// paused and otherwise heard at the picture's moment.
TEST(Transport, RehearsalSequences) {
    const struct { const char* name; double from; bool loop; const char* script; float picture; bool paused; } cases[] = {
        {"a paused step stays paused and silent", 30.0, false, "ffSRw", barStart(13), true},
        {"resumed 10 s after a paused step", 30.0, false, "ffSRwwwwwwwwwwSw", barStart(13) + 0.98f, false},
        {"Home while paused", 50.0, false, "ffSHw", 0.0f, true},
        {"Home while paused, resumed", 50.0, false, "ffSHwSw", 0.98f, false},
        {"paused, then resumed where it stood", 10.0, false, "wSwwSf", 11.03f, false},
        {"Right in the last bar", 95.0, false, "fRf", barStart(39) + 0.03f, false},
        {"Left in the first bar", 1.0, false, "fLf", 0.03f, false},
        {"a burst of steps from bar 4", 10.8, false, "fLLRRRf", barStart(5) + 0.03f, false},
        {"the loop's wrap", 95.93, true, "fffw", 1.03f, false},
        // Asked again at the picture's moment every second; the stream the
        // server makes on waking is half a second behind, and is sought again.
        {"a server asleep for 2.5 s", 20.0, false, "fzwwwww", 24.98f, false},
        // Back after 2.5 s, it takes the third of the requests made a second apart.
        {"a server gone for 2.5 s", 20.0, false, "fxwwwww", 25.03f, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.from, c.loop);
        rig.run(c.script);
        EXPECT_NEAR(rig.picture, c.picture, 2e-3f);
        EXPECT_EQ(demo::barIndex(rig.picture), demo::barIndex(c.picture));
        EXPECT_EQ(rig.transport.paused(), c.paused);
        EXPECT_EQ(rig.music.paused, c.paused);
        // Silent while paused, else heard at the picture's moment.
        EXPECT_NEAR(rig.music.heard(), c.paused ? -1.0 : rig.picture, 2e-3);
    }
}

// Paused, Right walks every bar line to the last and no further, Left
// walks back to the first, and the music stays silent. Where a step leaves
// the picture is told in bars and shots counted from 1.
TEST(Transport, PausedStepsLandOnEveryBarLine) {
    Rig rig(0.0, false);
    rig.run("fS" + std::string(41, 'R') + std::string(41, 'L') + "f");
    EXPECT_EQ(rig.picture, 0.0f);
    EXPECT_LT(rig.music.heard(), 0.0);
    char line[96];
    EXPECT_STREQ(demo::describePosition(line, sizeof line, barStart(14), true),
                 "bar 15 of 40, shot 8 of 15, 33.60 s, paused");
}

} // namespace
