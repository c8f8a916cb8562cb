#include "music.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <mpg123.h>
#include <pulse/pulseaudio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr const char* soundtrackPath = "vandrel.mp3";
constexpr long outputRate = 44100;
constexpr int outputChannels = 2;
constexpr std::size_t frameBytes = outputChannels * sizeof(float);

// The server's default buffer is about two seconds, and it would keep the
// device's own buffer as long, leaving the sound trailing the picture; ask
// for a short one. Not too short: the soundtrack is written ahead from a
// file, so a longer buffer delays nothing, but one of 40 ms ran dry, in
// gaps of 10 to 140 ms, while software rendering kept both cores busy.
constexpr pa_usec_t targetLatencyUs = 120 * 1000;
// A server that is missing answers at once; one that accepts the connection
// and then says nothing must not hold up start-up longer than this.
constexpr pa_usec_t connectTimeoutUs = 1500 * 1000;

// The sound server's client library is loaded when the music first starts,
// by its soname, rather than linked: a machine without it then plays the
// demo silently instead of refusing to start it at all.
#define PULSE_FUNCTIONS(X)                                                                          \
    X(pa_threaded_mainloop_new) X(pa_threaded_mainloop_free) X(pa_threaded_mainloop_start)          \
    X(pa_threaded_mainloop_stop) X(pa_threaded_mainloop_lock) X(pa_threaded_mainloop_unlock)        \
    X(pa_threaded_mainloop_wait) X(pa_threaded_mainloop_signal) X(pa_threaded_mainloop_get_api)     \
    X(pa_context_new) X(pa_context_connect) X(pa_context_disconnect) X(pa_context_unref)            \
    X(pa_context_get_state) X(pa_context_set_state_callback) X(pa_context_rttime_new)               \
    X(pa_rtclock_now) X(pa_usec_to_bytes) X(pa_operation_unref) X(pa_stream_new)                    \
    X(pa_stream_set_state_callback) X(pa_stream_set_write_callback) X(pa_stream_connect_playback)   \
    X(pa_stream_disconnect) X(pa_stream_unref) X(pa_stream_get_state) X(pa_stream_begin_write)      \
    X(pa_stream_cancel_write) X(pa_stream_write) X(pa_stream_get_time) X(pa_stream_cork)

struct PulseLibrary {
#define DECLARE(name) decltype(&::name) name = nullptr;
    PULSE_FUNCTIONS(DECLARE)
#undef DECLARE
    bool loaded = false;
};

// Loaded once and kept: the library's own thread must never lose its code.
const PulseLibrary& pulse() {
    static const PulseLibrary library = [] {
        PulseLibrary lib;
        void* handle = dlopen("libpulse.so.0", RTLD_NOW | RTLD_LOCAL);
        lib.loaded = handle != nullptr;
#define LOAD(name)                                                                                  \
    lib.name = reinterpret_cast<decltype(lib.name)>(handle ? dlsym(handle, #name) : nullptr);       \
    lib.loaded = lib.loaded && lib.name != nullptr;
        PULSE_FUNCTIONS(LOAD)
#undef LOAD
        return lib;
    }();
    return library;
}

// Everything the decoder side needs. `fd` is ours: the decoder reads
// through it but never closes it, so the file is closed exactly once.
struct decoder_state {
    int fd = -1;
    mpg123_handle* handle = nullptr;
    bool exhausted = false;
    std::uint64_t position = 0; // frames from the start of the file
    std::uint64_t end = 0;      // frames after which it stays silent; 0: none
};

// The playback side: the stream lives in the context, which lives in the
// loop, whose thread calls `data_callback`.
struct device_state {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    decoder_state* decoder = nullptr; // what every stream plays
    bool timedOut = false;
    bool paused = false;
    // A stream should play from where the decoder stands, but the server
    // cannot take it yet: it starts once the connection is ready.
    bool wanted = false;
    double origin = 0.0; // the soundtrack's moment where the stream began
};

} // namespace

// Allocated on its own and never moved: the loop's thread holds the address
// of `decoder` from the stream's creation until the device is closed.
struct Music::State {
    decoder_state decoder;
    device_state device;
};

namespace {

// Opens the soundtrack without ever blocking (a FIFO would block a plain
// open until a writer turns up) and only if it is a regular file.
int openRegularFile(const char* path) {
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// A decoder that delivers 44.1 kHz stereo float whatever the file holds:
// mono is duplicated and other rates are resampled, so the device never
// plays at the wrong speed or pitch.
mpg123_handle* openDecoder(int fd) {
    mpg123_init();
    mpg123_handle* mh = mpg123_new(nullptr, nullptr);
    if (mh == nullptr) return nullptr;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_FORCE_STEREO | MPG123_FORCE_FLOAT, 0.0);
    mpg123_format_none(mh);
    mpg123_format(mh, outputRate, MPG123_STEREO, MPG123_ENC_FLOAT_32);

    long rate = 0;
    int channels = 0;
    int encoding = 0;
    // Reading the format decodes the first frame: a file without one fails
    // here rather than in the playback thread.
    if (mpg123_open_fd(mh, fd) != MPG123_OK ||
        mpg123_getformat(mh, &rate, &channels, &encoding) != MPG123_OK ||
        rate != outputRate || channels != outputChannels || encoding != MPG123_ENC_FLOAT_32) {
        mpg123_close(mh);
        mpg123_delete(mh);
        return nullptr;
    }
    return mh;
}

// Fills `size` bytes with decoded frames, silence past the end of the file
// or the cut.
void decodeInto(decoder_state& d, unsigned char* out, std::size_t size) {
    std::size_t filled = 0;
    std::size_t wanted = size;
    if (d.end != 0) wanted = d.end > d.position ? std::min<std::uint64_t>(size, (d.end - d.position) * frameBytes) : 0;
    while (!d.exhausted && filled < wanted) {
        std::size_t done = 0;
        const int err = mpg123_read(d.handle, out + filled, wanted - filled, &done);
        filled += done;
        d.position += done / frameBytes;
        if (err == MPG123_DONE || (err != MPG123_OK && err != MPG123_NEW_FORMAT)) d.exhausted = true;
        else if (done == 0 && err == MPG123_OK) break;
    }
    std::memset(out + filled, 0, size - filled);
}

// Moves the decoder to `seconds` into the file; the caller holds the loop's
// lock, since the loop's thread is the decoder's only other user.
void seekDecoder(decoder_state& d, double seconds) {
    const off_t frame = off_t(std::llround(seconds * double(outputRate)));
    d.exhausted = mpg123_seek(d.handle, frame, SEEK_SET) < 0;
    d.position = std::uint64_t(frame);
}

// Runs on the loop's thread, with the loop's lock held, whenever the server
// wants more: decodes straight into the stream's own buffer.
void data_callback(pa_stream* stream, std::size_t nbytes, void* userdata) {
    const PulseLibrary& pa = pulse();
    auto& d = *static_cast<decoder_state*>(userdata);
    while (nbytes >= frameBytes) {
        void* buffer = nullptr;
        std::size_t size = nbytes;
        if (pa.pa_stream_begin_write(stream, &buffer, &size) < 0 || buffer == nullptr) return;
        size -= size % frameBytes;
        if (size == 0) {
            pa.pa_stream_cancel_write(stream);
            return;
        }
        decodeInto(d, static_cast<unsigned char*>(buffer), size);
        if (pa.pa_stream_write(stream, buffer, size, nullptr, 0, PA_SEEK_RELATIVE) < 0) return;
        nbytes -= size;
    }
}

// Wakes the main thread, which waits on the loop for a stream to be ready.
void signalLoopStream(pa_stream*, void* loop) {
    pulse().pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
}
void connectTimeout(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
    auto& s = *static_cast<device_state*>(userdata);
    s.timedOut = true;
    pulse().pa_threaded_mainloop_signal(s.loop, 0);
}

// Waits, with the lock held, until the context and then the stream (if
// there is one) are ready, one of them fails, or the deadline passes: a
// server that accepts a connection and then says nothing must not hold up
// the demo.
bool waitUntilReady(device_state& s) {
    const PulseLibrary& pa = pulse();
    s.timedOut = false;
    pa_mainloop_api* api = pa.pa_threaded_mainloop_get_api(s.loop);
    pa_time_event* timer =
        pa.pa_context_rttime_new(s.context, pa.pa_rtclock_now() + connectTimeoutUs, connectTimeout, &s);
    bool ready = false;
    for (;;) {
        const pa_context_state_t cs = pa.pa_context_get_state(s.context);
        if (!PA_CONTEXT_IS_GOOD(cs) || s.timedOut) break;
        if (cs == PA_CONTEXT_READY) {
            const pa_stream_state_t ss = s.stream ? pa.pa_stream_get_state(s.stream) : PA_STREAM_READY;
            if (ss == PA_STREAM_READY) ready = true;
            if (ready || !PA_STREAM_IS_GOOD(ss)) break;
        }
        pa.pa_threaded_mainloop_wait(s.loop);
    }
    if (timer != nullptr) api->time_free(timer);
    return ready;
}

// Ends a stream the server has made (or failed to make). One it has not
// made yet cannot be disconnected, and the server makes it all the same:
// let go of, it would stay there, silent, until the demo ends, one for
// every restart that came too soon after the last. So this is also its
// state callback, which ends it on the loop's thread as soon as it is made,
// touching nothing of ours.
void endStream(pa_stream* stream, void* = nullptr) {
    const PulseLibrary& pa = pulse();
    const pa_stream_state_t state = pa.pa_stream_get_state(stream);
    if (state == PA_STREAM_CREATING) return;
    pa.pa_stream_set_state_callback(stream, nullptr, nullptr);
    if (state == PA_STREAM_READY) pa.pa_stream_disconnect(stream);
    pa.pa_stream_unref(stream);
}

// Ends the stream: no callback of ours runs for it once this returns, and
// what it still buffers is dropped, not drained.
void dropStream(device_state& s) {
    const PulseLibrary& pa = pulse();
    if (s.stream == nullptr) return;
    pa.pa_stream_set_write_callback(s.stream, nullptr, nullptr);
    if (pa.pa_stream_get_state(s.stream) == PA_STREAM_CREATING)
        pa.pa_stream_set_state_callback(s.stream, endStream, nullptr); // keeps our reference until then
    else
        endStream(s.stream);
    s.stream = nullptr;
}

// Asks for a new stream from wherever the decoder stands, with the lock
// held, without waiting for the server's answer. Its clock starts at zero,
// so the server's timing of it tells which moment of the soundtrack is heard.
bool startStream(device_state& s) {
    const PulseLibrary& pa = pulse();
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, outputRate, outputChannels};
    s.wanted = false;
    s.stream = pa.pa_stream_new(s.context, "vandrel", &spec, nullptr);
    if (s.stream == nullptr) return false;
    pa.pa_stream_set_state_callback(s.stream, signalLoopStream, s.loop);
    pa.pa_stream_set_write_callback(s.stream, data_callback, s.decoder);
    pa_buffer_attr attr;
    attr.maxlength = std::uint32_t(-1);
    attr.tlength = std::uint32_t(pa.pa_usec_to_bytes(targetLatencyUs, &spec));
    attr.prebuf = std::uint32_t(-1);
    attr.minreq = std::uint32_t(-1);
    attr.fragsize = std::uint32_t(-1);
    // Never started corked: such a stream reports a running clock before
    // it has played anything. A paused player makes none until it resumes.
    const auto flags =
        pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
    if (pa.pa_stream_connect_playback(s.stream, nullptr, &attr, flags, nullptr, nullptr) == 0) return true;
    dropStream(s);
    return false;
}

// The same, waiting (up to the connection deadline) until it plays.
bool connectStream(device_state& s) {
    const bool ok = startStream(s) && waitUntilReady(s);
    if (!ok) dropStream(s);
    return ok;
}

// The connection's state changed, on the loop's thread: wakes the main
// thread, and starts the stream that waited for a new connection.
void contextChanged(pa_context* context, void* userdata) {
    auto& s = *static_cast<device_state*>(userdata);
    const PulseLibrary& pa = pulse();
    pa.pa_threaded_mainloop_signal(s.loop, 0);
    if (s.wanted && s.stream == nullptr && pa.pa_context_get_state(context) == PA_CONTEXT_READY) startStream(s);
}

void releaseContext(device_state& s) {
    const PulseLibrary& pa = pulse();
    if (s.context == nullptr) return;
    pa.pa_context_set_state_callback(s.context, nullptr, nullptr);
    pa.pa_context_disconnect(s.context);
    pa.pa_context_unref(s.context);
    s.context = nullptr;
}

// Plays from where the decoder stands, with the lock held, never waiting
// on the server: one that froze must not hold up the picture. A server
// that went away is asked for a new connection, which starts the stream
// once it is ready; while it is missing, the music stays silent.
void playFromDecoder(device_state& s) {
    const PulseLibrary& pa = pulse();
    s.wanted = true;
    const pa_context_state_t state = s.context ? pa.pa_context_get_state(s.context) : PA_CONTEXT_FAILED;
    if (state == PA_CONTEXT_READY) {
        startStream(s);
    } else if (!PA_CONTEXT_IS_GOOD(state)) {
        releaseContext(s);
        s.context = pa.pa_context_new(pa.pa_threaded_mainloop_get_api(s.loop), "demo");
        if (s.context == nullptr) return;
        pa.pa_context_set_state_callback(s.context, contextChanged, &s);
        pa.pa_context_connect(s.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
    }
}

// Ends playback for good: no callback runs once this returns. Library calls
// are made under the loop's lock, the loop is stopped without it, and the
// stream and context go before the loop itself.
void closeDevice(device_state& s) {
    const PulseLibrary& pa = pulse();
    if (s.loop == nullptr) return;
    pa.pa_threaded_mainloop_lock(s.loop);
    dropStream(s);
    releaseContext(s);
    pa.pa_threaded_mainloop_unlock(s.loop);
    pa.pa_threaded_mainloop_stop(s.loop);
    pa.pa_threaded_mainloop_free(s.loop);
    s.loop = nullptr;
}

// Connects to the sound server and starts the stream; on any failure leaves
// nothing of the device behind.
bool openDevice(device_state& s) {
    const PulseLibrary& pa = pulse();
    if (!pa.loaded) return false;
    s.loop = pa.pa_threaded_mainloop_new();
    if (s.loop == nullptr) return false;
    s.context = pa.pa_context_new(pa.pa_threaded_mainloop_get_api(s.loop), "demo");
    if (s.context == nullptr || pa.pa_threaded_mainloop_start(s.loop) < 0) {
        if (s.context != nullptr) pa.pa_context_unref(s.context);
        s.context = nullptr;
        pa.pa_threaded_mainloop_free(s.loop);
        s.loop = nullptr;
        return false;
    }
    pa.pa_threaded_mainloop_lock(s.loop);
    pa.pa_context_set_state_callback(s.context, contextChanged, &s);
    // No autospawn: a missing server means silence, not a daemon of our own.
    const bool ok = pa.pa_context_connect(s.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) == 0 &&
                    waitUntilReady(s) && connectStream(s);
    pa.pa_threaded_mainloop_unlock(s.loop);
    if (!ok) closeDevice(s);
    return ok;
}

// Opens the soundtrack and its decoder; false when there is nothing to play.
bool openSoundtrack(decoder_state& d) {
    d.fd = openRegularFile(soundtrackPath);
    if (d.fd >= 0) d.handle = openDecoder(d.fd);
    if (d.handle == nullptr && d.fd >= 0) {
        // Nothing to play: let the file go now rather than at the end.
        close(d.fd);
        d.fd = -1;
    }
    return d.handle != nullptr;
}

} // namespace

Music::Music() : state(std::make_unique<State>()) {
    state->device.decoder = &state->decoder;
    if (openSoundtrack(state->decoder)) openDevice(state->device);
}

Music::Music(double from, double cut) : state(std::make_unique<State>()) {
    state->device.decoder = &state->decoder;
    decoder_state& d = state->decoder;
    if (!openSoundtrack(d)) return;
    // A full scan makes every later seek land on its exact sample.
    mpg123_scan(d.handle);
    seekDecoder(d, from);
    d.end = cut > 0.0 ? std::uint64_t(std::llround(cut * double(outputRate))) : 0;
    state->device.origin = from;
    openDevice(state->device);
}

Music::~Music() {
    closeDevice(state->device);
    decoder_state& d = state->decoder;
    if (d.handle != nullptr) {
        mpg123_close(d.handle);
        mpg123_delete(d.handle);
    }
    if (d.fd >= 0) close(d.fd);
}

void Music::seek(double seconds) {
    decoder_state& d = state->decoder;
    device_state& s = state->device;
    if (d.handle == nullptr) return;
    const PulseLibrary& pa = pulse();
    if (s.loop) pa.pa_threaded_mainloop_lock(s.loop);
    dropStream(s);
    s.wanted = false;
    seekDecoder(d, seconds);
    s.origin = seconds;
    if (s.loop && !s.paused) playFromDecoder(s);
    if (s.loop) pa.pa_threaded_mainloop_unlock(s.loop);
}

void Music::setPaused(bool paused) {
    device_state& s = state->device;
    if (s.loop == nullptr) return;
    const PulseLibrary& pa = pulse();
    pa.pa_threaded_mainloop_lock(s.loop);
    s.paused = paused;
    const bool playing = s.stream != nullptr && pa.pa_stream_get_state(s.stream) == PA_STREAM_READY;
    if (playing) {
        // Corked, the server keeps what it holds, and the clock stands.
        if (pa_operation* op = pa.pa_stream_cork(s.stream, paused, nullptr, nullptr)) pa.pa_operation_unref(op);
    } else {
        // A stream the server has not made yet has taken nothing from the
        // decoder: resuming makes a new one from the same place.
        dropStream(s);
        s.wanted = false;
        if (!paused) playFromDecoder(s);
    }
    pa.pa_threaded_mainloop_unlock(s.loop);
}

double Music::heard() const {
    const device_state& s = state->device;
    if (s.loop == nullptr) return silent;
    const PulseLibrary& pa = pulse();
    pa.pa_threaded_mainloop_lock(s.loop);
    double moment = silent;
    pa_usec_t usec = 0;
    if (s.stream != nullptr) {
        const pa_stream_state_t state = pa.pa_stream_get_state(s.stream);
        if (state == PA_STREAM_READY && pa.pa_stream_get_time(s.stream, &usec) == 0)
            moment = s.origin + double(usec) / 1e6;
        else if (PA_STREAM_IS_GOOD(state))
            moment = starting; // made, or ready without timing yet
    } else if (s.wanted && s.context != nullptr && PA_CONTEXT_IS_GOOD(pa.pa_context_get_state(s.context))) {
        moment = starting; // it waits for the connection
    }
    pa.pa_threaded_mainloop_unlock(s.loop);
    return moment;
}
