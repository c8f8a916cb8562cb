// The player's plain logic: its command line, and the picture's clock when
// it restarts with the music.
#include "player.h"

#include <gtest/gtest.h>

namespace {

TEST(PlayerOptions, CommandLinesAndTheirOutcomes) {
    using V = std::vector<std::string>;
    const struct { V args; bool windowed; std::uint32_t width, height; double from; float scale; } good[] = {
        {{}, false, 0, 0, 0.0, 1.0f},
        {{"--window", "640x360", "--from", "67.2"}, true, 640, 360, 67.2, 1.0f},
        {{"--scale", "0.25", "--from", "95.99"}, false, 0, 0, 95.99, 0.25f},
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
        {{"--from", "96"}, "--from 96 is outside the demo"},
        {{"--from", "-0.5"}, "--from -0.5 is outside the demo"},
        {{"--from", "1e1x"}, "takes a number"},
        {{"--from", "nan"}, "takes a number"},
        {{"--scale", "0.2"}, "--scale 0.2 is out of range"},
        {{"--scale", "1.01"}, "out of range"},
    };
    for (const auto& c : bad) {
        const demo::ParsedOptions p = demo::parseOptions(c.args);
        EXPECT_NE(p.error.find(c.says), std::string::npos) << c.args[0] << ": " << p.error;
    }
}

// Steps on one clock: restart at a target ('r', following the music or
// not), read the time at `now` given the music's heard time ('t', negative:
// no report), pause at a time ('p').
TEST(PictureClock, FollowsTheMusicAfterARestart) {
    const struct { char op; double now, value; bool follow; double expected; } steps[] = {
        {'r', 0.0, 10.0, false, 0}, {'t', 1.5, 99.0, false, 11.5},       // the system clock from the target
        {'r', 2.0, 30.0, true, 0},  {'t', 2.05, -1.0, false, 30.0},      // waits for the first report
        {'t', 2.08, 29.9, false, 30.0},                                  // never before the target
        {'t', 2.5, 30.4, false, 30.4}, {'t', 2.9, -1.0, false, 30.8},    // the reports stop: carries on
        {'p', 3.0, 30.9, false, 0}, {'t', 9.0, 45.0, false, 30.9},       // paused: frozen
        {'r', 9.0, 30.9, true, 0},  {'t', 9.25, -1.0, false, 31.05},     // no report within 0.1 s
    };
    demo::PictureClock clock;
    for (const auto& s : steps) {
        if (s.op == 'r') clock.restart(s.value, s.now, s.follow);
        else if (s.op == 'p') clock.pause(s.value);
        else EXPECT_NEAR(clock.time(s.now, s.value), s.expected, 1e-9) << "at " << s.now;
    }
}

} // namespace
