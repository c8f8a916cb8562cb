// Music against a real sound server: the private daemon that with_pulse.sh
// starts, with a null sink whose monitor the tests record.
#include "audio_support.h"
#include "music.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>

using namespace audiotest;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Everything quieter than this on the sink counts as silence.
constexpr float silence = 0.01f;

class MusicTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("DEMO_TEST_SINK") == nullptr) GTEST_SKIP() << "run through with_pulse.sh";
    }
    TempDir dir;
};

// ---------------------------------------------------------------------------
// Playing

struct ToneCase {
    const char* name;
    int rate;
    int channels;
};

void PrintTo(const ToneCase& c, std::ostream* os) { *os << c.name; }

class MusicToneTest : public MusicTest, public ::testing::WithParamInterface<ToneCase> {};

// Whatever the file's rate and channel count, the sink hears the tone at its
// own pitch and level on both sides, and destroying Music ends it long
// before the file would.
TEST_P(MusicToneTest, PlaysAtPitchAndLevelUntilDestroyed) {
    const ToneCase& c = GetParam();
    constexpr double hz = 1000.0;
    constexpr float amplitude = 0.5f;
    ASSERT_TRUE(writeTone("vandrel.mp3", hz, 6.0, c.rate, c.channels, amplitude));

    Recorder recorder;
    ASSERT_TRUE(recorder.live());
    {
        Music music;
        sleepSeconds(1.0);
    }
    sleepSeconds(0.5);
    const Pcm recorded = recorder.stop();

    for (int side = 0; side < 2; ++side) {
        SCOPED_TRACE(side == 0 ? "left" : "right");
        const std::vector<float> x = recorded.channel(side);
        const Span heard = audibleSpan(x, silence);
        const double seconds = double(heard.end - heard.begin) / 44100.0;
        ASSERT_GT(seconds, 0.6);
        // A second of play, give or take a busy machine; the file lasts six.
        EXPECT_LT(seconds, 2.5) << "still playing after destruction";
        EXPECT_GT(x.size() - heard.end, std::size_t(0.3 * 44100)) << "no silence after destruction";

        // The middle of what was heard, away from the start and the cut.
        const std::size_t mid = (heard.begin + heard.end) / 2;
        const std::vector<float> steady(x.begin() + std::ptrdiff_t(mid - 8820),
                                        x.begin() + std::ptrdiff_t(mid + 8820));
        EXPECT_NEAR(toneFrequency(steady, 44100), hz, 0.005 * hz);
        EXPECT_NEAR(toDb(rms(steady.data(), steady.size())), toDb(amplitude / std::sqrt(2.0)), 1.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, MusicToneTest,
                         ::testing::Values(ToneCase{"stereo_44100", 44100, 2},
                                           ToneCase{"mono_22050", 22050, 1},
                                           ToneCase{"stereo_48000", 48000, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

// The file plays once, whole, and then the stream stays silent until
// Music goes.
TEST_F(MusicTest, PlaysTheFileOnceThenSilence) {
    ASSERT_TRUE(writeTone("vandrel.mp3", 1000.0, 0.5, 44100, 2, 0.5f));
    Recorder recorder;
    ASSERT_TRUE(recorder.live());
    {
        Music music;
        sleepSeconds(1.5);
    }
    const Span heard = audibleSpan(recorder.stop().channel(-1), silence);
    const double seconds = double(heard.end - heard.begin) / 44100.0;
    EXPECT_GT(seconds, 0.45);
    EXPECT_LT(seconds, 0.75) << "the file played more than once";
}

// The constructor returns with playback under way, through a short buffer
// (the server's default would be about two seconds), and the first sound
// reaches the sink at once.
TEST_F(MusicTest, StartsPlayingPromptly) {
    ASSERT_TRUE(writeTone("vandrel.mp3", 1000.0, 3.0, 44100, 2, 0.5f));
    Recorder recorder;
    ASSERT_TRUE(recorder.live());
    sleepSeconds(0.3);
    const std::size_t before = recorder.framesSoFar();
    const auto start = Clock::now();
    std::optional<Music> music;
    music.emplace();
    const double constructing = secondsSince(start);
    sleepSeconds(0.5);
    const std::string inputs = commandOutput("pactl list sink-inputs");
    music.reset();
    const std::vector<float> x = recorder.stop().channel(-1);

    const long bufferUs = readMicroseconds(inputs, "Buffer Latency:");
    const long sinkUs = readMicroseconds(inputs, "Sink Latency:");
    ASSERT_GE(bufferUs, 0) << inputs;
    EXPECT_LT(bufferUs, 60000);
    EXPECT_NE(inputs.find("float32le 2ch 44100Hz"), std::string::npos) << inputs;

    const Span heard = audibleSpan(x, silence);
    ASSERT_GT(heard.end, heard.begin);
    // The recording trails the sink a little, so `before` may be low and
    // this is an upper bound on the time until the first sound.
    const double firstSound = double(heard.begin) / 44100.0 - double(before) / 44100.0;
    std::printf("constructing Music: %.1f ms; first sound on the sink within %.0f ms; "
                "stream buffer %.1f ms, sink %.1f ms\n",
                constructing * 1000.0, firstSound * 1000.0, bufferUs / 1000.0, sinkUs / 1000.0);
    EXPECT_LT(constructing, 0.5);
    EXPECT_LT(firstSound, 0.25);
}

// ---------------------------------------------------------------------------
// Silent cases

// A server socket that accepts connections into its backlog and never says
// a word: the client's handshake waits for an answer that never comes.
class MuteServer {
public:
    explicit MuteServer(const std::string& path) {
        fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        path.copy(addr.sun_path, sizeof(addr.sun_path) - 1);
        if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(fd, 8) != 0) {
            close(fd);
            fd = -1;
        }
    }
    ~MuteServer() {
        if (fd >= 0) close(fd);
    }
    bool ok() const { return fd >= 0; }

private:
    int fd = -1;
};

// Points the client library somewhere else for one test.
class ServerOverride {
public:
    explicit ServerOverride(const std::string& server) {
        if (const char* old = std::getenv("PULSE_SERVER")) saved = old;
        setenv("PULSE_SERVER", server.c_str(), 1);
    }
    ~ServerOverride() { setenv("PULSE_SERVER", saved.c_str(), 1); }

private:
    std::string saved;
};

std::vector<unsigned char> noise(std::size_t n) {
    std::vector<unsigned char> bytes(n);
    unsigned state = 12345u;
    for (auto& b : bytes) b = static_cast<unsigned char>((state = state * 1103515245u + 12345u) >> 16);
    return bytes;
}

void validTone() { ASSERT_TRUE(writeTone("vandrel.mp3", 440.0, 2.0, 44100, 2, 0.5f)); }

// Which server Music is sent to.
enum class Server { test, missing, mute };

struct SilentCase {
    const char* name;
    std::function<void()> prepare;  // makes "vandrel.mp3" in the working directory
    Server server;
};

void PrintTo(const SilentCase& c, std::ostream* os) { *os << c.name; }

class MusicSilentTest : public MusicTest, public ::testing::WithParamInterface<SilentCase> {};

// Each case constructs and destroys Music: no crash, no hang, nothing
// printed, no descriptor left open, and nothing played.
TEST_P(MusicSilentTest, ConstructsAndDestroysQuietly) {
    const SilentCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(c.prepare());
    const std::string mutePath = dir.path() + "/mute";
    MuteServer mute(mutePath);
    ASSERT_TRUE(mute.ok());
    // The recorder stays on the test server; only Music is sent elsewhere.
    Recorder recorder;
    ASSERT_TRUE(recorder.live());
    std::optional<ServerOverride> server;
    if (c.server == Server::missing) server.emplace("unix:" + dir.path() + "/nothing-here");
    if (c.server == Server::mute) server.emplace("unix:" + mutePath);
    const int fdsBefore = countOpenFds();
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const auto start = Clock::now();
    { Music music; }
    const double seconds = secondsSince(start);
    const std::string out = ::testing::internal::GetCapturedStdout();
    const std::string err = ::testing::internal::GetCapturedStderr();
    const int fdsAfter = countOpenFds();
    sleepSeconds(0.2);
    const Pcm recorded = recorder.stop();

    EXPECT_LT(seconds, 2.0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
    EXPECT_EQ(fdsAfter, fdsBefore);
    const Span heard = audibleSpan(recorded.channel(-1), silence);
    EXPECT_EQ(heard.end, 0u) << "played " << (heard.end - heard.begin) << " frames";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MusicSilentTest,
    ::testing::Values(
        SilentCase{"no_file", [] {}, Server::test},
        SilentCase{"empty_file", [] { ASSERT_TRUE(writeFile("vandrel.mp3", {})); },
                   Server::test},
        SilentCase{"random_bytes", [] { ASSERT_TRUE(writeFile("vandrel.mp3", noise(64 * 1024))); },
                   Server::test},
        SilentCase{"truncated_mp3",
                   [] {
                       validTone();
                       std::vector<unsigned char> bytes = readFile("vandrel.mp3");
                       bytes.resize(700);  // the info frame and a sliver of the first
                       ASSERT_TRUE(writeFile("vandrel.mp3", bytes));
                   },
                   Server::test},
        SilentCase{"directory", [] { ASSERT_EQ(mkdir("vandrel.mp3", 0755), 0); }, Server::test},
        SilentCase{"fifo", [] { ASSERT_EQ(mkfifo("vandrel.mp3", 0644), 0); }, Server::test},
        SilentCase{"no_server", validTone, Server::missing},
        SilentCase{"server_not_answering", validTone, Server::mute}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
