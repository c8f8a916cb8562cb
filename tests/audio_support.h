#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// Helpers for the sound tests: making and decoding MP3s (with ffmpeg, so
// that neither end is the project's own code), measuring tones, recording
// what the private test sound server plays (see with_pulse.sh).
namespace audiotest {

using Pipe = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// Interleaved float samples.
struct Pcm {
    long rate = 0;
    int channels = 0;
    std::vector<float> samples;
    std::size_t frames() const { return channels > 0 ? samples.size() / std::size_t(channels) : 0; }
    // One channel, or the mean of all when `channel` is -1.
    std::vector<float> channel(int channel) const;
};

// A whole MP3 at its own rate and channel count, through an ffmpeg audio
// filter; empty on failure.
Pcm decodeMp3(const std::string& path, const std::string& filter = "anull");

// Frequency of a steady tone from its first and last rising zero crossings.
double toneFrequency(const std::vector<float>& x, long rate);
double rms(const float* x, std::size_t n);
double toDb(double linear);

// First and one past the last sample whose magnitude exceeds a threshold;
// {0, 0} when none does.
struct Span { std::size_t begin = 0, end = 0; };
Span audibleSpan(const std::vector<float>& x, float threshold);

// Where in a recording (mono) the soundtrack's moment `target` is heard,
// looked for in [from, to): `at` is the sample where `track` (mono, 44.1
// kHz) from `target` lines up with what follows. A sound server may drop or
// blend the first 10 ms of a new stream, so `matchDb` is the level of the
// recording minus the track over the 90 ms after those, and `beforeDb` over
// the 10 ms before `at`, both against the track's own level. Heard from
// that moment, the first is far below 0 and the second is not.
struct Heard {
    std::size_t at = 0;
    double matchDb = 0.0, beforeDb = 0.0;
};
Heard heardAt(const std::vector<float>& recording, std::size_t from, std::size_t to,
              const std::vector<float>& track, double target);

int countOpenFds();
void sleepSeconds(double seconds);

// Records the test sink's monitor (44.1 kHz stereo float) from construction
// until stop(). Requires DEMO_TEST_SINK, which with_pulse.sh sets.
class Recorder {
public:
    Recorder();
    ~Recorder() { stop(); }
    // True once the recording has data: from then on nothing played is missed.
    bool live() const { return pid > 0 && framesSoFar() > 0; }
    std::size_t framesSoFar() const;
    Pcm stop();

private:
    Pipe parec{nullptr, pclose};
    std::string path;
    int pid = -1;
};

// A fresh temporary directory made the working directory for the object's
// lifetime; removed with its contents afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return dir; }

private:
    std::string dir, previous;
};

} // namespace audiotest
