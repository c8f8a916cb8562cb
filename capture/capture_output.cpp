#include "capture_output.h"

#include "command_line.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace capture {

std::string partialName(const std::string& path) { return path + ".part"; }

volatile std::sig_atomic_t interruption = 0;

namespace {

// ffmpeg's process, the leader of its own group, while it is not yet
// reaped: the handler may signal it without meeting a stranger.
volatile std::sig_atomic_t encoder = 0;

// What ffmpeg made is thrown away, so it is killed outright: asked to end,
// it would report errors finishing a file that no one wants.
void onInterrupt(int signal) {
    interruption = signal;
    if (encoder > 0) kill(-encoder, SIGKILL);
}

} // namespace

void catchInterrupts() {
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    // The terminal closed: without capture, ffmpeg (in a group of its own)
    // would go on and leave its partial file.
    std::signal(SIGHUP, onInterrupt);
}

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    if (!path) return false;
    std::string dirs = path;
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        if (dir.empty()) dir = ".";
        if (access((dir + "/" + program).c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

namespace {

std::string seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", s);
    return text;
}

std::string failure(const std::string& what) { return what + ": " + std::strerror(errno); }

// Makes an empty file under the temporary name, which proves the place
// writable before any time is spent rendering.
bool touch(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = failure("cannot write " + path);
        return false;
    }
    ::close(fd);
    return true;
}

// Gives finished output its final name; until then it sat under the
// temporary one, so nothing incomplete ever looks complete.
bool publish(const std::string& partial, const std::string& final, std::string& error) {
    if (std::rename(partial.c_str(), final.c_str()) == 0) return true;
    error = failure("cannot rename " + partial + " to " + final);
    return false;
}

} // namespace

std::vector<std::string> ffmpegArguments(const Options& o, const FrameRange& range,
                                         const std::string& file) {
    const std::string size = std::to_string(o.width) + "x" + std::to_string(o.height);
    const std::string length = seconds(duration(range, o.fps));
    // The sound starts where the first frame's moment is, for exactly as long
    // as the frames last; apad fills up if the soundtrack ends earlier.
    const std::string start = seconds(double(range.first) / o.fps);
    return {"-hide_banner", "-loglevel", "error", "-nostats", "-y",
            "-f", "rawvideo", "-pix_fmt", "rgb24", "-video_size", size,
            "-framerate", std::to_string(o.fps), "-i", "pipe:0",
            "-ss", start, "-t", length, "-i", o.soundtrack,
            "-map", "0:v:0", "-map", "1:a:0",
            // The RGB to YUV matrix and the stream's tags must agree, or
            // players shift the colours. The tags are set on the frames
            // themselves: ffmpeg 7 ignores the output options for primaries
            // and transfer, and scale tags only the matrix and the range.
            "-vf", "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p,"
                   "setparams=colorspace=bt709:color_primaries=bt709:color_trc=bt709:range=tv",
            "-c:v", "libx264", "-preset", "medium", "-crf", "18",
            "-af", "apad=whole_dur=" + length, "-c:a", "aac", "-b:a", "192k",
            "-movflags", "+faststart", "-f", "mp4", file};
}

VideoSink::VideoSink(const Options& o, const FrameRange& r)
    : options(o), range(r), partial(partialName(o.output)) {}

bool VideoSink::open() {
    if (!onPath("ffmpeg")) {
        message = "ffmpeg was not found on PATH; the video is encoded by it "
                  "(on Debian: apt-get install ffmpeg). PNGs need no ffmpeg: see --sequence";
        return false;
    }
    if (access(options.soundtrack.c_str(), R_OK) != 0) {
        message = failure("cannot read the soundtrack " + options.soundtrack) +
                  " (run from the directory that holds it, or give --soundtrack FILE)";
        return false;
    }
    if (!touch(partial, message)) return false;
    // A write into a pipe whose reader has gone must fail with EPIPE rather
    // than end the process, so the partial file can be cleaned up.
    std::signal(SIGPIPE, SIG_IGN);
    // ffmpeg inherits this: from its own group it writes to the terminal as
    // a background process, which `stty tostop` would otherwise stop.
    std::signal(SIGTTOU, SIG_IGN);
    // A parent that left SIGCHLD ignored would have ffmpeg reaped unseen,
    // and its exit status lost with it.
    std::signal(SIGCHLD, SIG_DFL);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        message = failure("cannot make a pipe");
        return false;
    }
    std::vector<std::string> args = ffmpegArguments(options, range, partial);
    args.insert(args.begin(), "ffmpeg");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    // A group of its own: a terminal's Ctrl-C goes to the whole foreground
    // group, and it is capture that decides what becomes of a half-made
    // video, and says so.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t child = -1;
    const int spawned = posix_spawnp(&child, "ffmpeg", &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[0]);
    if (spawned != 0) {
        ::close(fds[1]);
        message = std::string("cannot start ffmpeg: ") + std::strerror(spawned);
        return false;
    }
    pid = child;
    encoder = child;
    pipe = fds[1];
    return true;
}

bool VideoSink::frame(std::uint64_t n, const Image& image) {
    const unsigned char* data = image.rgb.data();
    std::size_t left = image.rgb.size();
    while (left > 0) {
        const ssize_t written = ::write(pipe, data, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            message = errno == EPIPE
                          ? "ffmpeg stopped reading at frame " + std::to_string(n) +
                                " (broken pipe); its messages are above"
                          : failure("writing frame " + std::to_string(n) + " to ffmpeg failed");
            stop();
            return false;
        }
        data += written;
        left -= std::size_t(written);
    }
    return true;
}

bool VideoSink::stop() {
    if (pipe >= 0) ::close(pipe);
    pipe = -1;
    if (pid < 0) return false;
    // Waited for without reaping first: its pid and group stay ffmpeg's
    // until the handler has let go of them.
    siginfo_t exited{};
    while (waitid(P_PID, id_t(pid), &exited, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
    }
    encoder = 0;
    int status = 0;
    pid_t reaped = -1;
    while ((reaped = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
    pid = -1;
    if (reaped < 0) {
        // Without its exit status, nothing says the video is whole.
        message = failure("cannot learn how ffmpeg ended");
        return false;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    message = WIFEXITED(status) ? "ffmpeg failed with exit status " +
                                      std::to_string(WEXITSTATUS(status)) + "; its messages are above"
                                : "ffmpeg was ended by signal " + std::to_string(WTERMSIG(status));
    return false;
}

bool VideoSink::finish() {
    if (!stop()) return false;
    struct stat info {};
    if (::stat(partial.c_str(), &info) != 0 || info.st_size == 0) {
        message = "ffmpeg reported success but wrote nothing to " + partial;
        return false;
    }
    if (!publish(partial, options.output, message)) return false;
    done = true;
    return true;
}

VideoSink::~VideoSink() {
    if (done) return;
    // Abandoned: ffmpeg need not finish encoding what will be thrown away.
    if (pid > 0) kill(-pid, SIGKILL);
    stop();
    std::remove(partial.c_str());
}

SequenceSink::SequenceSink(const Options& o)
    : directory(o.output), partial(partialName(o.output)) {}

std::string SequenceSink::frameName(std::uint64_t n) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06llu.png", static_cast<unsigned long long>(n));
    return name;
}

bool SequenceSink::open() {
    struct stat info {};
    if (::stat(directory.c_str(), &info) == 0) {
        message = directory + " already exists; name a new directory for the sequence";
        return false;
    }
    if (::mkdir(partial.c_str(), 0755) != 0) {
        message = failure("cannot make the directory " + partial);
        return false;
    }
    return true;
}

bool SequenceSink::frame(std::uint64_t n, const Image& image) {
    const std::string path = partial + "/" + frameName(n);
    written.push_back(path);
    return writePng(path, image, &message);
}

bool SequenceSink::finish() {
    if (!publish(partial, directory, message)) return false;
    done = true;
    return true;
}

SequenceSink::~SequenceSink() {
    if (done) return;
    for (const std::string& path : written) std::remove(path.c_str());
    ::rmdir(partial.c_str());
}

StillSink::StillSink(const Options& o) : path(o.output), partial(partialName(o.output)) {}

bool StillSink::open() { return touch(partial, message); }

bool StillSink::frame(std::uint64_t, const Image& image) {
    return writePng(partial, image, &message);
}

bool StillSink::finish() {
    if (!publish(partial, path, message)) return false;
    done = true;
    return true;
}

StillSink::~StillSink() {
    if (!done) std::remove(partial.c_str());
}

Progress::Progress(std::uint64_t total_, bool enabled_) : total(total_), enabled(enabled_) {}

std::string Progress::line(std::uint64_t done, std::uint64_t total, double elapsed) {
    constexpr int width = 30;
    const int filled = total ? int(done * width / total) : width;
    std::string bar = "[" + std::string(std::size_t(filled), '#') +
                      std::string(std::size_t(width - filled), '.') + "]";
    const double rate = elapsed > 0.0 ? double(done) / elapsed : 0.0;
    char text[160];
    if (rate > 0.0) {
        const auto left = std::uint64_t(std::llround(double(total - done) / rate));
        std::snprintf(text, sizeof text, " %llu/%llu frames  %.1f fps  %llu:%02llu left",
                      static_cast<unsigned long long>(done), static_cast<unsigned long long>(total),
                      rate, static_cast<unsigned long long>(left / 60),
                      static_cast<unsigned long long>(left % 60));
    } else {
        std::snprintf(text, sizeof text, " %llu/%llu frames", static_cast<unsigned long long>(done),
                      static_cast<unsigned long long>(total));
    }
    return bar + text;
}

void Progress::update(std::uint64_t done) {
    if (!enabled) return;
    const Clock::time_point now = Clock::now();
    if (done != total && now - last < std::chrono::milliseconds(250)) return;
    last = now;
    const double elapsed = std::chrono::duration<double>(now - start).count();
    // Spaces at the end wipe what a longer previous line left.
    std::fprintf(stderr, "\r%s   ", line(done, total, elapsed).c_str());
    std::fflush(stderr);
}

void Progress::end() {
    if (enabled) std::fprintf(stderr, "\n");
}

} // namespace capture

namespace capture {

Summary summarize(std::vector<double> values) {
    double sum = 0.0;
    for (double v : values) sum += v;
    return {values.empty() ? 0.0 : sum / double(values.size()), cli::percentile(std::move(values), 95)};
}

} // namespace capture
