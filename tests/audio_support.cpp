#include "audio_support.h"

#include "mp3_encoder.h"

#include <dirent.h>
#include <fcntl.h>
#include <mpg123.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

namespace audiotest {

std::vector<float> Pcm::channel(int c) const {
    std::vector<float> out(frames());
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (c >= 0) {
            out[i] = samples[i * std::size_t(channels) + std::size_t(c)];
        } else {
            float sum = 0.0f;
            for (int k = 0; k < channels; ++k) sum += samples[i * std::size_t(channels) + std::size_t(k)];
            out[i] = sum / float(channels);
        }
    }
    return out;
}

Pcm decodeMp3(const std::string& path) {
    Pcm pcm;
    mpg123_handle* mh = mpg123_new(nullptr, nullptr);
    if (mh == nullptr) return pcm;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_FORCE_FLOAT, 0.0);
    int encoding = 0;
    if (mpg123_open(mh, path.c_str()) == MPG123_OK &&
        mpg123_getformat(mh, &pcm.rate, &pcm.channels, &encoding) == MPG123_OK &&
        encoding == MPG123_ENC_FLOAT_32) {
        std::vector<unsigned char> buffer(1 << 16);
        for (;;) {
            std::size_t done = 0;
            const int err = mpg123_read(mh, buffer.data(), buffer.size(), &done);
            const float* f = reinterpret_cast<const float*>(buffer.data());
            pcm.samples.insert(pcm.samples.end(), f, f + done / sizeof(float));
            if (err != MPG123_OK) break;
        }
    }
    mpg123_close(mh);
    mpg123_delete(mh);
    return pcm;
}

bool writeTone(const std::string& path, double hz, double seconds, int rate, int channels,
               float amplitude) {
    std::vector<float> tone(std::size_t(seconds * rate));
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = amplitude * float(std::sin(2.0 * M_PI * hz * double(i) / rate));
    const int kbps = channels == 2 ? 192 : 64;
    const std::vector<unsigned char> mp3 =
        encodeMp3(tone.data(), channels == 2 ? tone.data() : nullptr, tone.size(), rate, kbps);
    return !mp3.empty() && writeFile(path, mp3);
}

bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

std::vector<unsigned char> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

double toneFrequency(const std::vector<float>& x, long rate) {
    double first = -1.0, last = -1.0;
    int crossings = 0;
    for (std::size_t i = 1; i < x.size(); ++i) {
        if (x[i - 1] < 0.0f && x[i] >= 0.0f) {
            // Interpolated position of the crossing between the two samples.
            const double at = double(i - 1) + double(-x[i - 1]) / double(x[i] - x[i - 1]);
            if (first < 0.0) first = at;
            last = at;
            ++crossings;
        }
    }
    return crossings < 2 ? 0.0 : (crossings - 1) * double(rate) / (last - first);
}

double rms(const float* x, std::size_t n) {
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) sum += double(x[i]) * x[i];
    return n > 0 ? std::sqrt(sum / double(n)) : 0.0;
}

double toDb(double linear) { return 20.0 * std::log10(std::max(linear, 1e-12)); }

Span audibleSpan(const std::vector<float>& x, float threshold) {
    Span span;
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (std::abs(x[i]) > threshold) {
            if (span.end == 0) span.begin = i;
            span.end = i + 1;
        }
    }
    return span;
}

int countOpenFds() {
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) return -1;
    int count = 0;
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
    return count - 3;  // ".", ".." and the directory's own descriptor
}

long readMicroseconds(const std::string& text, const std::string& label) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t at = line.find_first_not_of(" \t");
        if (at != std::string::npos && line.compare(at, label.size(), label) == 0)
            return std::strtol(line.c_str() + at + label.size(), nullptr, 10);
    }
    return -1;
}

Recorder::Recorder() {
    const char* sink = std::getenv("DEMO_TEST_SINK");
    if (sink == nullptr) return;
    char name[] = "/tmp/demo-recording.XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) return;
    path = name;
    const std::string device = std::string(sink) + ".monitor";
    pid = fork();
    if (pid == 0) {
        dup2(fd, STDOUT_FILENO);
        execlp("parec", "parec", "-d", device.c_str(), "--raw", "--format=float32le", "--rate=44100",
               "--channels=2", "--latency-msec=10", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fd);
    // Wait until the recording is live, so nothing played from now is missed.
    for (int i = 0; i < 200 && pid > 0 && framesSoFar() == 0; ++i) sleepSeconds(0.01);
}

Recorder::~Recorder() { stop(); }

std::size_t Recorder::framesSoFar() const {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? std::size_t(st.st_size) / (2 * sizeof(float)) : 0;
}

Pcm Recorder::stop() {
    Pcm pcm;
    if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }
    if (path.empty()) return pcm;
    const std::vector<unsigned char> bytes = readFile(path);
    unlink(path.c_str());
    path.clear();
    pcm.rate = 44100;
    pcm.channels = 2;
    pcm.samples.resize(bytes.size() / (2 * sizeof(float)) * 2);
    std::copy(bytes.begin(), bytes.begin() + std::ptrdiff_t(pcm.samples.size() * sizeof(float)),
              reinterpret_cast<unsigned char*>(pcm.samples.data()));
    return pcm;
}

TempDir::TempDir() {
    char name[] = "/tmp/demo-music-test.XXXXXX";
    if (mkdtemp(name) == nullptr) return;
    dir = name;
    previous = std::filesystem::current_path().string();
    std::filesystem::current_path(dir);
}

TempDir::~TempDir() {
    if (dir.empty()) return;
    std::filesystem::current_path(previous);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

void sleepSeconds(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

} // namespace audiotest
