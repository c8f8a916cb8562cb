#pragma once
// The player's additions on top of the plain demo, for organisers and crews:
// the command line and the frame-time samples of a benchmark run. Plain
// logic, no window, no GL and no sound, so that it can be tested without
// any of them. (The picture's clock where it restarts with the music is
// the transport's.)

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
    std::string program = "demo"; // as it was started, for the usage text

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
// The refusals are worded as the capture program's are.
ParsedOptions parseOptions(const std::vector<std::string>& args);
std::string usage(const std::string& program);

// The message for a --window that does not fit on a screen of this size,
// naming the largest that does; empty when it fits (or is not windowed).
std::string windowTooLarge(const PlayerOptions& options, std::uint32_t screenWidth, std::uint32_t screenHeight);

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
    // What a benchmark run prints at its end: the time from the process's
    // start to the first frame (negative: no frame was drawn), then the table.
    std::string report(double firstFrameMs) const;

private:
    struct Sample {
        std::uint32_t shot;
        float ms;
    };
    std::vector<Sample> samples;
    std::size_t dropped = 0;
};

} // namespace demo
