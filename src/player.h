#pragma once
// The player's additions on top of the plain demo, for organisers and crews:
// the command line, the picture's clock when it restarts with the music,
// and the frame-time samples of a benchmark run. Plain logic, no window, no
// GL and no sound, so that it can be tested without any of them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace demo {

struct PlayerOptions {
    bool help = false;
    bool windowed = false;
    std::uint32_t width = 0, height = 0; // of the window, when windowed
    double from = 0.0;                   // seconds into the piece
    bool loop = false;
    bool mute = false;
    bool benchmark = false;
    bool rehearse = false;
    float scale = 1.0f; // of the off-screen images against the letterbox

    // Whether the picture's clock ever restarts with the music (it does at
    // --from, at each loop and at every jump or resume).
    bool restarts() const { return from > 0.0 || loop || rehearse; }
};

struct ParsedOptions {
    PlayerOptions options;
    std::string error; // empty when the command line is usable
    bool ok() const { return error.empty(); }
};

// Parses argv[1..] (without the program name) and checks every value that
// needs no display; the window's fit on the screen is checked at start-up.
ParsedOptions parseOptions(const std::vector<std::string>& args);
std::string usage(const std::string& program);

// The picture's time. Without restarts it is the system clock since the
// frame loop began, as in the plain demo. Where it restarts (a seek), it
// starts at the target and then follows the music as the sound server
// reports it heard: it waits at the target up to 100 ms for the first
// report, runs on the system clock from there if none comes, and goes on
// from where it was on the system clock if the reports stop.
class PictureClock {
public:
    static constexpr double firstReportWait = 0.1; // seconds

    // Restarts at `target` seconds at system time `now`; `followMusic`: the
    // music was restarted there too and reports its time.
    void restart(double target, double now, bool followMusic);
    // Freezes the picture at its time `t`; restart() resumes it.
    void pause(double t);
    bool paused() const { return frozen; }
    // The picture's time at system time `now`, given the music's heard time
    // (negative while the server has not reported one).
    double time(double now, double heard);

private:
    double target = 0.0, since = 0.0;
    bool following = false, reported = false, frozen = false;
    double last = 0.0, lastNow = 0.0; // the last time handed out, and when
};

// Frame times of a benchmark run, by camera shot, in storage made before the
// frame loop: record() never allocates, and frames beyond the capacity are
// counted but not sampled.
class FrameTimes {
public:
    explicit FrameTimes(std::size_t capacity);
    void record(std::uint32_t shot, double milliseconds);
    // The table: a row for the whole run and one per shot, with the frame
    // count and the mean, median and 95th-percentile frame time.
    std::string table() const;

private:
    struct Sample {
        std::uint32_t shot;
        float ms;
    };
    std::vector<Sample> samples;
    std::size_t dropped = 0;
};

} // namespace demo
