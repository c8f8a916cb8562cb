#pragma once
// Where captured frames go: an ffmpeg process fed through a pipe, a directory
// of PNGs, or one PNG. Every writer works under a temporary name and gives
// the real name only once everything is written, so a failed or interrupted
// capture never leaves a file that looks complete.

#include "capture_options.h"

#include <chrono>
#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

namespace capture {

// A picture with rows top-down, 8-bit RGB.
struct Image {
    std::uint32_t width = 0, height = 0;
    std::vector<unsigned char> rgb;
};

// GL reads rows bottom-up as RGBA; this turns them top-down RGB.
void flipToRgb(const unsigned char* rgbaBottomUp, Image& image);

// Writes a PNG; on failure returns false with a message in *error.
bool writePng(const std::string& path, const Image& image, std::string* error);
bool readPng(const std::string& path, Image& image, std::string* error);

// The name a writer uses until it is done.
std::string partialName(const std::string& path);

// The signal, SIGINT, SIGTERM or SIGHUP, that asked the capture to stop; 0 until one
// comes. catchInterrupts() installs the handler, which also ends a running
// ffmpeg at once, so that whatever capture is blocked in, a write that
// ffmpeg no longer reads or the wait for it to finish, returns.
extern volatile std::sig_atomic_t interruption;
void catchInterrupts();

// Whether a program of this name is found on PATH.
bool onPath(const std::string& program);

// The ffmpeg arguments (without the program name) that turn raw RGB frames on
// standard input and a stretch of the soundtrack into `file`.
std::vector<std::string> ffmpegArguments(const Options& options, const FrameRange& range,
                                         const std::string& file);

// Receives frames in order. finish() completes the output under its real
// name; a sink destroyed without a successful finish() removes what it wrote.
class Sink {
public:
    virtual ~Sink() = default;
    virtual bool frame(std::uint64_t n, const Image& image) = 0;
    virtual bool finish() = 0;
    const std::string& error() const { return message; }

protected:
    std::string message;
};

class VideoSink : public Sink {
public:
    VideoSink(const Options& options, const FrameRange& range);
    ~VideoSink() override;
    // Checks what can be checked before rendering: ffmpeg, the soundtrack and
    // a writable output; starts ffmpeg.
    bool open();
    bool frame(std::uint64_t n, const Image& image) override;
    bool finish() override;

private:
    bool stop(); // closes the pipe and waits; true when ffmpeg exited with 0
    Options options;
    FrameRange range;
    std::string partial;
    int pipe = -1;
    int pid = -1;
    bool done = false;
};

class SequenceSink : public Sink {
public:
    explicit SequenceSink(const Options& options);
    ~SequenceSink() override;
    bool open();
    bool frame(std::uint64_t n, const Image& image) override;
    bool finish() override;
    // The file name of frame n inside the directory.
    static std::string frameName(std::uint64_t n);

private:
    std::string directory, partial;
    std::vector<std::string> written;
    bool done = false;
};

class StillSink : public Sink {
public:
    explicit StillSink(const Options& options);
    ~StillSink() override;
    bool open();
    bool frame(std::uint64_t n, const Image& image) override;
    bool finish() override;

private:
    std::string path, partial;
    bool done = false;
};

// One line on standard error, redrawn at most a few times a second: a bar,
// frames done of all, frames per second and the time left.
class Progress {
public:
    Progress(std::uint64_t total, bool enabled);
    void update(std::uint64_t done);
    void end();
    // The line for a state, without the carriage return.
    static std::string line(std::uint64_t done, std::uint64_t total, double seconds);

private:
    using Clock = std::chrono::steady_clock;
    std::uint64_t total;
    bool enabled;
    Clock::time_point start = Clock::now();
    Clock::time_point last{};
};

} // namespace capture

namespace capture {

// Mean and 95th percentile of a set of durations (0 for an empty set).
struct Summary {
    double mean = 0.0, p95 = 0.0;
};
Summary summarize(std::vector<double> values);

} // namespace capture
