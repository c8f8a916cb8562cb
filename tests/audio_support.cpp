#include "audio_support.h"

#include <signal.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <thread>

namespace audiotest {

static std::vector<float> readFloats(std::FILE* file) {
    std::vector<float> out;
    for (float f; file != nullptr && std::fread(&f, sizeof f, 1, file) == 1;) out.push_back(f);
    return out;
}

std::vector<float> Pcm::channel(int c) const {
    std::vector<float> out(frames());
    for (std::size_t i = 0; i < out.size() * channels; ++i)
        if (c < 0 || int(i % channels) == c) out[i / channels] += samples[i] / float(c < 0 ? channels : 1);
    return out;
}

Pcm decodeMp3(const std::string& path, const std::string& filter) {
    // A line with the rate and the channel count, then the samples.
    const std::string command = "ffprobe -v error -show_entries stream=sample_rate,channels -of csv=p=0 '" + path +
                                "' && ffmpeg -v error -i '" + path + "' -af '" + filter + "' -f f32le -";
    const Pipe ffmpeg(popen(command.c_str(), "re"), pclose);
    Pcm pcm;
    if (ffmpeg && std::fscanf(ffmpeg.get(), "%ld,%d%*c", &pcm.rate, &pcm.channels) == 2)
        pcm.samples = readFloats(ffmpeg.get());
    return pcm;
}

double toneFrequency(const std::vector<float>& x, long rate) {
    std::vector<double> rising; // interpolated between the samples either side
    for (std::size_t i = 1; i < x.size(); ++i)
        if (x[i - 1] < 0.0f && x[i] >= 0.0f) rising.push_back(double(i - 1) - x[i - 1] / double(x[i] - x[i - 1]));
    return rising.size() < 2 ? 0.0 : double(rising.size() - 1) * double(rate) / (rising.back() - rising.front());
}

double rms(const float* x, std::size_t n) {
    return n > 0 ? std::sqrt(std::inner_product(x, x + n, x, 0.0) / double(n)) : 0.0;
}

double toDb(double linear) { return 20.0 * std::log10(std::max(linear, 1e-12)); }

Span audibleSpan(const std::vector<float>& x, float threshold) {
    Span span;
    for (std::size_t i = 0; i < x.size(); ++i)
        if (std::abs(x[i]) > threshold) span = {span.end == 0 ? i : span.begin, i + 1};
    return span;
}

// The level of a minus b over n samples, against b's own, in dB.
static double differenceDb(const float* a, const float* b, std::size_t n) {
    double difference = 0.0, level = 1e-20;
    for (std::size_t i = 0; i < n; ++i) difference += (a[i] - b[i]) * (a[i] - b[i]), level += b[i] * b[i];
    return 10.0 * std::log10(difference / level + 1e-20);
}

Heard heardAt(const std::vector<float>& x, std::size_t from, std::size_t to, const std::vector<float>& track,
              double target) {
    // Look for a stretch 100 ms on, which a landing a little off still
    // holds, by normalised correlation; then step back to the target.
    const std::size_t rate = 44100, n = rate / 20, lead = rate / 10, settle = rate / 100;
    const std::size_t t = std::size_t(std::llround(target * double(rate)));
    if (from >= x.size() || t + lead + n > track.size()) return {};
    Heard best;
    double bestScore = -2.0;
    for (std::size_t i = std::max(from, settle) + lead; i + n <= std::min(to + lead, x.size()); ++i) {
        double dot = 0.0, energy = 1e-20;
        for (std::size_t k = 0; k < n; ++k) dot += x[i + k] * track[t + lead + k], energy += x[i + k] * x[i + k];
        if (dot / std::sqrt(energy) > bestScore) bestScore = dot / std::sqrt(energy), best.at = i - lead;
    }
    if (bestScore < -1.0) return {}; // nothing to look in
    best.matchDb = differenceDb(x.data() + best.at + settle, track.data() + t + settle, lead - settle);
    best.beforeDb = differenceDb(x.data() + best.at - settle, track.data() + t - settle, settle);
    return best;
}

// Less one: the listing holds a descriptor of its own.
int countOpenFds() { return int(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {})) - 1; }

void sleepSeconds(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

Recorder::Recorder() {
    // The shell names the file and its PID, which parec takes over.
    if (std::getenv("DEMO_TEST_SINK") != nullptr)
        parec.reset(popen("f=$(mktemp /tmp/demo-recording.XXXXXX) && echo $$ $f && exec parec --raw --format=float32le "
                          "--rate=44100 --channels=2 --latency-msec=10 -d \"$DEMO_TEST_SINK.monitor\" > $f", "re"));
    char name[64] = "";
    if (parec && std::fscanf(parec.get(), "%d %63s", &pid, name) == 2) path = name;
    for (int i = 0; i < 200 && pid > 0 && framesSoFar() == 0; ++i) sleepSeconds(0.01);
}

std::size_t Recorder::framesSoFar() const {
    return path.empty() ? 0 : std::filesystem::file_size(path) / (2 * sizeof(float));
}

Pcm Recorder::stop() {
    if (pid > 0) kill(pid, SIGTERM);
    parec.reset(); // waits for it to end
    const Pipe file(std::fopen(path.c_str(), "rb"), std::fclose);
    Pcm pcm{44100, 2, readFloats(file.get())};
    std::remove(path.c_str());
    path.clear();
    pid = -1;
    return pcm;
}

TempDir::TempDir() : previous(std::filesystem::current_path()) {
    char name[] = "/tmp/demo-music-test.XXXXXX";
    if (mkdtemp(name) != nullptr) std::filesystem::current_path(dir = name);
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!dir.empty()) std::filesystem::current_path(previous), std::filesystem::remove_all(dir, ignored);
}

} // namespace audiotest
