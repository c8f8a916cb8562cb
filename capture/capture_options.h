#pragma once
// The capture program's command line: parsed and checked without a GL
// context, so every refusal happens before anything is rendered or written.

#include "choreography.h"

#include <cstdint>
#include <string>
#include <vector>

namespace capture {

enum class Mode {
    video,    // an MP4 with the soundtrack
    sequence, // a directory of PNGs, one per frame
    still,    // one PNG of one moment
    profile,  // nothing written; GPU and CPU time per pass
    help,
};

// Beyond 8K UHD the off-screen images alone would need gigabytes.
constexpr std::uint32_t maxWidth = 7680;
constexpr std::uint32_t maxHeight = 4320;
// Small enough for thumbnails, large enough for the 16:9 picture to exist.
constexpr std::uint32_t minSide = 16;

struct Options {
    Mode mode = Mode::video;
    std::uint32_t width = 1920;
    std::uint32_t height = 1080;
    std::uint32_t fps = 60;
    double from = 0.0;
    double to = double(demo::pieceLength);
    double at = 0.0;                  // the still's moment
    std::string output;               // file (video, still) or directory (sequence)
    std::string soundtrack = "vandrel.mp3";
    bool quiet = false;               // no progress bar
    float scale = 1.0f;               // of the off-screen images (and the shadow map), as the demo's --scale
    bool headless = false;            // through EGL even where an X server answers
};

// The frames a capture renders: frame n is the moment n / fps, for
// n = first .. first + count - 1.
struct FrameRange {
    std::uint64_t first = 0;
    std::uint64_t count = 0;
};

struct Parsed {
    Options options;
    std::string error; // empty when the command line is usable
    bool ok() const { return error.empty(); }
};

// Parses argv[1..] (without the program name) and checks every value.
Parsed parse(const std::vector<std::string>& args);

// The frames of [from, to) at the options' rate; a still is one frame.
FrameRange frames(const Options& options);

// The moment of frame n, in the single precision the choreography takes.
float frameTime(std::uint64_t n, std::uint32_t fps);

// Seconds of video for a range: count / fps.
double duration(const FrameRange& range, std::uint32_t fps);

std::string usage(const std::string& program);

} // namespace capture
